#pragma once
// The MIDI input control as the main window's input, called directly rather than through the
// component runtime.

#include "midi/MidiInCtrl.h"
#include "ui/main/MidiInput.h"

namespace varnkit::testing {

class DirectMidiInput final : public ui::MidiInput, private midictl::MidiInEvents {
 public:
  explicit DirectMidiInput(ui::MidiMessageSink& sink) : sink_(sink) { control_.SetEventSink(this); }
  ~DirectMidiInput() override {
    control_.SetEventSink(nullptr);
    control_.InClose();
  }
  int32_t InCount() override { return control_.InCount(); }
  std::string InName(int32_t id) override { return control_.InName(id); }
  int32_t InOpen(int32_t id) override { return control_.InOpen(id); }
  int32_t InClose() override { return control_.InClose(); }

  // A factory for the main window.
  static ui::MidiInputFactory factory() {
    return [](ui::MidiMessageSink& sink, std::string&) {
      return std::unique_ptr<ui::MidiInput>(new DirectMidiInput(sink));
    };
  }

 private:
  void Message(midictl::MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override {
    sink_.Message(int32_t(Msg), Channel, Data1, Data2);
  }
  ui::MidiMessageSink& sink_;
  midictl::CMidi_INCtrl control_;
};

}  // namespace varnkit::testing
