#pragma once
// A bounded lock-free queue for exactly one producer thread and one consumer thread.

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

namespace varnkit::engine {

template <class T, std::size_t Capacity>
class SpscQueue {
  static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity: a power of two");

 public:
  SpscQueue() = default;
  SpscQueue(const SpscQueue&) = delete;
  SpscQueue& operator=(const SpscQueue&) = delete;

  // Producer thread only. False when the queue is full; the item is then not queued.
  bool push(const T& item) noexcept {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == Capacity) return false;
    slots_[tail & (Capacity - 1)] = item;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer thread only. The oldest item, or nothing when the queue is empty.
  std::optional<T> pop() noexcept {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return std::nullopt;
    T item = slots_[head & (Capacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return item;
  }

  // Consumer thread only. The oldest item, left in the queue, or null when it is empty.
  const T* front() const noexcept {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    return &slots_[head & (Capacity - 1)];
  }

  // Consumer thread only: lets go of the item front() gave.
  void dropFront() noexcept {
    head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }

 private:
  std::array<T, Capacity> slots_{};
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace varnkit::engine
