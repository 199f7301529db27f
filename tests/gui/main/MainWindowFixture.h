#pragma once
// A main window on an offline sound device, with a program folder of its own, a settings
// store emptied for each test, message boxes answered and recorded, and a MIDI input control
// stand-in whose devices the test chooses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sound/SoundOutput.h"
#include "tests/support/WavWriter.h"
#include "ui/main/Form1.h"

namespace varnkit::testing {

class FakeMidiInput : public ui::MidiInput {
 public:
  int32_t InCount() override { return int32_t(names.size()); }
  std::string InName(int32_t id) override { return names.at(std::size_t(id)); }
  int32_t InOpen(int32_t id) override {
    opened.push_back(id);
    if (id < 0 || id >= InCount()) return 2;
    return refuse ? 4 : 0;
  }
  int32_t InClose() override {
    ++closes;
    return 0;
  }

  std::vector<std::string> names;
  bool refuse = false;
  ui::MidiMessageSink* sink = nullptr;  // where the window wants the control's events
  std::vector<int32_t> opened;
  int closes = 0;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(std::filesystem::path(getenv("XDG_CONFIG_HOME")) / "VarnKit");
    ui::MessageBoxService::setAnswerer([this](const ui::MessageBoxRequest& r) {
      shown.push_back(r);
      return (r.buttons & 7) == vbYesNo ? answer : vbOK;
    });
    SetDirectX7(std::make_unique<audio::DirectX7>(
        [](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
          return audio::Device::openOffline(44100);
        }));
  }
  void TearDown() override {
    form.reset();
    CloseSound();
    ui::MessageBoxService::setAnswerer(nullptr);
  }

  // Makes and starts the window; midiDevices null: the MIDI module cannot be created.
  ui::Form1& start(const std::vector<std::string>* midiDevices = nullptr,
                   const ui::StartChoices& choices = {}) {
    form.reset();
    auto fake = std::make_unique<FakeMidiInput>();
    midiFake = fake.get();
    if (midiDevices != nullptr) fake->names = *midiDevices;
    const bool withMidi = midiDevices != nullptr;
    form = std::make_unique<ui::Form1>(
        app.path().string(),
        [withMidi, f = std::shared_ptr<FakeMidiInput>(std::move(fake))](
            ui::MidiMessageSink& sink, std::string& why) mutable -> std::unique_ptr<ui::MidiInput> {
          f->sink = &sink;
          if (!withMidi) {
            why = "the Midi module is not registered.";
            return nullptr;
          }
          return std::unique_ptr<ui::MidiInput>(new Forward(f));
        },
        choices);
    form->Form_Load();
    return *form;
  }

  // A kit file in the program folder with one layer on pad 0, sample written beside it.
  void writeKit(const std::string& name, const std::string& padName) {
    std::filesystem::create_directories(app.path() / "samples");
    writeFile(app.path() / "samples" / "kick.wav", makeWav(constant(0.5f, 100), {}));
    std::ofstream(app.path() / (name + ".txt"))
        << "vst samples," << name << ",samples,VarnKit,\r\n1,0,0,\t36," << padName
        << ",\tkick.wav,0,127,0,0,0,0,0,0,\r\n-1 by Ned's VarnKit\r\n";
  }

  std::string screenshotFolder() const { return VARNKIT_SCREENSHOT_DIR; }

  TempDir app;
  std::unique_ptr<ui::Form1> form;
  FakeMidiInput* midiFake = nullptr;
  std::vector<ui::MessageBoxRequest> shown;
  int answer = vbYes;

 private:
  // The window owns its control; the test keeps looking at the same stand-in.
  struct Forward : ui::MidiInput {
    explicit Forward(std::shared_ptr<FakeMidiInput> t) : to(std::move(t)) {}
    int32_t InCount() override { return to->InCount(); }
    std::string InName(int32_t id) override { return to->InName(id); }
    int32_t InOpen(int32_t id) override { return to->InOpen(id); }
    int32_t InClose() override { return to->InClose(); }
    std::shared_ptr<FakeMidiInput> to;
  };
};

}  // namespace varnkit::testing
