// Tests of the help framework and the HTML help viewer, with a recording
// stand-in for the HTML Help module's entry point.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/htmlhelp/htmlhelp_api.h"
#include "shell/help/help_framework.h"
#include "shell/help/html_help_viewer.h"

namespace tto::help {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One call that reached the entry point. The keyword of HH_DISPLAY_INDEX is
// copied, since the pointer lives only during the call.
struct Call {
  uintptr_t window;
  std::optional<std::string> file;  // none: a null file argument
  unsigned command;
  uintptr_t data;
  std::string keyword;
  bool operator==(const Call&) const = default;
};

void PrintTo(const Call& call, std::ostream* out) {
  *out << "{window " << call.window << ", file " << (call.file ? *call.file : "<null>")
       << ", command " << call.command << ", data " << call.data << ", keyword \""
       << call.keyword << "\"}";
}

std::vector<Call>& Calls() {
  static std::vector<Call> calls;
  return calls;
}

extern "C" uintptr_t RecordingHtmlHelp(uintptr_t window, const char* file, unsigned command,
                                       uintptr_t data) {
  Call call{window, std::nullopt, command, data, {}};
  if (file != nullptr) call.file = file;
  if (command == HH_DISPLAY_INDEX) {
    call.keyword = reinterpret_cast<const char*>(data);
    call.data = 0;
  }
  Calls().push_back(call);
  return 0;
}

// The folder that stands for the program's folder.
constexpr char kFolder[] = "/opt/app/";

Call Toc(const std::string& file) { return {0, file, HH_DISPLAY_TOC, 0, {}}; }
Call Context(const std::string& file, int context) {
  return {0, file, HH_HELP_CONTEXT, static_cast<uintptr_t>(context), {}};
}
Call Index(const std::string& file, const std::string& keyword) {
  return {0, file, HH_DISPLAY_INDEX, 0, keyword};
}
Call Topic(const std::string& file) { return {0, file, HH_DISPLAY_TOPIC, 0, {}}; }
Call CloseAll() { return {0, std::nullopt, HH_CLOSE_ALL, 0, {}}; }

HtmlHelpEnvironment Recording() {
  HtmlHelpEnvironment environment;
  environment.program_folder = kFolder;
  environment.entry_point = &RecordingHtmlHelp;
  return environment;
}

// An application with the viewer and tester installed as at process start.
class HelpViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Calls().clear();
    application_ = std::make_unique<HelpApplication>();
    application_->SetHelpFile("ORVE.chm");
    StartHtmlHelp(*application_, Recording());
  }
  void TearDown() override {
    StopHtmlHelp();
    application_.reset();
  }
  TVelHtmlHelpViewer& Viewer() { return *HtmlHelpViewer(); }

  std::unique_ptr<HelpApplication> application_;
};

// Asks for help as the help button and F1 do.
void PressHelpButton(HelpApplication& application) {
  application.SetHelpFile("ORVE.chm");
  application.HelpCommand(HELP_CONTENTS, 0);
}
void PressF1(HelpApplication& application) { application.HelpContext(3); }

TEST_F(HelpViewerTest, HelpButtonAndF1ReachTheModuleForTheFileBesideTheProgram) {
  PressHelpButton(*application_);
  PressF1(*application_);
  EXPECT_THAT(Calls(), ElementsAre(Toc("/opt/app/ORVE.chm"), Context("/opt/app/ORVE.chm", 3)));
  EXPECT_EQ(application_->HelpFile(), "ORVE.chm");
}

struct HelpFileCase {
  std::string help_file;
  std::string shown;  // the file the module is given; empty: nothing is sent
};

TEST(HelpFileTest, HelpFileNamesDecideWhatIsShown) {
  const std::vector<HelpFileCase> cases = {
      {"ORVE.chm", "/opt/app/ORVE.chm"},
      {"D:\\Help\\orve.CHM", "D:\\Help\\orve.CHM"},  // folder part: unchanged
      {"C:orve.chm", "C:orve.chm"},                      // a drive colon is a folder part
      {"/usr/share/doc/orve.Chm", "/usr/share/doc/orve.Chm"},
      {"help/orve.chm", "help/orve.chm"},
      {"ORVE.hlp", ""},
      {"ORVE", ""},
      {"ORVE.chm.bak", ""},
      {"help.chm.d/ORVE", ""},  // the last "." of the whole name decides
  };
  for (const HelpFileCase& c : cases) {
    SCOPED_TRACE(c.help_file);
    Calls().clear();
    HelpApplication application;
    StartHtmlHelp(application, Recording());
    application.SetHelpFile(c.help_file);
    application.HelpCommand(HELP_CONTENTS, 0);
    application.HelpContext(3);
    if (c.shown.empty()) {
      EXPECT_THAT(Calls(), IsEmpty());
    } else {
      EXPECT_THAT(Calls(), ElementsAre(Toc(c.shown), Context(c.shown, 3)));
    }
    StopHtmlHelp();
  }
}

