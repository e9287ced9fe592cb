// File: timetable/timetable.h
//
// Tempario's solution as a week to look at: the lessons of SOLUC with the
// names that ASIGNOMT, GRUPOST, PROFT and AULAT give their codes, the days
// and periods of DIASHORAST, and the clashes in it. Codes and names are kept
// once each; a lesson is six small numbers, so a district of a million
// lessons fits in a few tens of megabytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tto::timetable {

constexpr std::uint32_t kNone = UINT32_MAX;

// The codes of one kind (groups, teachers, rooms, subjects), each once, with
// the name that its table gives it ("" when the table lacks it). Windows-1252.
class Codes {
 public:
  // The number of `code`, added when new; kNone for an empty code.
  std::uint32_t Intern(std::string_view code);
  // The number of `code`, or kNone when it is not known.
  std::uint32_t Find(std::string_view code) const;
  std::size_t size() const { return codes_.size(); }
  const std::string& code(std::uint32_t id) const { return codes_[id]; }
  const std::string& name(std::uint32_t id) const { return names_[id]; }
  // The name, or the code where there is none.
  const std::string& Shown(std::uint32_t id) const {
    return names_[id].empty() ? codes_[id] : names_[id];
  }
  // Sets the name of `code` unless it has one: the table's first row wins.
  void Name(std::string_view code, std::string_view name);

 private:
  std::unordered_map<std::string, std::uint32_t> ids_;
  std::vector<std::string> codes_;
  std::vector<std::string> names_;
};

// A day or period of the grid, by its number in DIA or HORA.
struct Axis {
  std::string number;  // the text of DIA or HORA
  std::string label;   // "lunes", "1ª"
  std::string times;   // periods: "08:00-08:55" from DIASHORAST, else ""
};

struct Lesson {
  std::uint16_t day = 0, period = 0;  // into Week::days, Week::periods
  std::uint32_t group = kNone, teacher = kNone, room = kNone, subject = kNone;
};

enum Kind { kGroup = 0, kTeacher = 1, kRoom = 2 };
constexpr int kKinds = 3;

// A slot where one group, teacher or room has lessons that clash.
struct Clash {
  Kind kind;
  std::uint32_t who;
  std::uint16_t day, period;
  std::uint32_t lessons;  // how many in the slot
};

struct Week {
  std::vector<Axis> days, periods;
  std::vector<Lesson> lessons;  // in SOLUC's order, those with a day
  Codes codes[kKinds];
  Codes subjects;
  std::int64_t unplaced = 0;  // SOLUC records with day 0
  // The school's code from the header of "orve_asignat.txt", when given.
  std::string school;

  // The lessons of each group, teacher or room, in the order of its
  // numbers: `lessons_of[k][first[k][i]]` to `[first[k][i + 1]]`, each run
  // in slot order (period, day), then SOLUC's order.
  std::vector<std::uint32_t> lessons_of[kKinds];
  std::vector<std::uint32_t> first[kKinds];

  std::vector<Clash> clashes;  // by kind, then code, then slot
  // (group, subject) -> how many times ASIGT lists the subject for the group.
  std::unordered_map<std::uint64_t, std::uint32_t> taken;
};

// Reads SOLUC and the tables of the export run in `work_folder` (ASIGT,
// GRUPOST, PROFT, AULAT, ASIGNOMT and DIASHORAST; a missing one only leaves
// its names or slots out), and the header of "orve_asignat.txt" in
// `orve_folder` when it is not empty; finds the clashes. A missing or
// unreadable SOLUC throws the engine's error.
Week ReadWeek(const std::filesystem::path& work_folder, const std::filesystem::path& orve_folder);

// The Spanish name of a day number: "1" lunes to "7" domingo; else "día N".
std::string DayName(std::string_view number);

}  // namespace tto::timetable
