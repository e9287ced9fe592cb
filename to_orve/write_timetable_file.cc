// "ORVE_HORARIO.TXT" from Tempario's solution SOLUC: a header record, one
// data record for each lesson whose day is not 0, and a trailer record with
// the count. Tempario's codes go back to ORVE's through the tables of the
// export run: DIASHORAST (time slots), GRUPOST (groups), ASIGNOMT (subjects
// and activities) and AULAT (rooms).
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/errors.h"
#include "core/flat_string_map.h"
#include "core/orve_path.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_orve/timetable_file.h"
#include "to_tempario/field_on_first_use.h"

namespace tto {
namespace {

constexpr char kSubjectsFile[] = "orve_asignat.txt";
constexpr char kOutputFile[] = "ORVE_HORARIO.TXT";

// The 8 characters from column 52 of the first header record of the ORVE
// subjects file, unchanged (shorter when the line ends first); empty when
// there is no header record.
std::string HeaderCode(const std::string& transfer_folder) {
  for (const std::string_view line : LoadedLines(ResolveOrvePath(transfer_folder, kSubjectsFile))) {
    if (!IsHeaderRecord(line)) continue;
    return line.size() < 52 ? std::string() : std::string(line.substr(51, 8));
  }
  return {};
}

// "ddmmyyyyhhnn".
std::string DateTimeText(const std::tm& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d%02d%04d%02d%02d", time.tm_mday, time.tm_mon + 1,
                time.tm_year + 1900, time.tm_hour, time.tm_min);
  return text;
}

// The header and trailer records share their first three fields.
std::string FrameRecord(char kind, const std::string& header_code, const Clock& clock) {
  std::string record(1, kind);
  AppendPadded(record, kOutputFile, 50);
  AppendPadded(record, header_code, 8);
  AppendPadded(record, DateTimeText(clock()), 8);
  return record;
}

// The day number of Tempario as ORVE's day letter; any other text unchanged.
std::string_view DayLetter(std::string_view day) {
  static constexpr std::string_view kLetters = "LMXJVSD";
  if (day.size() == 1 && day[0] >= '1' && day[0] <= '7') {
    return kLetters.substr(static_cast<std::size_t>(day[0] - '1'), 1);
  }
  return day;
}

dbf::Table OpenComponent(const RunContext& run, std::string_view table, std::string component) {
  return dbf::Table::Open(run.work_folder, table,
                          {.mode = dbf::OpenMode::kExclusive, .component = std::move(component)});
}

// CODDIHO by (DIA, HORA, MARCO) of DIASHORAST: the first row in table order
// for each combination, so one lookup gives what a scan from the first row
// would find, without scanning the table again for every lesson.
class TimeSlotIndex {
 public:
  explicit TimeSlotIndex(dbf::Table& slots) {
    for (slots.First(); !slots.Eof(); slots.Next()) {
      const std::string day = slots.GetText("DIA");
      const std::string period = slots.GetText("HORA");
      const std::string frame = slots.GetText("MARCO");
      std::string code = slots.GetText("CODDIHO");
      codes_.try_emplace(Key(day, period, frame), std::move(code));
    }
  }

  // The time-slot code, or empty when no row matches.
  std::string_view Find(std::string_view day, std::string_view period, std::string_view frame) {
    const auto it = codes_.find(Key(day, period, frame));
    return it == codes_.end() ? std::string_view() : std::string_view(it->second);
  }

 private:
  // The three texts as one key, in a buffer that is reused.
  const std::string& Key(std::string_view day, std::string_view period, std::string_view frame) {
    key_.clear();
    for (const std::string_view part : {day, period, frame}) AppendKeyPart(key_, part);
    return key_;
  }

  std::string key_;
  std::unordered_map<std::string, std::string> codes_;
};

// The code of a table's row whose ABREV equals `code`, else the first 10
// characters of `code`.
std::string_view AbbreviationOrCut(dbf::Table& table, FieldOnFirstUse& abbreviation,
                                   std::string_view code, bool* found) {
  *found = table.Locate(abbreviation(), code);
  return *found ? table.TextView(abbreviation()) : code.substr(0, 10);
}

// Tells the observer of a lesson's value that its table lacks. A blank value
// names nothing, and its fallback (a blank column, "LEC") is what a lesson
// without a group, room or activity has: not reported.
void NoteFallback(RunObserver* observer, RecordReason reason, std::int64_t line,
                  std::string_view value, std::string_view table) {
  if (observer == nullptr || value.empty()) return;
  observer->Note({reason, kOutputFile, line, value, table, false});
}

}  // namespace

