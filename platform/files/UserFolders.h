#pragma once
// Where this user's own files go, read from the environment anew on every call. Any thread.

#include <string>

namespace varnkit::files {

// $HOME; the account's home folder when HOME is unset or empty; "/" when neither is known.
std::string HomeFolder();

// $XDG_DATA_HOME/VarnKit, with ~/.local/share when XDG_DATA_HOME is unset or not absolute.
std::string UserDataFolder();

// $XDG_CONFIG_HOME/VarnKit, with ~/.config when XDG_CONFIG_HOME is unset or not absolute.
std::string UserConfigFolder();

// The folder for kits, their sample folders, default.txt and the skin folder. A program that
// lives in a folder named "bin", as installed programs do, keeps them in the user's data
// folder; any other keeps them in its own folder (programFolder), as a build tree does.
std::string KitFolderFor(const std::string& programFolder);

}  // namespace varnkit::files
