// A whole export and import of a generated district (bench/district.h, scale
// 1) against the files that the system wrote before its runs were made
// faster, kept in tests/golden/district_1/. Every byte must be the same,
// except the date of the last update in each table's header and the date and
// time in the timetable file's header and trailer records.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "bench/district.h"
#include "test_support.h"

namespace tto {
namespace {

using testing::RunCommand;
using testing::RunFixture;

std::string Golden(std::string_view name) {
  int status = 0;
  std::string bytes = RunCommand("gzip -dc '" + std::string(TTO_SOURCE_DIR) +
                                     "/tests/golden/district_1/" + std::string(name) + ".gz'",
                                 &status);
  EXPECT_EQ(status, 0) << name;
  return bytes;
}

// The first difference, as an offset and the bytes around it.
std::string FirstDifference(const std::string& got, const std::string& want) {
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  if (at == got.size() && at == want.size()) return "";
  const std::size_t from = at < 40 ? 0 : at - 40;
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
         ", first difference at byte " + std::to_string(at) + ":\n got  " +
         got.substr(from, 80) + "\n want " + want.substr(from, 80);
}

// Blanks the bytes that carry the day of the run.
void BlankTableDate(std::string& table) {
  if (table.size() > 4) table.replace(1, 3, 3, '\0');
}

void BlankTimetableTimes(std::string& file) {
  // Header: "ddmmyyyyhhnn" from column 60 of the first line. Trailer: the
  // same from column 60 of the last line.
  if (file.size() >= 71) file.replace(59, 12, 12, '#');
  const std::size_t last = file.rfind("\r\n", file.size() - 3);
  if (last != std::string::npos && last + 2 + 71 <= file.size()) {
    file.replace(last + 2 + 59, 12, 12, '#');
  }
}

TEST(DistrictGoldenTest, ExportAndImportWriteTheSameBytesAsBefore) {
  RunFixture fixture;
  bench::WriteDistrict(fixture.orve.path(), fixture.work.path(), 1);
  ASSERT_TRUE(fixture.Export()) << fixture.host.errors.back();
  ASSERT_TRUE(fixture.Import()) << fixture.host.errors.back();
  for (const char* name : {"ASIGNOMT", "PROFT", "AULAT", "GRUPOST", "ASIGT", "DIASHORAST"}) {
    std::string got = testing::ReadFile(fixture.work / (std::string(name) + ".DBF"));
    std::string want = Golden(std::string(name) + ".DBF");
    BlankTableDate(got);
    BlankTableDate(want);
    EXPECT_EQ(FirstDifference(got, want), "") << name;
  }
  std::string got = testing::ReadFile(fixture.orve / "ORVE_HORARIO.TXT");
  std::string want = Golden("ORVE_HORARIO.TXT");
  BlankTimetableTimes(got);
  BlankTimetableTimes(want);
  EXPECT_EQ(FirstDifference(got, want), "");
}

}  // namespace
}  // namespace tto
