// File: platform/ini/ini_file.h
//
// Writing one value into an ini file, the way the host program's own ini
// services do it, without disturbing anything else in the file:
//
// - the file is created when missing, the section appended when missing,
//   the key added at the end of its section when missing;
// - an existing key's value is replaced; sections and keys are matched
//   ignoring ASCII letter case and the spaces around them; when a section or
//   key appears more than once, the first one counts;
// - every other line stays byte for byte (comments, order, other sections,
//   blank lines); lines that are added end as the file's lines end (CR LF
//   when its first line ends in CR LF, or when the file is new).
//
// The new file is written beside the old one under a temporary name and
// renamed over it, so a failure at any point leaves the old file whole.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tto {

// Sets `key`=`value` under [`section`] in the ini file at `path`. Throws
// `Error` "Unable to write to <path>" when the file cannot be read or
// written.
void WriteIniString(const std::filesystem::path& path, std::string_view section,
                    std::string_view key, std::string_view value);

// The text of an ini file after setting `key`=`value` under [`section`];
// `contents` is the old text (empty for a new file). The pure part of
// WriteIniString.
std::string SetIniValue(std::string_view contents, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace tto
