#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/Error.h"
#include "tests/support/KitConsistency.h"

namespace varnkit {
namespace {

TEST(KitFileRobustness, DamagedAndRandomKitFilesNeverBreakTheKit) {
  testing::KitFixture f;
  f.sample("a.wav", 0.1f, 10);
  f.sample("b.wav", 0.2f, 10);
  const std::string base = "vst samples,\r\r\nR,\r\r\n" + f.folder() +
                           ",\r\r\nVarnKit,\r\r\n\r\r\n" +
                           "1,0,0,\t36,Kick,\ta.wav,0,79,0,0,0,0,0,0,\r\r\n"
                           "1,0,0,\t36,Kick,\tb.wav,80,127,0,0,0,0,1,1,\r\r\n"
                           "3,0,0,\t42,Hat,\ta.wav,0,127,0,0,0,0,2,1,\r\r\n"
                           "9,0,0,\t64,Crash,\tb.wav,0,127,0,0,0,0,1,1,\r\r\n"
                           "-1 by Ned's VarnKit\r\n";
  const std::string file = f.app.file("fuzz.txt");
  int loaded = 0, withLayers = 0;
  for (unsigned seed = 1; seed <= 1500; ++seed) {
    const std::string text = testing::mutatedKitText(base, seed);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    try {
      f.kit().ReadKit(file);
      ++loaded;
    } catch (const Error&) {
      // a record out of range: the load stops, and what it read must still hold together
    }
    const std::string problem = testing::kitInconsistency(f.state, f.pads);
    ASSERT_EQ(problem, "") << "seed " << seed << ", file:\n" << text;
    withLayers += f.kit().Instrument(0).Count() + f.kit().Instrument(2).Count() > 0 ? 1 : 0;
  }
  EXPECT_GT(withLayers, 300);
  EXPECT_GT(loaded, 300);  // the edits leave many files loadable, so the rules get exercised
}

}  // namespace
}  // namespace varnkit
