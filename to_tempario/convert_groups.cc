// GRUPOST, the groups table, from "orve_grupo.txt": one row for each group
// record, in file order, with no check for repeated codes.
#include <array>

#include "core/orve_path.h"
#include "core/progress.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"

namespace tto {
namespace {

constexpr char kFileName[] = "orve_grupo.txt";
// The name record of this file says "GRUPOS", unlike the file's own name: a
// line naming "ORVE_GRUPO.TXT" is a data record.
constexpr char kNameRecord[] = "ORVE_GRUPOS.TXT";

const std::array<dbf::FieldDef, 8> kFields = {{
    {"ABREV", dbf::FieldType::kString, 10},
    {"TURNO", dbf::FieldType::kString, 1},
    {"NIVEL", dbf::FieldType::kString, 5},
    {"CURSO", dbf::FieldType::kString, 3},
    {"GRUPO", dbf::FieldType::kString, 2},
    {"MARCO", dbf::FieldType::kString, 1},
    {"UNIDAD", dbf::FieldType::kString, 10},
    {"DESCRIP", dbf::FieldType::kString, 80},
}};

}  // namespace

void ConvertGroups(RunContext& run) {
  if (!OrveFileExists(run.transfer_folder, kFileName)) {
    run.host.ShowMessage("No existe archivo de grupos (ORVE_GRUPO.TXT)");
    run.state.outcome_code = -1;
    return;
  }
  LineReader file(ResolveOrvePath(run.transfer_folder, kFileName));
  dbf::Table table = dbf::Table::Recreate(run.work_folder, "GRUPOST", kFields);
  ProgressStep progress(run.progress, "GRUPOST");
  // Fields resolved once, for every row.
  const dbf::FieldHandle abrev_field = table.Field("ABREV");
  const dbf::FieldHandle turno_field = table.Field("TURNO");
  const dbf::FieldHandle nivel_field = table.Field("NIVEL");
  const dbf::FieldHandle curso_field = table.Field("CURSO");
  const dbf::FieldHandle grupo_field = table.Field("GRUPO");
  const dbf::FieldHandle marco_field = table.Field("MARCO");
  const dbf::FieldHandle unidad_field = table.Field("UNIDAD");
  const dbf::FieldHandle descrip_field = table.Field("DESCRIP");
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    if (!IsDataRecord(line, kNameRecord)) continue;
    const std::string code = FieldAt(line, 2, 10);
    std::string level = FieldAt(line, 15, 3);
    if (level.empty()) level = "NIV";
    const std::string course = FieldAt(line, 21, 3);
    // Column 33 is both the label's last character and the shift's first.
    const std::string label = FieldAt(line, 24, 10);
    const std::string shift = FieldAt(line, 33, 3);
    // The letter of the group is the last character of its code.
    const std::string letter = code.empty() ? std::string() : code.substr(code.size() - 1);
    // TURNO is one character wide and takes the shift's first; the
    // description shows the whole shift.
    const std::string description =
        "(" + label + ") " + shift + " " + level + " " + course + " " + letter;
    table.Append();
    table.SetText(abrev_field, code);
    table.SetText(turno_field, shift);
    table.SetText(nivel_field, level);
    table.SetText(curso_field, course);
    table.SetText(grupo_field, letter);
    table.SetText(marco_field, "0");
    table.SetText(unidad_field, code);
    table.SetText(descrip_field, description);
    table.Post();
    progress.Record();
  }
  // Every data record gives a row.
  if (run.observer) run.observer->Converted("GRUPOST", table.RecordCount(), table.RecordCount());
  table.Close();
  file.Close();
}

}  // namespace tto
