#pragma once
// Reading a typed number.

#include <cstdint>
#include <optional>
#include <string_view>

namespace varnkit::ui {

// text as a whole number: decimal digits with an optional sign, blanks around allowed, within
// the 32-bit signed range; nothing for any other text (empty, letters, fractions, too big).
std::optional<int32_t> wholeNumber(std::string_view text);

}  // namespace varnkit::ui
