#pragma once
// Programs the tests start: an X server, the built program, xdotool, a JACK server.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace varnkit::testing {

// A child process, ended with the object.
// Where a child's output goes when nobody reads it.
inline int devNull() {
  static const int fd = ::open("/dev/null", O_WRONLY);
  return fd;
}

class Child {
 public:
  // outFd, errFd: where its output and its complaints go, -1 for the test's own.
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        int outFd = -1, int errFd = -1) {
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string var = *e;
      if (!env.contains(var.substr(0, var.find('=')))) vars.push_back(var);
    }
    for (const auto& [name, value] : env) vars.push_back(name + "=" + value);
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { end(SIGTERM); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool running() {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    exited_ = waitpid(pid_, &status, WNOHANG) == pid_;
    return !exited_;
  }
  // Sends signal and goes on at once.
  void signal(int signal) {
    if (running()) kill(pid_, signal);
  }
  // Sends signal and waits for the end.
  void end(int signal) {
    if (running()) kill(pid_, signal);
    if (pid_ > 0 && !exited_) waitpid(pid_, nullptr, 0);
    exited_ = true;
  }
  // SIGTERM, then SIGKILL when it has not ended within grace: a program stuck in a call must
  // not keep a test waiting. Whether it ended by itself with status 0.
  bool stop(std::chrono::milliseconds grace) {
    if (!running()) return false;
    kill(pid_, SIGTERM);
    int status = 0;
    for (const auto until = std::chrono::steady_clock::now() + grace;
         std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
    }
    end(SIGKILL);
    return false;
  }
  // Waits for the end; the exit status, -1 when it did not end normally.
  int wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

// What a command prints on its standard output, run to its end with env over the test's own
// environment.
inline std::string outputOf(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  Child run(argv, env, fds[1], devNull());
  close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
  close(fds[0]);
  run.wait();
  return out;
}

// A private JACK server on the dummy back-end, for tests that stop and start servers.
class JackServer {
 public:
  JackServer(const std::string& name, uint32_t rate, uint32_t period = 256)
      : server_({"jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", std::to_string(rate),
                 "-p", std::to_string(period)},
                {}, devNull(), devNull()) {
    ok_ = Child({"jack_wait", "-w", "-s", name, "-t", "20"}, {}, devNull()).wait() == 0;
  }
  bool ok() const { return ok_; }
  // Gone at once, as a crashed or killed server is.
  void crash() { server_.end(SIGKILL); }

 private:
  Child server_;
  bool ok_ = false;
};

}  // namespace varnkit::testing
