#pragma once
// The helpers the whole program shares: settings in section "Quil" of the user's settings
// store, the program folder, paths without their trailing "/", and the field reader.
// All functions: user-interface thread.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kit/FieldReader.h"

namespace varnkit {

// The setting stored under key (at most 99 characters of it), or defaultValue when there is
// none; writes defaultValue back when that is what was read. "" when nothing was read.
std::string ReadSetting(const std::string& key, const std::string& defaultValue);

// Stores value under key; a value with a line break is cut at it. Failures are not reported.
void WriteSetting(const std::string& key, const std::string& value);

// The folder of the running program without a trailing "/"; "" for a program in "/". Raises
// varnkit::Error 75 when the system cannot say where the program is.
std::string AppFolder();

// The folder part of the program file path as AppFolder gives it.
std::string FolderOfProgram(std::string_view programPath);

// s without its last character when that is "/", else s.
std::string StripBackslash(const std::string& s);

// The kit file's field reader (see ReadCommaFields) over text file number file.
void ReadFields(int32_t file, std::span<const FieldRef> fields);

}  // namespace varnkit
