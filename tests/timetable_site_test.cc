// The timetable pages: the sample school's week with clashes put in, read
// back from what a real browser renders, and the index's list of clashes;
// the flat lessons file; a generated district.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "bench/district.h"
#include "tests/test_support.h"
#include "timetable/site.h"
#include "timetable/timetable.h"

namespace tto {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;

constexpr char kChromium[] = "/usr/bin/chromium";

// The page at `path` as headless Chromium renders it, serialized.
std::string RenderedDom(const fs::path& path) {
  const TempDir profile;
  return RunCommand(std::string(kChromium) +
                    " --headless --no-sandbox --disable-gpu --no-first-run"
                    " --disable-background-networking --disable-component-update --disable-sync"
                    " --user-data-dir='" + profile.path().string() + "' --dump-dom 'file://" +
                    path.string() + "' 2>/dev/null");
}

// The grid of a page's DOM: for each row, the period's header text, then for
// each day the subjects of its lessons joined by "/", and whether the cell
// is marked as a clash ("!") or as parallel lessons ("=").
std::vector<std::vector<std::string>> GridOf(const std::string& dom) {
  std::vector<std::vector<std::string>> grid;
  const auto start = dom.find("<tbody>"), end = dom.find("</tbody>");
  if (start == std::string::npos || end == std::string::npos) return grid;
  const std::string body = dom.substr(start, end - start);
  static const std::regex row_re("<tr>(.*?)</tr>"), head_re("<th>(.*?)<span>"),
      cell_re("<td( class=\"(\\w+)\")?>(.*?)</td>"), subject_re("class=\"asig\">([^<]*)<");
  for (auto r = std::sregex_iterator(body.begin(), body.end(), row_re); r != std::sregex_iterator(); ++r) {
    const std::string row = (*r)[1];
    std::smatch head;
    std::vector<std::string> cells = {std::regex_search(row, head, head_re) ? head[1].str() : "?"};
    for (auto c = std::sregex_iterator(row.begin(), row.end(), cell_re); c != std::sregex_iterator(); ++c) {
      const std::string kind = (*c)[2], inner = (*c)[3];
      std::string text = kind == "choque" ? "!" : kind == "paralelo" ? "=" : "";
      bool first = true;
      for (auto s = std::sregex_iterator(inner.begin(), inner.end(), subject_re); s != std::sregex_iterator(); ++s) {
        text += (first ? "" : "/") + (*s)[1].str();
        first = false;
      }
      cells.push_back(text);
    }
    grid.push_back(cells);
  }
  return grid;
}

// The index's clashes as "kind code: slots".
std::set<std::string> ClashesOf(const std::string& index) {
  std::set<std::string> clashes;
  static const std::regex table_re("<table class=\"choques\" id=\"choques-(\\w+)-\">([\\s\\S]*?)</table>"),
      row_re("<tr><td><a href=\"[^\"]*\">([^<]*)</a></td><td>[^<]*</td><td>([^<]*)</td></tr>");
  for (auto t = std::sregex_iterator(index.begin(), index.end(), table_re); t != std::sregex_iterator(); ++t) {
    const std::string kind = (*t)[1], rows = (*t)[2];
    for (auto r = std::sregex_iterator(rows.begin(), rows.end(), row_re); r != std::sregex_iterator(); ++r) {
      clashes.insert(kind + " " + (*r)[1].str() + ": " + (*r)[2].str());
    }
  }
  return clashes;
}

class TimetableSite : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path source = TTO_SOURCE_DIR;
    fs::copy(source / "examples/orve", orve_.path(), fs::copy_options::recursive);
    ASSERT_EQ(testing::RunCommand(std::string(TTO_CLI) + " export '" + orve_.path().string() +
                                  "' --work-folder '" + work_.path().string() + "' >/dev/null"),
              "");
    fs::copy_file(source / "examples/tempario/SOLUC.DBF", work_ / "SOLUC.DBF");
  }
  int Timetable(const std::string& options) {
    int status = 0;
    RunCommand(std::string(TTO_CLI) + " timetable '" + orve_.path().string() + "' --work-folder '" +
                   work_.path().string() + "' " + options + " >/dev/null 2>&1",
               &status);
    return status;
  }
  // The page of `code` as the index links it.
  fs::path PageOf(const std::string& code) {
    const std::string index = ReadFile(site_ / "index.html");
    const std::regex link("<li><a href=\"([^\"]+)\">" + code + "</a>");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(index, m, link)) << code;
    return site_.path() / m[1].str();
  }
  TempDir orve_, work_, site_;
};

