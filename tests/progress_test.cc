// The runs' progress: one step per table or file written, with its record
// count, reported every kProgressInterval records and at its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/progress.h"
#include "tests/test_support.h"

namespace tto {
namespace {

using testing::RunFixture;

// Writes down what it hears, one text per call.
class RecordingSink : public ProgressSink {
 public:
  void StepStarted(std::string_view name) override { events.push_back("start " + std::string(name)); }
  void RecordsWritten(std::int64_t records) override {
    events.push_back("at " + std::to_string(records));
  }
  void StepFinished(std::int64_t records) override {
    events.push_back("done " + std::to_string(records));
  }
  std::vector<std::string> events;
};

void CopySample(const std::filesystem::path& to) {
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(TTO_SOURCE_DIR) / "examples/orve")) {
    std::filesystem::copy_file(entry.path(), to / entry.path().filename());
  }
}

int RecordCount(const std::filesystem::path& folder, std::string_view table) {
  return static_cast<int>(testing::ReadRows(folder, table, {}).size());
}

TEST(Progress, SampleSchoolReportsEveryTableWithItsRecordCount) {
  RunFixture f;
  RecordingSink sink;
  f.progress = &sink;
  CopySample(f.orve.path());
  ASSERT_TRUE(f.Export());
  std::vector<std::string> expected;
  for (const char* table : {"ASIGNOMT", "PROFT", "AULAT", "GRUPOST", "ASIGT", "DIASHORAST"}) {
    expected.push_back("start " + std::string(table));
    expected.push_back("done " + std::to_string(RecordCount(f.work.path(), table)));
  }
  EXPECT_EQ(sink.events, expected);

  std::filesystem::copy_file(std::filesystem::path(TTO_SOURCE_DIR) / "examples/tempario/SOLUC.DBF",
                             f.work / "SOLUC.DBF");
  sink.events.clear();
  ASSERT_TRUE(f.Import());
  // The lessons, without the file's first and last record.
  const std::string timetable = testing::ReadFile(f.orve / "ORVE_HORARIO.TXT");
  const long lines = std::count(timetable.begin(), timetable.end(), '\n');
  EXPECT_EQ(sink.events, (std::vector<std::string>{"start ORVE_HORARIO.TXT",
                                                   "done " + std::to_string(lines - 2)}));
}

TEST(Progress, LargeTableIsReportedEveryIntervalAndMissingFilesNotAtAll) {
  RunFixture f;
  RecordingSink sink;
  f.progress = &sink;
  std::string teachers;
  for (int i = 0; i < 2500; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "1%04d T%d\r\n", i, i);
    teachers += line;
  }
  f.Put("orve_prof.txt", teachers);
  ASSERT_TRUE(f.Export());
  EXPECT_EQ(sink.events,
            (std::vector<std::string>{"start PROFT", "at 1024", "at 2048", "done 2500"}));
}

TEST(Progress, StepEndedByAnErrorIsNotFinished) {
  RunFixture f;
  RecordingSink sink;
  f.progress = &sink;
  // A time slot whose end time is not a number ends the run in DIASHORAST.
  f.Put("orve_sesiones.txt", testing::CrLf({"1   0001L0800090x"}));
  EXPECT_FALSE(f.Export());
  ASSERT_FALSE(f.host.errors.empty());
  EXPECT_EQ(sink.events, std::vector<std::string>{"start DIASHORAST"});
}

}  // namespace
}  // namespace tto
