#pragma once
// The main window: nine pads with their group buttons, the bar with the kit-name box and the
// save button, the hidden image holders and the MIDI device menu.

#include <QWidget>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "kit/KitState.h"
#include "kit/WindowLink.h"
#include "sound/DeviceWatch.h"
#include "ui/main/MidiEventQueue.h"
#include "ui/main/MidiInput.h"
#include "ui/toolkit/DropDown.h"
#include "ui/toolkit/MessageBoxService.h"
#include "ui/toolkit/PictureBox.h"
#include "ui/toolkit/PopupMenu.h"

class QLabel;
class QTimer;

namespace varnkit::ui {

class Diag;

// What the command line asks of the start.
struct StartChoices {
  std::string kit = "default";  // loaded at start when its file is there
  std::string midi;             // part of the name of the MIDI input to open; "": the remembered
};

// All members: user-interface thread.
class Form1 : public QWidget,
              public PadView,
              public CaptionView,
              public KitNameBox,
              public SoundWatchView {
  Q_OBJECT

 public:
  // appFolder: the program folder (kits, the skin folder); makeMidi: the MIDI input control.
  Form1(std::string appFolder, MidiInputFactory makeMidi, StartChoices start = {});
  ~Form1() override;

  // Start-up: sound device, skin, pictures, device menu, last device, kit, default kit.
  // Raises varnkit::Error when the sound device cannot be opened.
  void Form_Load();

  // Pad view, caption change and kit-name box, for the kit model.
  void SetPadTooltip(int pad, const std::string& text) override;
  void ShowGroupImage(int pad, int group) override;
  void SetCaption(const std::string& caption) override;
  std::string KitNameText() const override;
  // The sound device went away, or came back.
  void soundLost(const std::string& service) override;
  void soundBack(const std::string& service) override;

  // The device menu: item Index chosen (also by start-up with the remembered index).
  void m_Click(int16_t Index);
  void Command1_MouseDown();
  void Command1_MouseUp();
  void Combo1_Change();
  // The pad surface and the keyboard.
  void PAD_MouseDown(int Index, int Button, int Shift, float x, float Y);
  void PAD_MouseUp(int Index, int Button, int Shift, float x, float Y);
  void GP_MouseUp(int Index, int Button, int Shift, float x, float Y);
  void Form_KeyDown(int& KeyCode, int Shift);
  void Form_KeyUp(int& KeyCode, int Shift);
  void Picture1_MouseUp(int Button, int Shift, float x, float Y);
  // The kit list, saving and closing.
  void Combo1_DropDown();
  void Combo1_Click();
  void Combo1_GotFocus() { nameFocus = true; }
  void Combo1_LostFocus() { nameFocus = false; }
  void Command1_Click();
  // "Import kit..." in the device menu: another sampler's kit, imported and loaded.
  void importKit();
  // Offers to save, then closes the input and the pad editor. False only when the user
  // wanted the kit saved and it could not be: then the window stays open and all works on.
  bool Form_QueryUnload();
  // A message of the MIDI input, brought to the user-interface thread.
  void Midi_in1_Message(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2);

  // Hands the kit to the engine, which decides notes that come with their frame itself. Runs
  // whenever the window is about to wait; code that changes the kit outside a handler calls it.
  void publishKit();

  KitState& state() { return *state_; }
  MessageBoxService& boxes() { return boxes_; }
  MidiInput* midiInput() { return midi_.get(); }
  MidiEventQueue& midiEvents() { return *midiEvents_; }
  // Keeps the sound through a lost device; null before Form_Load.
  DeviceWatch* soundWatch() { return soundWatch_.get(); }
  // The pad editor, null until a pad was first edited.
  Diag* editor() { return diag_.get(); }

  // Controls, by the names the handlers use.
  std::array<PictureBox*, 9> PAD{};
  std::array<PictureBox*, 9> GP{};
  PictureBox* Picture1 = nullptr;
  QLabel* Label1 = nullptr;
  DropDown* Combo1 = nullptr;
  PictureBox* Command1 = nullptr;
  QWidget* Midi_in1 = nullptr;
  // Image holders, out of sight below the client area.
  PictureBox *U = nullptr, *P = nullptr, *Loff = nullptr, *Lon = nullptr, *Lo2 = nullptr;
  PictureBox *UC = nullptr, *DC = nullptr, *UF = nullptr, *DF = nullptr;
  PopupMenu* midi = nullptr;

  bool nameFocus = false;
  bool kitLoading = false;
  bool getRoot = false;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildPads();
  void buildBar();
  void buildHolders();
  void loadSkin();
  void buildDeviceMenu();
  void rememberedDevice();
  void deviceNamed(const std::string& part);
  void loadStartKit();
  void watchSound();
  // The MIDI input device: looked at every kMidiLook, reopened by name once it is back.
  void watchMidi();
  void lookAtMidiDevice();
  void reopenMidiDevice();
  int32_t midiDeviceNamed(const std::string& name);
  PictureBox* holder(int index, const QPixmap& builtIn);
  void connectHandlers();
  // Runs a handler, reporting a failure in a message box instead of ending the program.
  void guarded(const std::function<void()>& handler);
  void reportMidiFailure(const std::string& text);
  // Gives the keyboard to the pad surface, ending any editing of the kit-name box.
  void focusPadSurface();
  void editPad(int16_t pad);
  void closeEditor();
  void chooseKit(const std::string& name, const std::string& fileName);
  // OfferToSave; false, with the box showing the kit again, when the kit must stay.
  bool letKitGo(const std::string& next);
  void loadKitFile(const std::string& name, const std::string& fileName);
  void learnedRootKey(int16_t note);
  bool kitFileExists(const std::string& name) const;

  std::string appFolder_;
  MidiInputFactory makeMidi_;
  StartChoices start_;
  bool soundMade_ = false;  // the note being handled was already played by the engine
  std::unique_ptr<MidiInput> midi_;
  MidiEventQueue* midiEvents_ = nullptr;
  std::unique_ptr<Diag> diag_;  // the pad editor, made on first use
  MessageBoxService boxes_;
  PictureRef background_;
  std::unique_ptr<KitState> state_;
  std::unique_ptr<DeviceWatch> soundWatch_;
  QTimer* soundTimer_ = nullptr;
  std::string captionBeforeLoss_;
  std::string lossNotice_;      // the word on the last loss of the sound device
  std::string midiLossNotice_;  // the word on the last loss of the MIDI input device
  static constexpr std::chrono::milliseconds kMidiLook{2000};
  std::vector<std::string> kitFiles_;  // the file of each kit-list entry
  std::string lostMidiDevice_;  // the device that went away, until it is back or another is chosen
  static constexpr std::chrono::seconds kMidiReportQuiet{2};
  bool midiReporting_ = false;
  std::chrono::steady_clock::time_point midiReported_{};
};

}  // namespace varnkit::ui
