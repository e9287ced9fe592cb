// File: core/encoding.h
//
// Text from ORVE files and Tempario tables is single-byte Windows-1252 and is
// kept as bytes everywhere inside the system. These two functions are used
// only where a value crosses into something a person sees (a message, the
// window) or comes from it (a path typed or chosen in the window).
#pragma once

#include <string>
#include <string_view>

namespace tto {

// Windows-1252 bytes to UTF-8. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the
// same number, as the platform's own conversion does.
std::string Cp1252ToUtf8(std::string_view bytes);

// The UTF-16 code unit of one Windows-1252 byte (the undefined bytes as
// their C1 controls, like `Cp1252ToUtf8`).
char16_t Cp1252ToUtf16(unsigned char byte);

// UTF-8 to Windows-1252. Characters that Windows-1252 cannot hold, and bytes
// that are not valid UTF-8, become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// `text` with every byte that is not part of a valid UTF-8 sequence written
// as "\xNN" (two upper-case hex digits); valid text comes back unchanged.
// For names of the file system, which are bytes, where a person reads them.
std::string EscapeInvalidUtf8(std::string_view text);

}  // namespace tto
