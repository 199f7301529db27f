#include "platform/profile/SettingsStore.h"

#include <system_error>

#include "platform/files/UserFolders.h"
#include "platform/profile/IniDocument.h"
#include "platform/profile/StoreFile.h"

namespace varnkit::profile {
namespace {

Status checkNames(std::string_view section, std::string_view key) {
  if (!validName(section, true)) {
    return Status::failed("\"" + std::string(section) + "\" cannot be a section name");
  }
  if (!validName(key, false)) return Status::failed("\"" + std::string(key) + "\" cannot be a key");
  return {};
}

// Dot-file managers keep the store as a link into their own folder: replace the file the link
// points to, not the link.
std::filesystem::path realFile(const std::filesystem::path& file, Status& status) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(file, ec)) return file;
  auto target = std::filesystem::weakly_canonical(file, ec);
  if (ec) status = Status::failed("cannot follow the link " + file.string() + ": " + ec.message());
  return target;
}

Status makeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec)
    return Status::failed("cannot create the folder " + folder.string() + ": " + ec.message());
  return {};
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

Lookup SettingsStore::read(std::string_view section, std::string_view key) const {
  FileText file = readWhole(file_);
  if (!file.status.ok) return {std::nullopt, std::move(file.status)};
  return {IniDocument(file.text).value(section, key), {}};
}

Status SettingsStore::write(std::string_view section, std::string_view key,
                            std::string_view value) const {
  if (Status names = checkNames(section, key); !names.ok) return names;
  const std::filesystem::path folder = file_.has_parent_path() ? file_.parent_path() : ".";
  if (Status made = makeFolder(folder); !made.ok) return made;
  FolderLock lock(folder);
  if (!lock.status().ok) return lock.status();
  Status status;
  const std::filesystem::path target = realFile(file_, status);
  if (!status.ok) return status;
  FileText current = readWhole(target);
  if (!current.status.ok) return current.status;
  IniDocument doc(current.text);
  doc.set(section, key, storableValue(value));
  return replaceAtomically(target, doc.text(), current.mode);
}

std::optional<std::filesystem::path> userStorePath() {
  return std::filesystem::path(files::UserConfigFolder()) / "VarnKit.ini";
}

}  // namespace varnkit::profile
