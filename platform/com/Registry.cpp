#include "platform/com/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/files/UserFolders.h"

namespace varnkit::com {
namespace {

// More than any registry holds; a longer file is damaged and read only this far.
constexpr std::size_t kMaxSize = 16 << 20;

std::string failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// An open descriptor, closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

// Writes text to a temporary file beside path, then renames it over path.
bool replaceFile(const std::string& path, const std::string& text, std::string& why) {
  const std::string temporary = path + ".tmp." + std::to_string(getpid());
  {
    Descriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() < 0) return why = failure("cannot write", temporary), false;
    if (!writeAll(file.get(), text) || fsync(file.get()) != 0) {
      why = failure("cannot write", temporary);
      unlink(temporary.c_str());
      return false;
    }
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    why = failure("cannot replace", path);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string registryPath() {
  return files::UserDataFolder() + "/registry";
}

RegistryKeys readRegistry(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return {};
  const std::streamoff size = file.tellg();
  if (size <= 0) return {};
  std::string text(std::min(std::size_t(size), kMaxSize), '\0');
  file.seekg(0);
  file.read(text.data(), std::streamsize(text.size()));
  text.resize(std::size_t(std::max<std::streamsize>(file.gcount(), 0)));
  return RegistryKeys::parse(text);
}

bool updateRegistry(const std::function<void(RegistryKeys&)>& change, std::string& why,
                    const std::string& path) {
  if (access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
    // Removing from a registry that is not there leaves no file behind.
    RegistryKeys keys;
    change(keys);
    if (keys.empty()) return true;
  }
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::filesystem::create_directories(folder, error);
  if (error) return why = "cannot create " + folder.string() + ": " + error.message(), false;
  const std::string lockPath = path + ".lock";
  Descriptor lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.get() < 0) return why = failure("cannot open", lockPath), false;
  while (flock(lock.get(), LOCK_EX) != 0)
    if (errno != EINTR) return why = failure("cannot lock", lockPath), false;
  RegistryKeys keys = readRegistry(path);
  const std::string before = keys.serialize();
  change(keys);
  std::string after = keys.serialize();
  if (after == before && access(path.c_str(), F_OK) == 0) return true;
  return replaceFile(path, after, why);
}

}  // namespace varnkit::com
