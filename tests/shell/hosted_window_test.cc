// Hosted mode with a real X11 host: the test starts its own X server (Xvfb),
// creates a host window, starts the program with "exportar" and the host's
// handle, checks that the program's window sits in the host at (2, 2)
// without frame, presses Enter, dismisses the message boxes with the
// keyboard, waits for the program to end and reads the outcome from
// Tempario.ini beside the program. The program is copied into a temporary
// folder first, so that its ini file lands there.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/x11_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tto::testing::Capture;
using tto::testing::OnPath;
using tto::testing::Process;
using tto::testing::ReadFile;
using tto::testing::StartXvfb;

class HostedWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"}) {
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    dir_ = fs::temp_directory_path() / ("hosted_window_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    for (const char* sub : {"bin", "orve", "zwork"}) fs::create_directories(dir_ / sub);

    xvfb_ = StartXvfb("1024x768x24");
    ASSERT_NE(xvfb_, nullptr) << "Xvfb did not start";
    display_ = std::getenv("DISPLAY");
    connection_ = xcb_connect(display_.c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection_), 0);
  }

  void TearDown() override {
    if (connection_ != nullptr) xcb_disconnect(connection_);
    xvfb_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // A plain 700 x 400 top-level window, the host.
  xcb_window_t CreateHostWindow() {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const xcb_window_t window = xcb_generate_id(connection_);
    const uint32_t background = screen->white_pixel;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 50, 50, 700, 400, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      &background);
    xcb_map_window(connection_, window);
    xcb_flush(connection_);
    return window;
  }

  std::vector<xcb_window_t> Children(xcb_window_t window) {
    std::vector<xcb_window_t> children;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
    if (tree != nullptr) {
      const xcb_window_t* ids = xcb_query_tree_children(tree);
      children.assign(ids, ids + xcb_query_tree_children_length(tree));
      std::free(tree);
    }
    return children;
  }

  // Starts a copy of the program in hosted mode inside `host`, with an empty
  // ORVE folder as its current directory and an empty work folder.
  std::unique_ptr<Process> StartHosted(const std::string& mode, xcb_window_t host) {
    const fs::path program = dir_ / "bin" / "transtempexorve";
    fs::copy_file(TTO_WINDOW, program, fs::copy_options::overwrite_existing);
    char handle[16];
    std::snprintf(handle, sizeof handle, "%x", host);
    ::setenv("TRANSTEMPEXORVE_WORK_FOLDER", (dir_ / "zwork").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return std::make_unique<Process>(std::vector<std::string>{program.string(), mode, handle},
                                     dir_ / "orve");
  }

  // The program's window: the first mapped child of the host, 0 when none
  // appears within a few seconds.
  xcb_window_t WaitForChild(xcb_window_t host) {
    for (auto end = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms)) {
      for (xcb_window_t c : Children(host)) {
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, c), nullptr);
        const bool mapped =
            attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (mapped) return c;
      }
    }
    return 0;
  }

  fs::path dir_;
  std::string display_;
  std::unique_ptr<Process> xvfb_;
  xcb_connection_t* connection_ = nullptr;
};

TEST_F(HostedWindowTest, ExportInsideTheHostWindowWritesItsOutcome) {
  const xcb_window_t host = CreateHostWindow();
  std::unique_ptr<Process> app = StartHosted("exportar", host);
  ASSERT_TRUE(app->started());
  const xcb_window_t child = WaitForChild(host);
  ASSERT_NE(child, 0u) << "the program's window did not appear inside the host";
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, child), nullptr);
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->x, 2);
  EXPECT_EQ(geometry->y, 2);
  EXPECT_EQ(geometry->width, 599);
  EXPECT_EQ(geometry->height, 270);
  EXPECT_EQ(geometry->border_width, 0);
  std::free(geometry);
  // Without frame: the window asks for no decorations (Motif hints, the
  // property window managers read), so none would be put around it.
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, 15, "_MOTIF_WM_HINTS"), nullptr);
  ASSERT_NE(atom, nullptr);
  xcb_get_property_reply_t* hints = xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, child, atom->atom, XCB_ATOM_ANY, 0, 5),
      nullptr);
  std::free(atom);
  ASSERT_NE(hints, nullptr);
  ASSERT_EQ(xcb_get_property_value_length(hints), 20);
  const auto* motif = static_cast<const uint32_t*>(xcb_get_property_value(hints));
  EXPECT_TRUE(motif[0] & 2u) << "decorations not given";
  EXPECT_EQ(motif[2], 0u) << "decorations asked for";
  std::free(hints);

  // Enter clicks the export button; every message box is dismissed with
  // Enter too, until the run closes the window and the program ends.
  Capture("xdotool windowfocus --sync " + std::to_string(child) + " 2>/dev/null");
  std::this_thread::sleep_for(300ms);
  Capture("xdotool key Return");
  int boxes = 0;
  bool ended = false;
  for (auto end = std::chrono::steady_clock::now() + 30s;
       !ended && std::chrono::steady_clock::now() < end;) {
    const std::string found =
        Capture("xdotool search --onlyvisible --name '^transTempexOrve$' 2>/dev/null");
    if (!found.empty()) {
      const std::string box = found.substr(0, found.find('\n'));
      Capture("xdotool windowfocus --sync " + box + " key Return 2>/dev/null");
      ++boxes;
      // Wait until that box has gone, so one Enter dismisses one box.
      for (int i = 0; i < 100 && Capture("xdotool search --onlyvisible --name "
                                         "'^transTempexOrve$' 2>/dev/null")
                                         .find(box + "\n") != std::string::npos;
           ++i) {
        std::this_thread::sleep_for(20ms);
      }
    }
    ended = app->WaitForExit(100ms);
  }
  ASSERT_TRUE(ended) << "the program did not end after " << boxes << " message boxes";
  // Six missing files and "Proceso finalizado" at the least.
  EXPECT_GE(boxes, 7);
  EXPECT_EQ(ReadFile(dir_ / "bin" / "Tempario.ini"), "[Transformadores]\r\nTransformado=-1\r\n");
}

