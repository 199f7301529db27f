#pragma once
// Names are bytes: kit files written on other systems often hold Windows-1252 names. The
// windows show them, and never change the bytes they were given.

#include <QString>
#include <string>

namespace varnkit::ui {

// bytes as UTF-8 where they are valid UTF-8, as Windows-1252 otherwise.
QString shownText(const std::string& bytes);

}  // namespace varnkit::ui
