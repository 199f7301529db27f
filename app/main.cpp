// VarnKit: a drum-pad sampler.

#include <malloc.h>
#include <QApplication>

#include "app/ComMidiInput.h"
#include "app/VarnKit.h"
#include "kit/Funk.h"

int main(int argc, char** argv) {
  // Samples are loaded whole; keeping freed memory for the next kit instead of handing it back
  // to the system makes switching kits many times faster (no fresh pages to fault in).
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  QApplication app(argc, argv);
  QApplication::setApplicationName("VarnKit");
  return varnkit::RunVarnKit(varnkit::AppFolder(), varnkit::app::comMidiInputFactory());
}
