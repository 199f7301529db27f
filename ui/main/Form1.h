#pragma once
// The main window: nine pads with their group buttons, the bar with the kit-name box and the
// save button, the hidden image holders and the MIDI device menu.

#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "kit/KitState.h"
#include "kit/WindowLink.h"
#include "ui/main/MidiInput.h"
#include "ui/toolkit/DropDown.h"
#include "ui/toolkit/MessageBoxService.h"
#include "ui/toolkit/PictureBox.h"
#include "ui/toolkit/PopupMenu.h"

class QLabel;

namespace varnkit::ui {

// All members: user-interface thread.
class Form1 : public QWidget, public PadView, public CaptionView, public KitNameBox {
  Q_OBJECT

 public:
  // appFolder: the program folder (kits, the skin folder); makeMidi: the MIDI input control.
  Form1(std::string appFolder, MidiInputFactory makeMidi);
  ~Form1() override;

  // Start-up: sound device, skin, pictures, device menu, last device, kit, default kit.
  // Raises varnkit::Error when the sound device cannot be opened.
  void Form_Load();

  // Pad view, caption change and kit-name box, for the kit model.
  void SetPadTooltip(int pad, const std::string& text) override;
  void ShowGroupImage(int pad, int group) override;
  void SetCaption(const std::string& caption) override;
  std::string KitNameText() const override;

  // The device menu: item Index chosen (also by start-up with the remembered index).
  void m_Click(int16_t Index);
  void Command1_MouseDown();
  void Command1_MouseUp();
  void Combo1_Change();

  KitState& state() { return *state_; }
  MessageBoxService& boxes() { return boxes_; }
  MidiInput* midiInput() { return midi_.get(); }

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

 private:
  void buildPads();
  void buildBar();
  void buildHolders();
  void loadSkin();
  void buildDeviceMenu();
  void rememberedDevice();
  void loadDefaultKit();
  PictureBox* holder(int index, const QPixmap& builtIn);

  std::string appFolder_;
  MidiInputFactory makeMidi_;
  std::unique_ptr<MidiInput> midi_;
  MessageBoxService boxes_;
  PictureRef background_;
  std::unique_ptr<KitState> state_;
};

}  // namespace varnkit::ui