void WriteTimetableFile(RunContext& run) {
  const std::string header_code = HeaderCode(run.transfer_folder);
  // The lines go to the file as they are made; it replaces an earlier file
  // only once the trailer is written, and any error before leaves that file
  // as it was.
  TextFileWriter file(ResolveOrvePath(run.transfer_folder, kOutputFile));
  ProgressStep progress(run.progress, kOutputFile);
  file.WriteLine(FrameRecord('0', header_code, run.clock));

  dbf::Table soluc = OpenComponent(run, "SOLUC", "wwTableSoluc");
  dbf::Table groups = OpenComponent(run, "GRUPOST", "wwTableGrupos");
  dbf::Table teachers = OpenComponent(run, "PROFT", "wwTableProfesor");
  dbf::Table rooms = OpenComponent(run, "AULAT", "wwTableAulas");
  dbf::Table subjects = OpenComponent(run, "ASIGNOMT", "wwTableNomAsg");
  dbf::Table slots = OpenComponent(run, "DIASHORAST", "wwTableTramos");

  // Fields are resolved where they are first read, so that a missing one
  // fails where reading it by name would.
  FieldOnFirstUse day_field(soluc, "DIA"), period_field(soluc, "HORA"),
      frame_field(soluc, "MARCO"), teacher_field(soluc, "PROF"), group_field(soluc, "CODGRUPO"),
      activity_field(soluc, "TAREA"), subject_field(soluc, "ASIG"), room_field(soluc, "AULA");
  FieldOnFirstUse group_code(groups, "ABREV"), room_code(rooms, "ABREV"),
      subject_code(subjects, "COD"), task_code(subjects, "CODTAREA"),
      orve_code_field(subjects, "CODORVE"), language_field(subjects, "CODIDIORVE");

  // Built at the first lesson, where the first scan of DIASHORAST would be.
  std::optional<TimeSlotIndex> slot_index;
  std::int64_t lessons = 0;
  std::string line;
  std::string language_suffix;
  RunObserver* const observer = run.observer;
  std::int64_t records = 0;
  bool found = true;
  for (soluc.First(); !soluc.Eof(); soluc.Next()) {
    ++records;
    const auto day_number = AtPlace(
        [&] {
          return ErrorPlace{(run.work_folder / "SOLUC.DBF").string(),
                            "record " + std::to_string(records)};
        },
        [&] { return soluc.GetInteger(day_field()); });
    if (day_number == 0) {
      if (observer) {
        observer->Note({RecordReason::kNoDay, "SOLUC", records,
                        soluc.TextView(subject_field()), "SOLUC", true});
      }
      continue;
    }
    // The line's number in the file, after the header record.
    const std::int64_t line_number = lessons + 2;
    // Views into SOLUC's current record, valid until it moves.
    const std::string_view period = soluc.TextView(period_field());
    const std::string_view day = soluc.TextView(day_field());
    const std::string_view frame = soluc.TextView(frame_field()).substr(0, 1);
    if (!slot_index) slot_index.emplace(slots);

    line.assign(1, '1');
    const std::string_view slot = slot_index->Find(day, period, frame);
    if (observer && slot.empty()) {
      const std::string key =
          std::string(day) + "/" + std::string(period) + "/" + std::string(frame);
      observer->Note({RecordReason::kSlotNotFound, kOutputFile, line_number, key, "DIASHORAST",
                      false});
    }
    AppendPadded(line, slot, 4);
    AppendPadded(line, DayLetter(day), 1);
    AppendPadded(line, soluc.TextView(teacher_field()), 4);
    AppendPadded(line, AbbreviationOrCut(groups, group_code, soluc.TextView(group_field()), &found),
                 10);
    if (!found) {
      NoteFallback(observer, RecordReason::kGroupNotFound, line_number,
                   soluc.TextView(group_field()), "GRUPOST");
    }

    const std::string_view activity = soluc.TextView(activity_field());
    found = subjects.Locate(subject_code(), activity);
    AppendPadded(line, found ? subjects.TextView(task_code()) : std::string_view("LEC"), 4);
    if (!found) {
      NoteFallback(observer, RecordReason::kActivityNotFound, line_number, activity, "ASIGNOMT");
    }

    const std::string_view subject = soluc.TextView(subject_field());
    language_suffix.clear();
    if (subjects.Locate(subject_code(), subject)) {
      const std::string_view orve_code = subjects.TextView(orve_code_field());
      language_suffix = AllTrim(subjects.TextView(language_field()));
      // The subject RE puts three spaces before its language code, also
      // before an empty one.
      if (orve_code == "RE") language_suffix.insert(0, "   ");
      AppendPadded(line, orve_code, 20);
    } else {
      AppendPadded(line, subject.substr(0, 20), 20);
      NoteFallback(observer, RecordReason::kSubjectNotFound, line_number, subject, "ASIGNOMT");
    }

    AppendPadded(line, AbbreviationOrCut(rooms, room_code, soluc.TextView(room_field()), &found),
                 10);
    if (!found) {
      NoteFallback(observer, RecordReason::kRoomNotFound, line_number,
                   soluc.TextView(room_field()), "AULAT");
    }
    line += language_suffix;
    file.WriteLine(line);
    progress.Record();
    ++lessons;
  }

  if (observer) observer->Converted(kOutputFile, records, lessons);
  soluc.Close();
  groups.Close();
  teachers.Close();
  rooms.Close();
  subjects.Close();
  slots.Close();

  std::string trailer = FrameRecord('9', header_code, run.clock);
  trailer += std::to_string(lessons);
  file.WriteLine(trailer);
  file.Commit();
}

}  // namespace tto
