#pragma once
// A registry of the test's own in a fresh folder, pointed to by XDG_DATA_HOME.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace varnkit::com::testing {

class TemporaryRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnkit-com-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    path = folder + "/VarnKit/registry";
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(folder);
  }

  std::string folder;
  std::string path;
};

}  // namespace varnkit::com::testing
