// PROFT, the teachers table, from "orve_prof.txt": one row for each distinct
// teacher code, in the order in which the codes first occur.
#include <array>
#include <cstdint>

#include "core/progress.h"
#include "core/records.h"
#include "to_tempario/string_list.h"
#include "core/text_file.h"
#include "core/orve_path.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"

namespace tto {
namespace {

constexpr char kFileName[] = "orve_prof.txt";
constexpr char kNameRecord[] = "ORVE_PROF.TXT";

const std::array<dbf::FieldDef, 5> kFields = {{
    {"ABREV", dbf::FieldType::kString, 10},
    {"NOMBRE", dbf::FieldType::kString, 80},
    {"DEPART", dbf::FieldType::kString, 40},
    {"EMAIL", dbf::FieldType::kString, 100},
    {"DNI", dbf::FieldType::kInteger, 0},
}};

}  // namespace

void ConvertTeachers(RunContext& run) {
  if (!OrveFileExists(run.transfer_folder, kFileName)) {
    run.host.ShowMessage("No existe archivo de profesores (ORVE_PROF.TXT)");
    run.state.outcome_code = -1;
    return;
  }
  LineReader file(ResolveOrvePath(run.transfer_folder, kFileName));
  dbf::Table table = dbf::Table::Recreate(run.work_folder, "PROFT", kFields);
  ProgressStep progress(run.progress, "PROFT");
  // Fields resolved once, for every row.
  const dbf::FieldHandle abrev_field = table.Field("ABREV");
  const dbf::FieldHandle nombre_field = table.Field("NOMBRE");
  const dbf::FieldHandle depart_field = table.Field("DEPART");
  StringList codes;
  std::int64_t line_number = 0, records = 0;
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    ++line_number;
    if (!IsDataRecord(line, kNameRecord)) continue;
    ++records;
    const std::string code = FieldAt(line, 2, 4);
    StringList::Key key = StringList::KeyOf(code);
    if (codes.IndexOfKey(key) != -1) {
      if (run.observer) {
        run.observer->Note(
            {RecordReason::kCodeRepeated, kFileName, line_number, code, "PROFT", true});
      }
      continue;
    }
    codes.Add(code, std::move(key));
    table.Append();
    table.SetText(abrev_field, code);
    table.SetText(nombre_field, FieldAt(line, 6, 90));
    table.SetText(depart_field, FieldAt(line, 96, 50));
    table.Post();
    progress.Record();
  }
  if (run.observer) run.observer->Converted("PROFT", records, table.RecordCount());
  table.Close();
  file.Close();
}

}  // namespace tto