TEST_F(TimetableSite, GroupPageInTheBrowserShowsTheWeekAndItsClashes) {
  if (!fs::exists(kChromium)) GTEST_SKIP() << "no Chromium";
  testing::AppendLessons(
      work_.path(),
      {
          // PGM twice on Monday 1st; A203 twice.
          {.day = 1, .teacher = "PGM", .group = "2BACHA", .subject = "LCL", .room = "A203"},
          // A subject that 1ESOA does not take.
          {.day = 1, .teacher = "VPN", .group = "1ESOA", .subject = "FIL", .room = "A102"},
          // MAT twice for 1ESOA, in a room that AULAT lacks.
          {.day = 2, .teacher = "SMC", .group = "1ESOA", .subject = "MAT", .room = "<A&B>"},
          // One class for two groups: no clash.
          {.day = 3, .period = 2, .teacher = "TAP", .group = "1ESOB", .subject = "MUS",
           .room = "MUSICA"},
          // A101 twice on Friday 1st.
          {.day = 5, .teacher = "SMC", .group = "1ESOB", .subject = "LCL", .room = "A101"},
      });
  ASSERT_EQ(Timetable("--html '" + site_.path().string() + "'"), 0);

  EXPECT_EQ(ClashesOf(ReadFile(site_ / "index.html")),
            (std::set<std::string>{
                "grupo 1ESOA: lunes 1\xc2\xaa (2), martes 1\xc2\xaa (2)",
                "profesor PGM: lunes 1\xc2\xaa (2)",
                "aula A101: viernes 1\xc2\xaa (2)",
                "aula A203: lunes 1\xc2\xaa (2)",
            }));

  const std::string dom = RenderedDom(PageOf("1ESOA"));
  const auto grid = GridOf(dom);
  ASSERT_EQ(grid.size(), 6u) << dom.substr(0, 2000);
  const std::vector<std::string> monday_to_friday_1st = {
      "1\xc2\xaa",
      "!Lengua Castellana y Literatura/Filosof\xc3\xad" "a",
      "!Matem\xc3\xa1ticas/Matem\xc3\xa1ticas",
      "Geograf\xc3\xad" "a e Historia",
      "Valenciano: Lengua y Literatura",
      "Primera Lengua Extranjera: Ingl\xc3\xa9s"};
  EXPECT_EQ(grid[0], monday_to_friday_1st);
  // Religion and its alternative at once: parallel, not a clash.
  EXPECT_EQ(grid[5][5], "=Religi\xc3\xb3n/Atenci\xc3\xb3n Educativa");
  EXPECT_NE(dom.find("<th>mi\xc3\xa9rcoles</th>"), std::string::npos);
  EXPECT_NE(dom.find("08:00-08:55"), std::string::npos);
  // The room's code is text, not markup, in the browser too.
  EXPECT_NE(dom.find("&lt;A&amp;B&gt;</a>"), std::string::npos);
  // No scripts, nothing fetched: the page as written has neither.
  const std::string page = ReadFile(PageOf("1ESOA"));
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos);
}

TEST_F(TimetableSite, LessonsFileHasEveryPlacedLessonWithItsNames) {
  const TempDir out;
  ASSERT_EQ(Timetable("--csv '" + (out / "clases.csv").string() + "'"), 0);
  const std::string csv = ReadFile(out / "clases.csv");
  EXPECT_TRUE(csv.starts_with("dia,nombre_dia,hora,desde_hasta,grupo,nombre_grupo,profesor,"));
  EXPECT_NE(csv.find("\r\n1,lunes,1,08:00-08:55,1ESOA,(1\xc2\xba ESO A M) M ESO 1 A,PGM,\"P\xc3\xa9rez "
                     "G\xc3\xb3mez, Mar\xc3\xad" "a Jos\xc3\xa9\",LCL,Lengua Castellana y Literatura,A101,"),
            std::string::npos)
      << csv.substr(0, 600);
  // 54 placed lessons; the meeting without a day is not one.
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 55);
  EXPECT_EQ(Timetable(""), 64);
}

TEST(TimetableDistrict, SmallDistrictGivesAPageForEveryoneWithLessons) {
  const TempDir orve, work, site;
  bench::WriteDistrict(orve.path(), work.path(), 1);
  RunCommand(std::string(TTO_CLI) + " export '" + orve.path().string() + "' --work-folder '" +
             work.path().string() + "' >/dev/null");
  const timetable::Week week = timetable::ReadWeek(work.path(), orve.path());
  timetable::WriteSite(week, site.path());
  std::size_t pages = 0, expected = 0;
  for (const auto& entry : fs::directory_iterator(site.path())) {
    pages += entry.path().extension() == ".html" && entry.path().filename() != "index.html";
    EXPECT_NE(entry.path().filename().string().front(), '.') << "a temporary file is left";
  }
  for (int k = 0; k < timetable::kKinds; ++k) {
    for (std::size_t who = 0; who < week.codes[k].size(); ++who) {
      expected += week.first[k][who] != week.first[k][who + 1];
    }
  }
  EXPECT_EQ(pages, expected);
  EXPECT_GT(pages, 100u);
  EXPECT_FALSE(week.clashes.empty());

  // A second site with fewer lessons replaces the first and leaves no page
  // of it behind.
  timetable::Week fewer = week;
  fewer.codes[timetable::kGroup] = {};
  for (auto& l : fewer.lessons) l.group = timetable::kNone;
  fewer.first[timetable::kGroup].assign(1, 0);
  fewer.lessons_of[timetable::kGroup].clear();
  std::erase_if(fewer.clashes, [](const timetable::Clash& c) { return c.kind == timetable::kGroup; });
  timetable::WriteSite(fewer, site.path());
  for (const auto& entry : fs::directory_iterator(site.path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("grupo-")) << entry.path();
  }
}

}  // namespace
}  // namespace tto
