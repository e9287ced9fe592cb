// ASIGT, the assignments table: one row for each subject that a group takes,
// with Tempario's subject code from ASIGNOMT, the group's shift, level,
// course and letter from GRUPOST, and the weekly hours and session string
// from "orve_asignatcurso.txt".
//
// The conversion works in four stages: take the assignments, add the group
// details, set the weekly hours, give one hour to every row still without
// hours. The stages work on the rows in memory and ASIGT is written once at
// the end, each row whole, with the values that the four stages give it in
// turn; an error that ends a stage writes the rows as the stages before it
// (and the part of the failing stage before the error) left them. The
// subject of an assignment, the group details and the weekly hours come from
// the first matching ASIGNOMT row, GRUPOST row and weekly-hours line; each is
// found through a hash index or one pass over its table, so the conversion
// stays linear in its inputs while giving exactly the first match.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/encoding.h"
#include "core/flat_string_map.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/orve_path.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"
#include "to_tempario/field_on_first_use.h"

namespace tto {
namespace {

constexpr char kAssignmentsFile[] = "orve_asignatgrupo.txt";
constexpr char kAssignmentsNameRecord[] = "ORVE_ASIGNATGRUPO.TXT";
constexpr char kHoursFile[] = "orve_asignatcurso.txt";
constexpr char kHoursNameRecord[] = "ORVE_ASIGNATCURSO.TXT";

const std::array<dbf::FieldDef, 14> kFields = {{
    {"CASIG", dbf::FieldType::kString, 10},
    {"CPROF", dbf::FieldType::kString, 10},
    {"CGRUP", dbf::FieldType::kString, 10},
    {"CAULA", dbf::FieldType::kString, 10},
    {"CTAREA", dbf::FieldType::kString, 10},
    {"TURNO", dbf::FieldType::kString, 1},
    {"NIVEL", dbf::FieldType::kString, 5},
    {"CURSO", dbf::FieldType::kString, 3},
    {"GRUPO", dbf::FieldType::kString, 2},
    {"HORAS", dbf::FieldType::kFloat, 0},
    {"SESIONES", dbf::FieldType::kString, 20},
    {"NCONEX", dbf::FieldType::kString, 4},
    {"CASIGORVE", dbf::FieldType::kString, 20},
    {"CODIDIORVE", dbf::FieldType::kString, 6},
}};

// The group details that stage 2 copies, in this order, and their widths.
constexpr std::array<std::string_view, 4> kGroupFields = {"TURNO", "NIVEL", "CURSO", "GRUPO"};
constexpr std::array<std::size_t, 4> kGroupWidths = {1, 5, 3, 2};
using GroupDetails = std::array<std::string, 4>;

// A value as a text field of `width` gives it back once written: cut to the
// width, without trailing blanks. The stages match what ASIGT holds.
std::string_view AsStored(std::string_view value, std::size_t width) {
  value = value.substr(0, width);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.remove_suffix(1);
  return value;
}

// A subject that assignments name, and the COD of the subjects-table row
// that has its CODORVE and CODIDIORVE, once found.
struct Subject {
  std::string code;
  std::string orve_code;
  std::string language;
  bool found = false;
};

// One ASIGT row as the stages make it.
struct Row {
  std::uint32_t subject;               // into the subjects found
  const GroupDetails* group = nullptr;  // stage 2; none for an unknown group
  double hours = 0;                     // stages 3 and 4; 0 while not set
  std::string group_code;
  std::int64_t line = 0;                // of its assignment, for an observer
};

// The rows and what they refer to, and how far the stages got.
struct Assignments {
  std::vector<Subject> subjects;
  // Each subject's position, by its two codes.
  FlatStringMap<std::uint32_t> by_pair;
  bool subjects_found = false;
  std::vector<Row> rows;
  // The details of each group code's first GRUPOST row.
  std::vector<GroupDetails> groups;
  // Whether stages 3 and 4 ran: only then are HORAS and SESIONES written.
  bool hours_set = false;
  // The lines of assignments without a subject code, kept only for an
  // observer, which hears of them in line order with the other drops.
  std::vector<std::int64_t> empty_code_lines;
};

// The code an observer is told for an assignment: the subject code, and its
// language code after a "/" when there is one.
std::string AssignmentCode(std::string_view orve_code, std::string_view language) {
  std::string code(orve_code);
  if (!language.empty()) code.append("/").append(language);
  return code;
}

// What a weekly-hours line is matched on (subject code, shift, level,
// course and language code) as one key, in a buffer that is reused.
class HoursKey {
 public:
  const std::string& Of(std::initializer_list<std::string_view> parts) {
    key_.clear();
    for (const std::string_view part : parts) AppendKeyPart(key_, part);
    return key_;
  }

