#include "ui/main/Form1.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>

#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "kit/Funk.h"
#include "kit/KitState.h"
#include "platform/audio/Device.h"
#include "platform/files/Lookup.h"
#include "sound/Describe.h"
#include "sound/SoundOutput.h"
#include "ui/main/Artwork.h"
#include "ui/padeditor/Diag.h"
#include "ui/toolkit/ShownText.h"
#include "ui/toolkit/Twips.h"

namespace varnkit::ui {
namespace {

constexpr int kGroupLeft[9] = {270, 990, 1695, 2415, 3135, 3855, 4575, 5295, 6015};
constexpr int kClientWidth = 6435;
constexpr int kClientHeight = 1635;
constexpr int kHolderTop = 2895;  // below the client area: never seen

bool exists(const std::string& path, files::Admit admit = files::Admit::Files) {
  return !files::DirLookup().first(path, admit).empty();
}

}  // namespace

Form1::Form1(std::string appFolder, MidiInputFactory makeMidi, StartChoices start)
    : appFolder_(std::move(appFolder)),
      makeMidi_(std::move(makeMidi)),
      start_(std::move(start)),
      boxes_(this) {
  setWindowTitle(kProgramName);
  setWindowIcon(programIcon());
  setFixedSize(px(kClientWidth), px(kClientHeight));
  background_ = std::make_shared<Picture>(backgroundImage());
  buildPads();
  buildBar();
  buildHolders();
  midi = new PopupMenu("midi", "No Midi", this);
  connect(midi, &PopupMenu::Click, this, [this](int index) { m_Click(int16_t(index)); });
  midi->addCommand("Import kit...", [this] { importKit(); });
  state_ = std::make_unique<KitState>(WindowLink{*this, *this, *this, boxes_}, appFolder_);
  midiEvents_ = new MidiEventQueue(
      [this](int32_t msg, int16_t channel, int16_t d1, int16_t d2, std::optional<uint32_t> cycle,
             bool played) {
        // A hit sounds a fixed time after it came, however long the way here took.
        audio::TimedCommands timing(state_->soundDevice(), cycle);
        soundMade_ = played;
        try {
          Midi_in1_Message(msg, channel, d1, d2);
        } catch (const Error& e) {
          reportMidiFailure(e.text());
        }
        soundMade_ = false;
      },
      this);
  connectHandlers();
  qApp->installEventFilter(this);
  // Whatever a handler changed in the kit reaches the engine before the window waits again.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          [this] { publishKit(); });
}

void Form1::publishKit() {
  audio::Device* device = state_->soundDevice();
  if (device == nullptr) return;
  // JACK's MIDI frames, and PipeWire's placing of notes on arrival, are of the clock the
  // engine renders by.
  const std::string service = device->serviceName();
  const bool exact = device->frameClock() && (service == "JACK" || service == "PipeWire");
  midiEvents_->setHitTarget(exact ? &device->engine() : nullptr);
  PublishKit(*state_, getRoot);
}

void Form1::connectHandlers() {
  for (std::size_t i = 0; i < 9; ++i) {
    connect(PAD[i], &PictureBox::MouseDown, this,
            [this](int index, int b, int s, float x, float y) {
              guarded([&] { PAD_MouseDown(index, b, s, x, y); });
            });
    connect(PAD[i], &PictureBox::MouseUp, this, [this](int index, int b, int s, float x, float y) {
      guarded([&] { PAD_MouseUp(index, b, s, x, y); });
    });
    connect(GP[i], &PictureBox::MouseUp, this, [this](int index, int b, int s, float x, float y) {
      guarded([&] { GP_MouseUp(index, b, s, x, y); });
    });
  }
  connect(Picture1, &PictureBox::MouseUp, this,
          [this](int, int b, int s, float x, float y) { Picture1_MouseUp(b, s, x, y); });
  connect(Combo1, &DropDown::ListDropDown, this,
          [this] { guarded([this] { Combo1_DropDown(); }); });
  connect(Combo1, &DropDown::Click, this, [this] {
    guarded([this] { Combo1_Click(); });
    focusPadSurface();  // a kit was chosen, not a name typed: the keys play it
  });
  connect(Combo1, &DropDown::GotFocus, this, [this] { Combo1_GotFocus(); });
  connect(Combo1, &DropDown::LostFocus, this, [this] { Combo1_LostFocus(); });
  connect(Combo1, &DropDown::Escape, this, [this] { focusPadSurface(); });
  connect(Command1, &PictureBox::MouseUp, this, [this](int, int button, int, float x, float y) {
    // A click is a left press and release over the button.
    if (button == vbLeftButton && Command1->rect().contains(QPoint(px(int(x)), px(int(y)))))
      guarded([this] { Command1_Click(); });
  });
}

void Form1::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& e) {
    boxes_.MsgBox(e.text(), vbOKOnly | vbExclamation, "");
  }
}

