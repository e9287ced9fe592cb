// The window on a desktop as school staff meet it: its own X server (Xvfb,
// 1280x800) with a window manager (openbox), the real program, the keyboard
// through xdotool and the screen's pixels read back. Skips when one of the
// tools is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/dbf/table.h"
#include "tests/shell/x11_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tto::testing::Capture;
using tto::testing::OnPath;
using tto::testing::Process;
using tto::testing::StartXvfb;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;
constexpr char kMainWindowName[] = "^Exportar e importar datos entre Tempario y ORVE$";
constexpr char kBoxName[] = "^transTempexOrve$";

struct Rect {
  int x, y, width, height;
};

// The pixels of a part of the screen, 0xRRGGBB each.
using Pixels = std::vector<uint32_t>;

class DesktopTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "openbox", "xdotool"}) {
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    dir_ = fs::temp_directory_path() / ("desktop_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    for (const char* sub : {"orve", "zwork"}) fs::create_directories(dir_ / sub);

    xvfb_ = StartXvfb(std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24");
    ASSERT_NE(xvfb_, nullptr) << "Xvfb did not start";
    connection_ = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection_), 0);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;

    window_manager_ = std::make_unique<Process>(std::vector<std::string>{"openbox"});
    ASSERT_TRUE(Eventually([&] { return Property(root_, "_NET_SUPPORTING_WM_CHECK") != 0; }))
        << "openbox did not start";
  }

  void TearDown() override {
    program_.reset();
    window_manager_.reset();
    if (connection_ != nullptr) xcb_disconnect(connection_);
    xvfb_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  static bool Eventually(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout = 15s) {
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(50ms)) {
      if (condition()) return true;
    }
    return false;
  }

  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
  }

  // The first 32-bit value of a window property, 0 when it has none.
  uint32_t Property(xcb_window_t window, const char* name) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, Atom(name), XCB_ATOM_ANY, 0, 1), nullptr);
    uint32_t value = 0;
    if (reply != nullptr && xcb_get_property_value_length(reply) >= 4) {
      value = *static_cast<const uint32_t*>(xcb_get_property_value(reply));
    }
    std::free(reply);
    return value;
  }

  // Starts the program from the build folder, beside its help module and
  // help file, in the ORVE folder.
  void StartProgram(const std::vector<std::string>& environment = {}) {
    std::vector<std::string> env = environment;
    env.push_back("TRANSTEMPEXORVE_WORK_FOLDER=" + (dir_ / "zwork").string());
    env.push_back("QT_QPA_PLATFORM=xcb");
    program_ = std::make_unique<Process>(std::vector<std::string>{TTO_WINDOW}, dir_ / "orve", env);
    ASSERT_TRUE(program_->started());
    ASSERT_NE(main_ = WaitForWindow(kMainWindowName), 0u) << "the window did not open";
    Capture("xdotool windowactivate --sync " + std::to_string(main_) + " 2>/dev/null");
    std::this_thread::sleep_for(300ms);
  }

  // The first visible window whose name matches, 0 when there is none
  // (WaitForWindow: none shows in time).
  static xcb_window_t FindWindow(const std::string& pattern) {
    const std::string found =
        Capture("xdotool search --onlyvisible --name '" + pattern + "' 2>/dev/null");
    return found.empty() ? 0 : static_cast<xcb_window_t>(std::stoul(found));
  }
  static xcb_window_t WaitForWindow(const std::string& pattern,
                                    std::chrono::milliseconds timeout = 15s) {
    xcb_window_t window = 0;
    Eventually([&] { return (window = FindWindow(pattern)) != 0; }, timeout);
    return window;
  }

  static void Key(xcb_window_t window, const std::string& key) {
    Capture("xdotool windowfocus --sync " + std::to_string(window) + " key " + key +
            " 2>/dev/null");
  }

  // Where a window is on the screen, its window manager's frame left out or
  // (`with_frame`) included.
  Rect ScreenRect(xcb_window_t window, bool with_frame = false) {
    if (with_frame) {
      // The frame is the window's ancestor just below the root.
      for (;;) {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
        if (tree == nullptr) break;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == root_ || parent == XCB_WINDOW_NONE) break;
        window = parent;
      }
    }
    Rect rect{};
    if (xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr)) {
      rect.width = geometry->width + 2 * geometry->border_width;
      rect.height = geometry->height + 2 * geometry->border_width;
      std::free(geometry);
    }
    if (xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
            connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr)) {
      rect.x = at->dst_x;
      rect.y = at->dst_y;
      std::free(at);
    }
    return rect;
  }

  Pixels Grab(const Rect& rect) {
    Pixels pixels;
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(rect.x),
                      int16_t(rect.y), uint16_t(rect.width), uint16_t(rect.height), ~0u),
        nullptr);
    if (image != nullptr) {
      const auto* data = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
      pixels.assign(data, data + xcb_get_image_data_length(image) / 4);
      for (uint32_t& p : pixels) p &= 0xFFFFFF;
      std::free(image);
    }
    return pixels;
  }

  // Saves the screen for a person to look at, when DESKTOP_TEST_SCREENSHOTS
  // names a folder.
  static void Screenshot(const std::string& name) {
    if (const char* folder = std::getenv("DESKTOP_TEST_SCREENSHOTS")) {
      Capture("import -window root '" + std::string(folder) + "/" + name + ".png' 2>/dev/null");
    }
  }

  fs::path dir_;
  std::unique_ptr<Process> xvfb_;
  std::unique_ptr<Process> window_manager_;
  std::unique_ptr<Process> program_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_window_t main_ = 0;
};

