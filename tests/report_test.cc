// The data-quality report of the command-line tool (--report): over the
// sample school with faults put in, it lists every record skipped, dropped
// or written with a fallback, with its file, line and reason, and nothing
// else; the summary adds up; and the run's outputs do not move by a byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "report/run_report.h"
#include "tests/test_support.h"

namespace tto {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;

// (file, line, key, table) of a report row.
using Entry = std::tuple<std::string, long, std::string, std::string>;

// The fields of CSV lines by RFC 4180, for lines without line breaks inside
// a field (the report has none).
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && row.empty()) << "the last line lacks its CR LF";
  return rows;
}

std::set<Entry> ReportEntries(const fs::path& csv, const std::string& run) {
  const auto rows = ParseCsv(ReadFile(csv));
  EXPECT_FALSE(rows.empty());
  if (rows.empty()) return {};
  EXPECT_EQ(rows[0], (std::vector<std::string>{"ejecucion", "archivo", "linea", "codigo", "clave",
                                               "motivo", "tabla"}));
  std::set<Entry> entries;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].size(), 7u);
    if (rows[i].size() != 7) continue;
    EXPECT_EQ(rows[i][0], run);
    EXPECT_FALSE(rows[i][5].empty());
    entries.emplace(rows[i][1], std::stol(rows[i][2]), rows[i][4], rows[i][6]);
  }
  EXPECT_EQ(entries.size(), rows.size() - 1) << "a row is listed twice";
  return entries;
}

// Appends `lines` (CR LF ended) to an ORVE file; returns the line number of
// the last one.
long AppendLines(const fs::path& file, const std::vector<std::string>& lines) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    for (const std::string& line : lines) out << line << "\r\n";
  }
  const std::string text = ReadFile(file);
  return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

struct Cli {
  int status = 0;
  std::string out;
};

Cli RunCli(const std::string& run, const fs::path& orve, const fs::path& work,
           const std::string& extra = "") {
  Cli result;
  result.out = RunCommand(std::string(TTO_CLI) + " " + run + " '" + orve.string() +
                              "' --work-folder '" + work.string() + "' " + extra + " 2>&1",
                          &result.status);
  return result;
}

// Each summary line reads "TABLE: leídos N, escritos M, omitidos K ...";
// checks that N = M + K and returns K by table.
std::vector<std::pair<std::string, long>> CheckSummary(const std::string& out) {
  std::vector<std::pair<std::string, long>> left_out;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto colon = line.find(": le\xc3\xad" "dos ");
    if (colon == std::string::npos) continue;
    long read = 0, written = 0, omitted = 0;
    const int got = std::sscanf(line.c_str() + colon,
                                ": le\xc3\xad" "dos %ld, escritos %ld, omitidos %ld", &read,
                                &written, &omitted);
    EXPECT_EQ(got, 3) << line;
    EXPECT_EQ(read, written + omitted) << line;
    left_out.emplace_back(line.substr(0, colon), omitted);
  }
  return left_out;
}

// The bytes of a table without its header's date of last update.
std::string TableBytes(const fs::path& path) {
  std::string bytes = ReadFile(path);
  if (bytes.size() > 4) bytes.replace(1, 3, "   ");
  return bytes;
}

class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(TTO_SOURCE_DIR) / "examples/orve", orve_.path(),
             fs::copy_options::recursive);
  }
  TempDir orve_, work_, plain_work_, scratch_;
};

