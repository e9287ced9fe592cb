// ASIGT, the assignments table: one row for each subject that a group takes,
// with Tempario's subject code from ASIGNOMT, the group's shift, level,
// course and letter from GRUPOST, and the weekly hours and session string
// from "orve_asignatcurso.txt".
//
// The conversion works in four passes over ASIGT: append the assignments,
// copy the group details, set the weekly hours, give one hour to every row
// still without hours. The group details and the weekly hours come from the
// first matching GRUPOST row and the first matching weekly-hours line; both
// are looked up through hash indexes built once, so the conversion stays
// linear in its inputs while giving exactly the first match.
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

// The group details that stage 2 copies, in this order.
constexpr std::array<std::string_view, 4> kGroupFields = {"TURNO", "NIVEL", "CURSO", "GRUPO"};
using GroupDetails = std::array<std::string, 4>;

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
// subject code's, so the two values share columns 23 to 28.
void AppendAssignments(LineReader& file, dbf::Table& subjects, dbf::Table& assignments,
                       ProgressStep& progress) {
  std::array<std::string, 2> keys;
  while (!file.AtEnd()) {
    const std::string line = file.ReadLine();
    if (!IsDataRecord(line, kAssignmentsNameRecord)) continue;
    keys[0] = FieldAt(line, 12, 20);
    keys[1] = FieldAt(line, 23, 6);
    // An empty subject code (an empty line, say) names no subject. Locating
    // it would find the first activity row, whose subject and language
    // fields are blank, and make a row out of nothing.
    if (keys[0].empty()) continue;
    if (!subjects.Locate("CODORVE;CODIDIORVE", keys)) continue;
    const std::string code = subjects.GetText("COD");
    const std::string orve_code = subjects.GetText("CODORVE");
    assignments.Append();
    assignments.SetText("CASIG", code);
    assignments.SetText("CGRUP", FieldAt(line, 2, 10));
    assignments.SetText("CTAREA", "*LEC");
    assignments.SetText("CASIGORVE", orve_code);
    assignments.SetText("CODIDIORVE", keys[1]);
    assignments.Post();
    progress.Record();
  }
}

// Stage 2: the details of the first GRUPOST row whose ABREV equals the
// row's group code; rows of unknown groups keep them blank.
void CopyGroupDetails(const std::filesystem::path& work_folder, dbf::Table& assignments) {
  dbf::Table groups =
      dbf::Table::Open(work_folder, "GRUPOST", {.mode = dbf::OpenMode::kReadOnly});
  std::unordered_map<std::string, GroupDetails> first_by_code;
  for (groups.First(); !groups.Eof(); groups.Next()) {
    auto [it, inserted] = first_by_code.try_emplace(groups.GetText("ABREV"));
    if (!inserted) continue;
    for (std::size_t i = 0; i < kGroupFields.size(); ++i) {
      it->second[i] = groups.GetText(kGroupFields[i]);
    }
  }
  groups.Close();
  for (assignments.First(); !assignments.Eof(); assignments.Next()) {
    const auto it = first_by_code.find(assignments.GetText("CGRUP"));
    if (it == first_by_code.end()) continue;
    assignments.Edit();
    for (std::size_t i = 0; i < kGroupFields.size(); ++i) {
      assignments.SetText(kGroupFields[i], it->second[i]);
    }
    assignments.Post();
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
// bad value on a line that no row reaches raises nothing.
void SetWeeklyHours(const std::vector<std::string>& lines, dbf::Table& assignments) {
  std::unordered_map<HoursKey, std::string, HoursKeyHash> first_by_key;
  for (const std::string& line : lines) {
    if (!IsDataRecord(line, kHoursNameRecord)) continue;
    HoursKey key = {FieldAt(line, 24, 20), FieldAt(line, 5, 3), FieldAt(line, 2, 3),
                    FieldAt(line, 8, 3), FieldAt(line, 50, 6)};
    first_by_key.try_emplace(std::move(key), FieldAt(line, 44, 6));
  }
  for (assignments.First(); !assignments.Eof(); assignments.Next()) {
    const HoursKey key = {assignments.GetText("CASIGORVE"), assignments.GetText("TURNO"),
                          assignments.GetText("NIVEL"), assignments.GetText("CURSO"),
                          assignments.GetText("CODIDIORVE")};
    const auto it = first_by_key.find(key);
    if (it == first_by_key.end()) continue;
    const double hours = WeeklyHours(it->second.empty() ? "1" : it->second);
    assignments.Edit();
    assignments.SetFloat("HORAS", hours);
    assignments.SetText("SESIONES", SessionString(hours));
    assignments.Post();
  }
}

// Stage 4: one hour to every row that no weekly-hours line matched.
void SetDefaultHours(dbf::Table& assignments) {
  for (assignments.First(); !assignments.Eof(); assignments.Next()) {
    if (assignments.GetFloat("HORAS") != 0) continue;
    assignments.Edit();
    assignments.SetFloat("HORAS", 1);
    assignments.SetText("SESIONES", "1");
    assignments.Post();
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
  dbf::Table assignments = dbf::Table::Recreate(run.work_folder, "ASIGT", kFields);
  dbf::Table subjects =
      dbf::Table::Open(run.work_folder, "ASIGNOMT",
                       {.mode = dbf::OpenMode::kExclusive, .component = "wwTableNomAsg"});
  ProgressStep progress(run.progress, "ASIGT");
  AppendAssignments(file, subjects, assignments, progress);
  file.Close();

  CopyGroupDetails(run.work_folder, assignments);

  if (!OrveFileExists(run.transfer_folder, kHoursFile)) {
    run.host.ShowMessage("No existe archivo de grupos (ORVE_ASIGNATCURSO.TXT)");
  } else {
    const std::vector<std::string> lines =
        LoadLines(ResolveOrvePath(run.transfer_folder, kHoursFile));
    SetWeeklyHours(lines, assignments);
    SetDefaultHours(assignments);
  }
  assignments.Close();
  subjects.Close();
}

}  // namespace tto
