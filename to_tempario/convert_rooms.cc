// AULAT, the classrooms table, from "orve_aulas.txt": one row for each
// classroom record, in file order, with no check for repeated codes.
#include <array>

#include "core/orve_path.h"
#include "core/progress.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"

namespace tto {
namespace {

constexpr char kFileName[] = "orve_aulas.txt";
constexpr char kNameRecord[] = "ORVE_AULAS.TXT";

const std::array<dbf::FieldDef, 4> kFields = {{
    {"ABREV", dbf::FieldType::kString, 10},
    {"NOMBRE", dbf::FieldType::kString, 80},
    {"EDIFICIO", dbf::FieldType::kString, 1},
    {"MAXALUM", dbf::FieldType::kInteger, 0},
}};

}  // namespace

void ConvertRooms(RunContext& run) {
  if (!OrveFileExists(run.transfer_folder, kFileName)) {
    run.host.ShowMessage("No existe archivo de aulas (ORVE_AULAS.TXT)");
    run.state.outcome_code = -1;
    return;
  }
  LineReader file(ResolveOrvePath(run.transfer_folder, kFileName));
  dbf::Table table = dbf::Table::Recreate(run.work_folder, "AULAT", kFields);
  ProgressStep progress(run.progress, "AULAT");
  // Fields resolved once, for every row.
  const dbf::FieldHandle abrev_field = table.Field("ABREV");
  const dbf::FieldHandle nombre_field = table.Field("NOMBRE");
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    if (!IsDataRecord(line, kNameRecord)) continue;
    // The name's two parts always with one space between them, also when
    // one of them is empty.
    const std::string name = FieldAt(line, 12, 70) + " " + FieldAt(line, 82, 100);
    table.Append();
    table.SetText(abrev_field, FieldAt(line, 2, 10));
    table.SetText(nombre_field, name);
    table.Post();
    progress.Record();
  }
  // Every data record gives a row.
  if (run.observer) run.observer->Converted("AULAT", table.RecordCount(), table.RecordCount());
  table.Close();
  file.Close();
}

}  // namespace tto
