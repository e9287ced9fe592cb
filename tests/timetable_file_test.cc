// "ORVE_HORARIO.TXT" from SOLUC, driven through the import run. SOLUC is
// Tempario's table, so the tests have other programs write it (python3-dbf,
// ogr2ogr); the tables of the export run are built with our own engine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "tests/test_support.h"

namespace tto::testing {
namespace {

using ::testing::HasSubstr;
using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;
using dbf::FieldDef;
using dbf::FieldType;

// Debian's interpreter, which has python3-dbf; a python3 earlier on PATH may
// lack it.
constexpr char kPython[] = "/usr/bin/python3";
const std::string kName = "ORVE_HORARIO.TXT                                  ";  // 50
const std::string kSubjectsHeader =
    "0ORVE_ASIGNAT.TXT                                  46012345010920260830";

std::tm At(int day, int month, int year, int hour, int minute) {
  std::tm time{};
  time.tm_mday = day;
  time.tm_mon = month - 1;
  time.tm_year = year - 1900;
  time.tm_hour = hour;
  time.tm_min = minute;
  return time;
}

// A clock that gives `first` on its first reading and `later` afterwards.
Clock TwoReadings(std::tm first, std::tm later) {
  auto readings = std::make_shared<int>(0);
  return [=] { return (*readings)++ == 0 ? first : later; };
}

std::string FileText(const Lines& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

// The file's lines; CR LF after each, the last too.
Lines ReadLines(const std::filesystem::path& path) {
  const std::string text = ReadFile(path);
  EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << path;
  Lines lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::set<std::string> FileNames(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// ---------------------------------------------------------------------------
// The tables of the export run, with the fields the export gives them.

const std::array<FieldDef, 7> kSubjectFields = {{
    {"COD", FieldType::kString, 10},
    {"CODLARGO", FieldType::kString, 10},
    {"NOMBRE", FieldType::kString, 80},
    {"ESTAREA", FieldType::kBoolean, 0},
    {"CODTAREA", FieldType::kString, 10},
    {"CODORVE", FieldType::kString, 20},
    {"CODIDIORVE", FieldType::kString, 10},
}};
const std::array<FieldDef, 8> kGroupFields = {{
    {"ABREV", FieldType::kString, 10},
    {"TURNO", FieldType::kString, 1},
    {"NIVEL", FieldType::kString, 5},
    {"CURSO", FieldType::kString, 3},
    {"GRUPO", FieldType::kString, 2},
    {"MARCO", FieldType::kString, 1},
    {"UNIDAD", FieldType::kString, 10},
    {"DESCRIP", FieldType::kString, 80},
}};
const std::array<FieldDef, 4> kRoomFields = {{
    {"ABREV", FieldType::kString, 10},
    {"NOMBRE", FieldType::kString, 80},
    {"EDIFICIO", FieldType::kString, 1},
    {"MAXALUM", FieldType::kInteger, 0},
}};
const std::array<FieldDef, 5> kTeacherFields = {{
    {"ABREV", FieldType::kString, 10},
    {"NOMBRE", FieldType::kString, 80},
    {"DEPART", FieldType::kString, 40},
    {"EMAIL", FieldType::kString, 100},
    {"DNI", FieldType::kInteger, 0},
}};
const std::array<FieldDef, 11> kSlotFields = {{
    {"DIHO", FieldType::kString, 10},
    {"CODDIHO", FieldType::kString, 10},
    {"DIA", FieldType::kString, 20},
    {"TEXTODIA", FieldType::kString, 20},
    {"HORA", FieldType::kString, 8},
    {"TEXTOHOR", FieldType::kString, 15},
    {"HORADESDE", FieldType::kString, 8},
    {"HORAHASTA", FieldType::kString, 8},
    {"MINUTOS", FieldType::kString, 8},
    {"MARCO", FieldType::kString, 1},
    {"MARCOXML", FieldType::kString, 10},
}};

void MakeTable(const std::filesystem::path& folder, std::string_view name,
               std::span<const FieldDef> fields, const std::vector<std::string>& columns,
               const Rows& rows) {
  dbf::Table table = dbf::Table::Recreate(folder, name, fields);
  for (const auto& row : rows) {
    table.Append();
    for (std::size_t i = 0; i < columns.size(); ++i) table.SetText(columns[i], row[i]);
    table.Post();
  }
  table.Close();
}

// COD, CODTAREA, CODORVE, CODIDIORVE.
const Rows kSubjects = {
    {"LCL", "", "LCL", ""},
    {"LEING", "", "LE         ING", "ING"},
    {"RE", "", "RE", ""},
    {"REVAL", "", "RE", "VAL"},
    {"*GUAR", "GUA", "", ""},
    {"*VACIA", "", "", ""},
    {"*LARGA", "GUARDIA", "", ""},
};
// DIA, HORA, MARCO, CODDIHO.
const Rows kSlots = {
    {"1", "1", "0", "L1"},   {"1", "2", "0", "L2"},   {"2", "1", "0", "M1a"},
    {"2", "1", "0", "M1b"},  {"3", "1", "", "X1E"},   {"3", "1", "0", "X1"},
    {"8", "1", "0", "OCHO"}, {"10", "1", "0", "DIEZ"},
};

void MakeExportTables(const std::filesystem::path& work, const Rows& slots = kSlots) {
  MakeTable(work, "ASIGNOMT", kSubjectFields, {"COD", "CODTAREA", "CODORVE", "CODIDIORVE"},
            kSubjects);
  MakeTable(work, "GRUPOST", kGroupFields, {"ABREV", "MARCO"}, {{"1ESOA", "0"}, {"2BACHA", "0"}});
  MakeTable(work, "AULAT", kRoomFields, {"ABREV"}, {{"A101"}, {"GIM"}});
  MakeTable(work, "PROFT", kTeacherFields, {"ABREV"}, {{"PGM"}});
  MakeTable(work, "DIASHORAST", kSlotFields, {"DIA", "HORA", "MARCO", "CODDIHO"}, slots);
}

// ---------------------------------------------------------------------------
// SOLUC as other programs write it.

const std::vector<std::string> kSolucColumns = {"DIA",      "HORA",  "MARCO", "PROF",
                                                "CODGRUPO", "TAREA", "ASIG",  "AULA"};
// Numeric day; the other fields as Tempario might size them.
constexpr char kSolucSpec[] =
    "DIA N(2,0); HORA C(2); MARCO C(2); PROF C(10); CODGRUPO C(12); TAREA C(10); "
    "ASIG C(24); AULA C(12)";

// A Python bytes literal decoded as Windows-1252, for any byte string.
std::string PythonText(std::string_view bytes) {
  std::string literal = "b'";
  for (unsigned char c : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    literal += hex;
  }
  return literal + "'.decode('cp1252')";
}

// Writes SOLUC.DBF with python3-dbf as a dBase III table. `field_list` is
// python3-dbf's field list; an N field's value is an integer, or blank when
// empty.
void WriteSolucWithPythonDbf(const std::filesystem::path& work, std::string_view field_list,
                             const Rows& rows) {
  std::string script =
      "import sys, dbf\n"
      "t = dbf.Table(sys.argv[1], '" + std::string(field_list) + "', dbf_type='db3', codepage='cp1252')\n"
      "t.open(dbf.READ_WRITE)\n"
      "numeric = [t.field_info(n)[0] == dbf.FieldType.NUMERIC for n in t.field_names]\n"
      "def value(is_numeric, text):\n"
      "    return (int(text) if text.strip() else None) if is_numeric else text\n";
  for (const auto& row : rows) {
    script += "t.append(tuple(value(n, v) for n, v in zip(numeric, [";
    for (const auto& v : row) script += PythonText(v) + ", ";
    script += "])))\n";
  }
  script += "t.close()\n";
  const TempDir scratch;
  WriteFile(scratch / "soluc.py", script);
  int status = 0;
  const std::string output = RunCommand(std::string(kPython) + " '" +
                                            (scratch / "soluc.py").string() + "' '" +
                                            (work / "SOLUC.DBF").string() + "' 2>&1",
                                        &status);
  ASSERT_EQ(status, 0) << output;
}

// Writes SOLUC with ogr2ogr from a CSV file: every field is text (the day
// too), and the file is named "SOLUC.dbf".
void WriteSolucWithOgr(const std::filesystem::path& work, const Rows& rows) {
  const TempDir scratch;
  std::string csv;
  for (std::size_t i = 0; i < kSolucColumns.size(); ++i) {
    csv += (i ? "," : "") + kSolucColumns[i];
  }
  csv += "\n";
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) csv += (i ? ",\"" : "\"") + row[i] + "\"";
    csv += "\n";
  }
  WriteFile(scratch / "SOLUC.csv", csv);
  int status = 0;
  const std::string output =
      RunCommand("ogr2ogr -f 'ESRI Shapefile' '" + (work / "SOLUC.DBF").string() + "' '" +
                     (scratch / "SOLUC.csv").string() + "' 2>&1",
                 &status);
  ASSERT_EQ(status, 0) << output;
  ASSERT_TRUE(std::filesystem::exists(work / "SOLUC.dbf"));
}

// The import run with a chosen clock, as a click runs it.
bool Import(RunFixture& f, Clock clock) {
  RunContext run{f.host, f.state, f.work.path(), std::move(clock)};
  return RunWithErrorBox(f.host, [&] { RunImport(run); });
}

// 5 March 2027, 09:07 for the header, 09:08 for the trailer.
Clock MinuteChange() { return TwoReadings(At(5, 3, 2027, 9, 7), At(5, 3, 2027, 9, 8)); }
const std::string kHeaderTime = "050320270907";
const std::string kTrailerTime = "050320270908";

// ---------------------------------------------------------------------------
// Data records: one SOLUC record per case, all in one table, each case's
// line compared whole.

struct LessonCase {
  std::string name;
  std::vector<std::string> record;  // DIA, HORA, MARCO, PROF, CODGRUPO, TAREA, ASIG, AULA
  std::string line;                 // empty: the record yields no line
};

const std::vector<LessonCase> kLessons = {
    {"found slot, group, subject and room; no activity",
     {"1", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"day 0 yields no line", {"0", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"}, ""},
    {"a blank day reads as 0", {"", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"}, ""},
    {"day 8 is compared and written as it is",
     {"8", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"},
     "1" "OCHO" "8" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"day 10 pushes every later column one place right",
     {"10", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"},
     "1" "DIEZ" "10" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"of two matching time slots the first gives the code",
     {"2", "1", "0", "PGM", "2BACHA", "", "LCL", "GIM"},
     "1" "M1a " "M" "PGM " "2BACHA    " "LEC " "LCL                 " "GIM       "},
    {"frame 0X matches a slot whose frame is 0",
     {"1", "2", "0X", "PGM", "1ESOA", "", "LCL", "A101"},
     "1" "L2  " "L" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"an empty frame matches only a slot whose frame is empty",
     {"3", "1", "", "PGM", "1ESOA", "", "LCL", "A101"},
     "1" "X1E " "X" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"no matching time slot: four spaces",
     {"4", "9", "0", "PGM", "1ESOA", "", "LCL", "A101"},
     "1" "    " "J" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"a teacher code longer than 4 is written whole",
     {"5", "1", "0", "LARGO", "1ESOA", "", "LCL", "A101"},
     "1" "    " "V" "LARGO" "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"an unknown group of 12 characters: its first 10",
     {"6", "1", "0", "PGM", "GRUPOLARGO12", "", "LCL", "A101"},
     "1" "    " "S" "PGM " "GRUPOLARGO" "LEC " "LCL                 " "A101      "},
    {"an unknown activity: LEC",
     {"7", "1", "0", "PGM", "1ESOA", "*NADA", "LCL", "A101"},
     "1" "    " "D" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      "},
    {"an activity found with an empty task code: four spaces",
     {"1", "1", "0", "PGM", "1ESOA", "*VACIA", "LCL", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "    " "LCL                 " "A101      "},
    {"a task code longer than 4 moves the rest right",
     {"1", "1", "0", "PGM", "", "*LARGA", "*LARGA", ""},
     "1" "L1  " "L" "PGM " "          " "GUARDIA" "                    " "          "},
    {"a guard duty: its task code, and the blank ORVE code of its row",
     {"1", "2", "0", "PGM", "", "*GUAR", "*GUAR", "GIM"},
     "1" "L2  " "L" "PGM " "          " "GUA " "                    " "GIM       "},
    {"RE with a language code: three spaces and the code after the room",
     {"1", "1", "0", "PGM", "1ESOA", "", "REVAL", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "RE                  " "A101      " "   VAL"},
    {"RE without a language code: three spaces after the room",
     {"1", "1", "0", "PGM", "1ESOA", "", "RE", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "RE                  " "A101      " "   "},
    {"another subject with a language code: the code right after the room",
     {"1", "1", "0", "PGM", "1ESOA", "", "LEING", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "LE         ING      " "A101      " "ING"},
    {"an unknown subject: SOLUC's code, no language suffix",
     {"1", "1", "0", "PGM", "1ESOA", "", "DESCONOCIDA", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "DESCONOCIDA         " "A101      "},
    {"an unknown subject code longer than 20: its first 20",
     {"1", "1", "0", "PGM", "1ESOA", "", "ASIGNATURAMUYLARGA123", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "ASIGNATURAMUYLARGA12" "A101      "},
    {"lookups are case-sensitive: lcl is not LCL",
     {"1", "1", "0", "PGM", "1ESOA", "", "lcl", "A101"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "lcl                 " "A101      "},
    {"an unknown room of 11 characters: its first 10",
     {"1", "1", "0", "PGM", "1ESOA", "", "LCL", "AULA1234567"},
     "1" "L1  " "L" "PGM " "1ESOA     " "LEC " "LCL                 " "AULA123456"},
};

enum class SolucWriter { kPythonDbfNumericDay, kOgrTextDay };

class LessonLinesTest : public ::testing::TestWithParam<SolucWriter> {};

TEST_P(LessonLinesTest, EveryRecordGivesItsLineAndTheTrailerCountsThem) {
  RunFixture f;
  f.Put("orve_asignat.txt", FileText({kSubjectsHeader, " ORVE_ASIGNAT.TXT"}));
  f.Put("ORVE_HORARIO.TXT", "an earlier file\r\n");
  MakeExportTables(f.work.path());
  Rows records;
  for (const auto& c : kLessons) records.push_back(c.record);
  if (GetParam() == SolucWriter::kPythonDbfNumericDay) {
    WriteSolucWithPythonDbf(f.work.path(), kSolucSpec, records);
  } else {
    WriteSolucWithOgr(f.work.path(), records);
  }

  ASSERT_TRUE(Import(f, MinuteChange())) << ::testing::PrintToString(f.host.errors);

  Lines expected = {"0" + kName + "46012345" + kHeaderTime};
  for (const auto& c : kLessons) {
    if (!c.line.empty()) expected.push_back(c.line);
  }
  expected.push_back("9" + kName + "46012345" + kTrailerTime +
                     std::to_string(expected.size() - 1));
  const Lines lines = ReadLines(f.orve / "ORVE_HORARIO.TXT");
  ASSERT_EQ(lines.size(), expected.size());
  std::size_t at = 1;
  for (const auto& c : kLessons) {
    if (c.line.empty()) continue;
    EXPECT_EQ(lines[at], c.line) << c.name;
    ++at;
  }
  EXPECT_EQ(lines.front(), expected.front());
  EXPECT_EQ(lines.back(), expected.back());
  EXPECT_EQ(f.host.messages, Lines{"Proceso finalizado"});
  EXPECT_EQ(f.state.outcome_code, 1);
}

INSTANTIATE_TEST_SUITE_P(Writers, LessonLinesTest,
                         ::testing::Values(SolucWriter::kPythonDbfNumericDay,
                                           SolucWriter::kOgrTextDay),
                         [](const auto& info) {
                           return info.param == SolucWriter::kPythonDbfNumericDay
                                      ? "PythonDbfNumericDay"
                                      : "OgrTextDay";
                         });

// The time slot of a lesson must be the first matching DIASHORAST row also
// when many rows share a day, and a row must not match on parts of another's
// texts.
TEST(TimetableFileTest, TimeSlotIsTheFirstMatchAmongManyRows) {
  RunFixture f;
  f.Put("orve_asignat.txt", FileText({kSubjectsHeader}));
  Rows slots;
  for (int day = 1; day <= 5; ++day) {
    for (int period = 1; period <= 12; ++period) {
      const std::string d = std::to_string(day), p = std::to_string(period);
      slots.push_back({d, p, "0", d + "-" + p});
    }
  }
  slots.push_back({"1", "1", "0", "late"});  // a later duplicate never wins
  slots.push_back({"11", "", "0", "glued"});  // DIA 1 + HORA 1 glued together
  MakeExportTables(f.work.path(), slots);
  WriteSolucWithPythonDbf(f.work.path(), kSolucSpec,
                          {{"1", "1", "0", "", "", "", "", ""},
                           {"5", "12", "0", "", "", "", "", ""},
                           {"11", "", "0", "", "", "", "", ""},
                           {"1", "12", "", "", "", "", "", ""}});

  ASSERT_TRUE(Import(f, MinuteChange())) << ::testing::PrintToString(f.host.errors);

  const Lines lines = ReadLines(f.orve / "ORVE_HORARIO.TXT");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1].substr(0, 6), "11-1 L");
  EXPECT_EQ(lines[2].substr(0, 6), "15-12V");
  EXPECT_EQ(lines[3].substr(0, 8), "1glued11");
  EXPECT_EQ(lines[4].substr(0, 6), "1    L");
}

// ---------------------------------------------------------------------------
// Header and trailer records.

struct FrameCase {
  std::string name;
  Lines subjects_file;
  std::string header_code;  // as it must appear in columns 52 to 59
};

TEST(TimetableFileTest, HeaderAndTrailerCarryTheHeaderCodeAndTwoClockReadings) {
  const std::string base = kSubjectsHeader.substr(0, 51);  // "0" and the name
  const std::vector<FrameCase> cases = {
      {"the code of the subjects file's header", {kSubjectsHeader, " ORVE_ASIGNAT.TXT"},
       "46012345"},
      {"no header record: eight spaces", {" ORVE_ASIGNAT.TXT", "1LCL"}, "        "},
      {"an empty subjects file: eight spaces", {}, "        "},
      {"a header of 55 characters: columns 52 to 55 and four spaces",
       {base + "4601"}, "4601    "},
      {"a header shorter than 52 characters: eight spaces", {base}, "        "},
      {"the code is taken unchanged, spaces and all", {base + " 46 12  0101"}, " 46 12  "},
      {"the first header record wins, wherever it stands",
       {"1LCL", base + "FIRST123", base + "SECOND12", "9" + kSubjectsHeader.substr(1)},
       "FIRST123"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    f.Put("orve_asignat.txt", FileText(c.subjects_file));
    MakeExportTables(f.work.path());
    // Only days that yield no line: blank, 0.
    WriteSolucWithPythonDbf(f.work.path(), kSolucSpec,
                            {{"0", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"},
                             {"", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"}});

    ASSERT_TRUE(Import(f, MinuteChange())) << ::testing::PrintToString(f.host.errors);

    EXPECT_EQ(ReadLines(f.orve / "ORVE_HORARIO.TXT"),
              (Lines{"0" + kName + c.header_code + kHeaderTime,
                     "9" + kName + c.header_code + kTrailerTime + "0"}));
  }
}

TEST(TimetableFileTest, EmptySolucGivesHeaderAndTrailerOnly) {
  RunFixture f;
  f.Put("ORVE_ASIGNAT.TXT", FileText({kSubjectsHeader}));  // found in any case
  MakeExportTables(f.work.path());
  WriteSolucWithPythonDbf(f.work.path(), kSolucSpec, {});
  // A clock read just before and after midnight at the end of a year.
  ASSERT_TRUE(Import(f, TwoReadings(At(31, 12, 2026, 23, 59), At(1, 1, 2027, 0, 0))))
      << ::testing::PrintToString(f.host.errors);

  EXPECT_EQ(ReadFile(f.orve / "ORVE_HORARIO.TXT"),
            FileText({"0" + kName + "46012345" + "311220262359",
                      "9" + kName + "46012345" + "010120270000" + "0"}));
}

TEST(TimetableFileTest, ThreeRecordsGiveTrailerThreeAndReplaceAnEarlierFileOfAnyCase) {
  RunFixture f;
  f.Put("orve_asignat.txt", FileText({kSubjectsHeader}));
  f.Put("orve_horario.txt", "an earlier file\r\n");
  MakeExportTables(f.work.path());
  WriteSolucWithPythonDbf(f.work.path(), kSolucSpec,
                          {{"1", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"},
                           {"0", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"},
                           {"1", "2", "0", "PGM", "1ESOA", "", "LCL", "A101"},
                           {"2", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"}});

  ASSERT_TRUE(Import(f, MinuteChange())) << ::testing::PrintToString(f.host.errors);

  // The earlier file is replaced under its own name, as on Windows.
  EXPECT_EQ(FileNames(f.orve.path()),
            (std::set<std::string>{"orve_asignat.txt", "orve_horario.txt"}));
  const Lines lines = ReadLines(f.orve / "orve_horario.txt");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], "9" + kName + "46012345" + kTrailerTime + "3");
}

// ---------------------------------------------------------------------------
// Errors end the run before the file is saved: the error box shows the
// error, an earlier file stays as it was, and nothing else is left behind.

struct ErrorCase {
  std::string name;
  bool subjects_file = true;
  std::function<void(const std::filesystem::path& work)> make_tables;
  std::string error;  // the error box's whole text; "*" + text: contains text
  std::string place = {};  // where the error arose, when its text does not say
};

void StandardSoluc(const std::filesystem::path& work) {
  WriteSolucWithPythonDbf(work, kSolucSpec, {{"1", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"}});
}

TEST(TimetableFileTest, ErrorsEndTheRunAndLeaveTheEarlierFile) {
  const std::vector<ErrorCase> cases = {
      {"no SOLUC", true, [](const auto& work) { MakeExportTables(work); }, "*SOLUC"},
      {"no PROFT, though none of its fields is read", true,
       [](const auto& work) {
         MakeExportTables(work);
         std::filesystem::remove(work / "PROFT.DBF");
         StandardSoluc(work);
       },
       "*PROFT"},
      {"SOLUC without PROF", true,
       [](const auto& work) {
         MakeExportTables(work);
         WriteSolucWithPythonDbf(work,
                                 "DIA N(2,0); HORA C(2); MARCO C(2); CODGRUPO C(12); "
                                 "TAREA C(10); ASIG C(24); AULA C(12)",
                                 {{"1", "1", "0", "1ESOA", "", "LCL", "A101"}});
       },
       "wwTableSoluc: Field 'PROF' not found."},
      {"ASIGNOMT without CODORVE", true,
       [](const auto& work) {
         MakeExportTables(work);
         const std::array<FieldDef, 3> fields = {{{"COD", FieldType::kString, 10},
                                                  {"CODTAREA", FieldType::kString, 10},
                                                  {"CODIDIORVE", FieldType::kString, 10}}};
         MakeTable(work, "ASIGNOMT", fields, {"COD"}, {{"LCL"}});
         StandardSoluc(work);
       },
       "wwTableNomAsg: Field 'CODORVE' not found."},
      {"a day that is not a number", true,
       [](const auto& work) {
         MakeExportTables(work);
         WriteSolucWithPythonDbf(work,
                                 "DIA C(2); HORA C(2); MARCO C(2); PROF C(10); CODGRUPO C(12); "
                                 "TAREA C(10); ASIG C(24); AULA C(12)",
                                 {{"L", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"}});
       },
       "'L' is not a valid integer value.", "%WORK%/SOLUC.DBF, record 1"},
      {"a day that is not a number after more lines than the writer holds", true,
       [](const auto& work) {
         MakeExportTables(work);
         const std::array<FieldDef, 8> fields = {{{"DIA", FieldType::kString, 2},
                                                  {"HORA", FieldType::kString, 2},
                                                  {"MARCO", FieldType::kString, 2},
                                                  {"PROF", FieldType::kString, 10},
                                                  {"CODGRUPO", FieldType::kString, 12},
                                                  {"TAREA", FieldType::kString, 10},
                                                  {"ASIG", FieldType::kString, 24},
                                                  {"AULA", FieldType::kString, 12}}};
         Rows rows(50000, {"1", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"});
         rows.push_back({"L", "1", "0", "PGM", "1ESOA", "", "LCL", "A101"});
         MakeTable(work, "SOLUC", fields,
                   {"DIA", "HORA", "MARCO", "PROF", "CODGRUPO", "TAREA", "ASIG", "AULA"}, rows);
       },
       "'L' is not a valid integer value.", "%WORK%/SOLUC.DBF, record 50001"},
      {"no subjects file: no table is needed", false, [](const auto&) {},
       "Cannot open file \"%ORVE%/orve_asignat.txt\". No such file or directory."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    if (c.subjects_file) f.Put("orve_asignat.txt", FileText({kSubjectsHeader}));
    f.Put("ORVE_HORARIO.TXT", "an earlier file\r\n");
    c.make_tables(f.work.path());
    const std::set<std::string> before = FileNames(f.orve.path());

    EXPECT_FALSE(Import(f, MinuteChange()));

    ASSERT_EQ(f.host.errors.size(), 1u);
    if (c.error.starts_with("*")) {
      EXPECT_THAT(f.host.errors[0], HasSubstr(c.error.substr(1)));
    } else {
      std::string expected = c.error;
      if (const auto at = expected.find("%ORVE%"); at != std::string::npos) {
        expected.replace(at, 6, f.orve.path().string());
      }
      EXPECT_EQ(f.host.errors[0], expected);
    }
    std::vector<std::string> places;
    if (!c.place.empty()) places.push_back(f.work.path().string() + c.place.substr(6));
    EXPECT_EQ(f.host.error_places, places);
    EXPECT_EQ(ReadFile(f.orve / "ORVE_HORARIO.TXT"), "an earlier file\r\n");
    EXPECT_EQ(FileNames(f.orve.path()), before);
    EXPECT_TRUE(f.host.messages.empty());
    EXPECT_FALSE(f.host.buttons_disabled);
    EXPECT_EQ(f.state.outcome_code, 0);
    EXPECT_EQ(f.host.cursor_events, (std::vector<bool>{true, false}));
  }
}

// ---------------------------------------------------------------------------
// The sample school: export, then import over the SOLUC that ships with it,
// both through the command-line tool.

TEST(TimetableFileTest, SampleSchoolExportThenImport) {
  const std::filesystem::path source = TTO_SOURCE_DIR;
  const TempDir orve, work;
  std::filesystem::copy(source / "examples" / "orve", orve.path());
  std::filesystem::copy_file(source / "examples" / "tempario" / "SOLUC.DBF",
                             work / "SOLUC.DBF");
  const std::string cli = std::string(TTO_CLI) + " --work-folder '" + work.path().string() + "' ";
  int status = -1;
  std::string output = RunCommand(cli + "export '" + orve.path().string() + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << output;
  ASSERT_EQ(output, "Proceso finalizado\n");
  output = RunCommand(cli + "import '" + orve.path().string() + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << output;
  ASSERT_EQ(output, "Proceso finalizado\n");

  // 54 lessons and duties placed, one meeting not placed (day 0).
  const Lines lines = ReadLines(orve / "ORVE_HORARIO.TXT");
  ASSERT_EQ(lines.size(), 56u);
  ASSERT_EQ(lines.front().size(), 71u);
  EXPECT_EQ(lines.front().substr(0, 59), "0" + kName + "46012345");
  EXPECT_EQ(lines.back().substr(0, 59), "9" + kName + "46012345");
  EXPECT_EQ(lines.back().substr(71), "54");
  // The first lesson of the table; a subject taught in Valencian; English;
  // RE beside another lesson in the same slot; two guard duties.
  EXPECT_EQ(lines[1],
            "1" "101 " "L" "PGM " "1ESOA     " "LEC " "LCL                 " "A101      ");
  for (const std::string line : {
           "1" "102 " "L" "GBE " "1ESOA     " "LEC " "BIG        VAL      " "LABCN     " "VAL",
           "1" "103 " "L" "CWH " "1ESOA     " "LEC " "LE         ING      " "A101      " "ING",
           "1" "506 " "V" "AGM " "1ESOA     " "LEC " "RE                  " "A101      " "   ",
           "1" "506 " "V" "VPN " "1ESOA     " "LEC " "ATE                 " "BIBLIO    ",
           "1" "305 " "X" "LRA " "          " "GUA " "                    " "          ",
           "1" "102 " "L" "TAP " "          " "GUA " "                    " "BIBLIO    ",
       }) {
    EXPECT_THAT(lines, ::testing::Contains(line));
  }
}

}  // namespace
}  // namespace tto::testing
