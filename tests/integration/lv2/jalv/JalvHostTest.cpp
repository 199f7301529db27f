// The instrument in a host of another process: jalv runs it as a JACK client of its own with
// the kit from a saved state, the test's MIDI keyboard plays it, and the test's recorder hears
// it downstream, every frame on the server's clock.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "engine/Level.h"
#include "tests/support/Child.h"
#include "tests/support/JackRig.h"
#include "tests/support/WavWriter.h"

namespace varnkit::lv2 {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kLength = 2000;  // frames of every sample: how long each hit sounds

// Kick on 36 with a soft and a hard layer, hat on 42, each sample one constant value so that
// every frame of a hit tells which layer sounded and at what gain.
constexpr const char* kKit =
    "vst samples,\r\r\nRock,\r\r\nRock,\r\r\nVarnKit,\r\r\n\r\r\n"
    "1,0,0,\t36,Kick,\tkick1.wav,0,79,0,0,0,0,0,0,\r\r\n"
    "1,0,0,\t36,Kick,\tkick2.wav,80,127,0,0,0,0,0,0,\r\r\n"
    "3,0,0,\t42,Hat,\that.wav,0,127,0,0,0,0,1,1,\r\r\n"
    "-1 by Ned's VarnKit\r\n";
constexpr float kSoftKick = 0.25f, kHardKick = 0.5f, kHat = 0.125f;

// jalv with the stereo plugin and a state that names the kit beside it, its standard input held
// open (it quits when that closes) and its output kept for when something goes wrong.
class Jalv {
 public:
  Jalv(const std::filesystem::path& dir, const std::string& name) : log_(dir / "jalv.log") {
    std::ofstream(dir / "state.ttl")
        << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
           "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
           "<> a pset:Preset ; lv2:appliesTo <https://varnkit.org/lv2/varnkit> ;\n"
           "  state:state [ <https://varnkit.org/lv2/varnkit#kit> <Rock.txt> ] .\n";
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    const int out = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    // Child passes the test's own standard input on: while jalv starts, that is the pipe.
    const int ownIn = fcntl(0, F_DUPFD_CLOEXEC, 0);
    dup2(in[0], 0);
    std::map<std::string, std::string> env = {{"LV2_PATH", VARNKIT_LV2_PATH}};
#ifdef VARNKIT_HOST_PRELOAD
    env["LD_PRELOAD"] = VARNKIT_HOST_PRELOAD;  // a sanitized plugin's runtime, which jalv lacks
#endif
    child_ = std::make_unique<testing::Child>(
        std::vector<std::string>{"jalv", "-x", "-n", name, "-l", dir.string()}, env, out, out);
    if (ownIn >= 0) {
      dup2(ownIn, 0);
      close(ownIn);
    } else {
      close(0);
    }
    close(in[0]);
    close(out);
    stdin_ = in[1];
  }
  ~Jalv() {
    if (stdin_ >= 0) close(stdin_);
    if (child_) child_->stop(2s);
  }
  bool running() {
    return child_ && child_->running();
  }
  std::string log() const {
    std::stringstream text;
    text << std::ifstream(log_).rdbuf();
    return text.str();
  }

 private:
  std::filesystem::path log_;
  std::unique_ptr<testing::Child> child_;
  int stdin_ = -1;
};

// Cycles the server lost (xruns) since it was made: a hit in one of them is heard late or cut
// whatever the plugin does.
class LostCycles {
 public:
  explicit LostCycles(const std::string& name)
      : client_(jack_client_open(name.c_str(), JackNoStartServer, nullptr)) {
    if (client_ != nullptr) {
      jack_set_xrun_callback(client_, &LostCycles::count, this);
      jack_activate(client_);
    }
  }
  ~LostCycles() {
    if (client_ != nullptr) jack_client_close(client_);
  }
  int operator()() const { return count_.load(); }

