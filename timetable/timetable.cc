#include "timetable/timetable.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

#include "core/orve_path.h"
#include "core/records.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"

namespace tto::timetable {
namespace {

namespace fs = std::filesystem;

// A table of the export run, or none when it is missing: the pages then
// show codes where names would be.
std::optional<dbf::Table> OpenIfThere(const fs::path& folder, std::string_view name) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().string();
    if (AsciiUpper(file) == std::string(name) + ".DBF") {
      return dbf::Table::Open(folder, name, {.mode = dbf::OpenMode::kReadOnly});
    }
  }
  return std::nullopt;
}

void ReadNames(const fs::path& folder, std::string_view table, std::string_view code_field,
               std::string_view name_field, Codes& codes) {
  std::optional<dbf::Table> t = OpenIfThere(folder, table);
  if (!t) return;
  const dbf::FieldHandle code = t->Field(code_field), name = t->Field(name_field);
  for (t->First(); !t->Eof(); t->Next()) codes.Name(t->TextView(code), t->TextView(name));
}

// Orders numbers as numbers ("2" before "10"), other texts after them in
// byte order.
bool NumberLess(const std::string& a, const std::string& b) {
  char* end_a = nullptr;
  char* end_b = nullptr;
  const long x = std::strtol(a.c_str(), &end_a, 10);
  const long y = std::strtol(b.c_str(), &end_b, 10);
  const bool na = !a.empty() && *end_a == '\0', nb = !b.empty() && *end_b == '\0';
  if (na != nb) return na;
  if (na && x != y) return x < y;
  return a < b;
}

// The days and periods: those of DIASHORAST and those of the lessons, each
// once, in numeric order.
class AxisBuilder {
 public:
  std::uint16_t Add(std::string_view number) {
    auto [it, added] = index_.try_emplace(std::string(number), items_.size());
    if (added) items_.push_back({std::string(number), {}, {}});
    return static_cast<std::uint16_t>(it->second);
  }
  Axis& at(std::uint16_t i) { return items_[i]; }
  // Sorts the axis; returns, for each old position, the new one.
  std::vector<std::uint16_t> Sort(std::vector<Axis>& out) {
    std::vector<std::uint16_t> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint16_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint16_t a, std::uint16_t b) {
      return NumberLess(items_[a].number, items_[b].number);
    });
    std::vector<std::uint16_t> position(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      position[order[i]] = static_cast<std::uint16_t>(i);
      out.push_back(std::move(items_[order[i]]));
    }
    return position;
  }

 private:
  std::unordered_map<std::string, std::size_t> index_;
  std::vector<Axis> items_;
};

void ReadSlots(const fs::path& folder, AxisBuilder& days, AxisBuilder& periods) {
  std::optional<dbf::Table> slots = OpenIfThere(folder, "DIASHORAST");
  if (!slots) return;
  const dbf::FieldHandle day = slots->Field("DIA"), period = slots->Field("HORA"),
                         from = slots->Field("HORADESDE"), to = slots->Field("HORAHASTA");
  for (slots->First(); !slots->Eof(); slots->Next()) {
    days.Add(slots->TextView(day));
    Axis& p = periods.at(periods.Add(slots->TextView(period)));
    // The first row of a period gives its times.
    if (p.times.empty()) {
      p.times = std::string(slots->TextView(from)) + "-" + std::string(slots->TextView(to));
    }
  }
}

std::uint64_t Pair(std::uint32_t a, std::uint32_t b) {
  return (static_cast<std::uint64_t>(a) << 32) | b;
}