// Started by the Windows-side launcher, the program takes the ini file and
// the place of the host's client area from it: the window sits at (2, 2) of
// that client area, follows it when the launcher rewrites the place, and the
// outcome goes into the launcher's ini file, not beside the program.
TEST_F(HostedWindowTest, LauncherPlacesTheWindowInTheClientAreaAndNamesTheIniFile) {
  const xcb_window_t host = CreateHostWindow();  // at (50, 50) of the root
  fs::create_directories(dir_ / "launcher");
  const fs::path place = dir_ / "launcher" / "client.place";
  std::ofstream(place) << "60 69 0\n";  // a menu bar of 19 pixels and a border of 10
  ::setenv("TRANSTEMPEXORVE_INI_FILE", (dir_ / "launcher" / "Tempario.ini").c_str(), 1);
  ::setenv("TRANSTEMPEXORVE_HOST_CLIENT", place.c_str(), 1);
  std::unique_ptr<Process> app = StartHosted("exportar", host);
  ::unsetenv("TRANSTEMPEXORVE_INI_FILE");
  ::unsetenv("TRANSTEMPEXORVE_HOST_CLIENT");
  ASSERT_TRUE(app->started());
  const xcb_window_t child = WaitForChild(host);
  ASSERT_NE(child, 0u);
  const auto position = [&] {
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, child), nullptr);
    const std::pair<int, int> at{geometry ? geometry->x : -1, geometry ? geometry->y : -1};
    std::free(geometry);
    return at;
  };
  EXPECT_EQ(position(), std::pair(12, 21));
  // The launcher replaces the file when the client area moves.
  std::ofstream(dir_ / "launcher" / "next") << "50 50 0\n";
  fs::rename(dir_ / "launcher" / "next", place);
  std::pair<int, int> at;
  for (int i = 0; i < 100 && (at = position()) != std::pair(2, 2); ++i) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(at, std::pair(2, 2));

  Capture("xdotool windowfocus --sync " + std::to_string(child) + " 2>/dev/null");
  std::this_thread::sleep_for(300ms);
  Capture("xdotool key alt+s");
  ASSERT_TRUE(app->WaitForExit(10s));
  EXPECT_EQ(ReadFile(dir_ / "launcher" / "Tempario.ini"), "[Transformadores]\r\nTransformado=0\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "Tempario.ini"));
}

TEST_F(HostedWindowTest, ProgramEndsWhenTheHostWindowGoes) {
  const xcb_window_t host = CreateHostWindow();
  std::unique_ptr<Process> app = StartHosted("importar", host);
  ASSERT_TRUE(app->started());
  ASSERT_NE(WaitForChild(host), 0u);
  xcb_destroy_window(connection_, host);
  xcb_flush(connection_);
  ASSERT_TRUE(app->WaitForExit(10s)) << "the program went on without its host";
  EXPECT_EQ(ReadFile(dir_ / "bin" / "Tempario.ini"), "[Transformadores]\r\nTransformado=0\r\n");
}

TEST_F(HostedWindowTest, HandleOfNoWindowOpensTheWindowOnItsOwn) {
  const xcb_window_t host = CreateHostWindow();
  xcb_destroy_window(connection_, host);
  xcb_flush(connection_);
  std::unique_ptr<Process> app = StartHosted("exportar", host);
  ASSERT_TRUE(app->started());
  // The error box comes first, while the window is created.
  std::string box;
  for (int i = 0; i < 300 && box.empty(); ++i) {
    box = Capture("xdotool search --onlyvisible --name '^transTempexOrve$' 2>/dev/null");
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_FALSE(box.empty()) << "no error box";
  Capture("xdotool windowfocus --sync " + box.substr(0, box.find('\n')) + " key Return");
  // Then the window opens as a normal window, a child of the screen's root.
  std::string window;
  for (int i = 0; i < 300 && window.empty(); ++i) {
    window = Capture(
        "xdotool search --onlyvisible --name '^Exportar e importar datos entre Tempario y ORVE$' "
        "2>/dev/null");
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_FALSE(window.empty()) << "the window did not open";
  const xcb_window_t id = static_cast<xcb_window_t>(std::stoul(window));
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(connection_, xcb_query_tree(connection_, id), nullptr);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->parent, screen->root);
  std::free(tree);
}

}  // namespace