 private:
  static int count(void* self) {
    ++static_cast<LostCycles*>(self)->count_;
    return 0;
  }
  jack_client_t* client_;
  std::atomic<int> count_{0};
};

bool connect(const std::string& from, const std::string& to) {
  return testing::Child({"jack_connect", from, to}, {}, testing::devNull(), testing::devNull())
             .wait() == 0;
}

struct Hit {
  uint8_t note, velocity;
  float sample;  // what the layer's sample holds
};

// Hits at a cycle's first and last frame, 17 frames in and at random frames, on both pads and
// on both sides of the kick's layer split: each is heard from the very frame it was sent at, in the
// cycle it came in, at its layer's level, and nothing sounds between them.
TEST(JalvHost, NotesFromAJackSenderSoundInTheCycleTheyArriveAtTheirFrame) {
  const std::string name = "varnkit-jalv-" + std::to_string(getpid());
  testing::JackRig rig(name + "-rig");
  ASSERT_TRUE(rig.ok()) << "no JACK server";
  const uint32_t period = rig.period();
  testing::TempDir dir;
  std::ofstream(dir.path() / "Rock.txt", std::ios::binary) << kKit;
  std::filesystem::create_directory(dir.path() / "Rock");
  const testing::WavSpec spec{.rate = rig.rate()};  // nothing resampled: every frame exact
  for (const auto& [file, value] :
       {std::pair{"kick1.wav", kSoftKick}, {"kick2.wav", kHardKick}, {"hat.wav", kHat}})
    testing::writeFile(dir.path() / "Rock" / file,
                       testing::makeWav(testing::constant(value, kLength), spec));

  Jalv jalv(dir.path(), name);
  bool keys = false, ears = false;
  for (const auto until = std::chrono::steady_clock::now() + 10s;
       !(keys && ears) && jalv.running() && std::chrono::steady_clock::now() < until;
       std::this_thread::sleep_for(50ms)) {  // jalv's ports take connections once it is active
    keys = keys || connect(rig.midiPort(), name + ":control");
    ears = ears || rig.listenTo(name + ":out_left");
  }
  ASSERT_TRUE(keys && ears) << jalv.log();
  ASSERT_TRUE(rig.recordFor(4 * period));
  const LostCycles lost(name + "-xruns");

  const Hit hits[] = {{36, 127, kHardKick}, {42, 127, kHat}, {36, 79, kSoftKick},
                      {36, 80, kHardKick},  {42, 40, kHat},  {36, 1, kSoftKick}};
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::vector<uint32_t> offsets = {0, 17, period - 1};
  while (offsets.size() < 15) offsets.push_back(random() % period);
  // A hit whose time saw the server lose a cycle is heard late or cut, whatever the plugin
  // does: it, and the silence after it, are not judged; a loaded machine loses a few.
  std::vector<bool> spoiled;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const Hit& hit = hits[i % std::size(hits)];
    const int lostBefore = lost();
    ASSERT_TRUE(rig.send(0x99, hit.note, hit.velocity, offsets[i]));
    // Past this hit's end, and a while longer, that the silence after it is heard too.
    ASSERT_TRUE(rig.recordFor(kLength + 2 * period + random() % (rig.rate() / 4)));
    spoiled.push_back(lost() != lostBefore);
  }
  const auto judged = std::count(spoiled.begin(), spoiled.end(), false);
  ASSERT_GE(judged, 10) << "the server lost cycles in too many hits to judge them";
  ASSERT_TRUE(rig.recordFor(2 * period));

  const std::vector<float> sound = rig.recording();
  const std::vector<uint64_t> sent = rig.sentFrames();
  ASSERT_EQ(sent.size(), offsets.size());
  const auto sounding = [&](std::size_t from, std::size_t to) {
    return std::count_if(sound.begin() + std::ptrdiff_t(from),
                         sound.begin() + std::ptrdiff_t(std::max(from, to)),
                         [](float v) { return v != 0.0f; });
  };
  std::size_t quietFrom = 0;  // where the hit before ended
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const Hit& hit = hits[i % std::size(hits)];
    const float level = hit.sample * engine::gainOfLevel(engine::levelOfVelocity(hit.velocity));
    SCOPED_TRACE("hit " + std::to_string(i) + ", note " + std::to_string(hit.note) + " velocity " +
                 std::to_string(hit.velocity) + ", offset " + std::to_string(offsets[i]) + " of " +
                 std::to_string(period) + ", seed " + std::to_string(seed) +
                 "; cycles the server lost: " + std::to_string(lost()));
    const auto at = std::size_t(sent[i] - rig.firstFrame());
    ASSERT_LE(at + kLength, sound.size());
    if (spoiled[i]) {
      quietFrom = std::min(sound.size(), at + kLength + 2 * period);
      continue;
    }
    const bool afterSpoiled = i > 0 && spoiled[i - 1];
    // Found by its own level, which no hit next to it shares, should the one before still sound.
    std::size_t onset = quietFrom;
    while (onset < sound.size() && std::fabs(sound[onset] - level) >= 1e-6f) ++onset;
    EXPECT_EQ(int64_t(onset) - int64_t(at), 0) << "frames late";
    if (!afterSpoiled) {
      EXPECT_EQ(sounding(quietFrom, at), 0) << "frames sounding before it";
    }
    std::size_t atLevel = 0;
    for (std::size_t f = at; f < at + kLength; ++f) atLevel += std::fabs(sound[f] - level) < 1e-6f;
    EXPECT_EQ(atLevel, kLength) << "frames at " << level << "; the first is " << sound[at];
    quietFrom = at + kLength;
  }
  if (!spoiled.back()) {
    EXPECT_EQ(sounding(quietFrom, sound.size()), 0) << "frames sounding after the last hit";
  }
  EXPECT_EQ(jalv.log().find("VarnKit"), std::string::npos) << jalv.log();
}

}  // namespace
}  // namespace varnkit::lv2
