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
// looked up through a hash index or a memo built once, so the conversion
// stays linear in its inputs while giving exactly the first match.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/encoding.h"
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

// A subjects-table row that an assignment found: its COD and CODORVE, and the
// language code that it was found with.
struct Subject {
  std::string code;
  std::string orve_code;
  std::string language;
};

// One ASIGT row as the stages make it.
struct Row {
  std::uint32_t subject;               // into the subjects found
  const GroupDetails* group = nullptr;  // stage 2; none for an unknown group
  double hours = 0;                     // stages 3 and 4; 0 while not set
  std::string group_code;
};

// The rows and what they refer to, and how far the stages got.
struct Assignments {
  std::vector<Subject> subjects;
  std::vector<Row> rows;
  std::unordered_map<std::string, GroupDetails> groups;
  // The line of each row's assignment, kept only for an observer.
  std::vector<std::int64_t> lines;
  // Whether stages 3 and 4 ran: only then are HORAS and SESIONES written.
  bool hours_set = false;
};

// What a weekly-hours line is matched on: subject code, shift, level,
// course and language code.
using HoursKey = std::array<std::string, 5>;

struct HoursKeyHash {
  std::size_t operator()(const HoursKey& key) const {
    std::size_t hash = 0;
    for (const std::string& part : key) {
      hash ^= std::hash<std::string>{}(part) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    }
    return hash;
  }
};

// Stage 1: one row for each assignment whose subject code and language code
// locate a subjects-table row. The language code's columns lie inside the
// subject code's, so the two values share columns 23 to 28. The table is not
// changed during the conversion, so each distinct pair is located once.
// Returns the number of data records read.
std::int64_t TakeAssignments(LineReader& file, dbf::Table& subjects, Assignments& out,
                             RunObserver* observer) {
  // Resolved at the first locate and the first row found, where reading
  // them by name would fail for a table that lacks them.
  FieldOnFirstUse orve_code(subjects, "CODORVE"), language(subjects, "CODIDIORVE"),
      code(subjects, "COD");
  std::array<dbf::FieldHandle, 2> key_fields;
  std::array<std::string_view, 2> keys;
  constexpr std::uint32_t kNotFound = UINT32_MAX;
  std::unordered_map<std::string, std::uint32_t> found;
  std::string pair;
  std::int64_t line_number = 0, records = 0;
  const auto dropped = [&] {
    if (!observer) return;
    const std::string code = keys[1].empty() ? std::string(keys[0])
                                             : std::string(keys[0]) + "/" + std::string(keys[1]);
    observer->Note({RecordReason::kSubjectNotFound, kAssignmentsFile, line_number, code,
                    "ASIGNOMT", true});
  };
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    ++line_number;
    if (!IsDataRecord(line, kAssignmentsNameRecord)) continue;
    ++records;
    keys[0] = FieldView(line, 12, 20);
    keys[1] = FieldView(line, 23, 6);
    // An empty subject code (an empty line, say) names no subject. Locating
    // it would find the first activity row, whose subject and language
    // fields are blank, and make a row out of nothing.
    if (keys[0].empty()) {
      dropped();
      continue;
    }
    pair.assign(1, static_cast<char>(keys[0].size())).append(keys[0]).append(keys[1]);
    auto [it, first_time] = found.try_emplace(pair, kNotFound);
    if (first_time) {
      key_fields = {orve_code(), language()};
      if (subjects.Locate(key_fields, keys)) {
        it->second = static_cast<std::uint32_t>(out.subjects.size());
        std::string cod = subjects.GetText(code());
        out.subjects.push_back({std::move(cod), subjects.GetText(orve_code()), std::string(keys[1])});
      }
    }
    if (it->second == kNotFound) {
      dropped();
      continue;
    }
    out.rows.push_back({.subject = it->second, .group_code = FieldAt(line, 2, 10)});
    if (observer) out.lines.push_back(line_number);
  }
  return records;
}

