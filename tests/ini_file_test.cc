// Writing the outcome into the host's ini file: the text before and after,
// and the file operations around it.
#include "platform/ini/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/errors.h"

namespace tto {
namespace {

namespace fs = std::filesystem;

struct IniCase {
  const char* name;
  std::string before;
  std::string value;
  std::string after;
};

class SetIniValueTest : public testing::TestWithParam<IniCase> {};

TEST_P(SetIniValueTest, ReplacesOnlyTheKey) {
  const IniCase& c = GetParam();
  EXPECT_EQ(SetIniValue(c.before, "Transformadores", "Transformado", c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SetIniValueTest,
    testing::Values(
        IniCase{"NewFileUsesCrLf", "", "1", "[Transformadores]\r\nTransformado=1\r\n"},
        IniCase{"ValueReplacedInCrLfFile",
                "; host settings\r\n[General]\r\nRuta=C:\\TEMP\r\n\r\n[Transformadores]\r\n"
                "Transformado=0\r\nOtro=5\r\n",
                "-1",
                "; host settings\r\n[General]\r\nRuta=C:\\TEMP\r\n\r\n[Transformadores]\r\n"
                "Transformado=-1\r\nOtro=5\r\n"},
        IniCase{"SectionAndKeyIgnoreCaseAndSpaces", "[ TRANSFORMADORES ]\ntransformado = 1\n", "-1",
                "[ TRANSFORMADORES ]\ntransformado=-1\n"},
        IniCase{
            "KeyAddedAfterLastEntryOfItsSection",
            "[Transformadores]\r\nOtro=5\r\n\r\n[Zeta]\r\nTransformado=7\r\n", "1",
            "[Transformadores]\r\nOtro=5\r\nTransformado=1\r\n\r\n[Zeta]\r\nTransformado=7\r\n"},
        IniCase{"SectionAppendedToLfFileWithoutFinalLineEnd", "[General]\nRuta=/tmp\n;end", "0",
                "[General]\nRuta=/tmp\n;end\n[Transformadores]\nTransformado=0\n"},
        IniCase{"HeaderAsLastLineWithoutLineEnd", "[Transformadores]", "1",
                "[Transformadores]\r\nTransformado=1\r\n"},
        IniCase{"FirstOfDuplicateSectionsAndKeys",
                "[Transformadores]\nTransformado=0\nTransformado=9\n[Transformadores]\n"
                "Transformado=8\n",
                "1",
                "[Transformadores]\nTransformado=1\nTransformado=9\n[Transformadores]\n"
                "Transformado=8\n"},
        IniCase{"CommentedKeyIsNotTheKey", "\xEF\xBB\xBF[Transformadores]\r\n;Transformado=0\r\n",
                "1", "\xEF\xBB\xBF[Transformadores]\r\n;Transformado=0\r\nTransformado=1\r\n"},
        IniCase{"KeyOutsideTheSectionIsLeft", "Transformado=3\r\n[Otra]\r\nTransformado=4\r\n", "1",
                "Transformado=3\r\n[Otra]\r\nTransformado=4\r\n[Transformadores]\r\n"
                "Transformado=1\r\n"}),
    [](const testing::TestParamInfo<IniCase>& info) { return std::string(info.param.name); });

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class WriteIniStringTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("ini_test_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(WriteIniStringTest, CreatesThenUpdatesLeavingNoTemporaryFile) {
  const fs::path ini = dir_ / "Tempario.ini";
  WriteIniString(ini, "Transformadores", "Transformado", "0");
  EXPECT_EQ(ReadAll(ini), "[Transformadores]\r\nTransformado=0\r\n");
  fs::permissions(ini, fs::perms(0640));
  WriteIniString(ini, "Transformadores", "Transformado", "-1");
  EXPECT_EQ(ReadAll(ini), "[Transformadores]\r\nTransformado=-1\r\n");
  EXPECT_EQ(fs::status(ini).permissions(), fs::perms(0640));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(WriteIniStringTest, FollowsALinkToTheHostsFile) {
  fs::create_directories(dir_ / "host");
  { std::ofstream(dir_ / "host" / "real.ini", std::ios::binary) << "[A]\nB=1\n"; }
  fs::create_symlink(dir_ / "host" / "real.ini", dir_ / "Tempario.ini");
  WriteIniString(dir_ / "Tempario.ini", "Transformadores", "Transformado", "1");
  EXPECT_TRUE(fs::is_symlink(dir_ / "Tempario.ini"));
  EXPECT_EQ(ReadAll(dir_ / "host" / "real.ini"), "[A]\nB=1\n[Transformadores]\nTransformado=1\n");
}

TEST_F(WriteIniStringTest, UnwritableFolderNamesTheFullPathAndKeepsTheFile) {
  if (::geteuid() == 0) {
    // root writes into read-only folders; a missing folder fails for everyone.
    const fs::path ini = dir_ / "missing" / "Tempario.ini";
    try {
      WriteIniString(ini, "Transformadores", "Transformado", "1");
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.string());
    }
    return;
  }
  const fs::path ini = dir_ / "Tempario.ini";
  { std::ofstream(ini, std::ios::binary) << "[Transformadores]\r\nTransformado=0\r\n"; }
  fs::permissions(dir_, fs::perms(0555));
  try {
    WriteIniString(ini, "Transformadores", "Transformado", "1");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.string());
  }
  EXPECT_EQ(ReadAll(ini), "[Transformadores]\r\nTransformado=0\r\n");
}

TEST_F(WriteIniStringTest, UnreadableExistingFileIsNotOverwritten) {
  // A folder in the file's place cannot be read as text; the writer must not
  // replace it with a fresh file that would drop the host's settings.
  const fs::path ini = dir_ / "Tempario.ini";
  fs::create_directories(ini);
  EXPECT_THROW(WriteIniString(ini, "Transformadores", "Transformado", "1"), Error);
  EXPECT_TRUE(fs::is_directory(ini));
}

}  // namespace
}  // namespace tto