// Both run buttons are default buttons; the focus frame alone tells which of
// them Enter acts on.
TEST_F(DesktopTest, TabMovesAVisibleFocusBetweenTheRunButtons) {
  StartProgram();
  const Rect window = ScreenRect(main_);
  const Rect export_button{window.x + 88, window.y + 72, 89, 25};
  const Rect import_button{window.x + 289 + 96, window.y + 72, 89, 25};
  const Pixels export_before = Grab(export_button);
  const Pixels import_before = Grab(import_button);
  Screenshot("focus_on_export");
  Key(main_, "Tab");
  std::this_thread::sleep_for(300ms);
  Screenshot("focus_on_import");
  EXPECT_NE(Grab(export_button), export_before) << "the export button still looks focused";
  EXPECT_NE(Grab(import_button), import_before) << "the import button does not look focused";
  Key(main_, "shift+Tab");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Grab(export_button), export_before);
  EXPECT_EQ(Grab(import_button), import_before);
}

// At a scale of 1.5 or 2 the help window's usual size is larger than the
// screen; it opens smaller, frame and all on the screen.
TEST_F(DesktopTest, HelpWindowFitsTheScreenAtEveryScale) {
  for (const char* scale : {"1.5", "2"}) {
    SCOPED_TRACE(scale);
    StartProgram({std::string("QT_SCALE_FACTOR=") + scale});
    Key(main_, "F1");
    const xcb_window_t help = WaitForWindow("^Ayuda");
    ASSERT_NE(help, 0u) << "F1 showed no help window";
    std::this_thread::sleep_for(500ms);
    Screenshot(std::string("help_at_") + scale);
    const Rect frame = ScreenRect(help, true);
    EXPECT_GE(frame.x, 0);
    EXPECT_GE(frame.y, 0);
    EXPECT_LE(frame.x + frame.width, kScreenWidth);
    EXPECT_LE(frame.y + frame.height, kScreenHeight);
    program_.reset();
  }
}

// A message box belongs to the window: minimising it takes the window along
// (a box minimised alone would leave the window refusing every click), and
// the window brings it back.
TEST_F(DesktopTest, MessageBoxesGoWithTheWindow) {
  StartProgram();
  Key(main_, "Return");  // an export over the empty folder: its first message
  const xcb_window_t box = WaitForWindow(kBoxName);
  ASSERT_NE(box, 0u);
  EXPECT_EQ(Property(box, "WM_TRANSIENT_FOR"), main_);
  Screenshot("message_box");
  const xcb_atom_t iconic_state = 3;
  Capture("xdotool windowminimize --sync " + std::to_string(box) + " 2>/dev/null");
  EXPECT_TRUE(Eventually([&] { return Property(main_, "WM_STATE") == iconic_state; }, 5s))
      << "the window stayed on the screen without its box";
  Capture("xdotool windowactivate --sync " + std::to_string(main_) + " 2>/dev/null");
  EXPECT_TRUE(Eventually([&] { return FindWindow(kBoxName) == box; }, 5s))
      << "the box did not come back with the window";
}

// ---------------------------------------------------------------------------
// A district's timetable: the tables of an export run and a SOLUC of many
// lessons, so that an import takes seconds.

void WriteTable(const fs::path& folder, const char* name, const std::vector<tto::dbf::FieldDef>& fields,
                int rows, const std::function<std::vector<std::string>(int)>& row) {
  tto::dbf::Table table = tto::dbf::Table::Recreate(folder, name, fields);
  for (int r = 0; r < rows; ++r) {
    table.Append();
    const std::vector<std::string> values = row(r);
    for (std::size_t f = 0; f < fields.size(); ++f) table.SetText(fields[f].name, values[f]);
    table.Post();
  }
  table.Close();
}

