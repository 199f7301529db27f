#pragma once
// MIDI services for testing the controls' logic: a few named ports, messages delivered by
// the test on its own thread, and everything the controls send written to a journal.

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/MidiPorts.h"

namespace varnkit::midi::testing {

class FakeMidiPorts final : public MidiPorts {
 public:
  std::vector<std::string> inputs{"keys", "pads"};
  std::vector<std::string> outputs{"synth", "drum module"};
  MMRESULT startResult = MMSYSERR_NOERROR;
  MMRESULT prepareResult = MMSYSERR_NOERROR;
  MMRESULT longResult = MMSYSERR_NOERROR;
  MMRESULT unprepareResult = MMSYSERR_NOERROR;

  // In order: "thru <handle> <packed hex>", "short ...", "long <handle> <bytes hex>", and
  // whatever the test adds (the events it receives).
  std::vector<std::string> journal;
  std::vector<SendWait> waits;  // of every short message sent
  std::vector<std::vector<uint8_t>> longMessages;
  int inputOpens = 0;
  int outputCloses = 0;

  // Hands packed to the open input as a port does: onMessage, then afterMessage unless the
  // input was closed meanwhile. A JACK port tells the frame.
  void deliver(uint32_t packed, std::optional<uint32_t> frame = std::nullopt) {
    for (auto& [id, input] : openInputs_) {
      std::shared_ptr<Input> held = input;  // the port outlives a close inside the handler
      if (!held->started) continue;
      held->receiver.onMessage(packed, frame);
      if (held->open) held->receiver.afterMessage(packed);
      return;
    }
  }
  int openInputCount() const { return int(openInputs_.size()); }
  int openOutputCount() const { return int(openOutputs_.size()); }

  uint32_t inCount() override { return uint32_t(inputs.size()); }
  MMRESULT inName(uint32_t id, std::string& name) override {
    if (id >= inputs.size()) return MMSYSERR_BADDEVICEID;
    name = inputs[id];
    return MMSYSERR_NOERROR;
  }
  MMRESULT inOpen(uint32_t id, MidiInReceiver& receiver, std::unique_ptr<MidiIn>& input) override {
    if (id >= inputs.size()) return MMSYSERR_BADDEVICEID;
    if (openInputs_.count(id) != 0) return MMSYSERR_ALLOCATED;
    auto state = std::make_shared<Input>(receiver);
    openInputs_[id] = state;
    ++inputOpens;
    input = std::make_unique<InputHandle>(*this, id, state);
    return MMSYSERR_NOERROR;
  }

  uint32_t outCount() override { return uint32_t(outputs.size()); }
  MMRESULT outName(uint32_t id, std::string& name) override {
    if (id >= outputs.size()) return MMSYSERR_BADDEVICEID;
    name = outputs[id];
    return MMSYSERR_NOERROR;
  }
  MMRESULT outOpen(uint32_t id, HMIDIOUT& handle) override {
    if (id >= outputs.size()) return MMSYSERR_BADDEVICEID;
    for (const auto& [h, port] : openOutputs_)
      if (port == id) return MMSYSERR_ALLOCATED;
    handle = nextHandle_++;
    openOutputs_[handle] = id;
    return MMSYSERR_NOERROR;
  }
  MMRESULT outClose(HMIDIOUT handle) override {
    if (openOutputs_.erase(handle) == 0) return MMSYSERR_INVALHANDLE;
    ++outputCloses;
    return MMSYSERR_NOERROR;
  }
  MMRESULT outShortMsg(HMIDIOUT handle, uint32_t packed, SendWait wait) noexcept override {
    if (openOutputs_.count(handle) == 0) return MMSYSERR_INVALHANDLE;
    waits.push_back(wait);
    journal.push_back("short " + std::to_string(handle) + " " + hex(packed));
    return MMSYSERR_NOERROR;
  }
  MMRESULT outPrepareHeader(HMIDIOUT handle, MidiHeader& header) override {
    if (openOutputs_.count(handle) == 0) return MMSYSERR_INVALHANDLE;
    if (prepareResult == MMSYSERR_NOERROR) header.flags |= MHDR_PREPARED;
    return prepareResult;
  }
  MMRESULT outLongMsg(HMIDIOUT handle, MidiHeader& header) override {
    if (openOutputs_.count(handle) == 0) return MMSYSERR_INVALHANDLE;
    if ((header.flags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (longResult != MMSYSERR_NOERROR) return longResult;
    longMessages.emplace_back(header.data, header.data + header.bufferLength);
    return MMSYSERR_NOERROR;
  }
  MMRESULT outUnprepareHeader(HMIDIOUT handle, MidiHeader& header) override {
    if (openOutputs_.count(handle) == 0) return MMSYSERR_INVALHANDLE;
    header.flags &= ~MHDR_PREPARED;
    return unprepareResult;
  }

  static std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", value);
    return text;
  }

 private:
  struct Input {
    explicit Input(MidiInReceiver& r) : receiver(r) {}
    MidiInReceiver& receiver;
    bool started = false;
    bool open = true;
  };

  class InputHandle final : public MidiIn {
   public:
    InputHandle(FakeMidiPorts& ports, uint32_t id, std::shared_ptr<Input> state)
        : ports_(ports), id_(id), state_(std::move(state)) {}
    ~InputHandle() override {
      state_->open = false;
      ports_.openInputs_.erase(id_);
    }
    MMRESULT start() override {
      if (ports_.startResult == MMSYSERR_NOERROR) state_->started = true;
      return ports_.startResult;
    }

   private:
    FakeMidiPorts& ports_;
    uint32_t id_;
    std::shared_ptr<Input> state_;
  };

  std::map<uint32_t, std::shared_ptr<Input>> openInputs_;
  std::map<HMIDIOUT, uint32_t> openOutputs_;
  HMIDIOUT nextHandle_ = 0x101;
};

}  // namespace varnkit::midi::testing
