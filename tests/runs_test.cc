// The frame of the two runs: folder check, outcome code, order of the
// conversions, messages, buttons, closing, and a run ended by an error.
#include <gtest/gtest.h>

#include "core/run_lock.h"
#include "tests/test_support.h"

namespace tto {
namespace {

using testing::CrLf;
using testing::RunFixture;
using Messages = std::vector<std::string>;

const Messages kAllMissing = {
    "No existe archivo de asignaturas (ORVE_ASIGNAT.TXT)",
    "No existe archivo de profesores (ORVE_PROF.TXT)",
    "No existe archivo de aulas (ORVE_AULAS.TXT)",
    "No existe archivo de grupos (ORVE_GRUPO.TXT)",
    "No existe archivo de grupos (ORVE_ASIGNATGRUPO.TXT)",
    "No existe archivo de grupos (ORVE_SESIONES.TXT)",
    "Proceso finalizado",
};

void CopySample(const std::filesystem::path& to) {
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(TTO_SOURCE_DIR) / "examples/orve")) {
    std::filesystem::copy_file(entry.path(), to / entry.path().filename());
  }
}

TEST(RunExport, EmptyFolderShowsEveryMissingFileInOrder) {
  RunFixture f;
  ASSERT_TRUE(f.Export());
  EXPECT_EQ(f.host.messages, kAllMissing);
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_TRUE(f.host.buttons_disabled);
  EXPECT_FALSE(f.host.closed);
  EXPECT_EQ(f.host.cursor_events, (std::vector<bool>{true, false}));
}

TEST(RunExport, OnlyTheTeachersFile) {
  RunFixture f;
  f.Put("orve_prof.txt", CrLf({"1PGM Mar\xed" "a"}));
  ASSERT_TRUE(f.Export());
  Messages expected = kAllMissing;
  expected.erase(expected.begin() + 1);
  EXPECT_EQ(f.host.messages, expected);
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_TRUE(std::filesystem::exists(f.work / "PROFT.DBF"));
}

TEST(RunExport, AllFilesGiveOutcomeOne) {
  RunFixture f;
  CopySample(f.orve.path());
  ASSERT_TRUE(f.Export());
  EXPECT_TRUE(f.host.errors.empty()) << f.host.errors.front();
  EXPECT_EQ(f.host.messages, Messages{"Proceso finalizado"});
  EXPECT_EQ(f.state.outcome_code, 1);
  for (const char* table : {"ASIGNOMT", "PROFT", "AULAT", "GRUPOST", "ASIGT", "DIASHORAST"}) {
    EXPECT_TRUE(std::filesystem::exists(f.work / (std::string(table) + ".DBF"))) << table;
  }
}

TEST(RunExport, HostedModeClosesTheWindow) {
  RunFixture f;
  f.state.hosted_mode = true;
  CopySample(f.orve.path());
  ASSERT_TRUE(f.Export());
  EXPECT_EQ(f.state.outcome_code, 1);
  EXPECT_TRUE(f.host.closed);
}

