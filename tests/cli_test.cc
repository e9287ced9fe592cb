// The command-line tool end to end: output lines, exit status, tables.
#include <gtest/gtest.h>

#include "shell/version.h"
#include "tests/test_support.h"

namespace tto {
namespace {

using testing::CrLf;
using testing::ReadRowsExternally;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;

struct CliResult {
  int status = 0;
  std::string out;
  std::string err;
};

CliResult Cli(const std::string& args) {
  const TempDir scratch;
  CliResult result;
  result.out = RunCommand(std::string(TTO_CLI) + " " + args + " 2>'" +
                              (scratch / "err").string() + "'",
                          &result.status);
  result.err = testing::ReadFile(scratch / "err");
  return result;
}

TEST(Cli, ExportPrintsTheMessagesAndBuildsTheTables) {
  const TempDir orve, work;
  WriteFile(orve / "orve_prof.txt", CrLf({"1PGM P\xe9rez G\xf3mez, Mar\xed" "a", "1LRA L\xf3pez"}));
  const auto r = Cli("export '" + orve.path().string() + "' --work-folder '" +
                     work.path().string() + "'");
  EXPECT_EQ(r.status, 1);  // the other files are missing
  EXPECT_EQ(r.out,
            "No existe archivo de asignaturas (ORVE_ASIGNAT.TXT)\n"
            "No existe archivo de aulas (ORVE_AULAS.TXT)\n"
            "No existe archivo de grupos (ORVE_GRUPO.TXT)\n"
            "No existe archivo de grupos (ORVE_ASIGNATGRUPO.TXT)\n"
            "No existe archivo de grupos (ORVE_SESIONES.TXT)\n"
            "Proceso finalizado\n");
  EXPECT_EQ(r.err, "");
  const auto rows = ReadRowsExternally(work / "PROFT.DBF");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "PGM");
  EXPECT_EQ(rows[0][1], "P\xe9rez G\xf3mez, Mar\xed" "a");
}

TEST(Cli, SampleSchoolExportsCleanly) {
  const TempDir work;
  const auto r = Cli("export '" + std::string(TTO_SOURCE_DIR) + "/examples/orve' --work-folder '" +
                     work.path().string() + "'");
  EXPECT_EQ(r.out, "Proceso finalizado\n");
  EXPECT_EQ(r.status, 0) << r.err;
  // Standard error is not a terminal here: no progress.
  EXPECT_EQ(r.err, "");
}

TEST(Cli, StatusForMissingFolderErrorAndUsage) {
  const TempDir orve, work;
  const std::string folders =
      "' --work-folder '" + work.path().string() + "'";
  CliResult r;
  for (const char* run : {"export", "import"}) {
    SCOPED_TRACE(run);
    r = Cli(std::string(run) + " '" + (orve / "missing").string() + folders);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No existe la carpeta\n");
  }

  testing::MakeUnreadableFile(orve / "orve_prof.txt");
  r = Cli("export '" + orve.path().string() + folders);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "I/O error 6.\n  in " + (orve / "orve_prof.txt").string() + "\n");

  for (const char* args : {"", "export", "sideways x", "export a b", "export a --bogus"}) {
    SCOPED_TRACE(args);
    r = Cli(args);
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find("Usage: transtempexorve-cli export FOLDER"), std::string::npos);
  }
  r = Cli("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage:"), std::string::npos);
}

TEST(Cli, WorkFolderFromTheEnvironment) {
  const TempDir orve, work;
  WriteFile(orve / "orve_prof.txt", CrLf({"1PGM X"}));
  RunCommand("TRANSTEMPEXORVE_WORK_FOLDER='" + work.path().string() + "' " +
                                   TTO_CLI + " export '" + orve.path().string() + "' >/dev/null");
  EXPECT_TRUE(std::filesystem::exists(work / "PROFT.DBF"));
}

TEST(Cli, FoldersThatCannotBeMeant) {
  const TempDir scratch;
  const std::string folder = " '" + scratch.path().string() + "'";
  for (const char* work : {"--work-folder ''", "--work-folder '   '", "--work-folder="}) {
    SCOPED_TRACE(work);
    const auto r = Cli(std::string("export") + folder + " " + work);
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find("--work-folder needs a folder"), std::string::npos) << r.err;
  }
  const auto r = Cli("export ''");
  EXPECT_EQ(r.status, 64);
  EXPECT_NE(r.err.find("FOLDER is empty"), std::string::npos) << r.err;

  WriteFile(scratch / "file", "");
  const auto not_folder =
      Cli("export" + folder + " --work-folder '" + (scratch / "file").string() + "'");
  EXPECT_EQ(not_folder.status, 2);
  EXPECT_EQ(not_folder.err,
            "The work folder '" + (scratch / "file").string() + "' is not a folder.\n");
}

