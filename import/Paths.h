#pragma once
// Where a kit's sample lies: inside the kit's folder, or refused. Shared by the readers.

#include <filesystem>
#include <string>

namespace varnkit::import {

enum class Place { Inside, Outside, Missing };

// A sample named by a kit, found under its folder.
struct FoundSample {
  Place place = Place::Missing;
  std::filesystem::path path;  // canonical, when Inside
};

// Finds relative (a sample or other file the kit names) under folder (canonical). Letter case is
// matched loosely where the exact name is absent. Outside: absolute, or leading out of the folder
// through ".." or a symbolic link. Missing: no regular file there.
FoundSample FindInKit(const std::filesystem::path& folder, const std::filesystem::path& relative);

// True when path, already free of "." and "..", lies inside folder, compared by components.
bool IsInside(const std::filesystem::path& folder, const std::filesystem::path& path);

// The folder made absolute and canonical, or empty when it is not there.
std::filesystem::path CanonicalFolder(const std::filesystem::path& folder);

// The path with backslashes as "/": kits made on Windows write them.
std::string ForwardSlashes(std::string path);

}  // namespace varnkit::import