TEST_F(Report, ExportListsEveryLeftOutRecordAndFallbackAndNothingElse) {
  struct Case {
    const char* file;
    std::vector<std::string> lines;  // the last one is reported
    const char* key;
    const char* table;
  };
  const std::vector<Case> cases = {
      {"orve_prof.txt", {"1pgm Otra persona"}, "codigo-repetido", "PROFT"},
      {"ORVE_ACTIVIDADES.TXT", {"1GUAROtra guardia"}, "codigo-repetido", "ASIGNOMT"},
      {"orve_asignat.txt", {""}, "codigo-vacio", "ASIGNOMT"},
      // MATEMATICA, MATEMATIC1 to 9, MATEMATI10; the twelfth cannot be placed.
      {"orve_asignat.txt", std::vector<std::string>(12, "1MATEMATICA"), "codigo-no-ubicable",
       "ASIGNOMT"},
      {"orve_asignatgrupo.txt", {"11ESOA     NOEXISTE"}, "asignatura-no-encontrada", "ASIGNOMT"},
      {"orve_asignatgrupo.txt", {"11ESOA"}, "asignatura-no-encontrada", "ASIGNOMT"},
      {"orve_asignatgrupo.txt", {"11ESOA     FIL"}, "sin-horas-semanales", "ASIGT"},
      // An unknown group has no details, so no weekly-hours line matches it.
      {"orve_asignatgrupo.txt", {"1NOGRUPO   LCL"}, "grupo-no-encontrado", "GRUPOST"},
  };
  std::set<Entry> expected;
  long line = 0;
  for (const Case& c : cases) {
    line = AppendLines(orve_ / c.file, c.lines);
    expected.emplace(c.file, line, c.key, c.table);
  }
  expected.emplace("orve_asignatgrupo.txt", line, "sin-horas-semanales", "ASIGT");

  const Cli plain = RunCli("export", orve_.path(), plain_work_.path());
  const Cli reported =
      RunCli("export", orve_.path(), work_.path(), "--report '" + (scratch_ / "r.csv").string() + "'");
  EXPECT_EQ(reported.status, plain.status);
  EXPECT_EQ(ReportEntries(scratch_ / "r.csv", "exportar"), expected);

  // The run's own lines come first and unchanged; then one summary line per
  // conversion, whose records add up.
  ASSERT_TRUE(reported.out.starts_with(plain.out)) << reported.out;
  const auto left_out = CheckSummary(reported.out.substr(plain.out.size()));
  EXPECT_EQ(left_out, (std::vector<std::pair<std::string, long>>{
                          {"ASIGNOMT", 3}, {"PROFT", 1}, {"AULAT", 0}, {"GRUPOST", 0},
                          {"ASIGT", 2}, {"DIASHORAST", 0}}));
  for (const char* table : {"ASIGNOMT", "PROFT", "AULAT", "GRUPOST", "ASIGT", "DIASHORAST"}) {
    SCOPED_TRACE(table);
    const std::string name = std::string(table) + ".DBF";
    EXPECT_EQ(TableBytes(work_ / name), TableBytes(plain_work_ / name));
  }
}

