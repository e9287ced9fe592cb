// "ORVE_HORARIO.TXT" from Tempario's solution SOLUC: a header record, one
// data record for each lesson whose day is not 0, and a trailer record with
// the count. Tempario's codes go back to ORVE's through the tables of the
// export run: DIASHORAST (time slots), GRUPOST (groups), ASIGNOMT (subjects
// and activities) and AULAT (rooms).
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/orve_path.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "to_orve/timetable_file.h"

namespace tto {
namespace {

constexpr char kSubjectsFile[] = "orve_asignat.txt";
constexpr char kOutputFile[] = "ORVE_HORARIO.TXT";

// The 8 characters from column 52 of the first header record of the ORVE
// subjects file, unchanged (shorter when the line ends first); empty when
// there is no header record.
std::string HeaderCode(const std::string& transfer_folder) {
  const std::vector<std::string> lines = LoadLines(ResolveOrvePath(transfer_folder, kSubjectsFile));
  for (const std::string& line : lines) {
    if (!IsHeaderRecord(line)) continue;
    return line.size() < 52 ? std::string() : line.substr(51, 8);
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
std::string DayLetter(const std::string& day) {
  static const std::unordered_map<std::string, std::string> kLetters = {
      {"1", "L"}, {"2", "M"}, {"3", "X"}, {"4", "J"}, {"5", "V"}, {"6", "S"}, {"7", "D"}};
  const auto it = kLetters.find(day);
  return it == kLetters.end() ? day : it->second;
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
      codes_.try_emplace(Key{slots.GetText("DIA"), slots.GetText("HORA"), slots.GetText("MARCO")},
                         slots.GetText("CODDIHO"));
    }
  }

  // The time-slot code, or empty when no row matches.
  std::string Find(const std::string& day, const std::string& period,
                   const std::string& frame) const {
    const auto it = codes_.find(Key{day, period, frame});
    return it == codes_.end() ? std::string() : it->second;
  }

 private:
  struct Key {
    std::string day, period, frame;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      const std::hash<std::string> hash;
      std::size_t h = hash(key.day);
      h = h * 31 + hash(key.period);
      return h * 31 + hash(key.frame);
    }
  };
  std::unordered_map<Key, std::string, KeyHash> codes_;
};

// The code of `table`'s row whose ABREV equals `code`, else the first 10
// characters of `code`.
std::string AbbreviationOrCut(dbf::Table& table, const std::string& code) {
  return table.Locate("ABREV", code) ? table.GetText("ABREV") : code.substr(0, 10);
}

}  // namespace

void WriteTimetableFile(RunContext& run) {
  const std::string header_code = HeaderCode(run.transfer_folder);
  std::vector<std::string> lines;
  lines.push_back(FrameRecord('0', header_code, run.clock));

  dbf::Table soluc = OpenComponent(run, "SOLUC", "wwTableSoluc");
  dbf::Table groups = OpenComponent(run, "GRUPOST", "wwTableGrupos");
  dbf::Table teachers = OpenComponent(run, "PROFT", "wwTableProfesor");
  dbf::Table rooms = OpenComponent(run, "AULAT", "wwTableAulas");
  dbf::Table subjects = OpenComponent(run, "ASIGNOMT", "wwTableNomAsg");
  dbf::Table slots = OpenComponent(run, "DIASHORAST", "wwTableTramos");

  ProgressStep progress(run.progress, kOutputFile);
  // Built at the first lesson, where the first scan of DIASHORAST would be.
  std::optional<TimeSlotIndex> slot_index;
  for (soluc.First(); !soluc.Eof(); soluc.Next()) {
    if (soluc.GetInteger("DIA") == 0) continue;
    const std::string period = soluc.GetText("HORA");
    const std::string day = soluc.GetText("DIA");
    const std::string frame = soluc.GetText("MARCO").substr(0, 1);
    if (!slot_index) slot_index.emplace(slots);

    std::string line = "1";
    AppendPadded(line, slot_index->Find(day, period, frame), 4);
    AppendPadded(line, DayLetter(day), 1);
    AppendPadded(line, soluc.GetText("PROF"), 4);
    AppendPadded(line, AbbreviationOrCut(groups, soluc.GetText("CODGRUPO")), 10);

    const std::string activity = soluc.GetText("TAREA");
    AppendPadded(line, subjects.Locate("COD", activity) ? subjects.GetText("CODTAREA") : "LEC", 4);

    const std::string subject = soluc.GetText("ASIG");
    std::string language_suffix;
    if (subjects.Locate("COD", subject)) {
      const std::string orve_code = subjects.GetText("CODORVE");
      language_suffix = std::string(AllTrim(subjects.GetText("CODIDIORVE")));
      // The subject RE puts three spaces before its language code, also
      // before an empty one.
      if (orve_code == "RE") language_suffix.insert(0, "   ");
      AppendPadded(line, orve_code, 20);
    } else {
      AppendPadded(line, subject.substr(0, 20), 20);
    }

    AppendPadded(line, AbbreviationOrCut(rooms, soluc.GetText("AULA")), 10);
    line += language_suffix;
    lines.push_back(std::move(line));
    progress.Record();
  }

  soluc.Close();
  groups.Close();
  teachers.Close();
  rooms.Close();
  subjects.Close();
  slots.Close();

  std::string trailer = FrameRecord('9', header_code, run.clock);
  trailer += std::to_string(lines.size() - 1);
  lines.push_back(std::move(trailer));
  SaveLines(lines, ResolveOrvePath(run.transfer_folder, kOutputFile));
}

}  // namespace tto