TEST(Cli, DoubleDashEndsTheOptions) {
  const TempDir scratch, work;
  std::filesystem::create_directory(scratch / "-x");
  WriteFile(scratch / "-x" / "orve_prof.txt", CrLf({"1PGM X"}));
  int status = 0;
  const std::string in_scratch = "cd '" + scratch.path().string() + "' && " + TTO_CLI;
  RunCommand(in_scratch + " export -x 2>/dev/null", &status);
  EXPECT_EQ(status, 64);
  RunCommand(in_scratch + " export --work-folder '" + work.path().string() + "' -- -x >/dev/null",
             &status);
  EXPECT_EQ(status, 1);  // the other files are missing
  EXPECT_TRUE(std::filesystem::exists(work / "PROFT.DBF"));
}

// The system's texts stay as they are; where one does not say which file and
// line it comes from, the next line does.
TEST(Cli, ErrorsShowTheirFileAndLineOnTheNextLine) {
  const TempDir orve, work;
  WriteFile(orve / "orve_sesiones.txt",
            CrLf({"0ORVE_SESIONES.TXT", "1PL9101 L08000855", "1PL9102 L"}));
  const auto r =
      Cli("export '" + orve.path().string() + "' --work-folder '" + work.path().string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "':' is not a valid integer value.\n  in " +
                       (orve / "orve_sesiones.txt").string() + ", line 3\n");
}

TEST(Cli, NamesThatAreNotUtf8AreShownEscaped) {
  const TempDir scratch, work;
  const std::filesystem::path orve = scratch / "caf\xe9";
  std::filesystem::create_directory(orve);
  testing::MakeUnreadableFile(orve / "orve_prof.txt");
  auto r = Cli("export '" + orve.string() + "' --work-folder '" + work.path().string() + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "I/O error 6.\n  in " + scratch.path().string() + "/caf\\xE9/orve_prof.txt\n");

  r = Cli("export x --caf\xe9");
  EXPECT_EQ(r.status, 64);
  EXPECT_NE(r.err.find("unknown option --caf\\xE9\n"), std::string::npos) << r.err;
}

TEST(Cli, VersionAndHelp) {
  CliResult r = Cli("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("transtempexorve-cli (transTempexOrve) ") + kVersion + "\n");

  r = Cli("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* item : {"--work-folder DIR", "--quiet", "--help", "--version", "\n  0 ",
                           "\n  1 ", "\n  2 ", "\n  64 ", "TRANSTEMPEXORVE_WORK_FOLDER"}) {
    EXPECT_NE(r.out.find(item), std::string::npos) << item;
  }
}

// The tool on a terminal of its own (script(1) gives it one): each table's
// line ends with its record count and time; --quiet leaves only the messages.
TEST(Cli, ProgressOnATerminalUnlessQuiet) {
  const TempDir work;
  const std::string run = std::string(TTO_CLI) + " export " + TTO_SOURCE_DIR +
                          "/examples/orve --work-folder " + work.path().string();
  const std::string shown = RunCommand("script -qec '" + run + "' /dev/null");
  for (const char* table : {"ASIGNOMT", "PROFT", "AULAT", "GRUPOST", "ASIGT", "DIASHORAST"}) {
    const std::size_t at = shown.find(std::string("\r") + table);
    ASSERT_NE(at, std::string::npos) << table << " in " << shown;
    const std::size_t end = shown.find("\r\n", at);
    const std::string line = shown.substr(at, end - at);
    const std::string count =
        std::to_string(testing::ReadRows(work.path(), table, {}).size());
    EXPECT_NE(line.find(" " + count + " records "), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 5), " s\033[K") << line;
  }
  EXPECT_NE(shown.find("Proceso finalizado"), std::string::npos);

  const std::string quiet = RunCommand("script -qec '" + run + " --quiet' /dev/null");
  EXPECT_EQ(quiet, "Proceso finalizado\r\n");
}

}  // namespace
}  // namespace tto
