#pragma once
// The kinds of file a sample may be, known by the endings of their names.

#include <string>
#include <string_view>
#include <vector>

namespace varnkit::audio {

// The endings, lower case and without the dot, of every file type the sound-file library
// reads, and of the other names those types go by ("aif", "ogg", "mp3"); sorted, each once.
// Any thread.
const std::vector<std::string>& sampleExtensions();

// The same as a file list's pattern: "*.aif;*.aifc;...;*.wav".
std::string samplePattern();

// The length of name's ending "." + one of sampleExtensions(), in any letter case, when
// something comes before it ("Snare.FLAC": 5); 0 otherwise (".flac", "notes.txt").
size_t sampleExtensionLength(std::string_view name);

}  // namespace varnkit::audio
