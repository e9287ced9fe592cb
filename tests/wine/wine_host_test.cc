// The window hosted the way the real host does it: a Windows program under
// Wine (test_host.exe) creates a window, starts TransTempexOrve.exe from the
// host's folder with a run mode and a window handle, waits on the process
// handle and reads "Tempario.ini" with GetPrivateProfileString.
//
// One fresh Wine prefix and one Xvfb serve every case of a run; the launcher
// goes into C:\Tempario with transtempexorve-cli install-host-launcher, as
// an integrator would put it there. Each case checks where the window sits
// (2, 2 from the client area of the handle handed over, in root
// coordinates), that the host's wait lasts until the window has closed,
// the value the host reads, that the rest of the ini file stays, and that
// no window of ours is left.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/x11_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tto::testing::Capture;
using tto::testing::OnPath;
using tto::testing::Process;
using tto::testing::ReadFile;

constexpr char kWindowTitle[] = "^Exportar e importar datos entre Tempario y ORVE$";
constexpr char kBoxTitle[] = "^transTempexOrve$";
constexpr char kIniBefore[] =
    "[Ventana]\r\nAncho=800\r\n[Transformadores]\r\nOtra=si\r\nTransformado=7\r\n"
    "[Final]\r\nClave=valor\r\n";

// Where the host runs: on the bare X server, under a window manager, or in
// Wine's virtual desktop.
enum class Desktop { kBare, kWindowManager, kVirtual };
// What the user does once the window is up.
enum class Action {
  kEnterAndBoxes,  // Enter, then Enter on every message box until the window closes
  kSalir,          // Alt+S, the "Salir" button
  kDestroyHost,    // the host destroys its window
  kRefusedHandle,  // the error box first; then the window on its own, closed with Alt+S
  kOnItsOwn,       // the window on its own, closed with Alt+S
  kReshapeHost,    // the host drops its menu bar and moves; then Alt+S
};

struct Case {
  const char* name;
  const char* mode;
  std::vector<std::string> host_flags;  // test_host.exe options
  const char* folder;                   // the host's current folder in drive_c
  Desktop desktop;
  Action action;
  const char* outcome;  // what the host reads; "7" when the ini is untouched
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Window ids with the title `pattern` that are mapped.
std::vector<std::string> Windows(const char* pattern) {
  std::istringstream found(
      Capture(std::string("xdotool search --onlyvisible --name ") + Quote(pattern) + " 2>/dev/null"));
  std::vector<std::string> ids;
  for (std::string id; std::getline(found, id);) {
    if (!id.empty()) ids.push_back(id);
  }
  return ids;
}

std::string WaitForWindow(const char* pattern, std::chrono::seconds timeout) {
  for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(50ms)) {
    if (auto ids = Windows(pattern); !ids.empty()) return ids.front();
  }
  return {};
}

// A window's upper-left corner in root coordinates.
std::pair<int, int> RootPosition(const std::string& id) {
  const std::string info = Capture("xwininfo -id " + id);
  auto value = [&](const std::string& key) {
    const std::size_t at = info.find(key);
    return at == std::string::npos ? -99999 : std::atoi(info.c_str() + at + key.size());
  };
  return {value("Absolute upper-left X:"), value("Absolute upper-left Y:")};
}

std::string ParentOf(const std::string& id) {
  const std::string tree = Capture("xwininfo -children -id " + id);
  const std::size_t at = tree.find("Parent window id: ");
  return at == std::string::npos ? "" : tree.substr(at + 18, tree.find(' ', at + 18) - at - 18);
}

// "key value" lines of the host's report.
std::map<std::string, std::string> ReadReport(const fs::path& path) {
  std::istringstream in(ReadFile(path));
  std::map<std::string, std::string> report;
  for (std::string line; std::getline(in, line);) {
    const std::size_t space = line.find(' ');
    if (space != std::string::npos) report[line.substr(0, space)] = line.substr(space + 1);
  }
  return report;
}

// The window's root position settles at (x, y) within a couple of seconds.
void ExpectAt(const std::string& window, int x, int y) {
  std::pair<int, int> at;
  for (int i = 0; i < 40; ++i, std::this_thread::sleep_for(50ms)) {
    at = RootPosition(window);
    if (at == std::pair(x, y)) break;
  }
  EXPECT_EQ(at, std::pair(x, y));
}

