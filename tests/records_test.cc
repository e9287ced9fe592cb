// Fields, trimming, initials, padded output and record kinds.
#include "core/records.h"

#include <gtest/gtest.h>

namespace tto {
namespace {

TEST(Records, FieldAt) {
  struct {
    std::string_view line;
    int start, length;
    std::string_view expected;
  } cases[] = {
      {"1AB", 2, 4, "AB"},
      {"1AB", 5, 4, ""},
      {"1AB", 4, 4, ""},
      {"1AB", 3, 1, "B"},
      {"1  X  Y  9", 2, 8, "X  Y"},
      {"", 2, 10, ""},
      {"1\tA ", 2, 3, "\tA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line) + "@" + std::to_string(c.start));
    EXPECT_EQ(FieldAt(c.line, c.start, c.length), c.expected);
  }
}

TEST(Records, Trims) {
  EXPECT_EQ(AllTrim("  a b  "), "a b");
  EXPECT_EQ(LTrim("  a  "), "a  ");
  EXPECT_EQ(RTrim("  a  "), "  a");
  EXPECT_EQ(AllTrim("    "), "");
  EXPECT_EQ(AllTrim(""), "");
  EXPECT_EQ(AllTrim("\ta\t"), "\ta\t");
}

TEST(Records, Initials) {
  EXPECT_EQ(Initials("Lengua Castellana y Literatura"), "CyL");
  EXPECT_EQ(Initials("A  B"), " B");
  EXPECT_EQ(Initials("Lengua "), "");
  EXPECT_EQ(Initials(""), "");
}

TEST(Records, AppendPadded) {
  std::string record = "1";
  AppendPadded(record, "ABC", 4);
  EXPECT_EQ(record, "1ABC ");
  record = "1";
  AppendPadded(record, "ABCDE", 4);
  EXPECT_EQ(record, "1ABCDE");
  record = "1";
  AppendPadded(record, "", 3);
  EXPECT_EQ(record, "1   ");
}

TEST(Records, RecordKinds) {
  constexpr std::string_view kName = "ORVE_AULAS.TXT";
  EXPECT_TRUE(IsHeaderRecord("0"));
  EXPECT_TRUE(IsHeaderRecord("0anything"));
  EXPECT_TRUE(IsTrailerRecord("9"));
  EXPECT_TRUE(IsNameRecord("1  orve_aulas.txt   ", kName));
  EXPECT_TRUE(IsNameRecord(" ORVE_AULAS.TXT", kName));
  // Only a to z are turned into capitals.
  EXPECT_FALSE(IsNameRecord(" \xe9ORVE_AULAS.TXT", kName));
  EXPECT_FALSE(IsNameRecord(" ORVE_AULA.TXT", kName));
  // The text must stand within columns 2 to 51.
  EXPECT_FALSE(IsNameRecord("1" + std::string(40, ' ') + "ORVE_AULAS.TXT", kName));
  EXPECT_TRUE(IsDataRecord("", kName));
  EXPECT_TRUE(IsDataRecord("1A101", kName));
  EXPECT_FALSE(IsDataRecord("9ORVE_AULAS.TXT", kName));
}

}  // namespace
}  // namespace tto
