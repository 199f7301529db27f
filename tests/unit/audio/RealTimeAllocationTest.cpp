// The audio callback must not allocate: every operator new is counted while the mixer renders.

#include <gtest/gtest.h>

#include "tests/support/AudioFixture.h"
#include "tests/support/CountingNew.h"

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
  long allocations = 0;
  {
    testing::AllocationCounter counter;
    for (int block = 0; block < 200; ++block) {
      if (block % 10 == 5) {
        // Restarts, level changes and stops all make fading tails inside the next render;
        // the restart is due 100 frames into the next block, which splits that block.
        a.device->engine().setDue(uint32_t(block) * 256 + 256 + 100);
        auto& b = *buffers[std::size_t(block) % buffers.size()];
        (void)b.SetCurrentPosition(0);
        (void)b.SetVolume(-500);
        (void)b.Play(0);
        a.device->engine().clearDue();
        (void)buffers[(std::size_t(block) + 7) % buffers.size()]->Stop();
      }
      a.device->engine().render(out.data(), 256);
    }
    allocations = counter.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_GE(a.device->engine().activeVoices(), 40u);
}

}  // namespace
}  // namespace varnkit::audio