class WineHostTest : public testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    for (const char* tool :
         {"wine", "wineboot", "wineserver", "Xvfb", "xdotool", "xwininfo", "import"}) {
      if (!OnPath(tool)) {
        skip_ = std::string("Wine test skipped: ") + tool + " is not installed";
        return;
      }
    }
    if (std::string(TTO_HOST_LAUNCHER_EXE).empty()) {
      skip_ = "Wine test skipped: the launcher was not built (no x86_64-w64-mingw32-g++)";
      return;
    }
    dir_ = fs::temp_directory_path() / ("wine_host_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    xvfb_ = tto::testing::StartXvfb("1024x768x24");
    if (xvfb_ == nullptr) {
      failure_ = "Xvfb did not start";
      return;
    }
    display_ = std::getenv("DISPLAY");
    ::setenv("WINEPREFIX", (dir_ / "prefix").c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    // The program started by Wine inherits this environment; it must find
    // the X server, not the offscreen platform of the other window tests.
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("TRANSTEMPEXORVE_WORK_FOLDER");

    const auto start = Clock::now();
    Process boot({"wineboot", "-i"}, dir_);
    if (!boot.WaitForExit(120s)) {
      failure_ = "wineboot -i did not finish";
      return;
    }
    std::printf("[ timing ] fresh Wine prefix: %lld ms\n",
                static_cast<long long>((Clock::now() - start) / 1ms));
    const fs::path c = drive_c();
    for (const char* sub : {"Tempario", "ZWORK", "host", "vacia", "escuela", "datos orve"}) {
      fs::create_directories(c / sub);
    }
    fs::copy_file(TTO_TEST_HOST_EXE, c / "host" / "test_host.exe");
    const std::string installed =
        Capture(std::string(TTO_CLI) + " install-host-launcher 'C:\\Tempario' 2>&1");
    if (!fs::exists(c / "Tempario" / "TransTempexOrve.exe")) {
      failure_ = "install-host-launcher failed: " + installed;
      return;
    }
    // The sample school, exported once, with Tempario's timetable beside the
    // tables, for the import case.
    for (const auto& file : fs::directory_iterator(fs::path(TTO_SOURCE_DIR) / "examples" / "orve")) {
      fs::copy_file(file.path(), c / "escuela" / file.path().filename());
    }
    Capture(std::string(TTO_CLI) + " export " + Quote((c / "escuela").string()) +
            " --work-folder " + Quote((c / "ZWORK").string()) + " >/dev/null");
    fs::copy_file(fs::path(TTO_SOURCE_DIR) / "examples" / "tempario" / "SOLUC.DBF",
                  c / "ZWORK" / "SOLUC.DBF");
  }

  static void TearDownTestSuite() {
    if (!dir_.empty() && fs::exists(dir_ / "prefix")) {
      Process kill({"wineserver", "-k"});
      kill.WaitForExit(20s);
    }
    xvfb_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    ASSERT_TRUE(failure_.empty()) << failure_;
  }

  // A case that failed half-way may leave the host and the window behind;
  // the next case starts without them (the window writes the ini file as it
  // goes).
  void TearDown() override {
    if (!HasFailure()) return;
    Process kill({"wineserver", "-k"});
    kill.WaitForExit(20s);
    for (int i = 0; i < 200 && !(Windows(kWindowTitle).empty() && Windows(kBoxTitle).empty());
         ++i) {
      std::this_thread::sleep_for(50ms);
    }
  }

  static fs::path drive_c() { return dir_ / "prefix" / "drive_c"; }

  static std::string skip_, failure_, display_;
  static fs::path dir_;
  static std::unique_ptr<Process> xvfb_;
};

std::string WineHostTest::skip_, WineHostTest::failure_, WineHostTest::display_;
fs::path WineHostTest::dir_;
std::unique_ptr<Process> WineHostTest::xvfb_;

