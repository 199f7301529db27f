#include "ui/toolkit/Drives.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/Error.h"

namespace varnkit::ui {
namespace {

namespace fs = std::filesystem;

bool octalDigit(char c) {
  return c >= '0' && c <= '7';
}

// The mount table writes blanks, tabs, line breaks and backslashes as "\ooo".
std::string unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octalDigit(field[i + 1]) &&
        octalDigit(field[i + 2]) && octalDigit(field[i + 3])) {
      out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool within(std::string_view path, std::string_view folder) {
  return path == folder || (path.size() > folder.size() &&
                            path.substr(0, folder.size()) == folder && path[folder.size()] == '/');
}

// Kernel interfaces, devices and run-time state: never where samples are kept.
bool systemArea(std::string_view mountPoint) {
  for (std::string_view area : {"/proc", "/sys", "/dev", "/run", "/snap"}) {
    if (within(mountPoint, area)) return true;
  }
  return false;
}

// A volume holds files of its own: a block device or disk image, a network share or a user
// file system. Memory and pseudo file systems (tmpfs, proc, cgroup, overlay ...) do not count.
bool realVolume(const std::string& device, const std::string& type) {
  static const std::set<std::string> network{"nfs",   "nfs4", "cifs",     "smb3",
                                             "smbfs", "9p",   "virtiofs", "ceph"};
  return device.starts_with("/") || network.contains(type) || type.starts_with("fuse.");
}

std::string lowered(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return s;
}

std::string& mountTable() {
  static std::string file = "/proc/self/mounts";
  return file;
}

std::map<std::string, std::string>& currentFolders() {
  static std::map<std::string, std::string> folders;
  return folders;
}

std::string withoutSlash(const std::string& path) {
  return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

}  // namespace

std::vector<std::string> drivesOfMounts(std::string_view text) {
  std::set<std::string> others;
  std::istringstream lines{std::string(text)};
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string device, mountPoint, type;
    if (!(fields >> device >> mountPoint >> type)) continue;
    mountPoint = withoutSlash(unescape(mountPoint));
    if (!mountPoint.starts_with("/") || mountPoint == "/" || systemArea(mountPoint)) continue;
    if (realVolume(unescape(device), type)) others.insert(mountPoint);
  }
  std::vector<std::string> drives{"/"};
  drives.insert(drives.end(), others.begin(), others.end());
  return drives;
}

std::vector<std::string> mountedDrives() {
  std::ifstream in(mountTable());
  std::stringstream text;
  text << in.rdbuf();
  std::vector<std::string> drives = drivesOfMounts(text.str());
  // Bind mounts of single files, and mount points that went away, are no drives.
  std::erase_if(drives, [](const std::string& d) {
    std::error_code ec;
    return d != "/" && !fs::is_directory(d, ec);
  });
  return drives;
}

void readMountsFrom(const std::string& file) {
  mountTable() = file.empty() ? "/proc/self/mounts" : file;
}

std::string driveOf(const std::string& path, const std::vector<std::string>& drives) {
  if (!path.starts_with("/")) return "";
  std::string best = "/";
  for (const std::string& d : drives) {
    if (d != "/" && within(path, d) && d.size() > best.size()) best = d;
  }
  return best;
}

std::string listPath(const std::string& path) {
  if (path.empty()) return "/";
  if (!path.starts_with("/")) throw Error(kPathNotFound, "Path not found: " + path);
  std::string normal = fs::path(path).lexically_normal().string();
  // Trailing slashes go in one step: a pop_back loop here came out wrong from GCC 12 at -O2
  // ("///" stayed "//").
  const auto last = normal.find_last_not_of('/');
  normal = last == std::string::npos ? "/" : normal.substr(0, last + 1);
  if (normal != "/" && driveOf(normal, mountedDrives()) == normal) return normal + "/";
  return normal;
}

void rememberFolder(const std::string& folder) {
  const std::string plain = withoutSlash(folder);
  currentFolders()[driveOf(plain, mountedDrives())] = folder;
}

std::string currentFolder(const std::string& drive) {
  const std::string root = withoutSlash(drive);
  const auto found = currentFolders().find(root);
  std::error_code ec;
  if (found != currentFolders().end() && fs::is_directory(found->second, ec)) return found->second;
  return listPath(root);
}

void sortForList(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = lowered(a), lb = lowered(b);
    return la != lb ? la < lb : a < b;
  });
}

}  // namespace varnkit::ui