TEST_F(HelpViewerTest, ManagerKeepsTheLastNonEmptyHelpFile) {
  application_->SetHelpFile("Primera.chm");
  application_->HelpCommand(HELP_CONTENTS, 0);
  // A request without a file shows the manager's last one; context help
  // declines it, as it looks at the file the request carries.
  application_->SetHelpFile("");
  application_->HelpCommand(HELP_CONTENTS, 0);
  EXPECT_FALSE(application_->HelpContext(3));
  // The active window's own help file goes before the application's.
  application_->SetHelpFile("ORVE.chm");
  application_->SetActiveFormHelpFile("Ventana.chm");
  application_->HelpContext(4);
  EXPECT_THAT(Calls(), ElementsAre(Toc("/opt/app/Primera.chm"), Toc("/opt/app/Primera.chm"),
                                   Context("/opt/app/Ventana.chm", 4)));
}

TEST_F(HelpViewerTest, KeywordAndTopicRequestsGoThroughTheManager) {
  application_->HelpKeyword("Profesores");
  application_->HelpJump("intro");
  application_->HelpCommand(HELP_QUIT, 0);
  EXPECT_THAT(Calls(), ElementsAre(Index("/opt/app/ORVE.chm", "Profesores"),
                                   Topic("/opt/app/ORVE.chm::/intro.htm"), CloseAll()));
}

TEST_F(HelpViewerTest, DisplayTopicAppendsTheDefaultExtension) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"intro", "intro.htm"},
      {"intro.htm", "intro.htm"},
      {"INTRO.HTML", "INTRO.HTML"},
      {"intro.txt", "intro.txt.htm"},
      {"temas.v2/intro", "temas.v2/intro.htm"},  // a "." in a folder is no extension
  };
  for (const auto& [topic, shown] : cases) {
    Calls().clear();
    Viewer().DisplayTopic(topic);
    EXPECT_THAT(Calls(), ElementsAre(Topic("/opt/app/ORVE.chm::/" + shown))) << topic;
  }
}

TEST_F(HelpViewerTest, ShowHelpLooksUpTheTextAfterTheFirstColon) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"VelHtmlHelp: Profesores ", "Profesores"},
      {"  Aulas\t", "Aulas"},
      {"VelHtmlHelp: Hora: 8:30", "Hora: 8:30"},
      {":", ""},
  };
  for (const auto& [help_string, keyword] : cases) {
    Calls().clear();
    Viewer().ShowHelp(help_string);
    EXPECT_THAT(Calls(), ElementsAre(Index("/opt/app/ORVE.chm", keyword))) << help_string;
  }
}

TEST_F(HelpViewerTest, SelectorAnswers) {
  TVelHtmlHelpViewer& viewer = Viewer();
  EXPECT_EQ(viewer.GetViewerName(), "VelHtmlHelp");
  EXPECT_THAT(viewer.GetHelpStrings("Aulas"), ElementsAre("VelHtmlHelp: Aulas"));

  EXPECT_EQ(viewer.SelectKeyword({"VelHtmlHelp: Aulas"}), 0);
  EXPECT_EQ(viewer.SelectKeyword({": Aulas", "VelHtmlHelp: Aulas"}), 1);
  EXPECT_EQ(viewer.SelectKeyword({": Aulas", "WinHelp: Aulas"}), 0);
  EXPECT_EQ(viewer.SelectKeyword({": Aulas", "velhtmlhelp: Aulas", "VelHtmlHelp"}), 2);
  EXPECT_EQ(viewer.SelectKeyword({}), 0);

  EXPECT_EQ(viewer.TableOfContents({"VelHtmlHelp", "WinHelp"}), 0);
  EXPECT_EQ(viewer.TableOfContents({"WinHelp", "velhtmlhelp"}), 1);
  EXPECT_EQ(viewer.TableOfContents({"WinHelp"}), -1);
  EXPECT_EQ(viewer.TableOfContents({}), -1);
}

