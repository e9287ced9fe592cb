// DIASHORAST from "orve_sesiones.txt", driven through the export run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace tto::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr char kFile[] = "orve_sesiones.txt";
const std::string kHeader = "0ORVE_SESIONES.TXT                                 SESIONES201020260800";
const std::string kNameRecord = " orve_sesiones.txt";
const std::string kTrailer = "9ORVE_SESIONES.TXT                                 SESIONES2010202608000003";

// A data record: columns 2 to 4 unread, code at 5, day at 9, start time at
// 10 and end time at 14.
std::string Slot(std::string_view code, std::string_view day, std::string_view start,
                 std::string_view end) {
  std::string line = "1xyz";
  line += code;
  line.append(4 - code.size(), ' ');
  line += day.empty() ? std::string(" ") : std::string(day);
  line += start;
  line.append(4 - start.size(), ' ');
  line += end;
  line.append(4 - end.size(), ' ');
  return line + "ignored";
}

std::string File(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

// DIHO, CODDIHO, DIA, HORA, TEXTOHOR, HORADESDE, HORAHASTA, MINUTOS.
Rows ReadSlots(const RunFixture& f) {
  return ReadRows(f.work.path(), "DIASHORAST",
                  {"DIHO", "CODDIHO", "DIA", "HORA", "TEXTOHOR", "HORADESDE", "HORAHASTA",
                   "MINUTOS"});
}

bool Shown(const RunFixture& f, std::string_view message) {
  return std::find(f.host.messages.begin(), f.host.messages.end(), message) !=
         f.host.messages.end();
}

struct Case {
  std::string name;
  std::vector<std::string> lines;
  Rows expected;
};

// Slots at 0800, 0855 and 0950 on every day from L to V.
Case FiveDays() {
  Case c{"three slots a day on five days", {kHeader, kNameRecord}, {}};
  const std::string days = "LMXJV";
  const std::vector<std::vector<std::string>> times = {
      {"0800", "0855", "08:00", "08:55"},
      {"0855", "0950", "08:55", "09:50"},
      {"0950", "1045", "09:50", "10:45"}};
  for (std::size_t d = 0; d < days.size(); ++d) {
    for (std::size_t t = 0; t < times.size(); ++t) {
      const std::string day_text = std::to_string(d + 1);
      const std::string period = std::to_string(t + 1);
      const std::string code = std::string(1, days[d]) + period;
      c.lines.push_back(Slot(code, days.substr(d, 1), times[t][0], times[t][1]));
      c.expected.push_back({day_text + period, code, day_text, period,
                            period + "-" + times[t][2] + "-" + times[t][3], times[t][2],
                            times[t][3], "55"});
    }
  }
  c.lines.push_back(kTrailer);
  return c;
}

std::vector<Case> Cases() {
  return {
      FiveDays(),
      {"periods count the start times of the whole file",
       {kHeader, Slot("A", "L", "0830", "0925"), Slot("B", "L", "0925", "1020"),
        Slot("C", "V", "0800", "0830"), Slot("D", "V", "0830", "0925"), kTrailer},
       {{"12", "A", "1", "2", "2-08:30-09:25", "08:30", "09:25", "55"},
        {"13", "B", "1", "3", "3-09:25-10:20", "09:25", "10:20", "55"},
        {"51", "C", "5", "1", "1-08:00-08:30", "08:00", "08:30", "30"},
        {"52", "D", "5", "2", "2-08:30-09:25", "08:30", "09:25", "55"}}},
      {"day letters map exactly, any other value is kept",
       {Slot("1", "l", "0800", "0900"), Slot("2", "S", "0800", "0900"),
        Slot("3", "D", "0800", "0900"), Slot("4", "*", "0800", "0900"),
        Slot("5", "", "0800", "0900")},
       {{"l1", "1", "l", "1", "1-08:00-09:00", "08:00", "09:00", "60"},
        {"61", "2", "6", "1", "1-08:00-09:00", "08:00", "09:00", "60"},
        {"71", "3", "7", "1", "1-08:00-09:00", "08:00", "09:00", "60"},
        {"*1", "4", "*", "1", "1-08:00-09:00", "08:00", "09:00", "60"},
        {"1", "5", "", "1", "1-08:00-09:00", "08:00", "09:00", "60"}}},
      {"no wrap at midnight",
       {Slot("N", "J", "2330", "0030")},
       {{"41", "N", "4", "1", "1-23:30-00:30", "23:30", "00:30", "-1380"}}},
      {"a three-character time gives a short time text",
       {Slot("T", "M", "830", "0925")},
       {{"21", "T", "2", "1", "1-83:0-09:25", "83:0", "09:25", "-4415"}}},
      {"repeated day and start time give two rows",
       {Slot("A", "X", "0800", "0855"), kNameRecord, Slot("B", "X", "0800", "0900")},
       {{"31", "A", "3", "1", "1-08:00-08:55", "08:00", "08:55", "55"},
        {"31", "B", "3", "1", "1-08:00-09:00", "08:00", "09:00", "60"}}},
      {"header and trailer only", {kHeader, kTrailer}, {}},
  };
}

TEST(TimeSlotsTest, BuildsTheTableFromTheFile) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    f.Put(kFile, File(c.lines));
    ASSERT_TRUE(f.Export()) << (f.host.errors.empty() ? "" : f.host.errors.front());
    EXPECT_EQ(ReadSlots(f), c.expected);
    for (const auto& row : ReadRows(f.work.path(), "DIASHORAST",
                                    {"MARCO", "TEXTODIA", "MARCOXML"})) {
      EXPECT_EQ(row, (std::vector<std::string>{"0", "", ""}));
    }
    EXPECT_EQ(f.host.messages.back(), "Proceso finalizado");
    EXPECT_FALSE(Shown(f, "No existe archivo de grupos (ORVE_SESIONES.TXT)"));
  }
}

