// ASIGNOMT, the subjects table, from "orve_asignat.txt" and, when there is
// one, "ORVE_ACTIVIDADES.TXT": the subjects in file order, then the
// activities, each under a code that no other row uses.
#include <array>
#include <cstdint>

#include "core/orve_path.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"
#include "to_tempario/subject_codes.h"

namespace tto {
namespace {

constexpr char kSubjectsFile[] = "orve_asignat.txt";
constexpr char kSubjectsNameRecord[] = "ORVE_ASIGNAT.TXT";
constexpr char kActivitiesFile[] = "ORVE_ACTIVIDADES.TXT";
constexpr char kActivitiesNameRecord[] = "ORVE_ACTIVIDADES.TXT";

const std::array<dbf::FieldDef, 7> kFields = {{
    {"COD", dbf::FieldType::kString, 10},
    {"CODLARGO", dbf::FieldType::kString, 10},
    {"NOMBRE", dbf::FieldType::kString, 80},
    {"ESTAREA", dbf::FieldType::kBoolean, 0},
    {"CODTAREA", dbf::FieldType::kString, 10},
    {"CODORVE", dbf::FieldType::kString, 20},
    {"CODIDIORVE", dbf::FieldType::kString, 10},
}};

// ASIGNOMT, with its fields resolved once.
struct SubjectsTable {
  explicit SubjectsTable(dbf::Table t)
      : table(std::move(t)),
        cod(table.Field("COD")),
        codlargo(table.Field("CODLARGO")),
        nombre(table.Field("NOMBRE")),
        estarea(table.Field("ESTAREA")),
        codtarea(table.Field("CODTAREA")),
        codorve(table.Field("CODORVE")),
        codidiorve(table.Field("CODIDIORVE")) {}
  dbf::Table table;
  dbf::FieldHandle cod, codlargo, nombre, estarea, codtarea, codorve, codidiorve;
};

// Each returns the number of data records it read.
std::int64_t ConvertSubjectRecords(LineReader& file, SubjectsTable& out, SubjectCodes& codes,
                                   ProgressStep& progress, RunObserver* observer) {
  dbf::Table& table = out.table;
  std::int64_t line_number = 0, records = 0;
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    ++line_number;
    if (!IsDataRecord(line, kSubjectsNameRecord)) continue;
    ++records;
    const std::string language = FieldAt(line, 172, 6);
    const std::string base_code = FieldAt(line, 2, 10);
    const std::optional<std::string> code = codes.ForSubject(base_code, language);
    if (!code) {
      if (observer) {
        const std::string orve_code = FieldAt(line, 2, 20);
        observer->Note({base_code.empty() && language.empty() ? RecordReason::kEmptyCode
                                                              : RecordReason::kCodeNotPlaceable,
                        kSubjectsFile, line_number,
                        language.empty() ? orve_code : orve_code + "/" + language, "ASIGNOMT",
                        true});
      }
      continue;
    }
    const std::string name = FieldAt(line, 22, 150);
    // The first letter of the name and the letter after each space: the
    // name's initials, "LCyL" for "Lengua Castellana y Literatura".
    const std::string short_name = name.empty() ? std::string() : name.front() + Initials(name);
    codes.Add(*code);
    table.Append();
    table.SetText(out.cod, *code);
    table.SetText(out.codlargo, short_name);
    table.SetText(out.nombre, name);
    table.SetBool(out.estarea, false);
    table.SetText(out.codorve, FieldAt(line, 2, 20));
    table.SetText(out.codidiorve, language);
    table.Post();
    progress.Record();
  }
  return records;
}

// Activities keep their own code behind a "*"; one whose code is already
// used is skipped, never renumbered.
std::int64_t ConvertActivityRecords(LineReader& file, SubjectsTable& out, SubjectCodes& codes,
                                    ProgressStep& progress, RunObserver* observer) {
  dbf::Table& table = out.table;
  std::int64_t line_number = 0, records = 0;
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    ++line_number;
    if (!IsDataRecord(line, kActivitiesNameRecord)) continue;
    ++records;
    const std::string code = "*" + FieldAt(line, 2, 4);
    if (!codes.AddIfUnused(code)) {
      if (observer) {
        observer->Note({RecordReason::kCodeRepeated, kActivitiesFile, line_number, code,
                        "ASIGNOMT", true});
      }
      continue;
    }
    table.Append();
    table.SetText(out.cod, code);
    table.SetText(out.codlargo, FieldAt(line, 6, 10));
    table.SetText(out.nombre, FieldAt(line, 6, 60));
    table.SetBool(out.estarea, true);
    table.SetText(out.codtarea, FieldAt(line, 66, 3));
    table.Post();
    progress.Record();
  }
  return records;
}

}  // namespace

void ConvertSubjects(RunContext& run) {
  if (!OrveFileExists(run.transfer_folder, kSubjectsFile)) {
    run.host.ShowMessage("No existe archivo de asignaturas (ORVE_ASIGNAT.TXT)");
    run.state.outcome_code = -1;
    return;
  }
  LineReader subjects(ResolveOrvePath(run.transfer_folder, kSubjectsFile));
  SubjectsTable table(dbf::Table::Recreate(run.work_folder, "ASIGNOMT", kFields));
  ProgressStep progress(run.progress, "ASIGNOMT");
  SubjectCodes codes;
  std::int64_t records = ConvertSubjectRecords(subjects, table, codes, progress, run.observer);
  subjects.Close();

  // The activities file is optional: without it the table holds the
  // subjects alone, and nothing is reported.
  if (OrveFileExists(run.transfer_folder, kActivitiesFile)) {
    LineReader activities(ResolveOrvePath(run.transfer_folder, kActivitiesFile));
    records += ConvertActivityRecords(activities, table, codes, progress, run.observer);
    activities.Close();
  }
  if (run.observer) run.observer->Converted("ASIGNOMT", records, table.table.RecordCount());
  table.table.Close();
}

}  // namespace tto