// The lessons of each group, teacher or room, by a counting sort on its
// number; each run then sorted into slot order.
void IndexLessons(Week& week) {
  for (int k = 0; k < kKinds; ++k) {
    const auto who = [k](const Lesson& l) {
      return k == kGroup ? l.group : k == kTeacher ? l.teacher : l.room;
    };
    std::vector<std::uint32_t>& first = week.first[k];
    first.assign(week.codes[k].size() + 1, 0);
    for (const Lesson& l : week.lessons) {
      if (who(l) != kNone) ++first[who(l) + 1];
    }
    for (std::size_t i = 1; i < first.size(); ++i) first[i] += first[i - 1];
    std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
    week.lessons_of[k].assign(first.back(), 0);
    for (std::uint32_t i = 0; i < week.lessons.size(); ++i) {
      const std::uint32_t w = who(week.lessons[i]);
      if (w != kNone) week.lessons_of[k][next[w]++] = i;
    }
    for (std::size_t w = 0; w + 1 < first.size(); ++w) {
      std::stable_sort(week.lessons_of[k].begin() + first[w], week.lessons_of[k].begin() + first[w + 1],
                       [&](std::uint32_t a, std::uint32_t b) {
                         const Lesson &x = week.lessons[a], &y = week.lessons[b];
                         return std::pair(x.period, x.day) < std::pair(y.period, y.day);
                       });
    }
  }
}

// Whether the lessons [begin, end) of one slot clash for a group, teacher
// or room:
// - a teacher or a room clashes when its lessons are not all one class (the
//   same subject, teacher and room: several groups taught together);
// - a group clashes unless its lessons are parallel lessons of split
//   subjects: every subject is one that ASIGT lists for the group, and none
//   has more lessons in the slot than ASIGT has rows of it for the group.
bool Clashes(const Week& week, Kind kind, std::uint32_t who, const std::uint32_t* begin,
             const std::uint32_t* end) {
  if (end - begin < 2) return false;
  if (kind != kGroup) {
    const Lesson& a = week.lessons[*begin];
    return std::any_of(begin + 1, end, [&](std::uint32_t i) {
      const Lesson& b = week.lessons[i];
      return b.subject != a.subject || b.teacher != a.teacher || b.room != a.room;
    });
  }
  for (const std::uint32_t* i = begin; i != end; ++i) {
    const std::uint32_t subject = week.lessons[*i].subject;
    const auto it = week.taken.find(Pair(who, subject));
    if (subject == kNone || it == week.taken.end()) return true;
    const auto same = std::count_if(begin, end, [&](std::uint32_t j) {
      return week.lessons[j].subject == subject;
    });
    if (same > static_cast<std::ptrdiff_t>(it->second)) return true;
  }
  return false;
}

void FindClashes(Week& week) {
  for (int k = 0; k < kKinds; ++k) {
    // By code, as the index lists them.
    std::vector<std::uint32_t> order(week.codes[k].size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return week.codes[k].code(a) < week.codes[k].code(b);
    });
    for (const std::uint32_t who : order) {
      const std::uint32_t* run = week.lessons_of[k].data() + week.first[k][who];
      const std::uint32_t* const end = week.lessons_of[k].data() + week.first[k][who + 1];
      while (run != end) {
        const Lesson& l = week.lessons[*run];
        const std::uint32_t* slot_end = run;
        while (slot_end != end && week.lessons[*slot_end].day == l.day &&
               week.lessons[*slot_end].period == l.period) {
          ++slot_end;
        }
        if (Clashes(week, static_cast<Kind>(k), who, run, slot_end)) {
          week.clashes.push_back({static_cast<Kind>(k), who, l.day, l.period,
                                  static_cast<std::uint32_t>(slot_end - run)});
        }
        run = slot_end;
      }
    }
  }
}

std::string SchoolCode(const fs::path& orve_folder) {
  if (orve_folder.empty() || !OrveFileExists(orve_folder.string() + "/", "orve_asignat.txt")) {
    return {};
  }
  LineReader file(ResolveOrvePath(orve_folder.string() + "/", "orve_asignat.txt"));
  while (!file.AtEnd()) {
    const std::string_view line = file.ReadLine();
    if (IsHeaderRecord(line)) {
      return line.size() < 52 ? std::string() : std::string(AllTrim(line.substr(51, 8)));
    }
  }
  return {};
}

}  // namespace

