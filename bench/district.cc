#include "bench/district.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "platform/dbf/table.h"

namespace tto::bench {
namespace {

namespace fs = std::filesystem;

// `number` in decimal, zero-filled to `width` digits.
std::string Digits(std::int64_t number, std::size_t width) {
  std::string text = std::to_string(number);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

// `number` in base 36 (digits, then capitals), zero-filled to `width`.
std::string Base36(std::int64_t number, std::size_t width) {
  static constexpr std::string_view kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string text(width, '0');
  for (std::size_t i = width; i-- > 0 && number > 0; number /= 36) text[i] = kDigits[number % 36];
  return text;
}

// A data record: "1" in column 1, each value from its column on.
class Record {
 public:
  Record& At(int column, std::string_view value) {
    const std::size_t start = static_cast<std::size_t>(column) - 1;
    if (line_.size() < start + value.size()) line_.resize(start + value.size(), ' ');
    line_.replace(start, value.size(), value);
    return *this;
  }
  const std::string& str() const { return line_; }

 private:
  std::string line_ = "1";
};

// An ORVE file as ORVE writes it: header record, name record, the records
// (each with its own terminator), trailer record with the count.
class OrveFile {
 public:
  explicit OrveFile(std::string_view name_text) : name_(name_text) { Frame('0'); }
  void Add(const std::string& record, std::string_view terminator = "\r\n") {
    data_ += record;
    data_ += terminator;
    ++count_;
  }
  // A header record in the middle of the data: skipped like any other.
  void AddHeader() { Frame('0'); }
  void Write(const fs::path& path) {
    Frame('9');
    data_ += std::to_string(count_) + "\r\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data_.data(), static_cast<std::streamsize>(data_.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }

 private:
  void Frame(char kind) {
    std::string record(1, kind);
    AppendPadded(record, name_, 50);
    AppendPadded(record, "CENTRO01", 8);
    record += "011220260815";
    data_ += record;
    if (kind == '0') data_ += "\r\n1" + AsciiLower(name_) + "\r\n";  // and the name record
  }

  std::string name_;
  std::string data_;
  std::int64_t count_ = 0;
};

struct Sizes {
  std::int64_t subjects, activities, teachers, rooms, groups, assignments, hours, lessons;
};

Sizes SizesAt(int scale) {
  const std::int64_t s = scale;
  return {1000 * s, 10 * s, 50 * s, 20 * s, 100 * s, 2000 * s, 2000 * s, 10000 * s};
}

constexpr std::array<const char*, 4> kLanguages = {"", "ING", "VAL", ""};

// Subjects. Most have a code of their own ("A" and six digits, a quarter of
// them with a language code, COD then being the two joined); the others
// repeat codes so that they are numbered or skipped.
struct Subject {
  std::string base;      // columns 2 to 11 (at most 10 characters)
  std::string language;  // columns 172 to 177
  std::string name;
  bool plain = true;  // COD is base + language
  // The ORVE subject code (columns 2 to 21): the base in 11 columns, then
  // the language code, as ORVE writes subjects taught in a language.
  std::string OrveCode() const {
    std::string code = base;
    code.resize(11, ' ');
    return std::string(AllTrim(code + language));
  }
  std::string Cod() const { return base + language; }
};

Subject SubjectAt(std::int64_t s) {
  Subject subject;
  subject.base = "A" + Digits(s, 6);
  subject.language = kLanguages[s % 4];
  subject.name = "Asignatura de prueba numero " + std::to_string(s);
  if (s % 3 == 0) subject.name += " y Literatura";
  if (s == 3 || s == 5) {
    // The subject RE, with and without a language.
    subject.base = "RE";
    subject.language = s == 3 ? "VAL" : "";
  } else if (s % 100 == 42) {
    subject = SubjectAt(s - 1);  // the same subject twice: a numbered COD
    subject.plain = false;
  } else if (s % 50 == 13) {
    static constexpr std::array<const char*, 3> kCases = {"MATEMATICA", "Matematica",
                                                          "matematica"};
    subject.base = kCases[(s / 50) % 3];  // numbered to MATEMATI10, then skipped
    subject.language.clear();
    subject.plain = false;
  } else if (s % 50 == 29) {
    // N WITH TILDE in both cases: equal ignoring case.
    subject.base = ((s / 50) % 2 == 0 ? "\xD1" "AND" : "\xF1" "and") + Digits((s / 100) % 1000, 3);
    subject.plain = false;
  } else if (s % 50 == 31) {
    // E WITH ACUTE and plain E: different codes.
    subject.base = ((s / 50) % 2 == 0 ? "\xC9" "STU" : "ESTU") + Digits((s / 100) % 1000, 3);
    subject.plain = false;
  } else if (s % 10 == 7) {
    subject = SubjectAt(s - 7);  // the code of an earlier subject in small letters
    subject.base = AsciiLower(subject.base);
    subject.name = "Repetida " + std::to_string(s);
    subject.plain = false;
  } else if (s % 200 == 79) {
    subject.base.clear();  // COD is the language code alone, then numbered
    subject.language = "FR";
    subject.plain = false;
  }
  if (s % 200 == 77) subject.name.clear();
  if (s % 200 == 78) subject.name = "Lengua  Castellana y Literatura con un nombre largo " +
                                    std::string(40, 'x') + " de " + std::to_string(s);
  return subject;
}

std::string ActivityCode(std::int64_t a) {
  if (a % 9 == 4) return AsciiLower(ActivityCode(a - 4));  // a repeat: skipped
  if (a % 25 == 7) return "";                              // "*" alone
  return "G" + Base36(a, 3);
}

std::string TeacherCode(std::int64_t t) {
  if (t % 7 == 3) return AsciiLower(TeacherCode(t - 3));  // a repeat: skipped
  return "P" + Base36(t, 3);
}

std::string RoomCode(std::int64_t r) { return "R" + Digits(r, 5); }

struct Group {
  std::string code, level, course, label, shift;
};

Group GroupAt(std::int64_t g) {
  static constexpr std::array<const char*, 4> kLevels = {"ESO", "BAC", "FP", ""};
  static constexpr std::array<const char*, 3> kShifts = {"M", "T", "MT"};
  if (g % 50 == 49) {
    Group repeat = GroupAt(g - 1);  // a second row of one code: the first wins
    repeat.level = "BAC";
    return repeat;
  }
  return {"G" + Digits(g, 6) + "ABCD"[g % 4], kLevels[g % 4], std::to_string(g % 4 + 1),
          "E" + std::to_string(g % 1000), kShifts[g % 3]};
}

// The subject and group of an assignment.
std::int64_t AssignmentSubject(const Sizes& n, std::int64_t a) { return (a * 7919) % n.subjects; }
std::int64_t AssignmentGroup(const Sizes& n, std::int64_t a) { return (a * 104729) % n.groups; }

void WriteSubjects(const fs::path& folder, const Sizes& n) {
  OrveFile file("ORVE_ASIGNAT.TXT");
  for (std::int64_t s = 0; s < n.subjects; ++s) {
    if (s % 1000 == 500) {
      file.Add("1");  // an empty data record: no code, skipped
      continue;
    }
    if (s % 5000 == 2500) file.AddHeader();
    const Subject subject = SubjectAt(s);
    Record record;
    record.At(2, subject.OrveCode()).At(22, subject.name).At(172, subject.language);
    file.Add(record.str());
  }
  file.Write(folder / "orve_asignat.txt");

  OrveFile activities("ORVE_ACTIVIDADES.TXT");
  static constexpr std::array<const char*, 4> kTasks = {"GUA", "REU", "", "TUT"};
  for (std::int64_t a = 0; a < n.activities; ++a) {
    Record record;
    record.At(2, ActivityCode(a))
        .At(6, "Actividad " + std::to_string(a) + " de guardia")
        .At(66, kTasks[a % 4]);
    activities.Add(record.str());
  }
  activities.Write(folder / "ORVE_ACTIVIDADES.TXT");
}

void WriteTeachersRoomsGroups(const fs::path& folder, const Sizes& n) {
  OrveFile teachers("ORVE_PROF.TXT");
  for (std::int64_t t = 0; t < n.teachers; ++t) {
    Record record;
    // A lone carriage return inside a line is dropped by the reader.
    record.At(2, TeacherCode(t))
        .At(6, "Profesor " + std::string(t % 40 == 9 ? "\r" : "") + std::to_string(t))
        .At(96, "Departamento " + std::to_string(t % 17));
    teachers.Add(record.str(), t % 3 == 0 ? "\n" : "\r\n");
  }
  teachers.Write(folder / "orve_prof.txt");

  OrveFile rooms("ORVE_AULAS.TXT");
  for (std::int64_t r = 0; r < n.rooms; ++r) {
    Record record;
    if (r % 10 != 4) {
      record.At(2, RoomCode(r))
          .At(12, "Aula " + std::to_string(r))
          .At(82, r % 3 == 0 ? "" : "Edificio " + std::to_string(r % 3));
    }
    rooms.Add(record.str());
  }
  rooms.Write(folder / "orve_aulas.txt");

  OrveFile groups("ORVE_GRUPOS.TXT");
  for (std::int64_t g = 0; g < n.groups; ++g) {
    const Group group = GroupAt(g);
    Record record;
    record.At(2, group.code)
        .At(15, group.level)
        .At(21, group.course)
        .At(24, group.label)
        .At(33, group.shift);
    groups.Add(record.str());
  }
  groups.Write(folder / "orve_grupo.txt");
}

void WriteAssignmentsAndHours(const fs::path& folder, const Sizes& n) {
  OrveFile assignments("ORVE_ASIGNATGRUPO.TXT");
  for (std::int64_t a = 0; a < n.assignments; ++a) {
    if (a % 500 == 250) {
      assignments.Add("1");  // no subject code: no row
      continue;
    }
    std::string subject = SubjectAt(AssignmentSubject(n, a)).OrveCode();
    std::string group = GroupAt(AssignmentGroup(n, a)).code;
    if (a % 25 == 3) subject = AsciiLower(subject);          // other case: not found
    if (a % 40 == 11) subject = "Z" + Digits(a, 9);           // no such subject
    if (a % 30 == 17) group = "GX" + Digits(a % 100000, 6);   // no such group
    Record record;
    record.At(2, group).At(12, subject);
    assignments.Add(record.str());
  }
  assignments.Write(folder / "orve_asignatgrupo.txt");

  // The weekly hours of the combinations that the assignments take, some
  // repeated (the first wins), some for no assignment, some that cannot
  // match (a two-letter shift, an empty level where the group has NIV).
  static constexpr std::array<const char*, 8> kHours = {"3",  "2,5", "2.5",  "0,5",
                                                        "",   "20",  "1.25", "14"};
  OrveFile hours("ORVE_ASIGNATCURSO.TXT");
  for (std::int64_t h = 0; h < n.hours; ++h) {
    std::int64_t a = (h * 3) % n.assignments;
    if (h % 13 == 5) a = ((h - 1) * 3) % n.assignments;  // the line before's combination
    std::int64_t g = AssignmentGroup(n, a);
    if (h % 10 == 0) g = (g + 1) % n.groups;
    const Subject subject = SubjectAt(AssignmentSubject(n, a));
    const Group group = GroupAt(g);
    std::string level = group.level.empty() && h % 7 != 2 ? "NIV" : group.level;
    Record record;
    record.At(2, level)
        .At(5, group.shift)
        .At(8, group.course)
        .At(24, subject.OrveCode())
        .At(44, kHours[h % 8])
        .At(50, subject.language);
    hours.Add(record.str(), h % 11 == 6 ? "\n" : "\r\n");
  }
  hours.Write(folder / "orve_asignatcurso.txt");
}

constexpr std::string_view kDays = "LMXJV";

void WriteTimeSlots(const fs::path& folder) {
  OrveFile slots("ORVE_SESIONES.TXT");
  for (std::size_t d = 0; d < kDays.size(); ++d) {
    // Friday starts half an hour later: its periods are numbered among all
    // start times of the week.
    const int first = d == 4 ? 8 * 60 + 30 : 8 * 60;
    for (int p = 0; p < 8; ++p) {
      const int start = first + p * 55;
      const int end = start + 50;
      const auto hhmm = [](int minutes) { return Digits(minutes / 60, 2) + Digits(minutes % 60, 2); };
      Record record;
      record.At(5, std::string(1, kDays[d]) + Digits(p, 2))
          .At(9, std::string(1, kDays[d]))
          .At(10, hhmm(start))
          .At(14, hhmm(end));
      slots.Add(record.str());
    }
  }
  slots.Add(Record().At(5, "l99").At(9, "l").At(10, "0800").At(14, "0850").str());
  slots.Add(Record().At(5, "L00B").At(9, "L").At(10, "0800").At(14, "0850").str());
  slots.Write(folder / "orve_sesiones.txt");
}

void WriteSolution(const fs::path& work_folder, const Sizes& n) {
  const std::array<dbf::FieldDef, 8> fields = {{
      {"DIA", dbf::FieldType::kInteger, 0},
      {"HORA", dbf::FieldType::kInteger, 0},
      {"MARCO", dbf::FieldType::kString, 2},
      {"PROF", dbf::FieldType::kString, 10},
      {"CODGRUPO", dbf::FieldType::kString, 12},
      {"TAREA", dbf::FieldType::kString, 10},
      {"ASIG", dbf::FieldType::kString, 10},
      {"AULA", dbf::FieldType::kString, 12},
  }};
  dbf::Table soluc = dbf::Table::Recreate(work_folder, "SOLUC", fields);
  for (std::int64_t l = 0; l < n.lessons; ++l) {
    const std::int64_t day = l % 50 == 0 ? 0 : l % 97 == 5 ? 8 : 1 + l % 5;
    const std::int64_t period = l % 61 == 9 ? 12 : 1 + (l / 5) % 8;
    const char* frame = l % 40 == 3 ? "0X" : l % 83 == 2 ? "" : "0";
    std::string group = GroupAt((l * 17) % n.groups).code;
    if (l % 29 == 4) group = "GZ" + Digits(l % 1000000000, 10);
    if (l % 31 == 6) group = AsciiLower(group);
    std::string activity;
    switch (l % 5) {
      case 0: activity = "*" + ActivityCode(l % n.activities); break;
      case 1: activity = "*LEC"; break;
      case 2: break;
      default: activity = "*"; break;
    }
    const Subject subject = SubjectAt((l * 7) % n.subjects);
    std::string code = subject.plain ? subject.Cod() : subject.base;
    if (l % 23 == 1) code = l % 2 ? "REVAL" : "RE";
    if (l % 37 == 2) code = "QQ" + Digits(l % 100000000, 8);
    if (l % 41 == 3) code = AsciiLower(code);
    std::string room = RoomCode((l * 13) % n.rooms);
    if (l % 19 == 7) room = "AULAGRANDE12";
    if (l % 43 == 1) room.clear();

    soluc.Append();
    soluc.SetText("DIA", std::to_string(day));
    soluc.SetText("HORA", std::to_string(period));
    soluc.SetText("MARCO", frame);
    soluc.SetText("PROF", TeacherCode((l * 31) % n.teachers));
    soluc.SetText("CODGRUPO", group);
    soluc.SetText("TAREA", activity);
    soluc.SetText("ASIG", code);
    soluc.SetText("AULA", room);
    soluc.Post();
  }
  soluc.Close();
}

}  // namespace

void WriteDistrict(const fs::path& orve_folder, const fs::path& work_folder, int scale) {
  const Sizes n = SizesAt(scale);
  WriteSubjects(orve_folder, n);
  WriteTeachersRoomsGroups(orve_folder, n);
  WriteAssignmentsAndHours(orve_folder, n);
  WriteTimeSlots(orve_folder);
  WriteSolution(work_folder, n);
}

}  // namespace tto::bench
