#include "tests/unit/import/TestArchive.h"

#include <archive.h>

#include <fstream>
#include <memory>
#include <stdexcept>

#include "tests/support/WavWriter.h"

namespace varnkit::testing {

namespace fs = std::filesystem;

namespace {

void check(archive* a, int status) {
  if (status < ARCHIVE_WARN) throw std::runtime_error(archive_error_string(a));
}

std::string join(const std::vector<std::string>& parts, const std::string& between) {
  std::string all;
  for (const std::string& part : parts) all += (all.empty() ? "" : between) + part;
  return all;
}

}  // namespace

void writeArchive(const fs::path& file, const std::vector<Member>& members, Packing packing) {
  std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(),
                                                            archive_write_free);
  if (packing == Packing::Zip) {
    archive_write_set_format_zip(a.get());
  } else if (packing == Packing::SevenZip) {
    archive_write_set_format_7zip(a.get());
  } else if (packing == Packing::Cpio) {
    archive_write_set_format_cpio(a.get());
  } else {
    archive_write_set_format_ustar(a.get());
    if (packing == Packing::TarGz) archive_write_add_filter_gzip(a.get());
    if (packing == Packing::TarXz) archive_write_add_filter_xz(a.get());
  }
  check(a.get(), archive_write_open_filename(a.get(), file.c_str()));
  for (const Member& m : members) {
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(),
                                                                    archive_entry_free);
    archive_entry_set_pathname(e.get(), m.name.c_str());
    archive_entry_set_filetype(e.get(), m.type);
    archive_entry_set_perm(e.get(), 0644);
    archive_entry_set_size(e.get(), la_int64_t(m.data.size()));
    if (m.hard)
      archive_entry_set_hardlink(e.get(), m.link.c_str());
    else if (!m.link.empty())
      archive_entry_set_symlink(e.get(), m.link.c_str());
    check(a.get(), archive_write_header(a.get(), e.get()));
    if (!m.data.empty()) archive_write_data(a.get(), m.data.data(), m.data.size());
  }
  check(a.get(), archive_write_close(a.get()));
}

void writeText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

void writeSample(const fs::path& file) {
  fs::create_directories(file.parent_path());
  writeFile(file, makeWav(constant(0.25f, 16), {}));
}

std::string describe(const import::SourceKit& kit) {
  std::string d = kit.name + "\n";
  for (const import::SourceInstrument& in : kit.instruments) {
    d += in.name + "|" + (in.note ? std::to_string(*in.note) : "-") + "|" + in.chokeGroup + "|" +
         (in.leftOut.empty() ? "-" : join(in.leftOut, ","));
    for (const import::SourceLayer& layer : in.layers)
      d += "|" + std::to_string(layer.velLow) + "-" + std::to_string(layer.velHigh) + " " +
           layer.sample.lexically_relative(kit.folder).string();
    d += "\n";
  }
  if (!kit.leftOut.empty()) d += "left out: " + join(kit.leftOut, "; ") + "\n";
  return d;
}

}  // namespace varnkit::testing