// A drummer's burst of hits that all fail deserves one box, not one per hit: failures while
// the box is up, or soon after it closed, are not shown again.
void Form1::reportMidiFailure(const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  if (midiReporting_ || now - midiReported_ < kMidiReportQuiet) return;
  midiReporting_ = true;
  boxes_.MsgBox(text, vbOKOnly | vbExclamation, "");
  midiReporting_ = false;
  midiReported_ = std::chrono::steady_clock::now();
}

Form1::~Form1() {
  qApp->removeEventFilter(this);
  if (soundTimer_ != nullptr) soundTimer_->stop();
  // The focus leaves the box while the window's parts are taken down; no handler may run.
  Combo1->disconnect(this);
  state_.reset();  // the pads' sounds go before the window that shows them
}

void Form1::buildPads() {
  for (int i = 0; i < 9; ++i) {
    PAD[std::size_t(i)] = new PictureBox(this, i);
    PAD[std::size_t(i)]->setGeometry(twipsRect(60 + 720 * i, 285, 585, 585));
    GP[std::size_t(i)] = new PictureBox(this, i);
    GP[std::size_t(i)]->setGeometry(twipsRect(kGroupLeft[i], 60, 195, 195));
    // A click on a pad or a light takes the keyboard away from the kit-name box, so that
    // the pad keys play again.
    PAD[std::size_t(i)]->setFocusPolicy(Qt::ClickFocus);
    GP[std::size_t(i)]->setFocusPolicy(Qt::ClickFocus);
  }
}

void Form1::focusPadSurface() {
  PAD[0]->setFocus(Qt::OtherFocusReason);
}

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The window opens ready to play: the keyboard belongs to the pads, not to the name box.
  if (!event->spontaneous()) focusPadSurface();
}

void Form1::buildBar() {
  Picture1 = new PictureBox(this);
  Picture1->setGeometry(twipsRect(0, 1080, 6495, 570));
  Picture1->setPicture(std::make_shared<Picture>(barImage()));
  Picture1->setFocusPolicy(Qt::ClickFocus);

  Label1 = new QLabel("Kit Name", Picture1);
  Label1->setGeometry(twipsRect(3330, 180, 1005, 195));
  QFont labelFont("DejaVu Sans");
  labelFont.setPointSizeF(9.75);
  labelFont.setBold(true);
  Label1->setFont(labelFont);
  Label1->setStyleSheet("color: rgb(192, 0, 0); background: transparent;");

  Combo1 = new DropDown(Picture1);
  Combo1->setGeometry(twipsRect(4350, 180, 1755, 285));
  QFont comboFont("DejaVu Sans");
  comboFont.setPointSizeF(6.75);
  Combo1->setFont(comboFont);
  QPalette colours = Combo1->palette();
  for (auto role : {QPalette::Base, QPalette::Button, QPalette::Window})
    colours.setColor(role, QColor(64, 64, 64));
  for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
    colours.setColor(role, QColor(0, 255, 255));
  Combo1->setPalette(colours);
  Combo1->lineEdit()->setPalette(colours);
  connect(Combo1, &DropDown::Change, this, [this] { Combo1_Change(); });

  Command1 = new PictureBox(Picture1);
  Command1->setGeometry(twipsRect(6150, 210, 240, 240));
  Command1->setToolTip("Save as new Kit");
  Command1->setFocusPolicy(Qt::ClickFocus);
  connect(Command1, &PictureBox::MouseDown, this, [this] { Command1_MouseDown(); });
  connect(Command1, &PictureBox::MouseUp, this, [this] { Command1_MouseUp(); });

  // The input control draws nothing while the program runs; it only holds its place.
  Midi_in1 = new QWidget(Picture1);
  Midi_in1->setGeometry(twipsRect(2580, 180, 345, 285));
  Midi_in1->hide();
}

PictureBox* Form1::holder(int index, const QPixmap& builtIn) {
  auto* h = new PictureBox(this);
  h->setGeometry(twipsRect(60 + 720 * index, kHolderTop, 600, 600));
  h->setPicture(std::make_shared<Picture>(builtIn));
  h->hide();
  return h;
}

void Form1::buildHolders() {
  U = holder(0, padImage(false));
  P = holder(1, padImage(true));
  Loff = holder(2, groupImage(0));
  Lon = holder(3, groupImage(1));
  Lo2 = holder(4, groupImage(2));
  UC = holder(5, diskImage(false));
  DC = holder(6, diskImage(true));
  UF = holder(7, folderImage(false));
  DF = holder(8, folderImage(true));
}

void Form1::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, background_->pixmap());
}

void Form1::Form_Load() {
  InitSound(uint32_t(reinterpret_cast<uintptr_t>(this)));
  state_->setSoundDevice(SoundDevice());
  midiEvents_->setClock(SoundDevice()->frameClock());
  publishKit();
  watchSound();
  loadSkin();
  Command1->setPicture(UC->picture());
  for (std::size_t i = 0; i < 9; ++i) {
    PAD[i]->setPicture(U->picture());
    GP[i]->setPicture(Loff->picture());
  }
  buildDeviceMenu();
  if (start_.midi.empty())
    rememberedDevice();
  else
    deviceNamed(start_.midi);
  watchMidi();
  state_->kit().Clear();
  loadStartKit();
}

