// The frame of the two runs: folder check, outcome code, order of the
// conversions, messages, buttons, closing, and a run ended by an error.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tto