// Returns the number of lessons.
int WriteDistrictTimetable(const fs::path& orve, const fs::path& work, int groups) {
  // The subjects file, whose header the timetable file copies.
  std::ofstream(orve / "orve_asignat.txt", std::ios::binary)
      << "0ORVE_ASIGNAT.TXT                                  46012345\r\n"
      << "9ORVE_ASIGNAT.TXT\r\n";
  using tto::dbf::FieldDef;
  using tto::dbf::FieldType;
  const int subjects = groups / 2;
  const int rooms = groups / 10;
  const int teachers = groups / 5;
  constexpr int kDays = 5;
  constexpr int kPeriods = 6;
  auto text = [](const char* prefix, int n) { return prefix + std::to_string(n); };
  WriteTable(work, "ASIGNOMT",
             {{"COD", FieldType::kString, 10},
              {"CODTAREA", FieldType::kString, 10},
              {"CODORVE", FieldType::kString, 20},
              {"CODIDIORVE", FieldType::kString, 10}},
             subjects, [&](int s) {
               return std::vector<std::string>{text("S", s), "", text("A", s), ""};
             });
  WriteTable(work, "GRUPOST", {{"ABREV", FieldType::kString, 10}, {"MARCO", FieldType::kString, 1}},
             groups, [&](int g) { return std::vector<std::string>{text("G", g), "0"}; });
  WriteTable(work, "AULAT", {{"ABREV", FieldType::kString, 10}}, rooms,
             [&](int r) { return std::vector<std::string>{text("R", r)}; });
  WriteTable(work, "PROFT", {{"ABREV", FieldType::kString, 10}}, teachers,
             [&](int t) { return std::vector<std::string>{text("P", t)}; });
  WriteTable(work, "DIASHORAST",
             {{"DIA", FieldType::kString, 20},
              {"HORA", FieldType::kString, 8},
              {"MARCO", FieldType::kString, 1},
              {"CODDIHO", FieldType::kString, 10}},
             kDays * kPeriods, [&](int i) {
               return std::vector<std::string>{std::to_string(i / kPeriods + 1),
                                               std::to_string(i % kPeriods + 1), "0",
                                               text("T", i)};
             });
  const int lessons = groups * kDays * kPeriods;
  WriteTable(work, "SOLUC",
             {{"DIA", FieldType::kInteger, 0},
              {"HORA", FieldType::kString, 2},
              {"MARCO", FieldType::kString, 2},
              {"PROF", FieldType::kString, 10},
              {"CODGRUPO", FieldType::kString, 12},
              {"TAREA", FieldType::kString, 10},
              {"ASIG", FieldType::kString, 24},
              {"AULA", FieldType::kString, 12}},
             lessons, [&](int l) {
               const int slot = l % (kDays * kPeriods);
               return std::vector<std::string>{
                   std::to_string(slot / kPeriods + 1), std::to_string(slot % kPeriods + 1), "0",
                   text("P", l % teachers), text("G", l / (kDays * kPeriods)), "",
                   text("S", (l * 7) % subjects), text("R", l % rooms)};
             });
  return lessons;
}

