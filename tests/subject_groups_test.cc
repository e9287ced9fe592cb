// ASIGT from "orve_asignatgrupo.txt", ASIGNOMT, GRUPOST and
// "orve_asignatcurso.txt", driven through the export run: the subjects and
// groups files go into the same folder, so ASIGNOMT and GRUPOST are built by
// the same run that reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"
#include "platform/dbf/table.h"
#include "tests/test_support.h"

namespace tto::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// A data record: "1" in column 1, then each value at its column, the gaps
// filled with spaces. Later values may overwrite earlier ones.
std::string Record(std::initializer_list<std::pair<int, std::string_view>> fields) {
  std::string line = "1";
  for (const auto& [column, value] : fields) {
    const std::size_t start = static_cast<std::size_t>(column) - 1;
    if (line.size() < start + value.size()) line.resize(start + value.size(), ' ');
    line.replace(start, value.size(), value);
  }
  return line;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

// A subject of "orve_asignat.txt": subject code at 2, name at 22, language
// code at 172.
struct Subject {
  std::string code;
  std::string language;
};

// A group of "orve_grupo.txt": code at 2, level at 15, course at 21, shift
// at 33.
struct Group {
  std::string code;
  std::string level;
  std::string course;
  std::string shift;
};

// A line of "orve_asignatcurso.txt".
struct Hours {
  std::string level;
  std::string shift;
  std::string course;
  std::string subject;
  std::string hours;
  std::string language;
};

std::string HoursLine(const Hours& h) {
  return Record({{2, h.level},
                 {5, h.shift},
                 {8, h.course},
                 {24, h.subject},
                 {44, h.hours},
                 {50, h.language}});
}

std::string AssignmentLine(std::string_view group, std::string_view subject) {
  return Record({{2, group}, {12, subject}});
}

// A subject code whose columns 12 to 17 hold `language`, so that an
// assignment line carries that language code inside its subject code.
std::string WithLanguage(std::string_view code, std::string_view language) {
  std::string text(code);
  text.resize(11, ' ');
  return text + std::string(language);
}

// The folder of a school: every ORVE file of the export run, with header,
// name and trailer records around the data records.
struct School {
  std::vector<Subject> subjects;
  std::vector<std::string> activities;  // activity codes
  std::vector<Group> groups;
  std::vector<std::string> assignments;  // whole lines
  std::vector<Hours> hours;
  bool hours_file = true;

  void PutInto(const RunFixture& f) const {
    std::vector<std::string> lines = {"0ORVE_ASIGNAT.TXT", " ORVE_ASIGNAT.TXT"};
    for (const auto& s : subjects) {
      lines.push_back(Record({{2, s.code}, {22, "Nombre de " + s.code}, {172, s.language}}));
    }
    lines.push_back("9ORVE_ASIGNAT.TXT");
    f.Put("orve_asignat.txt", Lines(lines));

    lines = {"0ORVE_ACTIVIDADES.TXT"};
    for (const auto& a : activities) lines.push_back(Record({{2, a}, {6, "Actividad"}}));
    f.Put("ORVE_ACTIVIDADES.TXT", Lines(lines));

    lines = {"0ORVE_GRUPO.TXT", " ORVE_GRUPOS.TXT"};
    for (const auto& g : groups) {
      lines.push_back(
          Record({{2, g.code}, {15, g.level}, {21, g.course}, {24, "ETIQ"}, {33, g.shift}}));
    }
    lines.push_back("9ORVE_GRUPO.TXT");
    f.Put("orve_grupo.txt", Lines(lines));

    lines = {"0ORVE_ASIGNATGRUPO.TXT", " orve_asignatgrupo.txt  "};
    lines.insert(lines.end(), assignments.begin(), assignments.end());
    lines.push_back("9ORVE_ASIGNATGRUPO.TXT");
    f.Put("orve_asignatgrupo.txt", Lines(lines));

    if (hours_file) {
      lines = {"0ORVE_ASIGNATCURSO.TXT", " ORVE_ASIGNATCURSO.TXT"};
      for (const auto& h : hours) lines.push_back(HoursLine(h));
      lines.push_back("9ORVE_ASIGNATCURSO.TXT");
      f.Put("orve_asignatcurso.txt", Lines(lines));
    }

    // The other files of the run, without data, so that nothing else is
    // reported missing.
    f.Put("orve_prof.txt", Lines({"0ORVE_PROF.TXT", "9ORVE_PROF.TXT"}));
    f.Put("orve_aulas.txt", Lines({"0ORVE_AULAS.TXT", "9ORVE_AULAS.TXT"}));
    f.Put("orve_sesiones.txt", Lines({"0ORVE_SESIONES.TXT", "9ORVE_SESIONES.TXT"}));
  }
};

bool Shown(const RunFixture& f, std::string_view message) {
  return std::find(f.host.messages.begin(), f.host.messages.end(), message) !=
         f.host.messages.end();
}

Rows ReadAssignments(const RunFixture& f, std::initializer_list<std::string_view> fields) {
  return ReadRows(f.work.path(), "ASIGT", fields);
}

// One group in shift M, level ESO, course 1, and its weekly-hours line for
// each subject.
School OneGroup() {
  School school;
  school.groups = {{"1ESOA", "ESO", "1", "M"}};
  return school;
}

void AddSubjectWithHours(School& school, const std::string& code, const std::string& hours) {
  school.subjects.push_back({code, ""});
  school.assignments.push_back(AssignmentLine("1ESOA", code));
  school.hours.push_back({"ESO", "M", "1", code, hours, ""});
}

TEST(SubjectGroupsTest, AssignmentsFindTheirSubjectByCodeAndLanguage) {
  School school;
  school.subjects = {
      {"MAT", ""},
      {WithLanguage("LEN", "ING"), "ING"},
      {WithLanguage("FIS", "ING"), "FRA"},  // same columns, another language code
      {"HIS", "ING"},                       // a language code the assignment cannot carry
      {"MAT", ""},                          // same keys again: COD MAT1
  };
  school.activities = {"REC"};  // a row with blank CODORVE and CODIDIORVE
  school.groups = {{"1ESOA", "ESO", "1", "M"}};
  school.assignments = {
      AssignmentLine("1ESOA", "MAT"),
      AssignmentLine("1ESOA", WithLanguage("LEN", "ING")),
      AssignmentLine("1ESOA", WithLanguage("FIS", "ING")),
      AssignmentLine("1ESOA", "HIS"),
      AssignmentLine("1ESOA", "mat"),  // the search is case-sensitive
      "",                              // empty subject and language
      AssignmentLine("2ESOB", ""),     // a group code alone
      AssignmentLine("2ESOB", "MAT"),  // a group GRUPOST lacks still gets its row
  };
  school.hours_file = false;
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();

  EXPECT_EQ(ReadAssignments(f, {"CASIG", "CPROF", "CGRUP", "CAULA", "CTAREA", "NCONEX",
                                "CASIGORVE", "CODIDIORVE"}),
            (Rows{
                {"MAT", "", "1ESOA", "", "*LEC", "", "MAT", ""},
                {"LENING", "", "1ESOA", "", "*LEC", "", "LEN        ING", "ING"},
                {"MAT", "", "2ESOB", "", "*LEC", "", "MAT", ""},
            }));
}

// The group details come from the first GRUPOST row of the group, and the
// weekly-hours lines are matched on the values stored in ASIGT: the first
// character of a longer shift, "NIV" for an empty level, blanks for a group
// GRUPOST lacks.
TEST(SubjectGroupsTest, GroupDetailsDecideWhichWeeklyHoursMatch) {
  School school;
  school.subjects = {{"MAT", ""}};
  school.groups = {
      {"1ESOA", "ESO", "1", "M"},
      {"1ESOA", "BAC", "2", "T"},  // the same code again: not used
      {"2X", "", "2", "MT"},
  };
  school.assignments = {AssignmentLine("1ESOA", "MAT"), AssignmentLine("2X", "MAT"),
                        AssignmentLine("ZZZ", "MAT")};
  school.hours = {
      {"ESO", "M", "1", "MAT", "3", ""},
      {"NIV", "MT", "2", "MAT", "5", ""},  // shift MT is stored as M
      {"", "M", "2", "MAT", "7", ""},      // the empty level is stored as NIV
      {"NIV", "M", "2", "MAT", "4", ""},
      {"", "", "", "MAT", "6", ""},
  };
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();

  EXPECT_EQ(ReadAssignments(f, {"CGRUP", "TURNO", "NIVEL", "CURSO", "GRUPO", "HORAS", "SESIONES"}),
            (Rows{
                {"1ESOA", "M", "ESO", "1", "A", "3", "111"},
                {"2X", "M", "NIV", "2", "X", "4", "1111"},
                {"ZZZ", "", "", "", "", "6", "111111"},
            }));
}

TEST(SubjectGroupsTest, WeeklyHoursAndSessions) {
  struct Case {
    std::string hours;  // the weekly-hours column
    std::string horas;
    std::string sesiones;
  };
  const std::vector<Case> cases = {
      {"3", "3", "111"},
      {"2,5", "2.5", "11\xBD"},
      {"2.5", "2.5", "11\xBD"},
      {"0,5", "1", "1"},
      {"", "1", "1"},
      {"20", "20", "7" + std::string(13, '1')},
      {"1E1", "10", "1111111111"},
      {"1E-400", "1", "1"},  // too small for a double, yet a number below 1
  };
  School school = OneGroup();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    AddSubjectWithHours(school, "S" + std::to_string(i), cases[i].hours);
  }
  // Two matching lines: the first gives the hours, the bad second is never read.
  AddSubjectWithHours(school, "TWO", "2");
  school.hours.push_back({"ESO", "M", "1", "TWO", "5", ""});
  school.hours.push_back({"ESO", "M", "1", "TWO", "bad", ""});
  // A line of another language, and a bad line no row matches.
  AddSubjectWithHours(school, "LANG", "9");
  school.hours.back().language = "ING";
  school.hours.push_back({"ESO", "M", "1", "NONE", "1.5h", ""});
  // A subject without any line.
  school.subjects.push_back({"NOLINE", ""});
  school.assignments.push_back(AssignmentLine("1ESOA", "NOLINE"));
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();

  Rows expected;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    expected.push_back({"S" + std::to_string(i), cases[i].horas, cases[i].sesiones});
  }
  expected.push_back({"TWO", "2", "11"});
  expected.push_back({"LANG", "1", "1"});
  expected.push_back({"NOLINE", "1", "1"});
  EXPECT_EQ(ReadAssignments(f, {"CASIG", "HORAS", "SESIONES"}), expected);
  EXPECT_EQ(f.state.outcome_code, 1);
}

