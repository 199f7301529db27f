#pragma once
// The kit file's field reader: fields end in a comma, line feeds, carriage returns and tabs
// are dropped wherever they stand, spaces are kept. Shared by ReadFields (Funk) and the kit's
// MInput. User-interface thread.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace varnkit {

// One variable a field is read into.
using FieldRef = std::variant<std::string*, int32_t*, double*>;

// Reads one comma-terminated field per element of fields from text file number file (open for
// input) and assigns it, converted to the variable's type. At the end of the file a last field
// without a comma is assigned only to element 0; elements not reached keep their values.
// Characters after the last comma read stay for the next call. A field that does not convert
// raises varnkit::Error 13 (or 6 when out of range), ending the call; a null variable raises 5
// before anything is read.
void ReadCommaFields(int32_t file, std::span<const FieldRef> fields);

// The field as a 32-bit number: blanks around it allowed, a leading sign, a decimal fraction
// rounded half to even, an exponent ("1e3"). Raises 13 when it is not a number, 6 when the
// rounded value does not fit.
int32_t FieldToInt32(std::string_view text);

// The field as a double, by the same rules without rounding. Raises 13 when it is not a
// number, 6 when its magnitude is beyond a double; a magnitude too small for one reads as 0.
double FieldToDouble(std::string_view text);

}  // namespace varnkit
