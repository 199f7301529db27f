#pragma once
// A desktop's sound server of the test's own: PipeWire, WirePlumber and pipewire-pulse on a
// session bus of their own, in a runtime folder of their own, so that nothing of the machine's
// own session is touched. WirePlumber gives them a null sink to play to when there is no card.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Child.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {

class PipeWireSession {
 public:
  PipeWireSession() {
    std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    env_ = {{"XDG_RUNTIME_DIR", runtime_.path().string()},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (runtime_.path() / "bus").string()}};
    bus_ = std::make_unique<Child>(
        std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                 "--address=" + env_["DBUS_SESSION_BUS_ADDRESS"]},
        env_, devNull(), devNull());
    start();
  }
  ~PipeWireSession() { stop(); }
  PipeWireSession(const PipeWireSession&) = delete;
  PipeWireSession& operator=(const PipeWireSession&) = delete;

  // What a program needs in its environment to reach the session.
  const std::map<std::string, std::string>& env() const { return env_; }
  // Whether the session has a sink to play to.
  bool ok() const { return !sink_.empty(); }
  const std::string& sink() const { return sink_; }

  // The servers, started and waited for until a sink is there (10 s at most).
  void start() {
    for (const char* server : {"pipewire", "wireplumber", "pipewire-pulse"}) {
      servers_.push_back(
          std::make_unique<Child>(std::vector<std::string>{server}, env_, devNull(), devNull()));
      if (servers_.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         sink_.empty() && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(100)))
      sink_ = firstSink();
  }
  // The servers gone at once, as in a crash; the bus stays, as a desktop's does.
  void crash() {
    for (auto& server : servers_) server->end(SIGKILL);
    servers_.clear();
    sink_.clear();
  }
  void stop() {
    for (auto it = servers_.rbegin(); it != servers_.rend(); ++it)
      (*it)->stop(std::chrono::seconds(2));
    servers_.clear();
    sink_.clear();
  }

  // What a command run in the session prints, for at most seconds.
  std::string run(std::vector<std::string> argv, int seconds = 10) const {
    argv.insert(argv.begin(), {"timeout", std::to_string(seconds)});
    return outputOf(argv, env_);
  }

 private:
  // The name of the first audio sink pw-cli lists.
  std::string firstSink() const {
    const std::string nodes = run({"pw-cli", "ls", "Node"}, 3);
    std::string name;
    for (std::size_t at = 0; (at = nodes.find("node.name = \"", at)) != std::string::npos;) {
      at += 13;
      name = nodes.substr(at, nodes.find('"', at) - at);
      const std::size_t next = nodes.find("node.name = \"", at);
      if (nodes.substr(at, next - at).find("media.class = \"Audio/Sink\"") != std::string::npos)
        return name;
    }
    return "";
  }

  TempDir runtime_;
  std::map<std::string, std::string> env_;
  std::unique_ptr<Child> bus_;
  std::vector<std::unique_ptr<Child>> servers_;
  std::string sink_;
};

}  // namespace varnkit::testing