TEST(SubjectGroupsTest, SessionStrings) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1", "1"},
      {"4", "1111"},
      {"13", std::string(13, '1')},
      {"14", std::string(14, '1')},
      {"15", "2" + std::string(13, '1')},
      {"25", "12" + std::string(13, '1')},
      {"2.25", "11\xBD"},
      {"2.5", "11\xBD"},
  };
  School school = OneGroup();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    AddSubjectWithHours(school, "S" + std::to_string(i), cases[i].first);
  }
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();

  // Read by an independent reader: CASIG, CPROF, CGRUP, CAULA, CTAREA,
  // TURNO, NIVEL, CURSO, GRUPO, HORAS, SESIONES, ...
  const Rows rows = ReadRowsExternally(f.work / "ASIGT.DBF");
  ASSERT_EQ(rows.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ASSERT_GE(rows[i].size(), 11u);
    EXPECT_EQ(rows[i][10], cases[i].second) << "hours " << cases[i].first;
    EXPECT_EQ(std::stod(rows[i][9]), std::stod(cases[i].first)) << "hours " << cases[i].first;
  }
}

// ASIGT as the four stages give it when every lookup is a plain scan from
// the first row or line: the subject from the first ASIGNOMT row with both
// keys, the details from the first GRUPOST row of the group, the hours from
// the first matching weekly-hours line, one hour when none matches.
Rows PlainAssignments(const RunFixture& f, const School& school) {
  const Rows subjects = ReadRows(f.work.path(), "ASIGNOMT", {"COD", "CODORVE", "CODIDIORVE"});
  const Rows groups =
      ReadRows(f.work.path(), "GRUPOST", {"ABREV", "TURNO", "NIVEL", "CURSO", "GRUPO"});
  Rows rows;
  for (const std::string& line : school.assignments) {
    const std::string subject = FieldAt(line, 12, 20);
    const std::string language = FieldAt(line, 23, 6);
    const std::string group = FieldAt(line, 2, 10);
    if (subject.empty()) continue;
    const Rows::const_iterator found = std::find_if(
        subjects.begin(), subjects.end(),
        [&](const auto& s) { return s[1] == subject && s[2] == language; });
    if (found == subjects.end()) continue;
    std::vector<std::string> details(4);
    for (const auto& g : groups) {
      if (g[0] != group) continue;
      details.assign(g.begin() + 1, g.end());
      break;
    }
    double hours = 1;
    std::string sessions = "1";
    for (const Hours& h : school.hours) {
      const std::string hours_line = HoursLine(h);
      if (FieldAt(hours_line, 24, 20) != (*found)[1] || FieldAt(hours_line, 5, 3) != details[0] ||
          FieldAt(hours_line, 2, 3) != details[1] || FieldAt(hours_line, 8, 3) != details[2] ||
          FieldAt(hours_line, 50, 6) != language) {
        continue;
      }
      std::string text = FieldAt(hours_line, 44, 6);
      if (text.empty()) text = "1";
      std::replace(text.begin(), text.end(), ',', '.');
      hours = std::max(1.0, std::stod(text));
      const int whole = static_cast<int>(hours);
      sessions = whole >= 14 ? std::to_string(whole - 13) + std::string(13, '1')
                             : std::string(static_cast<std::size_t>(whole), '1');
      if (hours > whole) sessions += '\xBD';
      break;
    }
    rows.push_back({(*found)[0], group, "*LEC", details[0], details[1], details[2], details[3],
                    std::to_string(hours), sessions, (*found)[1], language});
  }
  return rows;
}