void Form1::loadSkin() {
  if (!exists(appFolder_ + "/skin", files::Admit::FilesAndFolders)) return;
  // Skins made on systems that ignore letter case name their files as they please.
  auto load = [this](const char* name, auto&& use) {
    const std::string file = files::FileIgnoringCase(appFolder_ + "/skin", name);
    if (file.empty()) return;
    if (PictureRef picture = LoadPicture(appFolder_ + "/skin/" + file)) use(picture);
  };
  load("background.bmp", [this](PictureRef p) { background_ = p; });
  load("Bar.bmp", [this](PictureRef p) { Picture1->setPicture(p); });
  const std::pair<const char*, PictureBox*> holders[] = {
      {"grp2.bmp", Lo2},  {"grp1.bmp", Lon},    {"grp0.bmp", Loff},
      {"Pressed.bmp", P}, {"Unpressed.bmp", U}, {"Disk.bmp", UC},
      {"disk2.bmp", DC},  {"folder.bmp", UF},   {"folder2.bmp", DF}};
  for (const auto& [name, target] : holders)
    load(name, [target = target](PictureRef p) { target->setPicture(p); });
  update();
}

void Form1::buildDeviceMenu() {
  std::string why;
  midi_ = midiEvents_->watchedWhileOpen(makeMidi_ ? makeMidi_(*midiEvents_, why) : nullptr);
  if (!midi_) {
    boxes_.MsgBox(
        "The MIDI input is not available, so only the mouse and the keys play the "
        "pads: " +
            why,
        vbOKOnly | vbExclamation, "");
    return;
  }
  const int32_t n = midi_->InCount();
  for (int32_t k = 1; k <= n; ++k) midi->Load(k, midi_->InName(k - 1));
}

void Form1::rememberedDevice() {
  int32_t index = 0;
  try {
    index = FieldToInt32(ReadSetting("LastMidi", "0"));
  } catch (const Error&) {
    index = 0;  // not a number: as if no device had been chosen
  }
  if (index < INT16_MIN || index > INT16_MAX) index = 0;
  m_Click(int16_t(index));
}

void Form1::m_Click(int16_t Index) {
  lostMidiDevice_.clear();  // the user's choice stands over waiting for a lost device
  for (int i = 0; i < midi->Count(); ++i) midi->setChecked(i, false);
  if (Index >= 1 && midi_ && midi->exists(Index)) {
    if (midi_->InOpen(Index - 1) == 0) {
      midi->setChecked(Index, true);
      WriteSetting("Lastmidi", std::to_string(Index));
      return;
    }
    midi->setChecked(0, true);
    WriteSetting("Lastmidi", "0");
    boxes_.MsgBox("Cant open \"" + midi->Caption(Index) + "\"", vbOKOnly, "");
    return;
  }
  // No input, or a remembered device that is no longer there.
  if (midi_) midi_->InClose();
  midi->setChecked(0, true);
  WriteSetting("Lastmidi", "0");
}

// The first input whose name holds part, as the user would pick it from the menu.
void Form1::deviceNamed(const std::string& part) {
  for (int16_t k = 1; k < midi->Count(); ++k) {
    if (midi->Caption(k).find(part) != std::string::npos) {
      m_Click(k);
      return;
    }
  }
  m_Click(0);
  boxes_.MsgBox("No MIDI input has \"" + part + "\" in its name, so none is open.",
                vbOKOnly | vbExclamation, "");
}

void Form1::loadStartKit() {
  const std::string found = files::FileIgnoringCase(appFolder_, start_.kit + ".txt");
  if (start_.kit == "default" && found.empty()) return;
  const std::string file = appFolder_ + "/" + (found.empty() ? start_.kit + ".txt" : found);
  try {
    state_->kit().ReadKit(file);  // nothing is unsaved yet
    state_->kit().Kitname = start_.kit;
    Combo1->setText(start_.kit);
  } catch (const Error& e) {
    state_->kit().Clear();
    boxes_.MsgBox("The kit '" + start_.kit + "' could not be loaded: " + e.text(),
                  vbOKOnly | vbExclamation, "");
  }
}

void Form1::SetPadTooltip(int pad, const std::string& text) {
  PAD.at(std::size_t(pad))->setToolTip(shownText(text));
}

void Form1::ShowGroupImage(int pad, int group) {
  PictureBox* image = group == 1 ? Lon : group == 2 ? Lo2 : Loff;
  GP.at(std::size_t(pad))->setPicture(image->picture());
}

void Form1::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

std::string Form1::KitNameText() const {
  return Combo1->Text();
}

void Form1::Command1_MouseDown() {
  Command1->setPicture(DC->picture());
}

void Form1::Command1_MouseUp() {
  Command1->setPicture(UC->picture());
}

void Form1::Combo1_Change() {
  if (!kitLoading) state_->kit().Kitname = Combo1->Text();
}

}  // namespace varnkit::ui
