// ASIGNOMT from the subjects file and the activities file: the codes that
// make every row unique, the fields of subject and activity rows, and what a
// missing file does.
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/records.h"
#include "to_tempario/collation.h"
#include "tests/test_support.h"
#include "to_tempario/subject_codes.h"

namespace tto {
namespace {

using testing::RunFixture;
using Rows = std::vector<std::vector<std::string>>;

// A subject record: code in columns 2 to 21, name in 22 to 171, language
// code from 172.
std::string SubjectLine(std::string_view code, std::string_view name = {},
                        std::string_view language = {}) {
  std::string line = "1";
  AppendPadded(line, code, 20);
  AppendPadded(line, name, 150);
  line += language;
  return line;
}

// An activity record: code in columns 2 to 5, name in 6 to 65, task code
// from 66.
std::string ActivityLine(std::string_view code, std::string_view name,
                         std::string_view task = {}) {
  std::string line = "1";
  AppendPadded(line, code, 4);
  AppendPadded(line, name, 60);
  line += task;
  return line;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

// Every other ORVE file of the export run, with a header and a trailer
// only, so that the run reports nothing but what the subjects do.
void PutOtherFilesEmpty(const RunFixture& f) {
  for (const char* name : {"orve_prof.txt", "orve_aulas.txt", "orve_grupo.txt",
                           "orve_asignatgrupo.txt", "orve_asignatcurso.txt",
                           "orve_sesiones.txt"}) {
    f.Put(name, testing::CrLf({"0HEADER", "9TRAILER"}));
  }
}

// --- The code rules on their own, as a sequence of subjects -------------

struct Step {
  std::string base;
  std::string language;
  std::optional<std::string> code;  // nullopt: the record is skipped
};

struct CodeCase {
  const char* name;
  std::vector<Step> steps;
};

std::vector<Step> Repeated(const std::string& base, std::vector<std::optional<std::string>> codes) {
  std::vector<Step> steps;
  for (auto& code : codes) steps.push_back({base, "", std::move(code)});
  return steps;
}

std::vector<Step> Join(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class SubjectCodesTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(SubjectCodesTest, GivesEachSubjectItsCode) {
  SubjectCodes codes;
  int index = 0;
  for (const Step& step : GetParam().steps) {
    SCOPED_TRACE("step " + std::to_string(index++) + ": " + step.base + "/" + step.language);
    const std::optional<std::string> code = codes.ForSubject(step.base, step.language);
    EXPECT_EQ(code, step.code);
    if (code) codes.Add(*code);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SubjectCodesTest,
    ::testing::Values(
        CodeCase{"TenCharactersCutToNineThenShortened",
                 Repeated("MATEMATICA", {"MATEMATICA", "MATEMATIC1", "MATEMATIC2", "MATEMATIC3",
                                         "MATEMATIC4", "MATEMATIC5", "MATEMATIC6", "MATEMATIC7",
                                         "MATEMATIC8", "MATEMATIC9", "MATEMATI10", std::nullopt,
                                         std::nullopt})},
        CodeCase{"CandidateTestedBeforeShortening",
                 Join({{"MATEMATI10", "", "MATEMATI10"}},
                      Repeated("MATEMATICA",
                               {"MATEMATICA", "MATEMATIC1", "MATEMATIC2", "MATEMATIC3",
                                "MATEMATIC4", "MATEMATIC5", "MATEMATIC6", "MATEMATIC7",
                                "MATEMATIC8", "MATEMATIC9", std::nullopt}))},
        CodeCase{"ShortCodeStaysShort",
                 Repeated("MAT", {"MAT", "MAT1", "MAT2", "MAT3", "MAT4", "MAT5", "MAT6", "MAT7",
                                  "MAT8", "MAT9", "MAT10", "MAT11"})},
        CodeCase{"LetterCaseIgnoredInCodeAndCandidates",
                 {{"MAT", "", "MAT"},
                  {"mat", "", "mat1"},
                  {"Mat", "", "Mat2"},
                  {"MAT", "", "MAT3"}}},
        // A free number below one that was taken is found again.
        CodeCase{"FirstFreeNumberWins",
                 {{"MAT", "", "MAT"},
                  {"MAT", "", "MAT1"},
                  {"MAT3", "", "MAT3"},
                  {"MAT", "", "MAT2"},
                  {"MAT", "", "MAT4"}}},
        // A 9-character base code and a 10-character one number alike.
        CodeCase{"NineAndTenCharacterStemsShareNumbers",
                 {{"MATEMATICA", "", "MATEMATICA"},
                  {"MATEMATIC", "", "MATEMATIC"},
                  {"MATEMATICA", "", "MATEMATIC1"},
                  {"MATEMATIC", "", "MATEMATIC2"}}},
        CodeCase{"LanguageAppendedOrBaseCut",
                 {{"LENGUA", "ING", "LENGUAING"},
                  {"MATEMATICA", "ING", "MATEMATING"},
                  {"MATEMATICA", "ING", "MATEMATIN1"},
                  {"MATEMATICA", "ALEMAN", "MATEALEMAN"},
                  {"MAT", "FRANCE", "MATFRANCE"},
                  {"MAT", "FRANCE", "MATFRANCE1"},
                  {"", "ING", "ING"},
                  {"", "ING", "ING1"}}},
        CodeCase{"EmptyCodeSkipped", {{"", "", std::nullopt}, {"", "", std::nullopt}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Many repeats of one code: every record is numbered in turn, and the run
// stays linear (a search from 1 each time would take minutes here).
TEST(SubjectCodesScaleTest, ManyRepeatsOfOneCode) {
  SubjectCodes codes;
  std::optional<std::string> code;
  for (int i = 0; i < 100000; ++i) {
    code = codes.ForSubject("AB", "");
    ASSERT_TRUE(code);
    codes.Add(*code);
  }
  EXPECT_EQ(code, "AB99999");
}

// The code rules done the slow, obvious way: every "is it used" question is
// a scan of all codes written so far, and every numbering starts at 1.
class PlainCodes {
 public:
  bool Used(const std::string& code) const {
    for (const std::string& used : used_) {
      if (CompareTextIgnoreCase(used, code) == 0) return true;
    }
    return false;
  }
  void Add(const std::string& code) { used_.push_back(code); }

  std::optional<std::string> ForSubject(const std::string& base, const std::string& language) {
    std::string code = base;
    if (!language.empty()) {
      if (code.size() + language.size() <= 10) {
        code += language;
      } else {
        code = code.substr(0, 10 - language.size()) + language;
      }
    }
    if (Used(code)) {
      if (code.size() >= 10) code = code.substr(0, 9);
      for (int n = 1;; ++n) {
        const std::string candidate = code + std::to_string(n);
        if (!Used(candidate) || candidate.size() > 10) {
          code = candidate;
          break;
        }
      }
    }
    if (code.size() > 10) code = code.substr(0, 8) + code.substr(code.size() - 2);
    if (code.empty() || Used(code)) return std::nullopt;
    return code;
  }

 private:
  std::vector<std::string> used_;
};

// Random files of colliding codes: short stems in both letter cases, stems
// that already end in digits (so typed codes collide with numbered ones),
// accented capitals and small letters, language codes that append or cut,
// and activity codes added to the same list. The remembered numbering must
// give what the plain rules give, record for record.
TEST(SubjectCodesScaleTest, SameCodesAsThePlainRules) {
  const std::vector<std::string> stems = {
      "",           "M",          "m",         "MA",         "ma",         "MAT",
      "Mat",        "MAT1",       "mat1",      "MAT10",      "MATEMATI",   "MATEMATIC",
      "MATEMATICA", "matematica", "MATEMATI10", "MATEMATIC1", "\xc1LGEBRA", "\xe1lgebra",
      "ALGEBRA",    "*GUA",       "LEN",       "LENGUAING",  "ING",        "ING1"};
  const std::vector<std::string> languages = {"", "", "", "I", "ING", "ing", "ALEMAN", "1", "10"};
  for (unsigned seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](const std::vector<std::string>& from) {
      return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    SubjectCodes codes;
    PlainCodes plain;
    for (int record = 0; record < 1000; ++record) {
      if (random() % 10 == 0) {
        // An activity: its own code, never renumbered.
        const std::string activity = "*" + pick(stems).substr(0, 4);
        ASSERT_EQ(codes.Contains(activity), plain.Used(activity)) << activity;
        if (!plain.Used(activity)) {
          codes.Add(activity);
          plain.Add(activity);
        }
        continue;
      }
      const std::string base = pick(stems);
      const std::string language = pick(languages);
      const std::optional<std::string> expected = plain.ForSubject(base, language);
      ASSERT_EQ(codes.ForSubject(base, language), expected)
          << "record " << record << ": " << base << "/" << language;
      if (expected) {
        codes.Add(*expected);
        plain.Add(*expected);
      }
    }
  }
}

// --- Through the export run ---------------------------------------------

Rows Codes(const std::filesystem::path& work) {
  return testing::ReadRows(work, "ASIGNOMT", {"COD"});
}

struct RunCase {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::string> codes;
};

class SubjectRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(SubjectRunTest, WritesTheCodes) {
  RunFixture f;
  f.Put("orve_asignat.txt", Lines(GetParam().lines));
  ASSERT_TRUE(f.Export());
  std::vector<std::string> codes;
  for (auto& row : testing::ReadRows(f.work.path(), "ASIGNOMT", {"COD"})) codes.push_back(row[0]);
  EXPECT_EQ(codes, GetParam().codes);
}

std::vector<std::string> RepeatedLines(const std::string& code, int count) {
  return std::vector<std::string>(static_cast<std::size_t>(count), SubjectLine(code, "Matematicas"));
}

std::vector<std::string> JoinLines(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SubjectRunTest,
    ::testing::Values(
        RunCase{"MatematicaRepeated",
                RepeatedLines("MATEMATICA", 12),
                {"MATEMATICA", "MATEMATIC1", "MATEMATIC2", "MATEMATIC3", "MATEMATIC4",
                 "MATEMATIC5", "MATEMATIC6", "MATEMATIC7", "MATEMATIC8", "MATEMATIC9",
                 "MATEMATI10"}},
        RunCase{"NumberedCodeTestedBeforeShortening",
                JoinLines({SubjectLine("MATEMATI10", "Otra")}, RepeatedLines("MATEMATICA", 11)),
                {"MATEMATI10", "MATEMATICA", "MATEMATIC1", "MATEMATIC2", "MATEMATIC3",
                 "MATEMATIC4", "MATEMATIC5", "MATEMATIC6", "MATEMATIC7", "MATEMATIC8",
                 "MATEMATIC9"}},
        // The base code is the first 10 columns of the 20-column subject code.
        RunCase{"BaseCodeIsTheFirstTenColumns",
                {SubjectLine("MATEMATICAS2BACH"), SubjectLine("mat"), SubjectLine("MAT"),
                 SubjectLine("mat")},
                {"MATEMATICA", "mat", "MAT1", "mat2"}},
        RunCase{"LanguageCodes",
                {SubjectLine("LENGUA", "Lengua", "ING"), SubjectLine("MATEMATICA", "Mat", "ING"),
                 SubjectLine("MATEMATICA", "Mat", "ALEMAN"), SubjectLine("", "Ingles", "ING"),
                 SubjectLine("")},
                {"LENGUAING", "MATEMATING", "MATEALEMAN", "ING"}},
        // Headers and trailers anywhere, and the name record in any case.
        RunCase{"RecordKindsSkipped",
                {"0ORVE_ASIGNAT.TXT", " orve_asignat.txt", SubjectLine("FIS"), "9", "0",
                 "1  Orve_Asignat.Txt  ", SubjectLine("QUI"), "9ORVE_ASIGNAT.TXT"},
                {"FIS", "QUI"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SubjectsExportTest, SubjectAndActivityRows) {
  RunFixture f;
  PutOtherFilesEmpty(f);
  const std::string educacion_fisica = "Educaci\xf3n F\xedsica";  // Windows-1252
  const std::string long_name(100, 'N');
  f.Put("orve_asignat.txt",
        Lines({"0ORVE_ASIGNAT.TXT",
               SubjectLine("LCL1ESO", "Lengua Castellana y Literatura", "CAS"),
               SubjectLine("EF", educacion_fisica),
               SubjectLine("AP", "Artes  Plasticas"),
               SubjectLine("SIN"),
               SubjectLine("LARGA", long_name),
               SubjectLine("*TUT", "Tutoria"),
               SubjectLine("LCL1ESO", "Lengua Castellana y Literatura", "CAS"),
               "9ORVE_ASIGNAT.TXT"}));
  // Windows-style file name case on disk.
  f.Put("orve_actividades.txt",
        Lines({"0ORVE_ACTIVIDADES.TXT", " ORVE_ACTIVIDADES.TXT",
               ActivityLine("GUA", "Guardia de recreo", "G01"),
               ActivityLine("tut", "Tutoria de grupo", "T01"),  // "*tut" is the subject "*TUT"
               ActivityLine("gua", "Otra guardia", "G02"),      // "*gua" is the activity "*GUA"
               "",                                              // the code "*"
               ActivityLine("", "Sin codigo", "X01"),           // "*" again
               ActivityLine("LCL", "Reunion", "R01"), "9"}));
  ASSERT_TRUE(f.Export());

  EXPECT_EQ(f.host.messages, std::vector<std::string>{"Proceso finalizado"});
  EXPECT_EQ(f.state.outcome_code, 1);

  const Rows expected = {
      {"LCL1ESOCAS", "LCyL", "Lengua Castellana y Literatura", "F", "", "LCL1ESO", "CAS"},
      {"EF", "EF", educacion_fisica, "F", "", "EF", ""},
      {"AP", "A P", "Artes  Plasticas", "F", "", "AP", ""},
      {"SIN", "", "", "F", "", "SIN", ""},
      {"LARGA", "N", std::string(80, 'N'), "F", "", "LARGA", ""},
      {"*TUT", "T", "Tutoria", "F", "", "*TUT", ""},
      {"LCL1ESOCA1", "LCyL", "Lengua Castellana y Literatura", "F", "", "LCL1ESO", "CAS"},
      {"*GUA", "Guardia de", "Guardia de recreo", "T", "G01", "", ""},
      {"*", "", "", "T", "", "", ""},
      {"*LCL", "Reunion", "Reunion", "T", "R01", "", ""},
  };
  EXPECT_EQ(testing::ReadRowsExternally(f.work / "ASIGNOMT.DBF"), expected);
  EXPECT_EQ(testing::ReadRows(f.work.path(), "ASIGNOMT",
                              {"COD", "CODLARGO", "NOMBRE", "CODTAREA", "CODORVE", "CODIDIORVE"})
                .at(1),
            (std::vector<std::string>{"EF", "EF", educacion_fisica, "", "EF", ""}));
}

// Without an activities file the table holds the subjects alone and the run
// says nothing about it.
TEST(SubjectsExportTest, MissingActivitiesFileIsSilent) {
  RunFixture f;
  PutOtherFilesEmpty(f);
  f.Put("orve_asignat.txt", Lines({"0", SubjectLine("FIS", "Fisica"), "9"}));
  ASSERT_TRUE(f.Export());
  EXPECT_EQ(f.host.messages, std::vector<std::string>{"Proceso finalizado"});
  EXPECT_EQ(f.state.outcome_code, 1);
  EXPECT_EQ(Codes(f.work.path()), Rows{{"FIS"}});
}

TEST(SubjectsExportTest, OnlyHeaderAndTrailerGiveAnEmptyTable) {
  RunFixture f;
  f.Put("orve_asignat.txt", testing::CrLf({"0ORVE_ASIGNAT.TXT", "9ORVE_ASIGNAT.TXT"}));
  ASSERT_TRUE(f.Export());
  EXPECT_TRUE(Codes(f.work.path()).empty());
}

// A missing subjects file is reported, fails the run and leaves the table
// of the earlier run as it was; the activities file is not read then.
TEST(SubjectsExportTest, MissingSubjectsFileLeavesTheTable) {
  RunFixture f;
  f.Put("orve_asignat.txt", Lines({SubjectLine("FIS", "Fisica")}));
  ASSERT_TRUE(f.Export());
  std::filesystem::remove(f.orve / "orve_asignat.txt");
  f.Put("ORVE_ACTIVIDADES.TXT", Lines({ActivityLine("GUA", "Guardia")}));
  f.host.messages.clear();
  ASSERT_TRUE(f.Export());
  ASSERT_FALSE(f.host.messages.empty());
  EXPECT_EQ(f.host.messages.front(), "No existe archivo de asignaturas (ORVE_ASIGNAT.TXT)");
  EXPECT_EQ(f.state.outcome_code, -1);
  EXPECT_EQ(Codes(f.work.path()), Rows{{"FIS"}});
}

// A subjects file that exists but cannot be read ends the run before
// ASIGNOMT is re-created, so the table of the earlier run stays.
TEST(SubjectsExportTest, UnreadableSubjectsFileLeavesTheTable) {
  RunFixture f;
  f.Put("orve_asignat.txt", Lines({SubjectLine("FIS", "Fisica")}));
  ASSERT_TRUE(f.Export());
  std::filesystem::remove(f.orve / "orve_asignat.txt");
  testing::MakeUnreadableFile(f.orve / "orve_asignat.txt");
  EXPECT_FALSE(f.Export());
  EXPECT_EQ(f.host.errors, std::vector<std::string>{"I/O error 6."});
  EXPECT_EQ(Codes(f.work.path()), Rows{{"FIS"}});
}

}  // namespace
}  // namespace tto
