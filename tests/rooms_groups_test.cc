// AULAT from the classrooms file and GRUPOST from the groups file: the
// columns each row is built from, the record kinds skipped, and what a
// second run or a missing file does to the tables.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/records.h"
#include "tests/test_support.h"

namespace tto {
namespace {

using testing::RunFixture;
using Rows = std::vector<std::vector<std::string>>;

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

// A classroom record: code in columns 2 to 11, the name's first part in 12
// to 81, its second part from 82.
std::string RoomLine(std::string_view code, std::string_view first, std::string_view second) {
  std::string line = "1";
  AppendPadded(line, code, 10);
  AppendPadded(line, first, 70);
  line += second;
  return line;
}

// A group record: code in columns 2 to 11, level in 15 to 17, course in 21
// to 23, the label's first 9 characters in 24 to 32, the shift in 33 to 35.
// The columns that are not read hold "#".
std::string GroupLine(std::string_view code, std::string_view level, std::string_view course,
                      std::string_view label, std::string_view shift) {
  std::string line = "1";
  AppendPadded(line, code, 10);
  line += "###";
  AppendPadded(line, level, 3);
  line += "###";
  AppendPadded(line, course, 3);
  AppendPadded(line, label, 9);
  AppendPadded(line, shift, 3);
  line += "#####";
  return line;
}

Rows Groups(const std::filesystem::path& work) {
  return testing::ReadRows(work, "GRUPOST",
                           {"ABREV", "TURNO", "NIVEL", "CURSO", "GRUPO", "MARCO", "UNIDAD",
                            "DESCRIP"});
}

Rows Rooms(const std::filesystem::path& work) {
  return testing::ReadRows(work, "AULAT", {"ABREV", "NOMBRE"});
}

TEST(RoomsTest, RowsFromTheRecords) {
  RunFixture f;
  const std::string seventy(70, 'X');
  const std::string educacion_fisica = "Educaci\xf3n F\xedsica";  // Windows-1252
  f.Put("orve_aulas.txt",
        Lines({"0ORVE_AULAS.TXT",
               "1  orve_aulas.txt   ",
               RoomLine("A101", "Aula", "Planta baja"),
               "1LAB       Laboratorio",                // ends before column 82
               RoomLine("GIM", "", "Gimnasio"),          // blank first part
               RoomLine("LARGA", seventy, "Polideportivo"),
               RoomLine("A101", "Aula repetida", "Planta alta"),
               "",                                       // empty line: a data record
               "9",
               RoomLine("EF", educacion_fisica, "Pabell\xf3n"),
               "9ORVE_AULAS.TXT"}));
  ASSERT_TRUE(f.Export());

  // The name's parts always have one space between them; a trailing space
  // is not kept by the table's text fields.
  const Rows expected = {
      {"A101", "Aula Planta baja"},
      {"LAB", "Laboratorio"},
      {"GIM", " Gimnasio"},
      {"LARGA", seventy + " Polidepor"},
      {"A101", "Aula repetida Planta alta"},
      {"", ""},
      {"EF", educacion_fisica + " Pabell\xf3n"},
  };
  EXPECT_EQ(Rooms(f.work.path()), expected);

  Rows external = expected;
  for (auto& row : external) {
    row.push_back("");  // EDIFICIO
    row.push_back("");  // MAXALUM
  }
  EXPECT_EQ(testing::ReadRowsExternally(f.work / "AULAT.DBF"), external);
}

TEST(GroupsTest, RowsFromTheRecords) {
  RunFixture f;
  f.Put("orve_grupo.txt",
        Lines({"0ORVE_GRUPOS.TXT",
               "1  orve_grupos.txt  ",
               GroupLine("1ESOA", "ESO", "1", "ESO1", "M"),
               GroupLine("2BACH", "BAC", "2", "BACHILLER", "MT"),
               GroupLine("A", "", "3", "", "T"),
               GroupLine("1ESOB", "ESO", "2", "E1", "").substr(0, 25),  // ends at column 25
               "1ORVE_GRUPO.TXT",            // the file's own name is data
               "",                           // empty line: a data record
               GroupLine("1ESOA", "ESO", "1", "ESO1", "T"),
               "9ORVE_GRUPOS.TXT"}));
  ASSERT_TRUE(f.Export());

  // Column 33 ends the label and starts the shift; TURNO keeps the shift's
  // first character, the description all of it; an empty level is "NIV".
  const Rows expected = {
      {"1ESOA", "M", "ESO", "1", "A", "0", "1ESOA", "(ESO1     M) M ESO 1 A"},
      {"2BACH", "M", "BAC", "2", "H", "0", "2BACH", "(BACHILLERM) MT BAC 2 H"},
      {"A", "T", "NIV", "3", "A", "0", "A", "(T) T NIV 3 A"},
      {"1ESOB", "", "ESO", "2", "B", "0", "1ESOB", "(E1)  ESO 2 B"},
      {"ORVE_GRUPO", "", "T", "", "O", "0", "ORVE_GRUPO", "()  T  O"},
      {"", "", "NIV", "", "", "0", "", "()  NIV"},
      {"1ESOA", "T", "ESO", "1", "A", "0", "1ESOA", "(ESO1     T) T ESO 1 A"},
  };
  EXPECT_EQ(Groups(f.work.path()), expected);
  EXPECT_EQ(testing::ReadRowsExternally(f.work / "GRUPOST.DBF"), expected);
}

// Each run rebuilds both tables whole, a file of a header and a trailer
// alone gives an empty table, and a missing file is reported, fails the run
// and leaves the table of the run before.
TEST(RoomsGroupsTest, SecondRunReplacesAndMissingFileKeeps) {
  RunFixture f;
  f.Put("orve_aulas.txt", testing::CrLf({"0ORVE_AULAS.TXT", "9ORVE_AULAS.TXT"}));
  f.Put("ORVE_GRUPO.TXT", testing::CrLf({"0ORVE_GRUPOS.TXT", "9ORVE_GRUPOS.TXT"}));
  ASSERT_TRUE(f.Export());
  EXPECT_TRUE(Rooms(f.work.path()).empty());
  EXPECT_TRUE(Groups(f.work.path()).empty());

  f.Put("orve_aulas.txt", Lines({RoomLine("A1", "Aula", "Uno")}));
  f.Put("ORVE_GRUPO.TXT", Lines({GroupLine("1ESOA", "ESO", "1", "ESO1", "M")}));
  ASSERT_TRUE(f.Export());
  const Rows rooms = {{"A1", "Aula Uno"}};
  const Rows groups = {{"1ESOA", "M", "ESO", "1", "A", "0", "1ESOA", "(ESO1     M) M ESO 1 A"}};
  EXPECT_EQ(Rooms(f.work.path()), rooms);
  EXPECT_EQ(Groups(f.work.path()), groups);

  std::filesystem::remove(f.orve / "orve_aulas.txt");
  std::filesystem::remove(f.orve / "ORVE_GRUPO.TXT");
  f.host.messages.clear();
  f.state.outcome_code = 0;
  ASSERT_TRUE(f.Export());
  const auto shown = [&](const std::string& text) {
    return std::count(f.host.messages.begin(), f.host.messages.end(), text);
  };
  EXPECT_EQ(shown("No existe archivo de aulas (ORVE_AULAS.TXT)"), 1);
  EXPECT_EQ(shown("No existe archivo de grupos (ORVE_GRUPO.TXT)"), 1);
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_EQ(Rooms(f.work.path()), rooms);
  EXPECT_EQ(Groups(f.work.path()), groups);
}

}  // namespace
}  // namespace tto
