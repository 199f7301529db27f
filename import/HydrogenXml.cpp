#include "import/HydrogenXml.h"

#include <QXmlStreamReader>
#include <cmath>

namespace varnkit::import::hydrogen {

namespace {

using Reader = QXmlStreamReader;

QString Text(Reader& r) {
  return r.readElementText(Reader::SkipChildElements).trimmed();
}

std::optional<double> Number(Reader& r) {
  bool ok = false;
  const double value = Text(r).toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> Integer(Reader& r) {
  bool ok = false;
  const int value = Text(r).toInt(&ok);
  return ok ? std::optional<int>(value) : std::nullopt;
}

bool Differs(std::optional<double> value, double normal) {
  return value && std::abs(*value - normal) > 1e-6;
}

// The instrument's own settings VarnKit cannot keep, as they are met.
struct Settings {
  bool pitch = false, pan = false, envelope = false, filter = false, gain = false;
  std::optional<double> panL, panR;

  std::vector<std::string> leftOut() const {
    // Before pan became one value, pan_L and pan_R were the gains of the two sides: equal
    // gains below 1 are quieter, not off centre.
    const bool sidesDiffer = panL && panR && Differs(panL, *panR);
    const bool sidesQuieter = panL && panR && !sidesDiffer && Differs(panL, 1);
    std::vector<std::string> names;
    if (pitch) names.push_back("pitch");
    if (pan || sidesDiffer) names.push_back("pan");
    if (envelope) names.push_back("envelope");
    if (filter) names.push_back("filter");
    if (gain || sidesQuieter) names.push_back("gain");
    return names;
  }
};

Layer ReadLayer(Reader& r) {
  Layer layer;
  while (r.readNextStartElement()) {
    const QString name = r.name().toString();
    if (name == "filename")
      layer.file = Text(r).toStdString();
    else if (name == "min")
      layer.min = Number(r).value_or(0.0);
    else if (name == "max")
      layer.max = Number(r).value_or(1.0);
    else if (name == "gain")
      layer.gain = Number(r).value_or(1.0);
    else if (name == "pitch")
      layer.pitch = Number(r).value_or(0.0);
    else
      r.skipCurrentElement();
  }
  return layer;
}

Component ReadComponent(Reader& r) {
  Component component{0, 1, {}};
  while (r.readNextStartElement()) {
    const QString name = r.name().toString();
    if (name == "component_id")
      component.id = Integer(r).value_or(0);
    else if (name == "gain")
      component.gain = Number(r).value_or(1.0);
    else if (name == "layer")
      component.layers.push_back(ReadLayer(r));
    else
      r.skipCurrentElement();
  }
  return component;
}

// Older kits write layers, or a single filename, straight into the instrument.
Component& Direct(Instrument& instrument) {
  for (Component& c : instrument.components)
    if (!c.id) return c;
  return instrument.components.emplace_back();
}

bool ReadSetting(Reader& r, const QString& name, Settings& s) {
  if (name == "pitchOffset" || name == "pitch" || name == "randomPitchFactor")
    s.pitch |= Differs(Number(r), 0);
  else if (name == "pan")
    s.pan |= Differs(Number(r), 0);
  else if (name == "pan_L")
    s.panL = Number(r);
  else if (name == "pan_R")
    s.panR = Number(r);
  else if (name == "Attack" || name == "Decay")
    s.envelope |= Differs(Number(r), 0);
  else if (name == "Sustain")
    s.envelope |= Differs(Number(r), 1);
  else if (name == "Release")
    s.envelope |= Differs(Number(r), 1000);
  else if (name == "filterActive")
    s.filter |= Text(r).toLower() == "true";
  else if (name == "gain" || name == "volume")
    s.gain |= Differs(Number(r), 1);
  else
    return false;
  return true;
}

Instrument ReadInstrument(Reader& r) {
  Instrument instrument;
  Settings settings;
  while (r.readNextStartElement()) {
    const QString name = r.name().toString();
    if (ReadSetting(r, name, settings)) continue;
    if (name == "name") {
      instrument.name = Text(r).toStdString();
    } else if (name == "midiOutNote") {
      const std::optional<int> note = Integer(r);
      if (note && *note >= 0 && *note <= 127) instrument.note = note;
    } else if (name == "muteGroup") {
      instrument.muteGroup = Integer(r).value_or(-1);
    } else if (name == "filename") {
      Direct(instrument).layers.push_back({Text(r).toStdString()});
    } else if (name == "layer") {
      Direct(instrument).layers.push_back(ReadLayer(r));
    } else if (name == "instrumentComponent") {
      instrument.components.push_back(ReadComponent(r));
    } else {
      r.skipCurrentElement();
    }
  }
  instrument.leftOut = settings.leftOut();
  return instrument;
}

void ReadComponentList(Reader& r, Drumkit& kit) {
  while (r.readNextStartElement()) {
    if (r.name() != QLatin1String("drumkitComponent")) {
      r.skipCurrentElement();
      continue;
    }
    std::optional<int> id;
    while (r.readNextStartElement()) {
      if (r.name() == QLatin1String("id"))
        id = Integer(r);
      else
        r.skipCurrentElement();
    }
    if (id) kit.componentIds.push_back(*id);
  }
}

void ReadKit(Reader& r, Drumkit& kit) {
  while (r.readNextStartElement()) {
    const QString name = r.name().toString();
    if (name == "name") {
      kit.name = Text(r).toStdString();
    } else if (name == "componentList") {
      ReadComponentList(r, kit);
    } else if (name == "instrumentList") {
      while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("instrument"))
          kit.instruments.push_back(ReadInstrument(r));
        else
          r.skipCurrentElement();
      }
    } else {
      r.skipCurrentElement();
    }
  }
}

}  // namespace

std::string ReadDrumkitXml(const QByteArray& xml, Drumkit& kit) {
  Reader r(xml);
  bool found = false;
  if (r.readNextStartElement()) {
    found = r.name() == QLatin1String("drumkit_info");
    if (found)
      ReadKit(r, kit);
    else
      r.skipCurrentElement();
  }
  while (!r.atEnd()) r.readNext();  // so that damage after the kit shows too
  if (r.hasError())
    return "The drumkit file is not well-formed XML: " + r.errorString().toStdString() + " (line " +
           std::to_string(r.lineNumber()) + ").";
  if (!found) return "The file is not a Hydrogen drumkit: it has no drumkit_info.";
  return "";
}

}  // namespace varnkit::import::hydrogen
