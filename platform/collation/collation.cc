#include "platform/collation/collation.h"

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

icu::UnicodeString ToUnicode(std::string_view bytes) {
  return icu::UnicodeString::fromUTF8(Cp1252ToUtf8(bytes));
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
  const icu::UnicodeString unicode = ToUnicode(text);
  const icu::Collator& collator = UserCollator();
  std::string key(1, '\x01');
  const int32_t size = collator.getSortKey(unicode, nullptr, 0);
  std::string sort_key(static_cast<std::size_t>(size), '\0');
  collator.getSortKey(unicode, reinterpret_cast<uint8_t*>(sort_key.data()), size);
  // The key ends with a NUL terminator that adds nothing to the order.
  while (!sort_key.empty() && sort_key.back() == '\0') sort_key.pop_back();
  return key + sort_key;
}

}  // namespace tto
