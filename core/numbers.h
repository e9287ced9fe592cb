// File: core/numbers.h
//
// Conversions of text into numbers, independent of the user's locale. Both
// throw `Error` with the system's messages when the text is not a number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tto {

// A decimal integer: optional leading spaces, an optional sign, then one or
// more digits, nothing after them, within the range of a 32-bit signed
// integer. Otherwise throws "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// [[nodiscard]] variant that reports failure instead of throwing.
[[nodiscard]] bool TryStrToInt(std::string_view text, std::int32_t& out);

// A decimal number with "." as the decimal separator: optional sign, digits
// with an optional decimal point (at least one digit), an optional exponent
// (E or e, optional sign, digits). Leading and trailing spaces are allowed.
// Otherwise throws "'%s' is not a valid floating point value".
double StrToFloat(std::string_view text);

// The message texts, for callers that raise them themselves.
std::string InvalidIntegerMessage(std::string_view text);
std::string InvalidFloatMessage(std::string_view text);

}  // namespace tto
