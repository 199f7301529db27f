#pragma once
// An X server of the test's own (Xvfb), and xdotool run on it: real X input for a program
// started with its display.

#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Child.h"

namespace varnkit::testing {

class VirtualX {
 public:
  // Starts Xvfb; display() is empty when it did not start.
  VirtualX() {
    int fds[2];
    if (pipe(fds) != 0) return;
    x_ = std::make_unique<Child>(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                 "640x480x24", "-nolisten", "tcp"},
        std::map<std::string, std::string>{});
    close(fds[1]);
    char number[16] = {};
    const ssize_t n = read(fds[0], number, sizeof number - 1);
    close(fds[0]);
    if (n > 0) display_ = ":" + std::string(number, std::strcspn(number, "\n"));
  }

  const std::string& display() const { return display_; }

  // Runs xdotool with args on this display, for at most seconds; its output.
  std::string xdotool(std::vector<std::string> args, int seconds = 20) const {
    args.insert(args.begin(), {"timeout", std::to_string(seconds), "xdotool"});
    return outputOf(args, {{"DISPLAY", display_}});
  }

 private:
  std::unique_ptr<Child> x_;
  std::string display_;
};

}  // namespace varnkit::testing
