// VarnKit: a drum-pad sampler.

#include <malloc.h>

#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/ComMidiInput.h"
#include "app/Installation.h"
#include "app/Options.h"
#include "app/OwnModule.h"
#include "app/VarnKit.h"
#include "platform/Error.h"
#include "kit/Funk.h"
#include "platform/files/Lookup.h"
#include "platform/files/UserFolders.h"
#include "sound/SoundOutput.h"

namespace {

using namespace varnkit;

constexpr int kBadOption = 2;

int refuse(const std::string& why) {
  std::fprintf(stderr, "varnkit: %s\nTry 'varnkit --help' for more information.\n", why.c_str());
  return kBadOption;
}

}  // namespace

int main(int argc, char** argv) {
  // Samples are loaded whole; keeping freed memory for the next kit instead of handing it back
  // to the system makes switching kits many times faster (no fresh pages to fault in).
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);

  // Everything the command line can get wrong is said before a window or a display is needed.
  const auto parsed = app::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) return refuse(parsed.error);
  const app::Options& options = parsed.options;
  if (options.help || options.version) {
    std::fputs((options.help ? app::UsageText() : app::VersionText()).c_str(), stdout);
    return 0;
  }
  std::string program;
  try {
    program = AppFolder();
  } catch (const Error& e) {
    std::fprintf(stderr, "varnkit: %s\n", e.text().c_str());
    return 1;
  }
  const std::string kits = files::KitFolderFor(program);
  if (std::string why; !app::PrepareKitFolder(kits, why))
    std::fprintf(stderr, "varnkit: %s\n", why.c_str());
  if (options.kit != "default" && files::FileIgnoringCase(kits, options.kit + ".txt").empty())
    return refuse("there is no kit \"" + options.kit + "\" in " + kits);

  int qtArgc = 1;  // Qt's own options are not offered: every option is ours, and checked above
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName("VarnKit");
  // Lets desktop shells match the window to the installed menu entry and its icon.
  QGuiApplication::setDesktopFileName("org.varnkit.VarnKit");
  SetDirectX7(
      std::make_unique<audio::DirectX7>(audio::OutputChoice{options.audio, options.buffer}));
  return RunVarnKit(kits, app::comMidiInputFactory(app::OwnMidiModule(program)),
                    ui::StartChoices{options.kit, options.midi});
}