 private:
  std::string key_;
};

// Stage 1, in two steps. First the assignments, each with its subject code
// and language code; the language code's columns lie inside the subject
// code's, so the two values share columns 23 to 28. Returns the number of
// data records read.
std::int64_t TakeAssignments(LineReader& file, Assignments& out, RunObserver* observer) {
  std::string pair;
  std::int64_t line_number = 0, records = 0;
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    ++line_number;
    if (!IsDataRecord(line, kAssignmentsNameRecord)) continue;
    ++records;
    const std::string_view orve_code = FieldView(line, 12, 20);
    const std::string_view language = FieldView(line, 23, 6);
    // An empty subject code (an empty line, say) names no subject. Locating
    // it would find the first activity row, whose subject and language
    // fields are blank, and make a row out of nothing.
    if (orve_code.empty()) {
      if (observer) out.empty_code_lines.push_back(line_number);
      continue;
    }
    pair.clear();
    AppendKeyPart(pair, orve_code);
    AppendKeyPart(pair, language);
    const auto [subject, added] =
        out.by_pair.TryEmplace(pair, static_cast<std::uint32_t>(out.subjects.size()));
    if (added) out.subjects.push_back({{}, std::string(orve_code), std::string(language)});
    out.rows.push_back(
        {.subject = *subject, .group_code = FieldAt(line, 2, 10), .line = line_number});
  }
  return records;
}

// Then the subjects-table row of each pair: the first whose CODORVE and
// CODIDIORVE equal the two codes exactly, as a locate finds it, for all
// pairs in one pass over the table in its order (the table does not change
// during the conversion). Assignments whose subject no row has are dropped.
void FindSubjects(dbf::Table& table, Assignments& out, RunObserver* observer) {
  if (!out.subjects.empty()) {
    const dbf::FieldHandle orve_code = table.Field("CODORVE");
    const dbf::FieldHandle language = table.Field("CODIDIORVE");
    FieldOnFirstUse code(table, "COD");
    std::size_t left = out.subjects.size();
    std::string pair;
    for (table.First(); left > 0 && !table.Eof(); table.Next()) {
      const std::string_view row_code = table.TextView(orve_code);
      const std::string_view row_language = table.TextView(language);
      pair.clear();
      AppendKeyPart(pair, row_code);
      AppendKeyPart(pair, row_language);
      const std::uint32_t* at = out.by_pair.Find(pair);
      if (at == nullptr) continue;
      Subject& subject = out.subjects[*at];
      if (subject.found) continue;
      subject.code = table.GetText(code());
      subject.found = true;
      --left;
    }
  }
  if (observer) {
    auto empty = out.empty_code_lines.begin();
    const auto note_empty_before = [&](std::int64_t line) {
      for (; empty != out.empty_code_lines.end() && *empty < line; ++empty) {
        observer->Note(
            {RecordReason::kSubjectNotFound, kAssignmentsFile, *empty, "", "ASIGNOMT", true});
      }
    };
    for (const Row& row : out.rows) {
      const Subject& subject = out.subjects[row.subject];
      if (subject.found) continue;
      note_empty_before(row.line);
      observer->Note({RecordReason::kSubjectNotFound, kAssignmentsFile, row.line,
                      AssignmentCode(subject.orve_code, subject.language), "ASIGNOMT", true});
    }
    note_empty_before(INT64_MAX);
  }
  std::erase_if(out.rows, [&](const Row& row) { return !out.subjects[row.subject].found; });
  out.subjects_found = true;
}

// Stage 2: the details of the first GRUPOST row whose ABREV equals the
// row's group code; rows of unknown groups keep them blank.
void AddGroupDetails(const std::filesystem::path& work_folder, Assignments& out,
                     RunObserver* observer) {
  dbf::Table groups =
      dbf::Table::Open(work_folder, "GRUPOST", {.mode = dbf::OpenMode::kReadOnly});
  FieldOnFirstUse code(groups, "ABREV");
  FlatStringMap<std::size_t> first_row;
  std::vector<FieldOnFirstUse> details;
  for (const std::string_view name : kGroupFields) details.emplace_back(groups, name);
  for (groups.First(); !groups.Eof(); groups.Next()) {
    if (!first_row.TryEmplace(groups.TextView(code()), out.groups.size()).second) continue;
    GroupDetails& group = out.groups.emplace_back();
    for (std::size_t i = 0; i < kGroupFields.size(); ++i) {
      group[i] = groups.TextView(details[i]());
    }
  }
  groups.Close();
  for (Row& row : out.rows) {
    const std::size_t* at = first_row.Find(AsStored(row.group_code, 10));
    if (at != nullptr) {
      row.group = &out.groups[*at];
    } else if (observer) {
      observer->Note({RecordReason::kGroupNotFound, kAssignmentsFile, row.line, row.group_code,
                      "GRUPOST", false});
    }
  }
}

// The weekly hours of an hours text: every "," read as ".", the result read
// as a decimal number whatever the locale, a value below 1 taken as 1.
double WeeklyHours(std::string text) {
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  const double hours = StrToFloat(text);
  // The session string needs the whole part as a 32-bit integer; larger
  // values (only reachable with an exponent, as in 1E300) are rejected.
  if (hours >= 2147483648.0) {
    throw Error("'" + Cp1252ToUtf8(text) + "' is too large for weekly hours");
  }
  return hours < 1 ? 1 : hours;
}

// The session string of `hours` (at least 1): n ones for a whole part n up
// to 13, else the decimal text of n - 13 followed by thirteen ones; "½"
// (byte 0xBD) appended when there is a fractional part.
std::string SessionString(double hours) {
  const auto whole = static_cast<std::int32_t>(std::floor(hours));
  std::string sessions = whole <= 13 ? std::string(static_cast<std::size_t>(whole), '1')
                                     : std::to_string(whole - 13) + std::string(13, '1');
  if (hours > whole) sessions += '\xBD';
  return sessions;
}

// Stage 3: the hours of the first weekly-hours line that matches each row.
// The index keeps, for each key, the hours column of its first line; the
// text is only read as a number when a row uses it, so a bad value raises
// its error at the row that reaches it, as a walk of the lines would, and a
// bad value on a line that no row reaches raises nothing. Stage 4: one hour
// for every row that no line matched.
void SetWeeklyHours(const std::string& path, const LoadedLines& lines, Assignments& out,
                    RunObserver* observer) {
  struct Hours {
    std::string_view text;  // a view into the loaded lines, which outlive the map
    std::size_t line;       // 1-based, for the place of an error
  };
  FlatStringMap<Hours> first_by_key;
  HoursKey key;
  std::size_t line_number = 0;
  for (const std::string_view line : lines) {
    ++line_number;
    if (!IsDataRecord(line, kHoursNameRecord)) continue;
    first_by_key.TryEmplace(key.Of({FieldView(line, 24, 20), FieldView(line, 5, 3),
                                     FieldView(line, 2, 3), FieldView(line, 8, 3),
                                     FieldView(line, 50, 6)}),
                             Hours{FieldView(line, 44, 6), line_number});
  }
  // Rows written before an error here carry the hours of stage 3 so far.
  out.hours_set = true;
  static const GroupDetails kNoGroup;
  for (Row& row : out.rows) {
    const Subject& subject = out.subjects[row.subject];
    const GroupDetails& group = row.group != nullptr ? *row.group : kNoGroup;
    const Hours* found = first_by_key.Find(key.Of(
        {AsStored(subject.orve_code, 20), AsStored(group[0], kGroupWidths[0]),
         AsStored(group[1], kGroupWidths[1]), AsStored(group[2], kGroupWidths[2]),
         AsStored(subject.language, 6)}));
    if (found == nullptr) continue;
    row.hours = AtPlace([&] { return LinePlace(path, found->line); }, [&] {
      return WeeklyHours(std::string(found->text.empty() ? "1" : found->text));
    });
  }
  for (Row& row : out.rows) {
    if (row.hours != 0) continue;
    row.hours = 1;
    if (observer) {
      const Subject& subject = out.subjects[row.subject];
      observer->Note({RecordReason::kNoWeeklyHours, kAssignmentsFile, row.line,
                      AssignmentCode(subject.orve_code, subject.language), "ASIGT", false});
    }
  }
}

// ASIGT's rows as the stages left them, each written whole.
void WriteRows(const Assignments& in, dbf::Table& table, ProgressStep& progress) {
  const dbf::FieldHandle subject_code = table.Field("CASIG"), group_code = table.Field("CGRUP"),
                         task = table.Field("CTAREA"), hours = table.Field("HORAS"),
                         sessions = table.Field("SESIONES"), orve_code = table.Field("CASIGORVE"),
                         language = table.Field("CODIDIORVE");
  std::array<dbf::FieldHandle, kGroupFields.size()> details;
  for (std::size_t i = 0; i < kGroupFields.size(); ++i) details[i] = table.Field(kGroupFields[i]);
  for (const Row& row : in.rows) {
    const Subject& subject = in.subjects[row.subject];
    table.Append();
    table.SetText(subject_code, subject.code);
    table.SetText(group_code, row.group_code);
    table.SetText(task, "*LEC");
    if (row.group != nullptr) {
      for (std::size_t i = 0; i < kGroupFields.size(); ++i) {
        table.SetText(details[i], (*row.group)[i]);
      }
    }
    if (in.hours_set && row.hours != 0) {
      table.SetFloat(hours, row.hours);
      table.SetText(sessions, SessionString(row.hours));
    }
    table.SetText(orve_code, subject.orve_code);
    table.SetText(language, subject.language);
    table.Post();
    progress.Record();
  }
}

}  // namespace

