#pragma once
// Text files by file number, one byte per character and no transcoding: open for output
// (replacing the file) or input, write lines ending in CR LF, read single characters, test for
// the end. Numbers run from 1 to 511; each thread has its own, and a file is used on the
// thread that opened it. Failures raise varnkit::Error with the classic numbers.

#include <cstdint>
#include <string>
#include <string_view>

namespace varnkit::files {

enum class OpenMode { Output, Input };

// Error numbers of file-number misuse, beside the kit's own (53 not found, 75 access error).
inline constexpr int32_t kBadFileNameOrNumber = 52;
inline constexpr int32_t kBadFileMode = 54;
inline constexpr int32_t kFileAlreadyOpen = 55;
inline constexpr int32_t kInputPastEndOfFile = 62;

// Opens the regular file path under number. Output creates the file or empties it. Raises 53
// when the file (for input) or its folder does not exist, 75 when it cannot be opened or is not
// a regular file, 52 for a number outside 1 to 511, 55 when number is open already.
void OpenTextFile(int32_t number, const std::string& path, OpenMode mode);

// Writes text and CR LF to output file number. Raises 52 (not open), 54 (input file), 75.
void WriteLine(int32_t number, std::string_view text);

// The next byte of input file number. Raises 62 at the end, 52 (not open), 54, 75.
char ReadChar(int32_t number);

// True when input file number has no byte left. Raises 52 (not open), 54 (output file), 75.
bool AtEnd(int32_t number);

// Closes file number, writing out what is buffered. Raises 52 when it is not open and 75 when
// the buffered text cannot be written (the number is free afterwards all the same).
void CloseFile(int32_t number);

// Closes every open file; errors are not raised, so this can always tidy up.
void CloseAllFiles();

// True when number is open.
bool IsOpen(int32_t number);

}  // namespace varnkit::files