TEST(Runs, MissingFolder) {
  struct {
    const char* name;
    bool hosted;
    bool import;
    int outcome;
  } cases[] = {
      {"export, not hosted", false, false, 0},
      {"import, not hosted", false, true, 0},
      {"export, hosted", true, false, -1},
      {"import, hosted", true, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    f.host.directory = (f.orve / "deleted").string();
    f.state.hosted_mode = c.hosted;
    f.state.outcome_code = 0;
    ASSERT_TRUE(c.import ? f.Import() : f.Export());
    EXPECT_EQ(f.host.messages, Messages{"No existe la carpeta"});
    EXPECT_EQ(f.state.outcome_code, c.outcome);
    EXPECT_EQ(f.host.closed, c.hosted);
    EXPECT_FALSE(f.host.buttons_disabled);
    EXPECT_TRUE(f.host.cursor_events.empty());
  }
}

TEST(RunExport, AnErrorStopsTheRunAndLeavesTheWindowUsable) {
  RunFixture f;
  f.state.hosted_mode = true;
  // The teachers file exists but cannot be read.
  testing::MakeUnreadableFile(f.orve / "orve_prof.txt");
  EXPECT_FALSE(f.Export());
  EXPECT_EQ(f.host.errors, Messages{"I/O error 6."});
  // Only the conversion before the failing one showed its message.
  EXPECT_EQ(f.host.messages, Messages{kAllMissing[0]});
  EXPECT_FALSE(f.host.buttons_disabled);
  EXPECT_FALSE(f.host.closed);
  EXPECT_EQ(f.host.cursor_events, (std::vector<bool>{true, false}));
  EXPECT_EQ(f.state.outcome_code, -1);  // as it stood at the error
}

// Records every call of the runs in one sequence, each with the outcome
// code as it stood at that moment.
class EventHost : public RunHost {
 public:
  EventHost(std::string directory, const AppState& state)
      : directory_(std::move(directory)), state_(state) {}
  std::string CurrentDirectory() override { return directory_; }
  void ShowMessage(std::string_view text) override { Log(std::string(text)); }
  void ShowError(std::string_view text) override { Log("error " + std::string(text)); }
  void SetWaitCursor(bool shown) override { Log(shown ? "wait cursor" : "normal cursor"); }
  void DisableRunButtons() override { Log("buttons disabled"); }
  void CloseWindow() override { Log("closed"); }
  Messages events;

 private:
  void Log(std::string event) {
    events.push_back(event + " [" + std::to_string(state_.outcome_code) + "]");
  }
  std::string directory_;
  const AppState& state_;
};

TEST(Runs, OrderOfEventsAndOutcomeCodeAlongTheWay) {
  const testing::TempDir orve, work;
  AppState state;
  state.hosted_mode = true;
  EventHost host(orve.path().string(), state);
  RunContext run{host, state, work.path()};

  // Export over an empty folder: the outcome code is 1 from before the first
  // conversion; the missing-file messages come under the wait cursor,
  // "Proceso finalizado" after it.
  ASSERT_TRUE(RunWithErrorBox(host, [&] { RunExport(run); }));
  EXPECT_EQ(host.events, (Messages{
                             "wait cursor [0]",
                             "No existe archivo de asignaturas (ORVE_ASIGNAT.TXT) [1]",
                             "No existe archivo de profesores (ORVE_PROF.TXT) [-1]",
                             "No existe archivo de aulas (ORVE_AULAS.TXT) [-1]",
                             "No existe archivo de grupos (ORVE_GRUPO.TXT) [-1]",
                             "No existe archivo de grupos (ORVE_ASIGNATGRUPO.TXT) [-1]",
                             "No existe archivo de grupos (ORVE_SESIONES.TXT) [-1]",
                             "normal cursor [-1]",
                             "Proceso finalizado [-1]",
                             "buttons disabled [-1]",
                             "closed [-1]",
                         }));

  // Import of the sample school: the outcome code becomes 1 only after the
  // file is written and the cursor is back.
  CopySample(orve.path());
  std::filesystem::copy_file(std::filesystem::path(TTO_SOURCE_DIR) / "examples/tempario/SOLUC.DBF",
                             work / "SOLUC.DBF");
  ASSERT_TRUE(RunWithErrorBox(host, [&] { RunExport(run); }));
  host.events.clear();
  state.outcome_code = 0;
  ASSERT_TRUE(RunWithErrorBox(host, [&] { RunImport(run); }));
  EXPECT_EQ(host.events, (Messages{"wait cursor [0]", "normal cursor [0]",
                                   "Proceso finalizado [1]", "buttons disabled [1]",
                                   "closed [1]"}));
  EXPECT_TRUE(std::filesystem::exists(orve / "ORVE_HORARIO.TXT"));
}

TEST(RunExport, RootFolderGetsTheSecondSlash) {
  testing::RecordingHost host("/");
  AppState state;
  RunContext run{host, state, "/nonexistent-work-folder"};
  ASSERT_TRUE(RunWithErrorBox(host, [&] { RunExport(run); }));
  EXPECT_EQ(run.transfer_folder, "//");
  EXPECT_EQ(host.messages, kAllMissing);  // the root holds no ORVE files
}

TEST(ErrorBox, FullStopRule) {
  EXPECT_EQ(ErrorBoxText("File not found"), "File not found.");
  EXPECT_EQ(ErrorBoxText("Ends in a stop."), "Ends in a stop.");
  EXPECT_EQ(ErrorBoxText("Ends in a comma,"), "Ends in a comma,");  // ',' is below '.'
  EXPECT_EQ(ErrorBoxText("'1.5h' is not a valid floating point value"),
            "'1.5h' is not a valid floating point value.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

// A run whose work folder another run holds waits for it, then ends with
// the error box before touching anything; the window stays ready.
TEST(Runs, AnotherRunHoldsTheWorkFolder) {
  for (const bool import : {false, true}) {
    SCOPED_TRACE(import ? "import" : "export");
    RunFixture f;
    f.run_lock_wait = std::chrono::milliseconds(50);
    f.Put("orve_prof.txt", CrLf({"1PGM X"}));
    const RunLock other_run(f.work.path(), std::chrono::milliseconds(0));
    ASSERT_TRUE(other_run.held());
    EXPECT_FALSE(import ? f.Import() : f.Export());
    EXPECT_EQ(f.host.errors, (Messages{"The work folder '" + f.work.path().string() +
                                       "' is in use by another run of transTempexOrve."}));
    EXPECT_TRUE(f.host.messages.empty());
    EXPECT_EQ(f.host.cursor_events, (std::vector<bool>{true, false}));
    EXPECT_FALSE(f.host.buttons_disabled);
    EXPECT_EQ(f.state.outcome_code, 0);
    EXPECT_FALSE(std::filesystem::exists(f.work / "PROFT.DBF"));
  }
}

// Nothing can be written into a work folder that does not exist, so there
// is nothing to lock: an export whose files are all missing goes through as
// it always did, and the folder is not created.
TEST(Runs, AWorkFolderThatDoesNotExistIsNotLocked) {
  testing::TempDir orve;
  testing::RecordingHost host(orve.path().string());
  AppState state;
  RunContext run{host, state, orve / "missing"};
  EXPECT_TRUE(RunWithErrorBox(host, [&] { RunExport(run); }));
  EXPECT_EQ(host.messages, kAllMissing);
  EXPECT_FALSE(std::filesystem::exists(orve / "missing"));
}

// The window lives on after a run, however the run ended: the next run must
// find the work folder free at once.
TEST(Runs, TheLockGoesWithTheRun) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "ended by an error" : "went through");
    RunFixture f;
    if (fails) {
      testing::MakeUnreadableFile(f.orve / "orve_prof.txt");
    } else {
      f.Put("orve_prof.txt", CrLf({"1PGM X"}));
    }
    EXPECT_EQ(f.Export(), !fails);
    const RunLock next_run(f.work.path(), std::chrono::milliseconds(0));
    EXPECT_TRUE(next_run.held());
  }
}

}  // namespace
}  // namespace tto