TEST_F(HelpViewerTest, UnderstandsContextLooksAtTheFileItIsGiven) {
  TVelHtmlHelpViewer& viewer = Viewer();
  EXPECT_TRUE(viewer.UnderstandsContext(3, "otro.CHM"));
  EXPECT_FALSE(viewer.UnderstandsContext(3, "ORVE.hlp"));
  application_->SetHelpFile("ORVE.hlp");
  EXPECT_EQ(viewer.UnderstandsKeyword("x"), 0);
  EXPECT_FALSE(viewer.UnderstandsTopic("x"));
  // Displaying by context always uses the resolved file, never the one given.
  Calls().clear();
  viewer.DisplayHelpByContext(3, "otro.chm");
  EXPECT_THAT(Calls(), IsEmpty());
}

// A WinHelp tester that accepts everything, to show that the framework's
// WinHelp viewer asks it first.
class AcceptingTester : public IWinHelpTester {
 public:
  bool CanShowALink(const std::string&, const std::string&) override { return true; }
  bool CanShowTopic(const std::string&, const std::string&) override { return true; }
  bool CanShowContext(int, const std::string&) override { return true; }
  std::vector<std::string> GetHelpStrings(const std::string& alink) override {
    return {": " + alink};
  }
  std::string GetHelpPath() override { return {}; }
  std::string GetDefaultHelpFile() override { return {}; }
};

TEST_F(HelpViewerTest, WinHelpViewerFollowsTheTester) {
  // With a tester that accepts, the WinHelp viewer (registered first) takes
  // context and topic requests, and a keyword is offered by both viewers.
  application_->SetWinHelpTester(std::make_shared<AcceptingTester>());
  EXPECT_TRUE(application_->HelpContext(3));
  EXPECT_TRUE(application_->HelpJump("intro"));
  EXPECT_THAT(Calls(), IsEmpty());
  // The selector chooses this viewer's line; ShowHelp gets the whole line.
  application_->HelpKeyword("Aulas");
  EXPECT_THAT(Calls(), ElementsAre(Index("/opt/app/ORVE.chm", "Aulas")));

  // The tester installed at start declines all, so this viewer answers.
  Calls().clear();
  application_->SetWinHelpTester(std::make_shared<TVelWinHelpTester>());
  application_->HelpContext(3);
  EXPECT_THAT(Calls(), ElementsAre(Context("/opt/app/ORVE.chm", 3)));

  TVelWinHelpTester tester;
  EXPECT_THAT(tester.GetHelpStrings("Aulas"), ElementsAre(": Aulas"));
  EXPECT_EQ(tester.GetHelpPath(), "");
  EXPECT_EQ(tester.GetDefaultHelpFile(), "");
}

TEST(HelpViewerLifecycleTest, WithdrawnViewerShowsNothingAndGoesWithTheManager) {
  Calls().clear();
  auto application = std::make_unique<HelpApplication>();
  application->SetHelpFile("ORVE.chm");
  StartHtmlHelp(*application, Recording());
  ASSERT_NE(HtmlHelpViewer(), nullptr);
  EXPECT_EQ(HtmlHelpViewer()->ViewerID(), 2);  // after the framework's WinHelp viewer

  StopHtmlHelp();
  EXPECT_FALSE(application->HelpContext(3));
  // Still the selector, the viewer lives until the manager goes.
  ASSERT_NE(HtmlHelpViewer(), nullptr);
  application.reset();
  EXPECT_EQ(HtmlHelpViewer(), nullptr);
  EXPECT_THAT(Calls(), IsEmpty());
}

TEST(HelpViewerLifecycleTest, ManagerShutdownClosesHelpWindows) {
  Calls().clear();
  auto application = std::make_unique<HelpApplication>();
  StartHtmlHelp(*application, Recording());
  application.reset();  // the application ends before the viewer withdrew
  EXPECT_THAT(Calls(), ElementsAre(CloseAll()));
  EXPECT_EQ(HtmlHelpViewer(), nullptr);
}

TEST(HelpViewerLifecycleTest, WithoutTheModuleNothingIsShown) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "tto_help_viewer_test";
  std::filesystem::create_directories(folder);
  {
    std::ofstream(folder / "not_a_library.so") << "not a shared library";
  }
  for (const char* module : {"missing.so", "not_a_library.so"}) {
    SCOPED_TRACE(module);
    HelpApplication application;
    HtmlHelpEnvironment environment;
    environment.program_folder = folder.string() + "/";
    environment.module_path = environment.program_folder + module;
    StartHtmlHelp(application, environment);
    ASSERT_NE(HtmlHelpViewer(), nullptr);
    EXPECT_FALSE(HtmlHelpViewer()->HasEntryPoint());
    PressHelpButton(application);
    // The viewer still claims the file, so no other viewer is asked.
    EXPECT_TRUE(application.HelpContext(3));
    application.HelpCommand(HELP_QUIT, 0);
    StopHtmlHelp();
  }
  std::filesystem::remove_all(folder);
}