std::uint32_t Codes::Intern(std::string_view code) {
  if (code.empty()) return kNone;
  auto [it, added] = ids_.try_emplace(std::string(code), static_cast<std::uint32_t>(codes_.size()));
  if (added) {
    codes_.emplace_back(code);
    names_.emplace_back();
  }
  return it->second;
}

std::uint32_t Codes::Find(std::string_view code) const {
  const auto it = ids_.find(std::string(code));
  return it == ids_.end() ? kNone : it->second;
}

void Codes::Name(std::string_view code, std::string_view name) {
  const std::uint32_t id = Intern(code);
  if (id != kNone && names_[id].empty()) names_[id] = AllTrim(name);
}

std::string DayName(std::string_view number) {
  static constexpr std::array<const char*, 7> kDays = {
      "lunes", "martes", "mi\xe9rcoles", "jueves", "viernes", "s\xe1" "bado", "domingo"};
  if (number.size() == 1 && number[0] >= '1' && number[0] <= '7') return kDays[number[0] - '1'];
  return "d\xed" "a " + std::string(number);
}

Week ReadWeek(const fs::path& work_folder, const fs::path& orve_folder) {
  Week week;
  week.school = SchoolCode(orve_folder);
  ReadNames(work_folder, "GRUPOST", "ABREV", "DESCRIP", week.codes[kGroup]);
  ReadNames(work_folder, "PROFT", "ABREV", "NOMBRE", week.codes[kTeacher]);
  ReadNames(work_folder, "AULAT", "ABREV", "NOMBRE", week.codes[kRoom]);
  ReadNames(work_folder, "ASIGNOMT", "COD", "NOMBRE", week.subjects);
  AxisBuilder days, periods;
  ReadSlots(work_folder, days, periods);

  // Which subjects each group takes, and how many times.
  if (std::optional<dbf::Table> assignments = OpenIfThere(work_folder, "ASIGT")) {
    const dbf::FieldHandle group = assignments->Field("CGRUP"), subject = assignments->Field("CASIG");
    for (assignments->First(); !assignments->Eof(); assignments->Next()) {
      const std::uint32_t g = week.codes[kGroup].Intern(assignments->TextView(group));
      const std::uint32_t s = week.subjects.Intern(assignments->TextView(subject));
      if (g != kNone && s != kNone) ++week.taken[Pair(g, s)];
    }
  }

  dbf::Table soluc = dbf::Table::Open(work_folder, "SOLUC", {.mode = dbf::OpenMode::kReadOnly});
  const dbf::FieldHandle day = soluc.Field("DIA"), period = soluc.Field("HORA"),
                         teacher = soluc.Field("PROF"), group = soluc.Field("CODGRUPO"),
                         subject = soluc.Field("ASIG"), room = soluc.Field("AULA");
  for (soluc.First(); !soluc.Eof(); soluc.Next()) {
    if (soluc.GetInteger(day) == 0) {
      ++week.unplaced;
      continue;
    }
    Lesson l;
    l.day = days.Add(soluc.TextView(day));
    l.period = periods.Add(soluc.TextView(period));
    l.group = week.codes[kGroup].Intern(soluc.TextView(group));
    l.teacher = week.codes[kTeacher].Intern(soluc.TextView(teacher));
    l.room = week.codes[kRoom].Intern(soluc.TextView(room));
    l.subject = week.subjects.Intern(soluc.TextView(subject));
    week.lessons.push_back(l);
  }
  soluc.Close();

  const std::vector<std::uint16_t> day_at = days.Sort(week.days);
  const std::vector<std::uint16_t> period_at = periods.Sort(week.periods);
  for (Lesson& l : week.lessons) {
    l.day = day_at[l.day];
    l.period = period_at[l.period];
  }
  for (Axis& d : week.days) d.label = DayName(d.number);
  for (Axis& p : week.periods) p.label = p.number + "\xaa";
  IndexLessons(week);
  FindClashes(week);
  return week;
}

}  // namespace tto::timetable
