#pragma once
// A second drive for tests: a folder that a mount table of the test's own lists as a mounted
// volume, for as long as the object lives.

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/WavWriter.h"
#include "ui/toolkit/Drives.h"

namespace varnkit::testing {

class FakeDrive {
 public:
  FakeDrive() {
    std::filesystem::create_directories(root());
    std::ofstream(dir.file("mounts")) << "/dev/vda / ext4 rw 0 0\n"
                                      << "/dev/sdz1 " << root() << " vfat rw 0 0\n";
    ui::readMountsFrom(dir.file("mounts"));
  }
  ~FakeDrive() { ui::readMountsFrom(""); }
  FakeDrive(const FakeDrive&) = delete;
  FakeDrive& operator=(const FakeDrive&) = delete;

  // The drive's root folder.
  std::string root() const { return dir.file("usb"); }

  TempDir dir;
};

}  // namespace varnkit::testing