// Stage 2: the details of the first GRUPOST row whose ABREV equals the
// row's group code; rows of unknown groups keep them blank.
void AddGroupDetails(const std::filesystem::path& work_folder, Assignments& out,
                     RunObserver* observer) {
  dbf::Table groups =
      dbf::Table::Open(work_folder, "GRUPOST", {.mode = dbf::OpenMode::kReadOnly});
  FieldOnFirstUse code(groups, "ABREV");
  std::vector<FieldOnFirstUse> details;
  for (const std::string_view name : kGroupFields) details.emplace_back(groups, name);
  for (groups.First(); !groups.Eof(); groups.Next()) {
    auto [it, inserted] = out.groups.try_emplace(std::string(groups.TextView(code())));
    if (!inserted) continue;
    for (std::size_t i = 0; i < kGroupFields.size(); ++i) {
      it->second[i] = groups.TextView(details[i]());
    }
  }
  groups.Close();
  for (std::size_t i = 0; i < out.rows.size(); ++i) {
    Row& row = out.rows[i];
    const auto it = out.groups.find(std::string(AsStored(row.group_code, 10)));
    if (it != out.groups.end()) {
      row.group = &it->second;
    } else if (observer) {
      observer->Note({RecordReason::kGroupNotFound, kAssignmentsFile, out.lines[i],
                      row.group_code, "GRUPOST", false});
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
void SetWeeklyHours(const LoadedLines& lines, Assignments& out, RunObserver* observer) {
  std::unordered_map<HoursKey, std::string, HoursKeyHash> first_by_key;
  for (const std::string_view line : lines) {
    if (!IsDataRecord(line, kHoursNameRecord)) continue;
    HoursKey key = {FieldAt(line, 24, 20), FieldAt(line, 5, 3), FieldAt(line, 2, 3),
                    FieldAt(line, 8, 3), FieldAt(line, 50, 6)};
    first_by_key.try_emplace(std::move(key), FieldAt(line, 44, 6));
  }
  // Rows written before an error here carry the hours of stage 3 so far.
  out.hours_set = true;
  static const GroupDetails kNoGroup;
  HoursKey key;
  for (Row& row : out.rows) {
    const Subject& subject = out.subjects[row.subject];
    const GroupDetails& group = row.group != nullptr ? *row.group : kNoGroup;
    key = {std::string(AsStored(subject.orve_code, 20)),
           std::string(AsStored(group[0], kGroupWidths[0])),
           std::string(AsStored(group[1], kGroupWidths[1])),
           std::string(AsStored(group[2], kGroupWidths[2])),
           std::string(AsStored(subject.language, 6))};
    const auto it = first_by_key.find(key);
    if (it == first_by_key.end()) continue;
    row.hours = WeeklyHours(it->second.empty() ? "1" : it->second);
  }
  for (std::size_t i = 0; i < out.rows.size(); ++i) {
    Row& row = out.rows[i];
    if (row.hours != 0) continue;
    row.hours = 1;
    if (observer) {
      const Subject& subject = out.subjects[row.subject];
      const std::string code = subject.language.empty()
                                   ? subject.orve_code
                                   : subject.orve_code + "/" + subject.language;
      observer->Note(
          {RecordReason::kNoWeeklyHours, kAssignmentsFile, out.lines[i], code, "ASIGT", false});
    }
  }
}

// ASIGT's rows as the stages left them, each written whole.
void WriteRows(const Assignments& in, dbf::Table& table) {
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
  dbf::Table subjects =
      dbf::Table::Open(run.work_folder, "ASIGNOMT",
                       {.mode = dbf::OpenMode::kExclusive, .component = "wwTableNomAsg"});
  Assignments assignments;
  std::int64_t records = 0;
  try {
    records = TakeAssignments(file, subjects, assignments, run.observer);
    file.Close();
    AddGroupDetails(run.work_folder, assignments, run.observer);
    if (!OrveFileExists(run.transfer_folder, kHoursFile)) {
      run.host.ShowMessage("No existe archivo de grupos (ORVE_ASIGNATCURSO.TXT)");
    } else {
      const LoadedLines lines(ResolveOrvePath(run.transfer_folder, kHoursFile));
      SetWeeklyHours(lines, assignments, run.observer);
    }
  } catch (...) {
    // The rows that the stages had made before the error stay in ASIGT.
    WriteRows(assignments, table);
    throw;
  }
  WriteRows(assignments, table);
  if (run.observer) run.observer->Converted("ASIGT", records, table.RecordCount());
  table.Close();
  subjects.Close();
}

}  // namespace tto
