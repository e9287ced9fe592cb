#include "core/numbers.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "core/encoding.h"
#include "core/errors.h"

namespace tto {

std::string InvalidIntegerMessage(std::string_view text) {
  return "'" + Cp1252ToUtf8(text) + "' is not a valid integer value";
}

std::string InvalidFloatMessage(std::string_view text) {
  return "'" + Cp1252ToUtf8(text) + "' is not a valid floating point value";
}

bool TryStrToInt(std::string_view text, std::int32_t& out) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  out = static_cast<std::int32_t>(value);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) throw Error(InvalidIntegerMessage(text));
  return value;
}

double StrToFloat(std::string_view text) {
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  // Check the grammar first: from_chars alone would accept "inf", "nan" and
  // hexadecimal forms, and reject a leading "+".
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const std::size_t number_start = i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  bool valid = digits > 0;
  if (valid && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exponent_digits;
    valid = exponent_digits > 0;
  }
  if (!valid || i != s.size()) throw Error(InvalidFloatMessage(text));
  double value = 0;
  const auto result = std::from_chars(s.data() + number_start, s.data() + s.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars reports a number too small for a double (1E-400) like one
    // too large; the first is still a number and reads as zero. strtod in
    // the C locale tells the two apart: it gives infinity only for the
    // second.
    static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    value = ::strtod_l(std::string(s.substr(number_start)).c_str(), nullptr, c_locale);
  } else if (result.ec != std::errc()) {
    throw Error(InvalidFloatMessage(text));
  }
  if (!std::isfinite(value)) throw Error(InvalidFloatMessage(text));
  return s[0] == '-' ? -value : value;
}

}  // namespace tto