// Random schools full of near misses: subject codes that differ in letter
// case or carry a language code inside, repeated subjects, groups repeated
// or missing, weekly-hours lines for the schools' own combinations and for
// others, and repeated lines. The indexed stages must give what the plain
// scans give, row for row.
TEST(SubjectGroupsTest, SameRowsAsPlainScans) {
  const std::vector<std::string> subject_codes = {
      "MAT", "mat", "LEN", "FIS", WithLanguage("LEN", "ING"), WithLanguage("LEN", "FRA"),
      WithLanguage("FIS", "ING")};
  const std::vector<std::string> languages = {"", "", "ING", "FRA"};
  const std::vector<std::string> group_codes = {"1A", "1B", "2A", "2a", "3C"};
  const std::vector<std::string> hours_values = {"",   "0",  "0,5", "1",  "2",  "2,5",
                                                 "3.75", "4", "13",  "14", "20", "1E1"};
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](const std::vector<std::string>& from) {
      return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    School school;
    for (int i = 0; i < 10; ++i) school.subjects.push_back({pick(subject_codes), pick(languages)});
    school.activities = {"REC"};
    for (int i = 0; i < 6; ++i) {
      school.groups.push_back({pick(group_codes), pick({"ESO", "BAC", ""}), pick({"1", "2"}),
                               pick({"M", "T", "MT"})});
    }
    for (int i = 0; i < 80; ++i) {
      school.assignments.push_back(
          random() % 20 == 0 ? std::string()
                             : AssignmentLine(pick({"1A", "1B", "2A", "2a", "3C", "9Z"}),
                                              pick(subject_codes)));
    }
    for (int i = 0; i < 60; ++i) {
      // Half the lines for a group of the school as GRUPOST holds it.
      Hours h{pick({"ESO", "NIV", "BAC", ""}), pick({"M", "T", "MT", ""}), pick({"1", "2", ""}),
              pick(subject_codes), pick(hours_values), pick(languages)};
      if (random() % 2 == 0) {
        const Group& g = school.groups[random() % school.groups.size()];
        h.level = g.level.empty() ? "NIV" : g.level;
        h.shift = g.shift.substr(0, 1);
        h.course = g.course;
        h.language = FieldAt(h.subject, 12, 6);
      }
      school.hours.push_back(h);
    }
    RunFixture f;
    school.PutInto(f);
    ASSERT_TRUE(f.Export()) << f.host.errors.front();

    Rows actual;
    dbf::Table table =
        dbf::Table::Open(f.work.path(), "ASIGT", {.mode = dbf::OpenMode::kReadOnly});
    for (table.First(); !table.Eof(); table.Next()) {
      auto& row = actual.emplace_back();
      for (std::string_view field : {"CASIG", "CGRUP", "CTAREA", "TURNO", "NIVEL", "CURSO",
                                     "GRUPO", "HORAS", "SESIONES", "CASIGORVE", "CODIDIORVE"}) {
        row.push_back(field == "HORAS" ? std::to_string(table.GetFloat(field))
                                       : table.GetText(field));
      }
    }
    const Rows expected = PlainAssignments(f, school);
    EXPECT_EQ(actual, expected);
    EXPECT_GT(std::count_if(expected.begin(), expected.end(),
                            [](const auto& row) { return row[8] != "1"; }),
              0);
  }
}

