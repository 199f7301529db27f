#include "tests/support/RockKit.h"

#include <fstream>

#include "tests/support/WavWriter.h"

namespace varnkit::testing {

namespace fs = std::filesystem;

fs::path writeRockKit(const fs::path& dir, const std::string& name, float scale,
                      uint64_t openSilence) {
  const std::string end = ",\r\r\n";
  std::ofstream(dir / (name + ".txt"), std::ios::binary)
      << "vst samples" << end << name << end << name << end << "VarnKit" << end << "\r\r\n"
      << "1,0,0,\t36,Kick,\tkick1.wav,0,79,0,0,0,0,0,0" << end
      << "1,0,0,\t36,Kick,\tkick2.wav,80,127,0,0,0,0,0,0" << end
      << "2,0,0,\t38,Snare,\tsnare.wav,0,127,0,0,0,0,0,0" << end
      << "3,0,0,\t42,Hat,\that.wav,0,127,0,0,0,0,1,1" << end
      << "4,0,0,\t46,Open,\topen.wav,0,127,0,0,0,0,1,1" << end << "-1 by Ned's VarnKit\r\n";
  fs::create_directories(dir / name);
  const char* files[] = {"kick1.wav", "kick2.wav", "snare.wav", "hat.wav", "open.wav"};
  const float levels[] = {0.25f, 0.5f, 0.375f, 0.125f, 0.1875f};
  for (int i = 0; i < 5; ++i) {
    std::vector<float> sound = constant(levels[i] * scale, kRockFrames);
    if (i == 4) sound.resize(sound.size() + openSilence);
    writeFile(dir / name / files[i], makeWav(sound, {}));
  }
  return dir / (name + ".txt");
}

}  // namespace varnkit::testing