TEST(TimeSlotsTest, AnotherReaderSeesTheFieldsInOrder) {
  RunFixture f;
  f.Put(kFile, File({Slot("A", "L", "0830", "0925"), Slot("B", "V", "0800", "0830")}));
  ASSERT_TRUE(f.Export());
  const Rows expected = {
      {"12", "A", "1", "", "2", "2-08:30-09:25", "08:30", "09:25", "55", "0", ""},
      {"51", "B", "5", "", "1", "1-08:00-08:30", "08:00", "08:30", "30", "0", ""}};
  EXPECT_EQ(ReadRowsExternally(f.work / "DIASHORAST.DBF"), expected);
}

// A piece that is not an integer ends the run; the rows of the earlier
// records stay as the first pass wrote them, since the periods are never
// numbered.
TEST(TimeSlotsTest, BadTimePieceEndsTheRunLeavingEarlierRows) {
  struct BadCase {
    std::string start, end, error;
  };
  const std::vector<BadCase> cases = {
      {"0950", "", "':' is not a valid integer value."},
      {"ab00", "cd00", "'cd' is not a valid integer value."},
      {"ab00", "0900", "'ab' is not a valid integer value."},
      {"08ab", "09cd", "'cd' is not a valid integer value."},
      {"08", "0900", "'' is not a valid integer value."},
      {"0800", "\xe9" "000", "'\xc3\xa9" "0' is not a valid integer value."},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.start + "-" + c.end);
    RunFixture f;
    f.Put(kFile, File({Slot("A", "L", "0855", "0950"), Slot("B", "L", "0800", "0855"),
                       Slot("C", "L", c.start, c.end), Slot("D", "L", "1045", "1140")}));
    EXPECT_FALSE(f.Export());
    EXPECT_EQ(f.host.errors, std::vector<std::string>{c.error});
    EXPECT_EQ(f.host.error_places,
              std::vector<std::string>{(f.orve / kFile).string() + ", line 3"});
    EXPECT_FALSE(Shown(f, "Proceso finalizado"));
    EXPECT_EQ(ReadSlots(f),
              (Rows{{"", "A", "1", "0855", "-08:55-09:50", "08:55", "09:50", "55"},
                    {"", "B", "1", "0800", "-08:00-08:55", "08:00", "08:55", "55"}}));
  }
}

TEST(TimeSlotsTest, MissingFileLeavesTheOldTable) {
  RunFixture f;
  f.Put(kFile, File({Slot("A", "L", "0800", "0855")}));
  ASSERT_TRUE(f.Export());
  std::filesystem::remove(f.orve / kFile);
  f.host.messages.clear();
  ASSERT_TRUE(f.Export());
  EXPECT_TRUE(Shown(f, "No existe archivo de grupos (ORVE_SESIONES.TXT)"));
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_EQ(ReadSlots(f),
            (Rows{{"11", "A", "1", "1", "1-08:00-08:55", "08:00", "08:55", "55"}}));
}

TEST(TimeSlotsTest, FileNameIsMatchedIgnoringCase) {
  RunFixture f;
  f.Put("ORVE_SESIONES.TXT", File({Slot("A", "L", "0800", "0855")}));
  ASSERT_TRUE(f.Export());
  EXPECT_EQ(ReadSlots(f).size(), 1u);
}

// A file that exists but cannot be loaded ends the run before DIASHORAST
// is re-created, so the table of the earlier run stays.
TEST(TimeSlotsTest, UnreadableFileLeavesTheOldTable) {
  RunFixture f;
  f.Put(kFile, File({Slot("A", "L", "0800", "0855")}));
  ASSERT_TRUE(f.Export());
  std::filesystem::remove(f.orve / kFile);
  MakeUnreadableFile(f.orve / kFile);
  EXPECT_FALSE(f.Export());
  ASSERT_EQ(f.host.errors.size(), 1u);
  EXPECT_EQ(f.host.errors[0].rfind("Cannot open file \"", 0), 0u) << f.host.errors[0];
  EXPECT_EQ(ReadSlots(f),
            (Rows{{"11", "A", "1", "1", "1-08:00-08:55", "08:00", "08:55", "55"}}));
}

}  // namespace
}  // namespace tto::testing
