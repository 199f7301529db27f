#include "app/ComMidiInput.h"

#include <array>
#include <memory>

#include "app/OwnModule.h"
#include "platform/com/Connection.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Instance.h"
#include "platform/com/Text.h"

namespace varnkit::app {
namespace {

using namespace com;

constexpr CLSID kMidiIn = guid("{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}");
constexpr IID kMidiInEvents = guid("{EE5F8E43-FCBB-11D3-B76C-DC249AF7BE36}");

// Dispatch ids of the input control and its event.
constexpr DISPID kInOpen = 3;
constexpr DISPID kInClose = 4;
constexpr DISPID kInCount = 5;
constexpr DISPID kInName = 6;
constexpr DISPID kMessage = 1;
constexpr DISPID kMessageAt = 2;

// What InOpen answers when the call itself fails: the MIDI services' general error.
constexpr int32_t kOpenFailed = 1;

// Receives the control's events on the MIDI thread and hands Message to the window's sink.
// Reads the arguments as they arrive, so that nothing is allocated there.
class EventSink final : public IDispatch {
 public:
  explicit EventSink(ui::MidiMessageSink& sink) : sink_(sink) {}

  HRESULT QueryInterface(const IID& iid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IUnknown::iid || iid == IDispatch::iid || iid == kMidiInEvents)
      return handOut(this, object);
    return E_NOINTERFACE;
  }
  uint32_t AddRef() noexcept override { return refs_.add(); }
  uint32_t Release() noexcept override {
    const uint32_t left = refs_.remove();
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetIDsOfNames(std::string_view name, DISPID& id) noexcept override;
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<const Variant> args,
                 Variant* result) noexcept override;

 private:
  ~EventSink() = default;

  RefCount refs_;
  ui::MidiMessageSink& sink_;
};

HRESULT EventSink::GetIDsOfNames(std::string_view name, DISPID& id) noexcept {
  if (sameName(name, "Message")) {
    id = kMessage;
    return S_OK;
  }
  if (sameName(name, "MessageAt")) {
    id = kMessageAt;
    return S_OK;
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT EventSink::Invoke(DISPID id, uint16_t, std::span<const Variant> args, Variant*) noexcept {
  if (id != kMessage && id != kMessageAt) return DISP_E_MEMBERNOTFOUND;
  const std::size_t n = id == kMessage ? 4 : 5;
  if (args.size() != n) return DISP_E_BADPARAMCOUNT;
  constexpr std::array<VarType, 5> kTypes{VarType::I4, VarType::I2, VarType::I2, VarType::I2,
                                          VarType::I4};
  std::array<Variant, 5> value;
  for (std::size_t i = 0; i < n; ++i)
    if (failed(changeType(args[i], kTypes[i], value[i]))) return DISP_E_TYPEMISMATCH;
  if (id == kMessage)
    sink_.Message(value[0].i4(), value[1].i2(), value[2].i2(), value[3].i2());
  else
    sink_.MessageAt(value[0].i4(), value[1].i2(), value[2].i2(), value[3].i2(),
                    uint32_t(value[4].i4()));
  return S_OK;
}

class ComMidiInput final : public ui::MidiInput {
 public:
  // Makes the control and connects sink to it; false and why on failure.
  bool create(ui::MidiMessageSink& sink, std::string& why);
  ~ComMidiInput() override;

  int32_t InCount() override { return number(call(kInCount, {}), 0); }
  std::string InName(int32_t DeviceID) override;
  int32_t InOpen(int32_t DeviceID) override {
    return number(call(kInOpen, {Variant(DeviceID)}), kOpenFailed);
  }
  int32_t InClose() override { return number(call(kInClose, {}), 0); }

 private:
  // The control's answer; empty when the call itself failed.
  Variant call(DISPID id, std::initializer_list<Variant> args);
  // value as a number; otherwise the fallback.
  static int32_t number(const Variant& value, int32_t fallback);

  Instance<IDispatch> control_;
  Connection connection_;
};

bool ComMidiInput::create(ui::MidiMessageSink& sink, std::string& why) {
  const HRESULT made = control_.create(kMidiIn, why);
  if (made == REGDB_E_CLASSNOTREG) why = "the Midi module is not registered";
  if (failed(made)) return false;
  ComPtr<IDispatch> events = ComPtr<IDispatch>::adopt(new EventSink(sink));
  if (const HRESULT hr = connection_.connect(control_.get(), kMidiInEvents, events.get());
      failed(hr)) {
    why = "the Midi input control raises no events (" + resultText(hr) + ")";
    return false;
  }
  return true;
}

ComMidiInput::~ComMidiInput() {
  InClose();
  connection_.disconnect();
  control_.reset();
}

std::string ComMidiInput::InName(int32_t DeviceID) {
  Variant name = call(kInName, {Variant(DeviceID)});
  return name.type() == VarType::String ? name.string() : std::string();
}

Variant ComMidiInput::call(DISPID id, std::initializer_list<Variant> args) {
  Variant result;
  if (!control_) return {};
  if (failed(control_->Invoke(id, DISPATCH_METHOD, std::span(args.begin(), args.size()), &result)))
    return {};
  return result;
}

int32_t ComMidiInput::number(const Variant& value, int32_t fallback) {
  Variant converted;
  return succeeded(changeType(value, VarType::I4, converted)) ? converted.i4() : fallback;
}

}  // namespace

ui::MidiInputFactory comMidiInputFactory(std::string ownModule) {
  return
      [ownModule](ui::MidiMessageSink& sink, std::string& why) -> std::unique_ptr<ui::MidiInput> {
        if (!ownModule.empty() && !RegisterWhenMissing(kMidiIn, ownModule, why)) return nullptr;
        auto input = std::make_unique<ComMidiInput>();
        if (!input->create(sink, why)) return nullptr;
        return input;
      };
}

}  // namespace varnkit::app
