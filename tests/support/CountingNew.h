#pragma once
// Counts the allocations a piece of code makes: a test program that links CountingNew.cpp
// has every operator new counted while a counter is alive on the calling thread.

namespace varnkit::testing {

class AllocationCounter {
 public:
  // Starts counting this thread's allocations from zero.
  AllocationCounter();
  // Stops counting.
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  // The allocations made on this thread since the counter was made.
  long count() const;
};

}  // namespace varnkit::testing
