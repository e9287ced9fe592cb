// install-host-launcher on a Wine prefix laid out by the test: the host's
// folder found through the prefix's drives whatever its letter case, an
// earlier launcher replaced rather than doubled, and the failures said.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "shell/host_launcher_install.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class LauncherInstallTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("launcher_install_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "prefix" / "dosdevices");
    fs::create_directories(dir_ / "prefix" / "drive_c" / "Archivos" / "tempario");
    fs::create_directory_symlink("../drive_c", dir_ / "prefix" / "dosdevices" / "c:");
    fs::create_directories(dir_ / "bin");
    std::ofstream(dir_ / "bin" / "TransTempexOrve.exe", std::ios::binary) << "MZ launcher";
    std::ofstream(dir_ / "bin" / "transtempexorve") << "#!/bin/sh\n";
    install_.prefix = dir_ / "prefix";
    install_.launcher = dir_ / "bin" / "TransTempexOrve.exe";
    install_.program = dir_ / "bin" / "transtempexorve";
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Install(const std::string& folder) {
    install_.folder = folder;
    out_.str("");
    err_.str("");
    return tto::InstallHostLauncher(install_, out_, err_);
  }

  fs::path dir_;
  tto::LauncherInstall install_;
  std::ostringstream out_, err_;
};

TEST_F(LauncherInstallTest, WindowsPathIsFoundIgnoringLetterCaseAndAnEarlierLauncherReplaced) {
  const fs::path folder = dir_ / "prefix" / "drive_c" / "Archivos" / "tempario";
  std::ofstream(folder / "TRANSTEMPEXORVE.EXE") << "old";
  ASSERT_EQ(Install("c:\\ARCHIVOS\\Tempario\\"), 0) << err_.str();
  EXPECT_EQ(Read(folder / "TRANSTEMPEXORVE.EXE"), "MZ launcher");
  EXPECT_FALSE(fs::exists(folder / "TransTempexOrve.exe"));
  EXPECT_EQ(Read(folder / "TransTempexOrve.path"), (dir_ / "bin" / "transtempexorve").string() + "\n");
  EXPECT_NE(out_.str().find("Installed"), std::string::npos);
  // A Unix path inside the prefix names the same folder.
  ASSERT_EQ(Install(folder.string()), 0) << err_.str();
}

TEST_F(LauncherInstallTest, FailuresSayWhat) {
  struct Failure {
    const char* folder;
    const char* what;
    void (*spoil)(tto::LauncherInstall&);
  };
  const Failure failures[] = {
      {"C:\\Tempario", "does not exist in the Wine prefix", [](tto::LauncherInstall&) {}},
      {"D:\\Archivos", "does not exist in the Wine prefix", [](tto::LauncherInstall&) {}},
      {"/no/such/folder", "does not exist in the Wine prefix", [](tto::LauncherInstall&) {}},
      {"C:\\Archivos", "there is no Wine prefix",
       [](tto::LauncherInstall& i) { i.prefix /= "missing"; }},
      {"C:\\Archivos", "was not built", [](tto::LauncherInstall& i) { i.launcher.clear(); }},
  };
  for (const Failure& f : failures) {
    SetUp();
    f.spoil(install_);
    EXPECT_EQ(Install(f.folder), 1) << f.folder;
    EXPECT_NE(err_.str().find(f.what), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(dir_ / "prefix" / "drive_c" / "Archivos" / "TransTempexOrve.exe"));
  }
}

TEST_F(LauncherInstallTest, LauncherIsFoundBesideTheToolOrInItsLibFolder) {
  EXPECT_EQ(tto::FindLauncherFiles(dir_ / "bin" / "transtempexorve-cli").launcher,
            dir_ / "bin" / "TransTempexOrve.exe");
  fs::create_directories(dir_ / "usr" / "bin");
  fs::create_directories(dir_ / "usr" / "lib" / "transtempexorve");
  fs::copy_file(dir_ / "bin" / "TransTempexOrve.exe",
                dir_ / "usr" / "lib" / "transtempexorve" / "TransTempexOrve.exe");
  const tto::LauncherInstall found = tto::FindLauncherFiles(dir_ / "usr" / "bin" / "transtempexorve-cli");
  EXPECT_EQ(found.launcher, dir_ / "usr" / "lib" / "transtempexorve" / "TransTempexOrve.exe");
  EXPECT_TRUE(found.program.empty());
}

}  // namespace
