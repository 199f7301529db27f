#include "import/Archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <system_error>
#include <vector>

#include "import/Paths.h"

namespace varnkit::import {

namespace fs = std::filesystem;

namespace {

struct ReadFree {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
  void operator()(archive* a) const { archive_write_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ReadFree>;
using DiskWriter = std::unique_ptr<archive, WriteFree>;

std::string Size(uint64_t bytes) {
  if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0)
    return std::to_string(bytes >> 30) + " GB";
  if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0)
    return std::to_string(bytes >> 20) + " MB";
  return std::to_string(bytes) + " bytes";
}

std::string ErrorOf(archive* a) {
  const char* text = archive_error_string(a);
  return text ? text : "unknown error";
}

const char* NameOf(archive_entry* entry) {
  const char* name = archive_entry_pathname(entry);
  return name ? name : archive_entry_pathname_utf8(entry);
}

// Why member must not be unpacked, or empty. Zip files from Windows may separate with "\".
std::string MemberProblem(archive_entry* entry) {
  const char* name = NameOf(entry);
  if (!name || !*name) return "a member has no name";
  const std::string quoted = "the member \"" + std::string(name) + "\"";
  if (name[0] == '/' || name[0] == '\\') return quoted + " has an absolute path";
  for (const fs::path& part : fs::path(ForwardSlashes(name)))
    if (part == "..") return quoted + " leads out of the folder with \"..\"";
  if (archive_entry_hardlink(entry)) return quoted + " is a hard link";
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
      return "";
    case AE_IFLNK:
      return quoted + " is a symbolic link";
    default:
      return quoted + " is a device or another special file";
  }
}

class Extraction {
 public:
  Extraction(const fs::path& into, uint64_t maxBytes, std::size_t maxEntries,
             const std::function<bool()>& goOn)
      : into_(into), maxBytes_(maxBytes), maxEntries_(maxEntries), goOn_(goOn) {}

  bool run(const fs::path& file, std::string& why);

 private:
  bool openReader(const fs::path& file, std::string& why);
  bool member(archive_entry* entry, std::string& why);
  bool copyData(std::string& why);
  bool stopped(std::string& why);

  fs::path into_;
  uint64_t maxBytes_;
  std::size_t maxEntries_;
  const std::function<bool()>& goOn_;
  uint64_t written_ = 0;
  ArchiveReader reader_{archive_read_new()};
  DiskWriter writer_{archive_write_disk_new()};
};

bool Extraction::openReader(const fs::path& file, std::string& why) {
  if (!reader_ || !writer_) {
    why = "out of memory";
    return false;
  }
  // Only what kits come in. Other formats are not just unneeded: an mtree file names files
  // whose data the reader takes from the disk, any file the user can read.
  for (auto filter : {archive_read_support_filter_gzip, archive_read_support_filter_bzip2,
                      archive_read_support_filter_xz, archive_read_support_filter_lzma,
                      archive_read_support_filter_zstd, archive_read_support_filter_compress})
    filter(reader_.get());
  archive_read_support_format_tar(reader_.get());
  archive_read_support_format_zip(reader_.get());
  archive_read_support_format_7zip(reader_.get());
  if (archive_read_open_filename(reader_.get(), file.c_str(), 1 << 16) != ARCHIVE_OK) {
    why = "it cannot be read as an archive (" + ErrorOf(reader_.get()) + ")";
    return false;
  }
  // Checked here as well as by the member checks. NOABSOLUTEPATHS cannot be asked for: every
  // member is written under the absolute path of into.
  archive_write_disk_set_options(writer_.get(),
                                 ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
  return true;
}

bool Extraction::stopped(std::string& why) {
  if (!goOn_ || goOn_()) return false;
  why = "the unpacking was stopped";
  return true;
}

bool Extraction::run(const fs::path& file, std::string& why) {
  if (!openReader(file, why)) return false;
  for (std::size_t entries = 0;; ++entries) {
    if (stopped(why)) return false;
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(reader_.get(), &entry);
    if (status == ARCHIVE_EOF) return true;
    if (status < ARCHIVE_WARN) {
      why = "it cannot be read as an archive (" + ErrorOf(reader_.get()) + ")";
      return false;
    }
    if (entries == maxEntries_) {
      why = "it holds more than " + std::to_string(maxEntries_) + " files";
      return false;
    }
    if (!member(entry, why)) return false;
  }
}

bool Extraction::member(archive_entry* entry, std::string& why) {
  why = MemberProblem(entry);
  if (!why.empty()) return false;
  const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
  const std::string target = (into_ / ForwardSlashes(NameOf(entry))).string();
  archive_entry_copy_pathname(entry, target.c_str());
  // The archive's owners and modes mean nothing here; a folder without write permission
  // would stop its own files.
  archive_entry_set_perm(entry, folder ? 0755 : 0644);
  if (archive_write_header(writer_.get(), entry) < ARCHIVE_WARN) {
    why = "\"" + target + "\" cannot be written (" + ErrorOf(writer_.get()) + ")";
    return false;
  }
  if (!folder && !copyData(why)) return false;
  if (archive_write_finish_entry(writer_.get()) < ARCHIVE_WARN) {
    why = "\"" + target + "\" cannot be written (" + ErrorOf(writer_.get()) + ")";
    return false;
  }
  return true;
}

// Counts what the data really holds, not what the member's header claims; holes of sparse
// members count too, as the file on disk spans them.
bool Extraction::copyData(std::string& why) {
  uint64_t extent = 0;
  const uint64_t before = written_;
  for (;;) {
    if (stopped(why)) return false;
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    const int status = archive_read_data_block(reader_.get(), &block, &size, &offset);
    if (status == ARCHIVE_EOF) return true;
    if (status < ARCHIVE_WARN || offset < 0) {
      why = "it cannot be read as an archive (" + ErrorOf(reader_.get()) + ")";
      return false;
    }
    extent = std::max(extent, uint64_t(offset) + size);
    written_ = before + extent;
    if (written_ > maxBytes_) {
      why = "it is larger than " + Size(maxBytes_) + " unpacked";
      return false;
    }
    if (archive_write_data_block(writer_.get(), block, size, offset) < ARCHIVE_WARN) {
      why = "a file cannot be written (" + ErrorOf(writer_.get()) + ")";
      return false;
    }
  }
}

void EmptyFolder(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path());
  for (const fs::path& entry : entries) fs::remove_all(entry, ec);
}

}  // namespace

bool ExtractArchive(const fs::path& archive, const fs::path& into, std::string& why,
                    uint64_t maxBytes, std::size_t maxEntries, const std::function<bool()>& goOn) {
  std::error_code ec;
  fs::create_directories(into, ec);
  // SECURE_SYMLINKS refuses to write through any link on the way, such as a temporary
  // folder reached through one.
  const fs::path folder = CanonicalFolder(into);
  if (folder.empty()) {
    why = "the folder \"" + into.string() + "\" cannot be made";
    return false;
  }
  bool done = false;
  try {
    done = Extraction(folder, maxBytes, maxEntries, goOn).run(archive, why);
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (!done) EmptyFolder(folder);
  return done;
}

}  // namespace varnkit::import