// A bad weekly-hours value ends the run at the row that reaches it: rows
// before it keep their hours, later rows and the default hours are not set.
TEST(SubjectGroupsTest, BadWeeklyHoursEndTheRunAtTheirRow) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1.5h", "'1.5h' is not a valid floating point value."},
      {"1,5h", "'1.5h' is not a valid floating point value."},
      {"1E300", "'1E300' is too large for weekly hours."},
  };
  for (const auto& [hours, error] : cases) {
    SCOPED_TRACE(hours);
    School school = OneGroup();
    AddSubjectWithHours(school, "A", "3");
    AddSubjectWithHours(school, "B", hours);
    AddSubjectWithHours(school, "C", "4");
    school.subjects.push_back({"D", ""});
    school.assignments.push_back(AssignmentLine("1ESOA", "D"));
    RunFixture f;
    school.PutInto(f);
    EXPECT_FALSE(f.Export());
    EXPECT_EQ(f.host.errors, std::vector<std::string>{error});
    // B's line follows the header, the name record and A's line.
    EXPECT_EQ(f.host.error_places,
              std::vector<std::string>{(f.orve / "orve_asignatcurso.txt").string() + ", line 4"});
    EXPECT_EQ(ReadAssignments(f, {"CASIG", "HORAS", "SESIONES"}),
              (Rows{{"A", "3", "111"}, {"B", "", ""}, {"C", "", ""}, {"D", "", ""}}));
  }
}