// During a long import the window stays alive: an area that another window
// uncovers is drawn again at once, and a close request waits for the run's
// end, then closes the window.
TEST_F(DesktopTest, LongImportRepaintsAndClosesAtItsEnd) {
  const int lessons = WriteDistrictTimetable(dir_ / "orve", dir_ / "zwork", 20000);
  // The test holds the work folder's run lock, which the run waits for (up
  // to five seconds) once it has started: the window is tested while a run
  // is under way however fast the import itself is.
  const int run_lock = ::open((dir_ / "zwork" / ".transtempexorve.lock").c_str(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(run_lock, 0);
  ASSERT_EQ(::flock(run_lock, LOCK_EX), 0);
  StartProgram();
  const Rect window = ScreenRect(main_);
  Key(main_, "Tab");  // to the import button
  std::this_thread::sleep_for(300ms);
  const Pixels before = Grab(window);
  Screenshot("before_import");

  Key(main_, "Return");
  std::this_thread::sleep_for(200ms);
  const auto covered_at = Clock::now();
  // A window of another program passes over ours and goes.
  const xcb_window_t cover = xcb_generate_id(connection_);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  const uint32_t values[] = {0xFF00FF, 1};
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, cover, root_, int16_t(window.x),
                    int16_t(window.y), uint16_t(window.width), uint16_t(window.height), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(connection_, cover);
  xcb_flush(connection_);
  std::this_thread::sleep_for(200ms);
  xcb_destroy_window(connection_, cover);
  xcb_flush(connection_);
  // Drawn again within a fraction of a second; a window whose run held its
  // thread would keep the other window's ghost until the run's end.
  Pixels after;
  const bool drawn = Eventually([&] { return (after = Grab(window)) == before; }, 1500ms);
  Screenshot("during_import");
  if (FindWindow(kBoxName) != 0) ::close(run_lock);
  ASSERT_EQ(FindWindow(kBoxName), 0u)
      << "the import ended within " << (Clock::now() - covered_at) / 1ms
      << " ms, before the window could be tested during it";
  std::size_t ghost = 0;
  for (uint32_t p : after) ghost += p == 0xFF00FF;
  EXPECT_TRUE(drawn) << ghost << " pixels of the other window were left on ours during the run";

  // The window manager asks the window to close, as its close button does.
  xcb_client_message_event_t close{};
  close.response_type = XCB_CLIENT_MESSAGE;
  close.format = 32;
  close.window = main_;
  close.type = Atom("_NET_CLOSE_WINDOW");
  xcb_send_event(connection_, 0, root_,
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&close));
  xcb_flush(connection_);
  std::this_thread::sleep_for(300ms);
  ::close(run_lock);  // the run goes on

  const xcb_window_t box = WaitForWindow(kBoxName, 120s);
  ASSERT_NE(box, 0u) << "the run did not end";
  EXPECT_NE(FindWindow(kMainWindowName), 0u) << "the window closed before the run's end";
  std::this_thread::sleep_for(300ms);
  Screenshot("import_finished");
  Key(box, "Return");
  EXPECT_TRUE(program_->WaitForExit(10s)) << "the window stayed open after the run";

  std::ifstream timetable(dir_ / "orve" / "ORVE_HORARIO.TXT", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(timetable), {}};
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, std::size_t(lessons) + 2);
}

// Hosted, the host's window going away during a run cuts nothing: the run
// goes on to its end, and the outcome is written then.
TEST_F(DesktopTest, HostGoingAwayDuringARunWritesTheOutcomeAtItsEnd) {
  WriteDistrictTimetable(dir_ / "orve", dir_ / "zwork", 20000);
  // A copy of the program, so that its ini file lands beside the copy.
  const fs::path program = dir_ / "bin" / "transtempexorve";
  fs::create_directories(program.parent_path());
  fs::copy_file(TTO_WINDOW, program);

  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  const xcb_window_t host = xcb_generate_id(connection_);
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, host, root_, 50, 50, 700, 400, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  xcb_map_window(connection_, host);
  xcb_flush(connection_);
  char handle[16];
  std::snprintf(handle, sizeof handle, "%x", host);
  program_ = std::make_unique<Process>(
      std::vector<std::string>{program.string(), "importar", handle}, dir_ / "orve",
      std::vector<std::string>{"TRANSTEMPEXORVE_WORK_FOLDER=" + (dir_ / "zwork").string(),
                               "QT_QPA_PLATFORM=xcb"});
  xcb_window_t child = 0;
  ASSERT_TRUE(Eventually([&] {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, host), nullptr);
    if (tree != nullptr && xcb_query_tree_children_length(tree) > 0) {
      child = xcb_query_tree_children(tree)[0];
    }
    std::free(tree);
    return child != 0;
  })) << "the window did not go into the host";
  std::this_thread::sleep_for(500ms);

  // The run waits for the work folder's lock while the test holds it.
  const int run_lock = ::open((dir_ / "zwork" / ".transtempexorve.lock").c_str(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(run_lock, 0);
  ASSERT_EQ(::flock(run_lock, LOCK_EX), 0);
  Key(child, "Return");  // the import button
  std::this_thread::sleep_for(300ms);
  if (FindWindow(kBoxName) != 0) ::close(run_lock);
  ASSERT_EQ(FindWindow(kBoxName), 0u) << "the import ended before the host could go";
  xcb_destroy_window(connection_, host);
  xcb_flush(connection_);
  std::this_thread::sleep_for(300ms);
  ::close(run_lock);  // the run goes on

  const xcb_window_t box = WaitForWindow(kBoxName, 120s);
  ASSERT_NE(box, 0u) << "the run did not end";
  EXPECT_FALSE(fs::exists(program.parent_path() / "Tempario.ini")) << "written before the run's end";
  Key(box, "Return");
  EXPECT_TRUE(program_->WaitForExit(10s)) << "the program went on after the run";
  std::ifstream ini(program.parent_path() / "Tempario.ini", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(ini), {}),
            "[Transformadores]\r\nTransformado=1\r\n");
}

}  // namespace
