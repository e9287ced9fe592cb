// DIASHORAST, the time-slot table, from "orve_sesiones.txt": one row for each
// data record, in the file's order. Tempario names a slot by day and period;
// the period is the 1-based position of the slot's start time among all
// distinct start times of the file, so the rows are numbered in a second
// pass, once every start time is known.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/numbers.h"
#include "core/orve_path.h"
#include "core/progress.h"
#include "core/records.h"
#include "to_tempario/string_list.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"

namespace tto {
namespace {

constexpr char kFileName[] = "orve_sesiones.txt";
constexpr char kNameRecord[] = "ORVE_SESIONES.TXT";

const std::array<dbf::FieldDef, 11> kFields = {{
    {"DIHO", dbf::FieldType::kString, 10},
    {"CODDIHO", dbf::FieldType::kString, 10},
    {"DIA", dbf::FieldType::kString, 20},
    {"TEXTODIA", dbf::FieldType::kString, 20},
    {"HORA", dbf::FieldType::kString, 8},
    {"TEXTOHOR", dbf::FieldType::kString, 15},
    {"HORADESDE", dbf::FieldType::kString, 8},
    {"HORAHASTA", dbf::FieldType::kString, 8},
    {"MINUTOS", dbf::FieldType::kString, 8},
    {"MARCO", dbf::FieldType::kString, 1},
    {"MARCOXML", dbf::FieldType::kString, 10},
}};

// The day number of a Spanish day initial, Monday (L) to Sunday (D); any
// other value, a lower-case letter too, is kept as it is.
std::string DayText(const std::string& letter) {
  static constexpr std::string_view kDays = "LMXJVSD";
  if (letter.size() == 1) {
    const auto at = kDays.find(letter[0]);
    if (at != std::string_view::npos) return std::to_string(at + 1);
  }
  return letter;
}

// "0830" gives "08:30": the first two characters, a colon, then characters
// 3 and 4. Shorter times give shorter texts ("830" gives "83:0", "" gives
// ":").
std::string TimeText(std::string_view time) {
  std::string text(time.substr(0, 2));
  text += ':';
  if (time.size() > 2) text += time.substr(2, 2);
  return text;
}

// Characters `start` and `start + 1` (0-based) of a time text, or what of
// them the text holds.
std::string_view Piece(std::string_view time_text, std::size_t start) {
  return start < time_text.size() ? time_text.substr(start, 2) : std::string_view();
}

// Minutes from `start` to `end` (time texts), without wrapping at midnight.
// The pieces are read in the order end hour, start hour, end minute, start
// minute, so the first of them that is not an integer is the one reported.
int DurationMinutes(std::string_view start, std::string_view end) {
  const int end_hour = StrToInt(Piece(end, 0));
  const int start_hour = StrToInt(Piece(start, 0));
  const int end_minute = StrToInt(Piece(end, 3));
  const int start_minute = StrToInt(Piece(start, 3));
  return (end_hour - start_hour) * 60 + (end_minute - start_minute);
}

}  // namespace

void ConvertTimeSlots(RunContext& run) {
  if (!OrveFileExists(run.transfer_folder, kFileName)) {
    run.host.ShowMessage("No existe archivo de grupos (ORVE_SESIONES.TXT)");
    run.state.outcome_code = -1;
    return;
  }
  StringList start_times(StringList::Order::kSorted);
  const std::string path = ResolveOrvePath(run.transfer_folder, kFileName);
  const LoadedLines lines(path);
  // An error below unwinds through the table's destructor, which keeps every
  // row posted before it in a valid table.
  dbf::Table table = dbf::Table::Recreate(run.work_folder, "DIASHORAST", kFields);
  ProgressStep progress(run.progress, "DIASHORAST");
  // Fields resolved once, for every row.
  const dbf::FieldHandle dia_field = table.Field("DIA");
  const dbf::FieldHandle hora_field = table.Field("HORA");
  const dbf::FieldHandle coddiho_field = table.Field("CODDIHO");
  const dbf::FieldHandle textohor_field = table.Field("TEXTOHOR");
  const dbf::FieldHandle horadesde_field = table.Field("HORADESDE");
  const dbf::FieldHandle horahasta_field = table.Field("HORAHASTA");
  const dbf::FieldHandle minutos_field = table.Field("MINUTOS");
  const dbf::FieldHandle marco_field = table.Field("MARCO");
  const dbf::FieldHandle diho_field = table.Field("DIHO");

  // First pass: one row per record. HORA holds the start time as read until
  // the periods are known, and TEXTOHOR the part after the period number.
  // The duration is read before the row is appended, so a bad time leaves
  // no partial row behind.
  std::size_t line_number = 0;
  for (const std::string_view line : lines) {
    ++line_number;
    if (!IsDataRecord(line, kNameRecord)) continue;
    const std::string code = FieldAt(line, 5, 4);
    const std::string day = DayText(FieldAt(line, 9, 1));
    const std::string start_time = FieldAt(line, 10, 4);
    const std::string start = TimeText(start_time);
    start_times.Add(start);
    const std::string end = TimeText(FieldAt(line, 14, 4));
    const int minutes = AtPlace([&] { return LinePlace(path, line_number); },
                                [&] { return DurationMinutes(start, end); });

    table.Append();
    table.SetText(dia_field, day);
    table.SetText(hora_field, start_time);
    table.SetText(coddiho_field, code);
    table.SetText(textohor_field, "-" + start + "-" + end);
    table.SetText(horadesde_field, start);
    table.SetText(horahasta_field, end);
    table.SetText(minutos_field, std::to_string(minutes));
    table.SetText(marco_field, "0");
    table.Post();
    progress.Record();
  }

  // Second pass: the period number, and the texts built from it.
  for (table.First(); !table.Eof(); table.Next()) {
    const std::string period =
        std::to_string(start_times.IndexOf(table.GetText(horadesde_field)) + 1);
    const std::string day = table.GetText(dia_field);
    const std::string rest = table.GetText(textohor_field);
    table.Edit();
    table.SetText(hora_field, period);
    table.SetText(diho_field, day + period);
    table.SetText(textohor_field, period + rest);
    table.Post();
  }
  // Every data record gives a row.
  if (run.observer) run.observer->Converted("DIASHORAST", table.RecordCount(), table.RecordCount());
  table.Close();
}

}  // namespace tto
