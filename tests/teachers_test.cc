// PROFT from "orve_prof.txt", driven through the export run.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace tto {
namespace {

using testing::CrLf;
using testing::ReadRows;
using testing::RunFixture;
using Rows = std::vector<std::vector<std::string>>;

constexpr char kHeader[] = "0ORVE_PROF.TXT                                     46012345010920260830";
constexpr char kName[] = " orve_prof.txt";
constexpr char kTrailer[] = "9ORVE_PROF.TXT                                     460123450109202608300";

std::string Teacher(std::string_view code, std::string_view name, std::string_view depart) {
  std::string line = "1" + std::string(code);
  line.resize(5, ' ');
  line += name;
  line.resize(95, ' ');
  line += depart;
  return line;
}

Rows ExportTeachers(const std::string& file) {
  RunFixture f;
  f.Put("orve_prof.txt", file);
  EXPECT_TRUE(f.Export());
  EXPECT_TRUE(f.host.errors.empty());
  return ReadRows(f.work.path(), "PROFT", {"ABREV", "NOMBRE", "DEPART", "EMAIL", "DNI"});
}

TEST(ConvertTeachers, Records) {
  const std::string name90(90, 'N');
  struct {
    const char* name;
    std::string file;
    Rows expected;
  } cases[] = {
      {"header, name and trailer only", CrLf({kHeader, kName, kTrailer}), {}},
      {"codes equal ignoring case: the first wins",
       CrLf({Teacher("AB", "First", "D1"), Teacher("ab", "Second", "D2")}),
       {{"AB", "First", "D1", "", ""}}},
      {"a record of 50 characters", CrLf({"1PGM " + std::string(10, ' ') + "P\xe9rez G\xf3mez" +
                                          std::string(24, ' ')}),
       {{"PGM", "P\xe9rez G\xf3mez", "", "", ""}}},
      {"a name of 90 columns is cut to 80", CrLf({Teacher("LRA", name90, "Matem\xe1ticas")}),
       {{"LRA", name90.substr(0, 80), "Matem\xe1ticas", "", ""}}},
      {"a department of 50 columns is cut to 40",
       CrLf({Teacher("X", "N", std::string(50, 'd'))}), {{"X", "N", std::string(40, 'd'), "", ""}}},
      {"spaces inside a code stay", CrLf({Teacher(" A B", "N", "D")}), {{"A B", "N", "D", "", ""}}},
      {"empty lines: one row, written once", CrLf({"", Teacher("T1", "N", "D"), ""}),
       {{"", "", "", "", ""}, {"T1", "N", "D", "", ""}}},
      {"header and trailer anywhere, last line without terminator",
       CrLf({Teacher("A", "1", ""), kTrailer, kHeader}) + Teacher("B", "2", ""),
       {{"A", "1", "", "", ""}, {"B", "2", "", "", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExportTeachers(c.file), c.expected);
  }
}

TEST(ConvertTeachers, MissingFileKeepsTheEarlierTable) {
  RunFixture f;
  f.Put("ORVE_PROF.TXT", CrLf({Teacher("PGM", "Mar\xed" "a", "Lengua")}));  // any letter case
  ASSERT_TRUE(f.Export());
  std::filesystem::remove(f.orve / "ORVE_PROF.TXT");
  f.host.messages.clear();
  ASSERT_TRUE(f.Export());
  EXPECT_NE(std::find(f.host.messages.begin(), f.host.messages.end(),
                      "No existe archivo de profesores (ORVE_PROF.TXT)"),
            f.host.messages.end());
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_EQ(ReadRows(f.work.path(), "PROFT", {"ABREV", "NOMBRE"}),
            (Rows{{"PGM", "Mar\xed" "a"}}));
}

// Files whose names differ only in letter case: the one named exactly as
// the system names it wins, else the first in byte order, whatever the
// order of the directory.
TEST(ConvertTeachers, WhichFileOfSeveralNamesInOtherCases) {
  struct {
    std::vector<std::string> files;
    std::string read;
  } cases[] = {
      {{"ORVE_PROF.TXT", "orve_prof.txt", "Orve_Prof.txt"}, "orve_prof.txt"},
      {{"orve_PROF.txt", "Orve_Prof.txt", "ORVE_PROF.TXT"}, "ORVE_PROF.TXT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read);
    RunFixture f;
    for (const auto& name : c.files) f.Put(name, CrLf({Teacher("T", name, "")}));
    ASSERT_TRUE(f.Export());
    EXPECT_EQ(ReadRows(f.work.path(), "PROFT", {"ABREV", "NOMBRE"}), (Rows{{"T", c.read}}));
  }
}

}  // namespace
}  // namespace tto
