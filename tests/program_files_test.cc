// Where the program finds its files: the installed layout's
// lib/transtempexorve beside bin/, else the program's own folder.
#include "shell/program_files.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace tto {
namespace {

using testing::TempDir;

TEST(ProgramFiles, InstalledLayoutThenTheProgramsFolder) {
  const TempDir prefix;
  std::filesystem::create_directories(prefix / "bin");
  const std::filesystem::path program = prefix / "bin/transtempexorve";
  const std::string root = prefix.path().string();

  // As built: no lib/transtempexorve, so the files sit beside the program.
  EXPECT_EQ(ProgramFilesFolderOf(program), root + "/bin/");

  std::filesystem::create_directories(prefix / "lib/transtempexorve");
  EXPECT_EQ(ProgramFilesFolderOf(program), root + "/lib/transtempexorve/");

  // A file of that name is not the folder.
  const TempDir other;
  std::filesystem::create_directories(other / "bin");
  std::filesystem::create_directories(other / "lib");
  testing::WriteFile(other / "lib/transtempexorve", "not a folder");
  EXPECT_EQ(ProgramFilesFolderOf(other / "bin/transtempexorve"),
            other.path().string() + "/bin/");
}

TEST(ProgramFiles, RunningProgramInTheBuildTree) {
  EXPECT_EQ(ProgramFilesFolder(),
            std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/");
}

}  // namespace
}  // namespace tto
