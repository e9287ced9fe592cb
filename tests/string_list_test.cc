// String lists: case-insensitive, accent-sensitive lookups and sorted order.
#include "to_tempario/string_list.h"

#include <gtest/gtest.h>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/encoding.h"
#include "to_tempario/collation.h"

namespace tto {
namespace {

TEST(StringList, UnsortedFindsTheFirstEqualEntry) {
  StringList list;
  list.Add("MAT");
  list.Add("mat");  // added even though an equal entry is there
  list.Add("M\xe1T");  // MáT
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf("mat"), 0);
  EXPECT_EQ(list.IndexOf("Mat"), 0);
  EXPECT_EQ(list.IndexOf("m\xc1t"), 2);  // mÁt equals MáT
  EXPECT_EQ(list.IndexOf("MATE"), -1);
  EXPECT_EQ(list.IndexOf(""), -1);
  list.Add("");
  EXPECT_EQ(list.IndexOf(""), 3);
  EXPECT_EQ(list[1], "mat");
}

TEST(StringList, SortedKeepsOrderAndEachTextOnce) {
  StringList list(StringList::Order::kSorted);
  for (const char* text : {"14:10", "08:30", "09:25", "08:00", "08:30", "\xe1", "b", "A"}) {
    list.Add(text);
  }
  const std::vector<std::string> expected = {"08:00", "08:30", "09:25", "14:10",
                                             "A",     "\xe1",  "b"};
  EXPECT_EQ(list.Entries(), expected);
  EXPECT_EQ(list.IndexOf("08:30"), 1);
  EXPECT_EQ(list.IndexOf("\xc1"), 5);
  EXPECT_EQ(list.IndexOf("07:00"), -1);
}

TEST(Collation, IgnoresCaseNotAccents) {
  EXPECT_EQ(CompareTextIgnoreCase("mat", "MAT"), 0);
  EXPECT_NE(CompareTextIgnoreCase("a", "\xe1"), 0);
  EXPECT_EQ(CompareTextIgnoreCase("\xf1", "\xd1"), 0);  // ñ, Ñ
  EXPECT_LT(CompareTextIgnoreCase("n", "\xf1"), 0);
  EXPECT_LT(CompareTextIgnoreCase("\xf1", "o"), 0);
  EXPECT_NE(CompareTextIgnoreCase("", "\x01"), 0);
  EXPECT_EQ(CollationKey("ABC") == CollationKey("abc"), true);
}

// The collator is made once per process from the environment as it stands
// then, so each case runs in a fresh process. In Spanish, ñ is a letter of
// its own after n, so ña sorts after nb; in the root collation it is an n
// with an accent, before nb.
TEST(Collation, LocaleFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct {
    const char* lc_all;
    const char* lc_collate;
    const char* lang;
    int spanish;
  } cases[] = {
      {nullptr, nullptr, "es_ES.UTF-8", 1},
      {"", "", "es_ES@euro", 1},
      {"C", nullptr, "es_ES.UTF-8", 0},
      {nullptr, "es_ES.UTF-8", "C", 1},
      {nullptr, "POSIX", "es_ES.UTF-8", 0},
      {nullptr, nullptr, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("LC_ALL=") + (c.lc_all ? c.lc_all : "(unset)") + " LC_COLLATE=" +
                 (c.lc_collate ? c.lc_collate : "(unset)") + " LANG=" +
                 (c.lang ? c.lang : "(unset)"));
    EXPECT_EXIT(
        {
          const auto set = [](const char* name, const char* value) {
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
          };
          set("LC_ALL", c.lc_all);
          set("LC_COLLATE", c.lc_collate);
          set("LANG", c.lang);
          std::exit(CompareTextIgnoreCase("\xf1" "a", "nb") > 0 ? 1 : 0);
        },
        ::testing::ExitedWithCode(c.spanish), "");
  }
}

// Keys are made straight from the Windows-1252 bytes. They must be the very
// keys that the collator gives the same text converted to Unicode through
// UTF-8, for every text of one byte and of two bytes, in the users' locale
// and in the root collation.
TEST(Collation, KeysStraightFromTheBytesAreTheCollatorsKeys) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* locale : {"es_ES.UTF-8", "C"}) {
    SCOPED_TRACE(locale);
    EXPECT_EXIT(
        {
          ::setenv("LC_ALL", locale, 1);
          UErrorCode status = U_ZERO_ERROR;
          std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(
              std::string(locale) == "C" ? icu::Locale::getRoot() : icu::Locale("es_ES"),
              status));
          collator->setStrength(icu::Collator::SECONDARY);
          const auto reference = [&](const std::string& text) {
            const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(Cp1252ToUtf8(text));
            std::string key(static_cast<std::size_t>(collator->getSortKey(unicode, nullptr, 0)),
                            '\0');
            collator->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()),
                                 static_cast<int32_t>(key.size()));
            while (!key.empty() && key.back() == '\0') key.pop_back();
            return "\x01" + key;
          };
          int mismatches = 0;
          for (int a = 0; a < 256; ++a) {
            const std::string one(1, static_cast<char>(a));
            mismatches += CollationKey(one) != reference(one);
            for (int b = 0; b < 256; ++b) {
              const std::string two = one + static_cast<char>(b);
              mismatches += CollationKey(two) != reference(two);
            }
          }
          std::exit(std::min(mismatches, 100));
        },
        ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace tto
