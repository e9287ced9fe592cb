#include "to_tempario/collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>

#include "core/encoding.h"

namespace tto {
namespace {

// The user's collation locale from the environment, in the order the C
// library looks at it; C and POSIX use the root collation.
icu::Locale UserLocale() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string name = value;
    if (const auto cut = name.find_first_of(".@"); cut != std::string::npos) name.resize(cut);
    if (name == "C" || name == "POSIX" || name.empty()) return icu::Locale::getRoot();
    return icu::Locale(name.c_str());
  }
  return icu::Locale::getRoot();
}

const icu::Collator& UserCollator() {
  static const std::unique_ptr<icu::Collator> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(UserLocale(), status));
    if (U_FAILURE(status) || !c) {
      status = U_ZERO_ERROR;
      c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    c->setStrength(icu::Collator::SECONDARY);
    return c;
  }();
  return *collator;
}

// The text as UTF-16, one code unit per Windows-1252 byte.
icu::UnicodeString ToUnicode(std::string_view bytes) {
  icu::UnicodeString unicode(static_cast<int32_t>(bytes.size()), 0, 0);
  for (const char c : bytes) unicode.append(Cp1252ToUtf16(static_cast<unsigned char>(c)));
  return unicode;
}

}  // namespace

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return a.empty() ? (b.empty() ? 0 : -1) : 1;
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result = UserCollator().compare(ToUnicode(a), ToUnicode(b), status);
  return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

std::string CollationKey(std::string_view text) {
  // A leading mark keeps the empty text apart from texts that the collator
  // ignores entirely (control characters, say).
  if (text.empty()) return std::string();
  // Straight from the bytes into a buffer on the stack for the usual short
  // codes, with no conversion through UTF-8.
  constexpr std::size_t kShort = 64;
  char16_t short_units[kShort];
  std::u16string long_units;
  char16_t* units = short_units;
  if (text.size() > kShort) {
    long_units.resize(text.size());
    units = long_units.data();
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    units[i] = Cp1252ToUtf16(static_cast<unsigned char>(text[i]));
  }
  const icu::Collator& collator = UserCollator();
  const auto length = static_cast<int32_t>(text.size());
  std::string key(1 + 2 * kShort, '\0');
  auto* out = reinterpret_cast<uint8_t*>(key.data() + 1);
  int32_t size = collator.getSortKey(units, length, out, static_cast<int32_t>(key.size() - 1));
  if (static_cast<std::size_t>(size) > key.size() - 1) {
    key.resize(1 + static_cast<std::size_t>(size));
    out = reinterpret_cast<uint8_t*>(key.data() + 1);
    size = collator.getSortKey(units, length, out, size);
  }
  key.resize(1 + static_cast<std::size_t>(size));
  key[0] = '\x01';
  // The key ends with a NUL terminator that adds nothing to the order.
  while (key.size() > 1 && key.back() == '\0') key.pop_back();
  return key;
}

}  // namespace tto
