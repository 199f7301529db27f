#pragma once
// A Hydrogen drumkit.xml as it is written, before it becomes a SourceKit.

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

namespace varnkit::import::hydrogen {

struct Layer {
  std::string file;  // as written: relative to the kit's folder
  double min = 0, max = 1, gain = 1, pitch = 0;
};

struct Component {
  std::optional<int> id;  // none for layers written straight into the instrument
  double gain = 1;
  std::vector<Layer> layers;
};

struct Instrument {
  std::string name;
  std::optional<int> note;  // midiOutNote, when it is a MIDI note
  int muteGroup = -1;
  std::vector<Component> components;
  std::vector<std::string> leftOut;  // of the instrument's own settings: "pitch", "pan", ...
};

struct Drumkit {
  std::string name;
  std::vector<int> componentIds;  // from the componentList, in order
  std::vector<Instrument> instruments;
};

// Reads the drumkit from xml; the error sentence, or empty when it was read.
std::string ReadDrumkitXml(const QByteArray& xml, Drumkit& kit);

}  // namespace varnkit::import::hydrogen
