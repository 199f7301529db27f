#include "platform/profile/IniDocument.h"

#include <algorithm>

namespace varnkit::profile {
namespace {

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // raw text after "=", for keys
  size_t equals = 0;       // where "=" stands in the raw line, for keys
};

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view withoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
  a = trim(a);
  b = trim(b);
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

Parsed parse(std::string_view raw) {
  const std::string_view line = withoutCr(raw);
  const std::string_view body = trim(line);
  if (body.empty() || body.front() == ';' || body.front() == '#') return {};
  if (body.front() == '[') {
    const size_t close = body.find(']');
    if (close == std::string_view::npos) return {};
    return {Kind::Section, trim(body.substr(1, close - 1)), {}, 0};
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return {};
  const std::string_view key = trim(line.substr(0, equals));
  if (key.empty()) return {};
  return {Kind::Key, key, line.substr(equals + 1), equals};
}

// Surrounding blanks are not part of a value unless quoted, so a value that needs them (or that
// itself looks quoted) is written in quotes.
std::string encode(std::string_view value) {
  const bool quote =
      !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                         (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
  return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

std::string decode(std::string_view raw) {
  std::string_view v = trim(raw);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      lines_.emplace_back(text.substr(start));
      return;
    }
    lines_.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  finalNewline_ = !text.empty();
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
  const auto at = findKey(section, key);
  if (!at) return std::nullopt;
  return decode(parse(lines_[*at]).value);
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string cr = (!lines_.empty() && lines_.front().ends_with('\r')) ? "\r" : "";
  if (const auto at = findKey(section, key)) {
    std::string& line = lines_[*at];
    const bool hadCr = line.ends_with('\r');
    line = line.substr(0, parse(line).equals + 1) + encode(value) + (hadCr ? "\r" : "");
    return;
  }
  std::string entry = std::string(trim(key)) + "=" + encode(value) + cr;
  if (const auto header = findSection(section)) {
    insertIntoSection(*header, std::move(entry));
    return;
  }
  if (!lines_.empty() && !trim(withoutCr(lines_.back())).empty()) lines_.push_back(cr);
  lines_.push_back("[" + std::string(trim(section)) + "]" + cr);
  lines_.push_back(std::move(entry));
  finalNewline_ = true;
}

std::string IniDocument::text() const {
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i];
    if (i + 1 < lines_.size() || finalNewline_) out += '\n';
  }
  return out;
}

std::optional<size_t> IniDocument::findKey(std::string_view section, std::string_view key) const {
  bool inside = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = parse(lines_[i]);
    if (p.kind == Kind::Section) inside = sameName(p.name, section);
    if (inside && p.kind == Kind::Key && sameName(p.name, key)) return i;
  }
  return std::nullopt;
}

std::optional<size_t> IniDocument::findSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = parse(lines_[i]);
    if (p.kind == Kind::Section && sameName(p.name, section)) return i;
  }
  return std::nullopt;
}

// After the section's last non-blank line, so the blank line that parts it from the next
// section stays where it was.
void IniDocument::insertIntoSection(size_t header, std::string line) {
  size_t at = header + 1;
  for (size_t i = header + 1; i < lines_.size() && parse(lines_[i]).kind != Kind::Section; ++i) {
    if (!trim(withoutCr(lines_[i])).empty()) at = i + 1;
  }
  lines_.insert(lines_.begin() + std::ptrdiff_t(at), std::move(line));
  if (at == lines_.size() - 1) finalNewline_ = true;
}

std::string_view storableValue(std::string_view value) {
  return value.substr(0, value.find_first_of("\r\n"));
}

bool validName(std::string_view name, bool isSection) {
  const std::string_view t = trim(name);
  if (t.empty() || t.find_first_of("\r\n") != std::string_view::npos) return false;
  if (isSection) return t.find(']') == std::string_view::npos;
  return t.find('=') == std::string_view::npos && t.front() != '[' && t.front() != ';' &&
         t.front() != '#';
}

}  // namespace varnkit::profile
