// The audio callback must not allocate: every operator new in this program is counted while
// the mixer renders.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/AudioFixture.h"

// GCC cannot see that the replaced new and delete below belong together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace varnkit::audio {
namespace {

TEST(RealTimeMixing, RendersSixtyFourVoicesWithStopsAndRestartsWithoutAllocating) {
  testing::OfflineAudio a;
  std::vector<std::unique_ptr<SoundBuffer>> buffers;
  for (int i = 0; i < 64; ++i) {
    buffers.push_back(a.buffer(testing::sine(100.0 + i, 0.01, 44100, 120000),
                               {44100, uint16_t(1 + i % 2), 16, false}));
    ASSERT_EQ(buffers.back()->Play(0), DsResult::Ok);
  }
  std::vector<float> out(2 * 256);
  counting = true;
  for (int block = 0; block < 200; ++block) {
    if (block % 10 == 5) {
      // Restarts, level changes and stops all make fading tails inside the next render.
      auto& b = *buffers[std::size_t(block) % buffers.size()];
      (void)b.SetCurrentPosition(0);
      (void)b.SetVolume(-500);
      (void)b.Play(0);
      (void)buffers[(std::size_t(block) + 7) % buffers.size()]->Stop();
    }
    a.device->mixer().render(out.data(), 256);
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_GE(a.device->mixer().activeVoices(), 40u);
}

}  // namespace
}  // namespace varnkit::audio