void ConvertSubjectGroups(RunContext& run) {
  if (!OrveFileExists(run.transfer_folder, kAssignmentsFile)) {
    run.host.ShowMessage("No existe archivo de grupos (ORVE_ASIGNATGRUPO.TXT)");
    run.state.outcome_code = -1;
    return;
  }
  LineReader file(ResolveOrvePath(run.transfer_folder, kAssignmentsFile));
  dbf::Table table = dbf::Table::Recreate(run.work_folder, "ASIGT", kFields);
  ProgressStep progress(run.progress, "ASIGT");
  dbf::Table subjects =
      dbf::Table::Open(run.work_folder, "ASIGNOMT",
                       {.mode = dbf::OpenMode::kExclusive, .component = "wwTableNomAsg"});
  Assignments assignments;
  std::int64_t records = 0;
  try {
    records = TakeAssignments(file, assignments, run.observer);
    file.Close();
    FindSubjects(subjects, assignments, run.observer);
    AddGroupDetails(run.work_folder, assignments, run.observer);
    if (!OrveFileExists(run.transfer_folder, kHoursFile)) {
      run.host.ShowMessage("No existe archivo de grupos (ORVE_ASIGNATCURSO.TXT)");
    } else {
      const std::string path = ResolveOrvePath(run.transfer_folder, kHoursFile);
      const LoadedLines lines(path);
      SetWeeklyHours(path, lines, assignments, run.observer);
    }
  } catch (...) {
    // The rows that the stages had made before the error stay in ASIGT: on
    // an error while reading the assignments, those of the lines read; none
    // when the subjects table itself fails.
    if (!assignments.subjects_found) {
      try {
        FindSubjects(subjects, assignments, run.observer);
      } catch (...) {
        assignments.rows.clear();
      }
    }
    WriteRows(assignments, table, progress);
    throw;
  }
  WriteRows(assignments, table, progress);
  if (run.observer) run.observer->Converted("ASIGT", records, table.RecordCount());
  table.Close();
  subjects.Close();
}

}  // namespace tto
