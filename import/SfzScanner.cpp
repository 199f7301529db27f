#include "import/SfzScanner.h"

#include <algorithm>
#include <cctype>

#include "import/Paths.h"

namespace varnkit::import::sfz {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxDepth = 16;
constexpr int kMaxIncludes = 256;
// No name or value is longer: a path is at most this long, and a variable whose value holds
// variables defined before it could double with each #define.
constexpr std::size_t kMaxExpanded = 4096;
// All text scanned, the #include'd files' included: a file that includes another many times
// over must not keep the reader busy for ever.
constexpr std::size_t kMaxScanned = 64u << 20;
constexpr std::size_t kMaxVariableName = 64;
constexpr auto npos = std::string_view::npos;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}
bool IsSpace(char c) {
  return IsBlank(c) || IsLineEnd(c) || c == '\f' || c == '\v';
}
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool IsNameChar(char c) {
  return IsWordChar(c) || c == '$';
}
bool At(std::string_view t, std::size_t i, std::string_view what) {
  return t.substr(i, what.size()) == what;
}
bool AtComment(std::string_view t, std::size_t i) {
  return At(t, i, "//") || At(t, i, "/*");
}

std::size_t LineEnd(std::string_view t, std::size_t i) {
  while (i < t.size() && !IsLineEnd(t[i])) ++i;
  return i;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Where the value starting at i ends: at the line's end, a header, a comment or the next
// "name=" on the line. Sample names hold spaces, but no "=".
std::size_t ValueEnd(std::string_view t, std::size_t i) {
  while (i < t.size()) {
    if (IsLineEnd(t[i]) || t[i] == '<' || AtComment(t, i)) return i;
    if (!IsBlank(t[i])) {
      ++i;
      continue;
    }
    std::size_t word = i;
    while (word < t.size() && IsBlank(t[word])) ++word;
    std::size_t end = word;
    while (end < t.size() && IsNameChar(t[end])) ++end;
    if (end > word && end < t.size() && t[end] == '=') return i;
    i = end;  // no opcode can start inside what was just passed
  }
  return i;
}

}  // namespace

Scanner::Scanner(const fs::path& sfzFile, const IncludeLoader& load, Sink& sink)
    : folder_(sfzFile.parent_path()), load_(load), sink_(sink), open_{sfzFile} {}

bool Scanner::scan(std::string_view text) {
  return scanText(text, 0);
}

bool Scanner::scanText(std::string_view t, int depth) {
  scanned_ += t.size();
  if (scanned_ > kMaxScanned) {
    error_ = "The SFZ file and the files it includes are too large to read.";
    return false;
  }
  std::size_t i = 0;
  while (i < t.size()) {
    if (IsSpace(t[i])) {
      ++i;
    } else if (At(t, i, "//")) {
      i = LineEnd(t, i);
    } else if (At(t, i, "/*")) {
      const std::size_t end = t.find("*/", i + 2);
      i = end == npos ? t.size() : end + 2;
    } else if (t[i] == '<') {
      i = header(t, i);
    } else if (t[i] == '#') {
      i = directive(t, i, depth);
      if (!error_.empty()) return false;
    } else {
      i = opcode(t, i);
    }
  }
  return true;
}

std::size_t Scanner::header(std::string_view t, std::size_t i) {
  const std::size_t close = t.find_first_of(">\r\n", i + 1);
  if (close == npos) return t.size();
  if (t[close] != '>') return close;  // a broken header: the rest of its line means nothing
  sink_.header(std::string(Trim(t.substr(i + 1, close - i - 1))));
  return close + 1;
}

std::size_t Scanner::opcode(std::string_view t, std::size_t i) {
  std::size_t equals = i;
  while (equals < t.size() && !IsSpace(t[equals]) && t[equals] != '=' && t[equals] != '<') ++equals;
  if (equals == i) return i + 1;                              // a "=" without a name
  if (equals == t.size() || t[equals] != '=') return equals;  // a stray word
  const std::size_t end = ValueEnd(t, equals + 1);
  sink_.opcode(expand(t.substr(i, equals - i)),
               expand(Trim(t.substr(equals + 1, end - equals - 1))));
  return end;
}

std::size_t Scanner::directive(std::string_view t, std::size_t i, int depth) {
  const std::size_t lineEnd = LineEnd(t, i);
  const std::string_view line = t.substr(i, lineEnd - i);
  if (At(line, 0, "#define") && line.size() > 7 && IsBlank(line[7])) {
    define(line.substr(7));
  } else if (At(line, 0, "#include")) {
    std::size_t open = 8;
    while (open < line.size() && IsBlank(line[open])) ++open;
    const std::size_t close = line.find('"', open + 1);
    if (open >= line.size() || line[open] != '"' || close == npos) return lineEnd;
    const std::string written = expand(line.substr(open + 1, close - open - 1));
    if (!include(written, depth)) return t.size();
    return i + close + 1;
  }
  return lineEnd;
}

void Scanner::define(std::string_view rest) {
  rest = Trim(rest);
  std::size_t nameEnd = 1;
  while (nameEnd < rest.size() && IsWordChar(rest[nameEnd])) ++nameEnd;
  if (rest.empty() || rest[0] != '$' || nameEnd == 1 || nameEnd > kMaxVariableName + 1) return;
  std::string_view value = rest.substr(nameEnd);
  for (std::size_t c = 0; c < value.size(); ++c)
    if (AtComment(value, c)) value = value.substr(0, c);
  variables_[std::string(rest.substr(1, nameEnd - 1))] = expand(Trim(value));
}

// Puts in the values of the variables named by "$NAME".
std::string Scanner::expand(std::string_view text) const {
  std::string out;
  for (std::size_t i = 0; i < text.size() && out.size() < kMaxExpanded;) {
    const std::size_t used = text[i] == '$' ? putVariable(text.substr(i + 1), out) : 0;
    if (used > 0)
      i += 1 + used;
    else
      out += text[i++];
  }
  if (out.size() > kMaxExpanded) out.resize(kMaxExpanded);
  return out;
}

// "$KICK_HARD" names $KICK_HARD when it is defined, else $KICK followed by "_HARD".
std::size_t Scanner::putVariable(std::string_view name, std::string& out) const {
  std::size_t end = 0;
  while (end < name.size() && end < kMaxVariableName && IsWordChar(name[end])) ++end;
  for (; end > 0; --end) {
    const auto it = variables_.find(name.substr(0, end));
    if (it == variables_.end()) continue;
    out += it->second;
    return end;
  }
  return 0;
}

bool Scanner::include(const std::string& written, int depth) {
  const fs::path file = (folder_ / ForwardSlashes(written)).lexically_normal();
  if (!IsInside(folder_, file)) {
    error_ = "The #include \"" + written + "\" leads out of the kit's folder.";
    return false;
  }
  if (std::find(open_.begin(), open_.end(), file) != open_.end()) {
    skipped_.push_back("an #include loop through \"" + written + "\"");
    return true;
  }
  if (depth + 1 > kMaxDepth || includes_ == kMaxIncludes) {
    skipped_.push_back("#include files nested too deep or too many, from \"" + written + "\"");
    return true;
  }
  ++includes_;
  const IncludedText got = load_(file);
  if (!got.text) {
    error_ =
        got.error.empty() ? "The #include file \"" + written + "\" cannot be read." : got.error;
    return false;
  }
  open_.push_back(file);
  const bool done = scanText(*got.text, depth + 1);
  open_.pop_back();
  return done;
}

}  // namespace varnkit::import::sfz
