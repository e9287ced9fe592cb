// File: core/records.h
//
// The field and record operations shared by every ORVE text file: cutting a
// field out of a fixed-width line, trimming, the initials of a name, building
// an output line, and the record kinds that every reader skips. Columns are
// 1-based character positions; every byte is one character.
#pragma once

#include <string>
#include <string_view>

namespace tto {

// The text without its leading spaces. Only the space (code 32) is removed.
std::string_view LTrim(std::string_view text);
// The text without its trailing spaces.
std::string_view RTrim(std::string_view text);
// RTrim, then LTrim.
std::string_view AllTrim(std::string_view text);

// AllTrim of the `length` characters of `line` that start at column `start`
// (1-based); shorter when the line ends first, empty when the line is
// shorter than `start`.
std::string FieldAt(std::string_view line, int start, int length);
// The same as a view into `line`.
std::string_view FieldView(std::string_view line, int start, int length);

// For each position from the first to the last but one: when the character
// there is a space, the character after it is taken. The first character of
// the text is never taken; a space after a space is taken like any other.
std::string Initials(std::string_view text);

// Appends `value` to `record`, then as many spaces as `width` exceeds the
// value's length. A value as long as the width or longer goes in whole.
void AppendPadded(std::string& record, std::string_view value, int width);

// Record kinds, decided in this order: header ("0" first), trailer ("9"
// first), name record (columns 2 to 51, trimmed, with a to z upper-cased,
// equal to `name_text`), data record (anything else, an empty line too).
bool IsHeaderRecord(std::string_view line);
bool IsTrailerRecord(std::string_view line);
bool IsNameRecord(std::string_view line, std::string_view name_text);

// True for a line that the standard record loop hands to the conversion:
// neither a header, a trailer nor the file's name record.
bool IsDataRecord(std::string_view line, std::string_view name_text);

// Only the letters a to z become capitals; every other byte is kept.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

}  // namespace tto