TEST(SubjectGroupsTest, MissingWeeklyHoursFileLeavesHoursBlank) {
  School school = OneGroup();
  AddSubjectWithHours(school, "MAT", "3");
  school.hours_file = false;
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();

  EXPECT_TRUE(Shown(f, "No existe archivo de grupos (ORVE_ASIGNATCURSO.TXT)"));
  EXPECT_EQ(f.state.outcome_code, 1);
  EXPECT_EQ(ReadAssignments(f, {"CASIG", "TURNO", "NIVEL", "CURSO", "GRUPO", "HORAS", "SESIONES"}),
            (Rows{{"MAT", "M", "ESO", "1", "A", "", ""}}));
}

// Without the assignments file the run reports it, fails, and leaves the
// ASIGT of the earlier run as it was.
TEST(SubjectGroupsTest, MissingAssignmentsFileKeepsTheEarlierTable) {
  School school = OneGroup();
  AddSubjectWithHours(school, "MAT", "3");
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();
  std::filesystem::remove(f.orve / "orve_asignatgrupo.txt");
  f.host.messages.clear();

  ASSERT_TRUE(f.Export()) << f.host.errors.front();
  EXPECT_TRUE(Shown(f, "No existe archivo de grupos (ORVE_ASIGNATGRUPO.TXT)"));
  EXPECT_FALSE(Shown(f, "No existe archivo de grupos (ORVE_ASIGNATCURSO.TXT)"));
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_EQ(ReadAssignments(f, {"CASIG", "HORAS", "SESIONES"}), (Rows{{"MAT", "3", "111"}}));
}

// Without ASIGNOMT or GRUPOST (their file missing and no earlier run) the
// run ends with the engine's error naming the table. GRUPOST is opened only
// after stage 1, so the assignments found are in ASIGT by then.
TEST(SubjectGroupsTest, MissingSubjectsOrGroupsTableEndsTheRun) {
  const struct {
    const char* file;
    const char* table;
    Rows rows;
  } cases[] = {{"orve_asignat.txt", "ASIGNOMT", {}},
               {"orve_grupo.txt", "GRUPOST", {{"MAT", "", ""}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    School school = OneGroup();
    AddSubjectWithHours(school, "MAT", "3");
    RunFixture f;
    school.PutInto(f);
    std::filesystem::remove(f.orve / c.file);

    EXPECT_FALSE(f.Export());
    ASSERT_EQ(f.host.errors.size(), 1u);
    EXPECT_NE(f.host.errors[0].find(c.table), std::string::npos) << f.host.errors[0];
    EXPECT_EQ(ReadAssignments(f, {"CASIG", "TURNO", "HORAS"}), c.rows);
  }
}

// An assignments file that exists but cannot be read ends the run before
// ASIGT is re-created, so the table of the earlier run stays.
TEST(SubjectGroupsTest, UnreadableAssignmentsFileKeepsTheEarlierTable) {
  School school = OneGroup();
  AddSubjectWithHours(school, "MAT", "3");
  RunFixture f;
  school.PutInto(f);
  ASSERT_TRUE(f.Export()) << f.host.errors.front();
  std::filesystem::remove(f.orve / "orve_asignatgrupo.txt");
  MakeUnreadableFile(f.orve / "orve_asignatgrupo.txt");

  EXPECT_FALSE(f.Export());
  EXPECT_EQ(f.host.errors, std::vector<std::string>{"I/O error 6."});
  EXPECT_EQ(ReadAssignments(f, {"CASIG", "HORAS", "SESIONES"}), (Rows{{"MAT", "3", "111"}}));
}

}  // namespace
}  // namespace tto::testing
