// AULAT, the classrooms table, from "orve_aulas.txt": one row for each
// classroom record, in file order, with no check for repeated codes.
#include <array>

#include "core/orve_path.h"
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
  while (!file.AtEnd()) {
    const std::string line = file.ReadLine();
    if (!IsDataRecord(line, kNameRecord)) continue;
    // The name's two parts always with one space between them, also when
    // one of them is empty.
    const std::string name = FieldAt(line, 12, 70) + " " + FieldAt(line, 82, 100);
    table.Append();
    table.SetText("ABREV", FieldAt(line, 2, 10));
    table.SetText("NOMBRE", name);
    table.Post();
    progress.Record();
  }
  table.Close();
  file.Close();
}

}  // namespace tto
