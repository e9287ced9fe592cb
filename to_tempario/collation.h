// File: to_tempario/collation.h
//
// The locale-aware text comparison that ignores letter case, used by string
// lists. Texts are Windows-1252 bytes. The locale is the user's (LC_ALL,
// LC_COLLATE, LANG; the root collation for C and POSIX), compared at
// secondary strength: letter case is ignored, accents are not.
#pragma once

#include <string>
#include <string_view>

namespace tto {

// Negative, zero or positive as `a` sorts before, equal to or after `b`.
// The empty text equals only the empty text.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);

// A byte string such that two texts have equal keys exactly when
// CompareTextIgnoreCase finds them equal, and keys compare (as bytes) in the
// same order as the texts.
std::string CollationKey(std::string_view text);

}  // namespace tto
