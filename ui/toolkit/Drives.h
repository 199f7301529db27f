#pragma once
// Drives and folder paths as the drive, folder and file lists see them. A drive is the root
// folder of a mounted volume ("/" always, and first); a folder's drive is the root of the
// volume holding it; a drive's current folder is the last folder visited on it in this run,
// else its root. All functions: user-interface thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnkit::ui {

// The error numbers the lists raise (as varnkit::Error).
inline constexpr int32_t kDeviceUnavailable = 68;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kInvalidIndex = 381;

// The drives among the mounts listed in text (the format of /proc/self/mounts): "/" first,
// then the others in byte order. Pseudo and memory file systems are left out.
std::vector<std::string> drivesOfMounts(std::string_view text);

// The drives of this system whose root folders exist now.
std::vector<std::string> mountedDrives();

// From now on the mounts are read from file instead of the system's table ("": the system's
// again). For tests.
void readMountsFrom(const std::string& file);

// The drive among drives that holds the absolute path path ("/" when no other does); "" for
// a path that is not absolute.
std::string driveOf(const std::string& path, const std::vector<std::string>& drives);

// path as the lists hold it: absolute, without "." and "..", ending in "/" only at a drive
// root; "" stands for "/". Raises Error kPathNotFound for a path that is not absolute.
std::string listPath(const std::string& path);

// Records folder (absolute, as listPath gives it) as the current folder of its drive.
void rememberFolder(const std::string& folder);

// The current folder of drive, as listPath gives it: the folder last remembered on it while
// that still exists, else the drive's root.
std::string currentFolder(const std::string& drive);

// Sorts names the way the lists show them: letter case ignored, byte order between equals.
void sortForList(std::vector<std::string>& names);

}  // namespace varnkit::ui
