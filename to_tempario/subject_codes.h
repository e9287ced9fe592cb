// File: to_tempario/subject_codes.h
//
// The Tempario codes (COD) of ASIGNOMT: at most 10 characters, each used by
// one row only, letter case ignored. Subjects and activities share one list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "to_tempario/string_list.h"

namespace tto {

class SubjectCodes {
 public:
  // True when a code equal to `code` (letter case ignored) is already used.
  bool Contains(std::string_view code) const { return codes_.Contains(code); }
  // Adds `code`; the code that `ForSubject` gave last is not keyed again.
  void Add(std::string_view code);
  // Adds `code` unless an equal code is used; false when it was.
  bool AddIfUnused(std::string_view code);

  // The code of a subject with ORVE base code `base_code` (at most 10
  // characters) and language code `language_code` (at most 6), or nullopt
  // when the subject cannot be placed and its record is skipped:
  // 1. the base code with the language code appended, the base code cut so
  //    that the two fill exactly 10 characters when they would exceed 10;
  // 2. when that code is used: cut to 9 characters if it has 10, then the
  //    first of code+"1", code+"2", ... that is not used (each tested as
  //    formed), at the latest the first one longer than 10 characters;
  // 3. a code longer than 10 becomes its first 8 and its last 2 characters;
  // 4. an empty code, or one that is used, is skipped.
  // The code is not added; the caller adds it when it writes the row.
  std::optional<std::string> ForSubject(std::string_view base_code,
                                        std::string_view language_code);

 private:
  static constexpr std::size_t kMaxLength = 10;

  StringList codes_;
  // The last code that `ForSubject` gave, with its key.
  std::string last_code_;
  StringList::Key last_key_;
  // For each stem numbered so far, the number at which its last search
  // stopped: every smaller number gave a used candidate then, and codes are
  // never removed, so the next search of that stem can start there and
  // still find the same first free candidate. Keyed by the exact bytes of
  // the stem, which give byte-identical candidates. Keeps a file of many
  // repeats linear.
  std::unordered_map<std::string, int> next_number_;
};

}  // namespace tto