TEST_F(Report, ImportListsLessonsWrittenWithFallbacksAndLessonsWithoutDay) {
  for (const fs::path& work : {work_.path(), plain_work_.path()}) {
    ASSERT_EQ(RunCli("export", orve_.path(), work).status, 0);
    fs::copy_file(fs::path(TTO_SOURCE_DIR) / "examples/tempario/SOLUC.DBF", work / "SOLUC.DBF");
  }
  struct Case {
    int day;
    const char* group;
    const char* activity;
    const char* subject;
    const char* room;
    const char* key;  // null: nothing to report
    const char* table;
  };
  // The sample's 54 lessons take lines 2 to 55 of the file; its record 55
  // is a meeting without a day.
  const std::vector<Case> cases = {
      {1, "1ESOA", "", "MAT", "A101", nullptr, nullptr},
      {9, "1ESOA", "", "MAT", "A101", "tramo-no-encontrado", "DIASHORAST"},
      {1, "NOGRUPO", "", "MAT", "A101", "grupo-no-encontrado", "GRUPOST"},
      {1, "1ESOA", "*NOPE", "MAT", "A101", "actividad-no-encontrada", "ASIGNOMT"},
      {1, "1ESOA", "", "NOPE", "A101", "asignatura-no-encontrada", "ASIGNOMT"},
      {1, "1ESOA", "", "MAT", "NOPE", "aula-no-encontrada", "AULAT"},
      // Blank group, activity and room name nothing to look up.
      {1, "", "", "MAT", "", nullptr, nullptr},
      {0, "1ESOA", "", "MAT", "A101", "sin-dia", "SOLUC"},
  };
  std::set<Entry> expected = {{"SOLUC", 55, "sin-dia", "SOLUC"}};
  long line = 55, record = 55;
  std::vector<testing::SolucLesson> lessons;
  for (const Case& c : cases) {
    lessons.push_back({.day = c.day, .teacher = "LRA", .group = c.group, .activity = c.activity,
                       .subject = c.subject, .room = c.room});
  }
  for (const fs::path& work : {work_.path(), plain_work_.path()}) {
    testing::AppendLessons(work, lessons);
  }
  for (const Case& c : cases) {
    ++record;
    if (c.day != 0) ++line;
    if (c.key == nullptr) continue;
    if (c.day == 0) {
      expected.emplace("SOLUC", record, c.key, c.table);
    } else {
      expected.emplace("ORVE_HORARIO.TXT", line, c.key, c.table);
    }
  }

  const TempDir plain_orve;
  fs::copy(orve_.path(), plain_orve.path(), fs::copy_options::recursive);
  const Cli plain = RunCli("import", plain_orve.path(), plain_work_.path());
  const Cli reported =
      RunCli("import", orve_.path(), work_.path(), "--report '" + (scratch_ / "r.csv").string() + "'");
  EXPECT_EQ(reported.status, plain.status);
  EXPECT_EQ(ReportEntries(scratch_ / "r.csv", "importar"), expected);
  ASSERT_TRUE(reported.out.starts_with(plain.out)) << reported.out;
  EXPECT_EQ(CheckSummary(reported.out.substr(plain.out.size())),
            (std::vector<std::pair<std::string, long>>{{"ORVE_HORARIO.TXT", 2}}));

  // The same lines, the dates of the header and the trailer aside.
  const auto lines_of = [](const fs::path& file) {
    std::string text = ReadFile(file);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l.size() > 59 ? l.erase(59, 12) : l);
    return lines;
  };
  EXPECT_EQ(lines_of(orve_ / "ORVE_HORARIO.TXT"), lines_of(plain_orve / "ORVE_HORARIO.TXT"));
}

TEST_F(Report, IsWrittenAlsoWhenAnErrorEndsTheRun) {
  const long line = AppendLines(orve_ / "orve_prof.txt", {"1PGM Otra"});
  AppendLines(orve_ / "orve_asignatcurso.txt", {"1ESOM  1  PL09         FIL                 1.5h"});
  AppendLines(orve_ / "orve_asignatgrupo.txt", {"11ESOA     FIL"});
  const Cli r =
      RunCli("export", orve_.path(), work_.path(), "--report '" + (scratch_ / "r.csv").string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(ReportEntries(scratch_ / "r.csv", "exportar"),
            (std::set<Entry>{{"orve_prof.txt", line, "codigo-repetido", "PROFT"}}));
}

TEST_F(Report, ThatCannotBeWrittenIsSaidAndEndsWithStatusTwo) {
  const Cli r = RunCli("export", orve_.path(), work_.path(),
                       "--report '" + (scratch_ / "missing" / "r.csv").string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Cannot create file"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(work_ / "ASIGT.DBF"));  // the run itself went through
}

TEST(ReportCsv, QuotesFieldsByTheRfc) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"MAT", "MAT"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"di \"x\"", "\"di \"\"x\"\"\""},
      {" MAT", "\" MAT\""},
      {"a\nb", "\"a\nb\""},
      {"Matem\xc3\xa1ticas", "Matem\xc3\xa1ticas"},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

}  // namespace
}  // namespace tto
