#pragma once
// Open ports under 32-bit handles, for every thread of the process. A handle names one
// opening: once closed it stays invalid, even when its slot holds a port again. A port is
// closed only when no thread is using it, and using one takes no lock.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/midi/Result.h"

namespace varnkit::midi {

template <class Port, std::size_t Slots = 255>
class HandleTable {
  static_assert(Slots < 256, "the low byte of a handle names its slot");

 public:
  // A port in use; the port cannot be closed while this exists.
  class Use {
   public:
    Use() = default;
    Use(Use&& other) noexcept : users_(other.users_), port_(other.port_) { other.users_ = nullptr; }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    Use& operator=(Use&&) = delete;
    ~Use() {
      if (users_ != nullptr) users_->fetch_sub(1);
    }
    Port* get() const noexcept { return port_; }
    Port* operator->() const noexcept { return port_; }
    explicit operator bool() const noexcept { return port_ != nullptr; }

   private:
    friend class HandleTable;
    Use(std::atomic<uint32_t>* users, Port* port) : users_(users), port_(port) {}
    std::atomic<uint32_t>* users_ = nullptr;
    Port* port_ = nullptr;
  };

  HandleTable() = default;
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;
  ~HandleTable() {
    for (Slot& slot : slots_) delete slot.port.load();
  }

  // Takes port in and gives its handle; MMSYSERR_NOMEM when every slot is taken.
  MMRESULT add(std::unique_ptr<Port> port, HMIDIOUT& handle) {
    for (std::size_t i = 0; i < Slots; ++i) {
      Slot& slot = slots_[i];
      uint32_t free = kFree;
      if (!slot.handle.compare_exchange_strong(free, kBusy)) continue;
      slot.generation = (slot.generation + 1) & 0xFFFFFF;
      const HMIDIOUT h = (slot.generation << 8) | uint32_t(i + 1);
      slot.port.store(port.release());
      slot.handle.store(h);
      handle = h;
      return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOMEM;
  }

  // The port behind handle, held until the Use goes; empty when handle is not open. Any
  // thread: takes no lock, does not wait, does not allocate.
  Use use(HMIDIOUT handle) noexcept {
    Slot* slot = slotOf(handle);
    if (slot == nullptr) return {};
    // Counted first, looked at second; close() does the two the other way round, so either
    // this sees the port gone or close() sees this user.
    slot->users.fetch_add(1);
    if (slot->handle.load() != handle) {
      slot->users.fetch_sub(1);
      return {};
    }
    return Use(&slot->users, slot->port.load());
  }

  // Closes the port behind handle once nobody uses it; MMSYSERR_INVALHANDLE when handle is
  // not open. Any thread that holds no Use of it.
  MMRESULT close(HMIDIOUT handle) {
    Slot* slot = slotOf(handle);
    uint32_t expected = handle;
    if (slot == nullptr || !slot->handle.compare_exchange_strong(expected, kBusy))
      return MMSYSERR_INVALHANDLE;
    while (slot->users.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    delete slot->port.exchange(nullptr);
    slot->handle.store(kFree);
    return MMSYSERR_NOERROR;
  }

 private:
  // No handle has a low byte of 0, so neither marker is ever a handle.
  static constexpr uint32_t kFree = 0;
  static constexpr uint32_t kBusy = 0xFFFFFF00u;

  struct Slot {
    std::atomic<uint32_t> handle{kFree};
    std::atomic<uint32_t> users{0};
    std::atomic<Port*> port{nullptr};
    uint32_t generation = 0;  // changed only by whoever holds the slot busy
  };

  Slot* slotOf(HMIDIOUT handle) noexcept {
    const uint32_t index = handle & 0xFF;
    return index >= 1 && index <= Slots ? &slots_[index - 1] : nullptr;
  }

  std::array<Slot, Slots> slots_;
};

}  // namespace varnkit::midi