TEST_P(WineHostTest, HostWaitsForTheWindowAndReadsTheOutcome) {
  const Case& c = GetParam();
  const auto case_start = Clock::now();
  const fs::path ini = drive_c() / "Tempario" / "Tempario.ini";
  const fs::path here = drive_c() / c.folder;
  {
    std::ofstream(ini, std::ios::binary) << kIniBefore;
  }
  fs::remove(here / "host.txt");
  fs::remove(here / "destroy");
  fs::remove(here / "ORVE_HORARIO.TXT");

  std::unique_ptr<Process> window_manager;
  if (c.desktop == Desktop::kWindowManager) {
    window_manager = std::make_unique<Process>(std::vector<std::string>{"openbox"});
    std::this_thread::sleep_for(500ms);
  }
  std::vector<std::string> argv = {"wine"};
  if (c.desktop == Desktop::kVirtual) argv.insert(argv.end(), {"explorer", "/desktop=tto,960x640"});
  argv.insert(argv.end(), {"C:\\host\\test_host.exe", "C:\\Tempario\\TransTempexOrve.exe", c.mode});
  argv.insert(argv.end(), c.host_flags.begin(), c.host_flags.end());
  Process host(argv, here);
  ASSERT_TRUE(host.started());

  const auto host_ended = [&] { return ReadReport(here / "host.txt").count("waited") > 0; };
  if (c.action == Action::kRefusedHandle) {
    const std::string box = WaitForWindow(kBoxTitle, 40s);
    ASSERT_FALSE(box.empty()) << "no error box";
    Capture("xdotool windowfocus --sync " + box + " key Return 2>/dev/null");
  }
  const std::string window = WaitForWindow(kWindowTitle, 40s);
  ASSERT_FALSE(window.empty()) << "the window did not appear";
  const auto seen = Clock::now();
  std::printf("[ timing ] %s: window up after %lld ms\n", c.name,
              static_cast<long long>((seen - case_start) / 1ms));

  const auto report = ReadReport(here / "host.txt");
  ASSERT_EQ(report.count("client"), 1u) << ReadFile(here / "host.txt");
  const bool on_its_own = c.action == Action::kRefusedHandle || c.action == Action::kOnItsOwn;
  if (on_its_own) {
    // On its own: a top-level window, not inside any window of the host.
    const std::string root = Capture("xwininfo -root");
    const std::size_t at = root.find("Window id: ") + 11;
    EXPECT_EQ(ParentOf(window), root.substr(at, root.find(' ', at) - at));
  } else {
    int client_x = 0, client_y = 0;
    std::sscanf(report.at("client").c_str(), "%d %d", &client_x, &client_y);
    std::pair<int, int> screen_origin{0, 0};
    if (c.desktop == Desktop::kVirtual) {
      const std::string desktop = WaitForWindow("Wine desktop$", 5s);
      ASSERT_FALSE(desktop.empty());
      screen_origin = RootPosition(desktop);
    }
    ExpectAt(window, screen_origin.first + client_x + 2, screen_origin.second + client_y + 2);
    if (c.action == Action::kReshapeHost) {
      std::ofstream(here / "reshape") << "\n";
      for (int i = 0; i < 100 && !ReadReport(here / "host.txt").count("reclient"); ++i) {
        std::this_thread::sleep_for(50ms);
      }
      std::sscanf(ReadReport(here / "host.txt")["reclient"].c_str(), "%d %d", &client_x,
                  &client_y);
      ExpectAt(window, screen_origin.first + client_x + 2, screen_origin.second + client_y + 2);
      // Wine repaints the host over the window; the window shows again
      // (the panels' gradients near their bottom edges, not the host's
      // white).
      std::this_thread::sleep_for(1500ms);
      for (const auto& [x, y] : {std::pair(22, 100), std::pair(300, 100), std::pair(500, 268)}) {
        const std::string pixel = Capture(
            "import -window root -crop 1x1+" + std::to_string(screen_origin.first + client_x + 2 + x) +
            "+" + std::to_string(screen_origin.second + client_y + 2 + y) + " -depth 8 txt:-");
        EXPECT_EQ(pixel.find("#FFFFFF"), std::string::npos) << x << "," << y << ": " << pixel;
      }
    }
  }
  EXPECT_FALSE(host_ended()) << "the host stopped waiting while the window is open";

  // The user (or the host) ends it.
  if (c.action == Action::kDestroyHost) {
    std::ofstream(here / "destroy") << "\n";
  } else {
    Capture("xdotool windowfocus --sync " + window + " 2>/dev/null");
    std::this_thread::sleep_for(200ms);
    Capture(std::string("xdotool key ") +
            (c.action == Action::kEnterAndBoxes ? "Return" : "alt+s") + " 2>/dev/null");
  }
  auto gone = Clock::now();
  bool window_open = true;
  for (auto end = Clock::now() + 45s; Clock::now() < end && !host_ended();
       std::this_thread::sleep_for(50ms)) {
    if (window_open && Windows(kWindowTitle).empty()) {
      window_open = false;
      gone = Clock::now();
    }
    if (c.action == Action::kEnterAndBoxes) {
      for (const std::string& box : Windows(kBoxTitle)) {
        Capture("xdotool windowfocus --sync " + box + " key Return 2>/dev/null");
      }
    }
  }
  ASSERT_TRUE(host_ended()) << "the host is still waiting";
  const auto result = ReadReport(here / "host.txt");
  std::printf("[ timing ] %s: whole case %lld ms\n", c.name,
              static_cast<long long>((Clock::now() - case_start) / 1ms));

  // The wait lasted at least as long as the window was up.
  EXPECT_GE(std::stoll(result.at("waited")), (gone - seen) / 1ms - 100) << c.name;
  EXPECT_EQ(result.at("exit"), "0");
  EXPECT_EQ(result.at("outcome"), c.outcome);
  const std::string after = ReadFile(ini);
  if (std::string(c.outcome) == "7") {
    EXPECT_EQ(after, kIniBefore);
  } else {
    EXPECT_EQ(after, std::string(kIniBefore).replace(std::string(kIniBefore).find("=7"), 2,
                                                      std::string("=") + c.outcome));
  }
  EXPECT_EQ(fs::exists(here / "ORVE_HORARIO.TXT"), std::string(c.outcome) == "1");
  EXPECT_TRUE(Windows(kWindowTitle).empty() && Windows(kBoxTitle).empty())
      << "a window of ours is left";

  if (c.desktop == Desktop::kVirtual) {
    Process kill({"wineserver", "-k"});
    kill.WaitForExit(20s);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WineHostTest,
    testing::Values(
        Case{"export_empty_folder", "exportar", {}, "vacia", Desktop::kBare,
             Action::kEnterAndBoxes, "-1"},
        Case{"import_sample_school", "importar", {"--upper"}, "escuela", Desktop::kBare,
             Action::kEnterAndBoxes, "1"},
        Case{"salir_before_any_run", "ambos", {}, "vacia", Desktop::kBare, Action::kSalir, "0"},
        Case{"shell_execute_from_folder_with_space", "exportar", {"--shell"}, "datos orve",
             Desktop::kBare, Action::kSalir, "0"},
        Case{"child_control", "importar", {"--child"}, "vacia", Desktop::kBare, Action::kSalir,
             "0"},
        Case{"menu_bar_under_window_manager", "exportar", {"--menu"}, "vacia",
             Desktop::kWindowManager, Action::kSalir, "0"},
        Case{"host_window_destroyed", "exportar", {}, "vacia", Desktop::kBare,
             Action::kDestroyHost, "0"},
        Case{"handle_not_hexadecimal", "exportar", {"--handle", "0x2006C"}, "vacia",
             Desktop::kBare, Action::kRefusedHandle, "7"},
        Case{"handle_of_no_window", "exportar", {"--handle", "7FFFFF0"}, "vacia", Desktop::kBare,
             Action::kRefusedHandle, "7"},
        Case{"one_parameter", "exportar", {"--no-handle"}, "vacia", Desktop::kBare,
             Action::kOnItsOwn, "7"},
        Case{"host_drops_its_menu_bar_and_moves", "exportar", {"--menu"}, "vacia",
             Desktop::kBare, Action::kReshapeHost, "0"},
        Case{"virtual_desktop_with_menu_bar", "exportar", {"--menu"}, "vacia", Desktop::kVirtual,
             Action::kSalir, "0"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