TEST(HelpEnvironmentTest, ProgramFolderComesFromTheRunningProgram) {
  const HtmlHelpEnvironment environment = HtmlHelpEnvironment::ForThisProgram();
  EXPECT_EQ(environment.program_folder,
            std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/");
  EXPECT_EQ(environment.module_path, environment.program_folder + "libtto_htmlhelp.so");
  EXPECT_EQ(environment.entry_point, nullptr);
}

// Plain viewers that record what the manager asks of them.
class FakeViewer : public IExtendedHelpViewer {
 public:
  FakeViewer(std::string name, std::vector<std::string>* log, bool understands)
      : name_(std::move(name)), log_(log), understands_(understands) {}
  std::string GetViewerName() override { return name_; }
  int UnderstandsKeyword(const std::string&) override { return understands_ ? 1 : 0; }
  std::vector<std::string> GetHelpStrings(const std::string& keyword) override {
    return {name_ + ": " + keyword};
  }
  bool CanShowTableOfContents() override { return understands_; }
  void ShowTableOfContents() override { log_->push_back(name_ + " toc"); }
  void ShowHelp(const std::string& help_string) override {
    log_->push_back(name_ + " help " + help_string);
  }
  void NotifyID(int id) override { log_->push_back(name_ + " id " + std::to_string(id)); }
  void SoftShutDown() override { log_->push_back(name_ + " soft"); }
  void ShutDown() override { log_->push_back(name_ + " shutdown"); }
  bool UnderstandsTopic(const std::string&) override { return understands_; }
  void DisplayTopic(const std::string& topic) override {
    log_->push_back(name_ + " topic " + topic);
  }
  bool UnderstandsContext(int, const std::string&) override { return understands_; }
  void DisplayHelpByContext(int context, const std::string& help_file) override {
    log_->push_back(name_ + " context " + std::to_string(context) + " " + help_file);
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
  bool understands_;
};

TEST(HelpManagerTest, DispatchFollowsRegistrationOrderAndTheSelector) {
  std::vector<std::string> log;
  HelpManager manager;
  manager.Register(std::make_shared<FakeViewer>("Zeta", &log, false));
  const int beta = manager.Register(std::make_shared<FakeViewer>("beta", &log, true));
  manager.Register(std::make_shared<FakeViewer>("Alfa", &log, true));
  EXPECT_THAT(log, ElementsAre("Zeta id 1", "beta id 2", "Alfa id 3"));

  // Without a selector: the first able viewer in registration order.
  log.clear();
  manager.ShowTableOfContents("a.chm");
  manager.ShowContextHelp(7, "");
  manager.ShowTopicHelp("t", "");
  manager.ShowKeywordHelp("k", "");
  EXPECT_THAT(log, ElementsAre("beta toc", "beta context 7 ", "beta topic t", "Alfa help Alfa: k"));
  EXPECT_EQ(manager.GetHelpFile(), "a.chm");
  EXPECT_EQ(manager.GetHandle(), 0u);

  // A selector gets the sorted names and lines and picks by index.
  struct LastSelector : IHelpSelector {
    std::vector<std::string> seen;
    int SelectKeyword(const std::vector<std::string>& lines) override {
      seen = lines;
      return static_cast<int>(lines.size()) - 1;
    }
    int TableOfContents(const std::vector<std::string>& names) override {
      seen = names;
      return static_cast<int>(names.size()) - 1;
    }
  };
  auto selector = std::make_shared<LastSelector>();
  manager.AssignHelpSelector(selector);
  log.clear();
  manager.ShowTableOfContents("");
  EXPECT_THAT(selector->seen, ElementsAre("Alfa", "beta"));
  manager.ShowKeywordHelp("k", "");
  EXPECT_THAT(selector->seen, ElementsAre("Alfa: k", "beta: k"));
  EXPECT_THAT(log, ElementsAre("beta toc", "beta help beta: k"));

  // One able viewer left: the keyword itself, no selector.
  manager.Release(beta);
  manager.Release(99);
  log.clear();
  manager.ShowKeywordHelp("k", "");
  manager.ShowTableOfContents("");
  manager.Quit();
  EXPECT_THAT(log, ElementsAre("Alfa help k", "Alfa toc", "Zeta soft", "Alfa soft"));

  log.clear();
  manager.ShutDownViewers();
  EXPECT_THAT(log, ElementsAre("Zeta shutdown", "Alfa shutdown"));
  EXPECT_FALSE(manager.ShowContextHelp(1, ""));
}

}  // namespace
}  // namespace tto::help
