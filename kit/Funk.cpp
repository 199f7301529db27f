#include "kit/Funk.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/profile/Profile.h"

namespace varnkit {
namespace {

constexpr const char* kSection = "Quil";
constexpr size_t kSettingBuffer = 100;

}  // namespace

std::string ReadSetting(const std::string& key, const std::string& defaultValue) {
  // A deep sample folder must come back whole: the buffer grows until the value fits.
  std::vector<char> buffer(kSettingBuffer, ' ');
  uint32_t n = profile::GetProfileString(kSection, key, defaultValue, buffer);
  while (n + 1 >= buffer.size()) {
    buffer.assign(buffer.size() * 4, ' ');
    n = profile::GetProfileString(kSection, key, defaultValue, buffer);
  }
  if (n < 1) return "";
  std::string value(buffer.data(), n);
  // Puts the key into the store the first time it is read.
  if (value == defaultValue) WriteSetting(key, defaultValue);
  return value;
}

void WriteSetting(const std::string& key, const std::string& value) {
  // A setting that cannot be stored is only missed at the next start; not worth a message.
  (void)profile::WriteProfileString(kSection, key, value);
}

std::string AppFolder() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    throw Error(Error::kPathFileAccess,
                "Path/File access error: cannot find the program's folder (" + ec.message() + ")");
  }
  return FolderOfProgram(program.string());
}

std::string FolderOfProgram(std::string_view programPath) {
  const size_t slash = programPath.rfind('/');
  if (slash == std::string_view::npos) return "";
  return StripBackslash(std::string(programPath.substr(0, slash + 1)));
}

std::string StripBackslash(const std::string& s) {
  if (s.empty() || s.back() != '/') return s;
  return s.substr(0, s.size() - 1);
}

void ReadFields(int32_t file, std::span<const FieldRef> fields) {
  ReadCommaFields(file, fields);
}

}  // namespace varnkit
