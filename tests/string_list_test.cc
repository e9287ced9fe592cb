// String lists: case-insensitive, accent-sensitive lookups and sorted order.
#include "core/string_list.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/collation/collation.h"

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

}  // namespace
}  // namespace tto
