// Tests of the dBase engine: behaviour of the table operations, the exact
// bytes of the tables it writes, tables written by other programs, tables
// read back by other programs and corrupt files. Locks and safe replacement:
// dbf_replace_test.cc.
#include "platform/dbf/table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "platform/dbf/record_file.h"
#include "tests/dbf_test_support.h"
#include "tests/test_support.h"

namespace tto::dbf {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using tto::testing::ReadFile;
using tto::testing::ReadRows;
using tto::testing::RunCommand;
using tto::testing::TempDir;
using tto::testing::WriteFile;
using namespace tto::dbf::testing_support;

std::vector<std::string> Column(Table& t, std::string_view field) {
  std::vector<std::string> values;
  for (t.First(); !t.Eof(); t.Next()) values.push_back(t.GetText(field));
  return values;
}

TEST(DbfTable, TextIsCutToWidthAndTrailingSpacesDropped) {
  TempDir dir;
  Table t = Table::Recreate(dir.path(), "T", kAllTypes);
  t.Append();
  t.SetText("NOMBRE", "ABCDEFGHIJKL");
  t.Post();
  t.Append();
  t.SetText("nombre", "  a b  ");  // field names ignore case
  t.Post();
  EXPECT_THAT(Column(t, "NOMBRE"), ElementsAre("ABCDEFGHIJ", "  a b"));
}

TEST(DbfTable, LocateIsExactFirstMatchOverOneOrSeveralFields) {
  TempDir dir;
  const FieldDef fields[] = {{"A", FieldType::kString, 5}, {"B", FieldType::kString, 5},
                             {"N", FieldType::kInteger}};
  Table t = Table::Recreate(dir.path(), "L", fields);
  const char* rows[][2] = {{"x", "1"}, {"y", "2"}, {"x", "2"}, {"x", "2"}, {"", ""}};
  int n = 0;
  for (auto& row : rows) {
    t.Append();
    if (*row[0]) t.SetText("A", row[0]);
    if (*row[1]) t.SetText("B", row[1]);
    t.SetFloat("N", n++);
    t.Post();
  }
  EXPECT_FALSE(t.Locate("A", std::string("X")));
  const std::vector<std::string> x2 = {"x", "2"};
  ASSERT_TRUE(t.Locate("A;B", x2));
  EXPECT_EQ(t.GetInteger("N"), 2);
  const std::vector<std::string> blank = {"", ""};
  ASSERT_TRUE(t.Locate("A;B", blank));
  EXPECT_EQ(t.GetInteger("N"), 4);
  EXPECT_TRUE(t.Locate("N", std::string("3")));  // numbers compare by their text

  // The index follows edits: record 2 no longer matches, record 3 does.
  ASSERT_TRUE(t.Locate("A;B", x2));
  t.Edit();
  t.SetText("B", "9");
  t.Post();
  ASSERT_TRUE(t.Locate("A;B", x2));
  EXPECT_EQ(t.GetInteger("N"), 3);
  // ...and appends: a new record never hides an earlier match.
  t.Append();
  t.SetText("A", "x");
  t.SetText("B", "9");
  t.SetFloat("N", 99);
  t.Post();
  const std::vector<std::string> x9 = {"x", "9"};
  ASSERT_TRUE(t.Locate("A;B", x9));
  EXPECT_EQ(t.GetInteger("N"), 2);
  EXPECT_FALSE(t.Locate("A;B", std::vector<std::string>{"z", "9"}));
}

// Locate keeps an index; whatever the mix of appends, edits, dropped records
// and reopenings, it must give the record that a scan from the start finds.
TEST(DbfTable, LocateAgreesWithAPlainScanThroughEditsAndAppends) {
  TempDir dir;
  const FieldDef fields[] = {{"A", FieldType::kString, 2}, {"B", FieldType::kString, 2},
                             {"N", FieldType::kInteger}};
  const char* const values[] = {"", "x", "y", "xy", "X"};
  std::mt19937 random(20261210);
  auto pick = [&] { return std::string(values[random() % 5]); };
  const std::vector<std::pair<std::string, int>> lists = {{"A", 1}, {"A;B", 2}, {"B;N", 2}};

  auto scan = [](Table& t, const std::string& list, const std::vector<std::string>& key) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at <= list.size();) {
      std::size_t end = std::min(list.find(';', at), list.size());
      names.push_back(list.substr(at, end - at));
      at = end + 1;
    }
    int position = 0;
    for (t.First(); !t.Eof(); t.Next(), ++position) {
      bool all = true;
      for (std::size_t i = 0; i < names.size(); ++i) all = all && t.GetText(names[i]) == key[i];
      if (all) return position;
    }
    return -1;
  };
  auto position_of_current = [](Table& t) {
    // N holds each record's position, written when it was appended.
    return t.GetInteger("N");
  };

  Table t = Table::Recreate(dir.path(), "R", fields);
  int appended = 0;
  for (int step = 0; step < 3000; ++step) {
    const unsigned op = random() % 10;
    if (op < 3) {
      t.Append();
      if (random() % 5 != 0) {  // else dropped by the next move: nothing written
        t.SetText("A", pick());
        t.SetText("B", pick());
        t.SetFloat("N", appended++);
      }
    } else if (op < 5 && appended > 0) {
      t.First();
      for (unsigned k = random() % appended; k > 0; --k) t.Next();
      t.Edit();
      t.SetText(random() % 2 ? "A" : "B", pick());
      if (random() % 3 == 0) t.Post();  // else posted by the next move
    } else if (op == 5 && random() % 20 == 0) {
      t.Close();
      t = Table::Open(dir.path(), "R");
    } else {
      const auto& [list, size] = lists[random() % lists.size()];
      std::vector<std::string> key;
      for (int i = 0; i < size; ++i) key.push_back(pick());
      if (list == "B;N") key[1] = std::to_string(random() % (appended + 1));
      // The two forms of Locate must agree: by names, or by handles.
      bool found;
      if (random() % 2 == 0) {
        found = t.Locate(list, key);
      } else {
        std::vector<FieldHandle> handles;
        for (std::size_t at = 0; at <= list.size();) {
          std::size_t end = std::min(list.find(';', at), list.size());
          handles.push_back(t.Field(list.substr(at, end - at)));
          at = end + 1;
        }
        const std::vector<std::string_view> views(key.begin(), key.end());
        found = t.Locate(handles, views);
      }
      const int located = found ? position_of_current(t) : -1;
      ASSERT_EQ(located, scan(t, list, key)) << "step " << step << " " << list;
    }
  }
}

// A table many times larger than the records kept in memory: appends,
// edits spread over it and lookups give back what was written.
TEST(DbfTable, TablesLargerThanTheCacheKeepEveryRecord) {
  TempDir dir;
  constexpr int kRecords = 250000;  // 11 MB of records, 8 MiB kept
  {
    Table t = Table::Recreate(dir.path(), "BIG", kAllTypes);
    for (int i = 0; i < kRecords; ++i) {
      t.Append();
      t.SetText("NOMBRE", "n" + std::to_string(i % 1000));
      t.SetFloat("NUM", i);
      t.Post();
    }
    EXPECT_TRUE(t.Locate("NOMBRE", std::string("n999")));
    EXPECT_EQ(t.GetInteger("NUM"), 999);
    for (int i = 0; i < kRecords; i += 7919) {
      ASSERT_TRUE(t.Locate("NUM", std::to_string(i)));
      t.Edit();
      t.SetText("NOMBRE", "edited");
      t.Post();
    }
  }
  Table t = Table::Open(dir.path(), "BIG");
  ASSERT_EQ(t.RecordCount(), kRecords);
  int i = 0;
  for (t.First(); !t.Eof(); t.Next(), ++i) {
    ASSERT_EQ(t.GetInteger("NUM"), i);
    ASSERT_EQ(t.GetText("NOMBRE"), i % 7919 == 0 ? "edited" : "n" + std::to_string(i % 1000)) << i;
  }
  EXPECT_EQ(i, kRecords);
  ASSERT_TRUE(t.Locate("NOMBRE", std::string("edited")));
  EXPECT_EQ(t.GetInteger("NUM"), 0);
  ASSERT_TRUE(t.Locate("NOMBRE", std::string("n0")));
  EXPECT_EQ(t.GetInteger("NUM"), 1000);
}

// Handles read and write what the names do; views need no copy and stay
// exact for every type.
TEST(DbfTable, FieldHandlesAndTextViewsMatchAccessByName) {
  TempDir dir;
  Table t = Table::Recreate(dir.path(), "H", kAllTypes);
  const FieldHandle name = t.Field("nombre");
  const FieldHandle num = t.Field("NUM");
  const FieldHandle active = t.Field("ACTIVO");
  const FieldHandle hours = t.Field("HORAS");
  EXPECT_EQ(ErrorOf([&] { t.Field("DIA"); }), "Field 'DIA' not found in table H");
  t.Append();
  t.SetText(name, "ab  ");
  t.SetText(num, "42");
  t.SetBool(active, true);
  t.SetFloat(hours, 2.5);
  t.Post();
  t.Append();  // a blank record
  t.SetText(name, "");
  t.Post();
  t.First();
  EXPECT_EQ(t.TextView(name), "ab");
  EXPECT_EQ(t.TextView(num), "42");
  EXPECT_EQ(t.TextView(hours), "2.5");
  EXPECT_EQ(t.TextView(active), t.GetText("ACTIVO"));
  EXPECT_EQ(t.GetInteger(num), 42);
  EXPECT_EQ(t.GetFloat(hours), 2.5);
  t.Next();
  for (FieldHandle f : {name, num, active, hours}) EXPECT_EQ(t.TextView(f), "");
  EXPECT_EQ(t.GetInteger(num), 0);
  EXPECT_EQ(ErrorOf([&] { t.GetText(FieldHandle()); }),
            "Table H (" + (dir / "H.DBF").string() + "): a field handle that does not belong to this table");
}

TEST(DbfTable, RecreateLeavesAnEmptyTableWithTheNewFieldsAndNoIndex) {
  TempDir dir;
  {
    Table t = Table::Recreate(dir.path(), "ASIGT", kAllTypes);
    t.Append();
    t.SetText("NOMBRE", "old");
    t.Post();
  }
  std::filesystem::rename(dir / "ASIGT.DBF", dir / "asigt.dbf");
  WriteFile(dir / "Asigt.mdx", "index");
  const FieldDef fields[] = {{"CASIG", FieldType::kString, 10}};
  Table t = Table::Recreate(dir.path(), "ASIGT", fields);
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_TRUE(t.Eof());
  EXPECT_THAT(t.FieldNames(), ElementsAre("CASIG"));
  t.Close();
  EXPECT_THAT(FilesIn(dir), ElementsAre("ASIGT.DBF"));
}

TEST(DbfTable, EmptyTableHasTheExactDbase3Layout) {
  TempDir dir;
  Table::Recreate(dir.path(), "EMPTY", kAllTypes).Close();
  std::string bytes = ReadFile(dir / "EMPTY.DBF");
  ASSERT_EQ(bytes.size(), 32u + 4 * 32 + 1 + 1);
  EXPECT_EQ(bytes[0], 0x03);
  EXPECT_GE(static_cast<unsigned char>(bytes[1]), 126);  // year - 1900
  EXPECT_EQ(bytes.substr(4, 4), std::string(4, '\0'));  // no records
  EXPECT_EQ(bytes.substr(8, 2), std::string("\xA1\x00", 2));  // header 161
  EXPECT_EQ(bytes.substr(10, 2), std::string("\x2B\x00", 2));  // record 1+10+11+1+20
  EXPECT_EQ(bytes[28], 0);  // no production index
  EXPECT_EQ(bytes[29], 0x57);
  auto descriptor = [&](int i) { return bytes.substr(32 + 32 * i, 18); };
  EXPECT_EQ(descriptor(0), std::string("NOMBRE\0\0\0\0\0C\0\0\0\0\x0A\0", 18));
  EXPECT_EQ(descriptor(1), std::string("NUM\0\0\0\0\0\0\0\0N\0\0\0\0\x0B\0", 18));
  EXPECT_EQ(descriptor(2), std::string("ACTIVO\0\0\0\0\0L\0\0\0\0\x01\0", 18));
  EXPECT_EQ(descriptor(3), std::string("HORAS\0\0\0\0\0\0N\0\0\0\0\x14\x04", 18));
  EXPECT_EQ(bytes.substr(160), "\x0D\x1A");
}

TEST(DbfTable, EveryTypeRoundTripsWithBlanksStoredAsSpaces) {
  TempDir dir;
  {
    Table t = Table::Recreate(dir.path(), "RT", kAllTypes);
    t.Append();
    t.SetText("NOMBRE", "PE\xD1" "A");
    t.SetFloat("NUM", -12);
    t.SetBool("ACTIVO", true);
    t.SetFloat("HORAS", 2.5);
    t.Post();
    t.Append();
    t.SetBool("ACTIVO", false);
    t.SetFloat("HORAS", 0.0001);
    t.Post();
    t.Append();  // a posted blank record
    t.Post();
  }
  std::string bytes = ReadFile(dir / "RT.DBF");
  ASSERT_EQ(bytes.size(), 161u + 3 * 43 + 1);
  EXPECT_EQ(bytes.substr(4, 1), "\x03");
  EXPECT_EQ(bytes.substr(161, 43), " PE\xD1" "A              -12T              2.5000");
  EXPECT_EQ(bytes.substr(161 + 86, 43), std::string(43, ' '));
  EXPECT_EQ(bytes.back(), '\x1A');

  Table t = Table::Open(dir.path(), "rt", {OpenMode::kReadOnly});
  ASSERT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(t.GetText("NOMBRE"), "PE\xD1" "A");
  EXPECT_EQ(t.GetText("NUM"), "-12");
  EXPECT_EQ(t.GetInteger("NUM"), -12);
  EXPECT_EQ(t.GetText("ACTIVO"), "True");
  EXPECT_EQ(t.GetText("HORAS"), "2.5");
  EXPECT_EQ(t.GetFloat("HORAS"), 2.5);
  EXPECT_EQ(t.GetInteger("HORAS"), 2);  // rounded, a tie to even
  t.Next();
  EXPECT_EQ(t.GetText("ACTIVO"), "False");
  EXPECT_EQ(t.GetText("HORAS"), "0.0001");
  t.Next();
  for (const char* field : {"NOMBRE", "NUM", "ACTIVO", "HORAS"}) {
    EXPECT_EQ(t.GetText(field), "") << field;
  }
  EXPECT_EQ(t.GetInteger("NUM"), 0);
  EXPECT_EQ(t.GetFloat("HORAS"), 0);
  EXPECT_EQ(t.GetInteger("NOMBRE"), 0);
  t.Next();
  EXPECT_TRUE(t.Eof());
}

// The window's toolkit sets the C library to the user's locale; a Spanish
// one must not put a comma into a numeric field.
TEST(DbfTable, NumbersAreWrittenWithAPointUnderACommaLocale) {
  if (std::setlocale(LC_ALL, "es_ES.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no comma locale installed";
  }
  TempDir dir;
  {
    Table t = Table::Recreate(dir.path(), "LOC", kAllTypes);
    for (double hours : {2.5, 1234.56789, -3.0, 0.00005}) {
      t.Append();
      t.SetFloat("HORAS", hours);
      t.SetText("NUM", "7");
      t.Post();
    }
  }
  std::setlocale(LC_ALL, "C");
  const std::string bytes = ReadFile(dir / "LOC.DBF");
  std::vector<std::string> hours;
  for (int r = 0; r < 4; ++r) hours.push_back(bytes.substr(161 + 43 * r + 23, 20));
  EXPECT_THAT(hours, ElementsAre("              2.5000", "           1234.5679",
                                 "             -3.0000", "              0.0001"));
}

TEST(DbfTable, MovingPostsAWrittenRecordAndDropsAnUnwrittenOne) {
  TempDir dir;
  Table t = Table::Recreate(dir.path(), "P", kAllTypes);
  t.Append();
  t.SetText("NOMBRE", "kept");
  t.First();  // posts
  t.Append();
  t.Next();  // dropped: nothing written
  t.Append();
  t.SetText("NOMBRE", "located");
  EXPECT_TRUE(t.Locate("NOMBRE", std::string("located")));  // posted before the search
  t.Edit();
  t.SetText("NOMBRE", "edited");
  t.First();
  t.Append();
  t.SetText("NOMBRE", "at close");
  t.Close();
  Table r = Table::Open(dir.path(), "P");
  EXPECT_THAT(Column(r, "NOMBRE"), ElementsAre("kept", "edited", "at close"));
}

TEST(DbfTable, EditsOfStoredRecordsReachTheFile) {
  TempDir dir;
  {
    Table t = Table::Recreate(dir.path(), "E", kAllTypes);
    for (const char* name : {"a", "b", "c", "d"}) {
      t.Append();
      t.SetText("NOMBRE", name);
      t.Post();
    }
  }
  {
    Table t = Table::Open(dir.path(), "E");
    for (t.First(); !t.Eof(); t.Next()) {
      if (t.GetText("NOMBRE") == "b") continue;
      t.Edit();
      t.SetText("NOMBRE", t.GetText("NOMBRE") + "2");
      t.Post();  // keeps the place: the pass goes on with the next record
    }
    t.Append();
    t.SetText("NOMBRE", "e");
  }
  Table t = Table::Open(dir.path(), "E");
  EXPECT_THAT(Column(t, "NOMBRE"), ElementsAre("a2", "b", "c2", "d2", "e"));
}

TEST(DbfTable, FieldErrorsNameTheComponentOrTheTable) {
  TempDir dir;
  Table::Recreate(dir.path(), "SOLUC", kAllTypes).Close();
  Table c = Table::Open(dir.path(), "SOLUC", {OpenMode::kExclusive, "wwTableSoluc"});
  EXPECT_EQ(ErrorOf([&] { c.GetText("DIA"); }), "wwTableSoluc: Field 'DIA' not found");
  c.Close();
  Table p = Table::Open(dir.path(), "SOLUC");
  EXPECT_THAT(ErrorOf([&] { p.GetInteger("DIA"); }), ::testing::StartsWith("Field 'DIA' not found"));
  p.Append();
  p.SetText("NOMBRE", "x1");
  EXPECT_EQ(ErrorOf([&] { p.GetInteger("NOMBRE"); }), "'x1' is not a valid integer value");
  EXPECT_THAT(ErrorOf([&] { p.SetFloat("HORAS", 1e30); }), HasSubstr("does not fit field HORAS"));
  p.Close();
  EXPECT_THAT(ErrorOf([&] { Table::Open(dir.path(), "SOLUC", {OpenMode::kReadOnly}).Append(); }),
              HasSubstr("open read-only"));
}

TEST(DbfTable, MissingWorkFolderOrTableIsAnEngineError) {
  TempDir dir;
  EXPECT_THAT(ErrorOf([&] { Table::Open(dir / "nope", "SOLUC"); }),
              HasSubstr("work folder '" + (dir / "nope").string() + "' does not exist"));
  EXPECT_THAT(ErrorOf([&] { Table::Recreate(dir / "nope", "X", kAllTypes); }),
              HasSubstr("does not exist"));
  EXPECT_THAT(ErrorOf([&] { Table::Open(dir.path(), "SOLUC"); }),
              HasSubstr("Table SOLUC"));
}

TEST(DbfTable, DefaultWorkFolder) {
  TempDir dir;
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("TRANSTEMPEXORVE_WORK_FOLDER", "/some/where", 1);
  EXPECT_EQ(DefaultWorkFolder(), "/some/where");
  ::unsetenv("TRANSTEMPEXORVE_WORK_FOLDER");
  ::setenv("WINEPREFIX", dir.path().c_str(), 1);
  EXPECT_EQ(DefaultWorkFolder(), dir / "drive_c/ZWORK");
  std::filesystem::create_directories(dir / "drive_c/zwork");
  EXPECT_EQ(DefaultWorkFolder(), dir / "drive_c/zwork");
  ::unsetenv("WINEPREFIX");
  ::setenv("HOME", "/home/x", 1);
  EXPECT_EQ(DefaultWorkFolder(), "/home/x/.wine/drive_c/ZWORK");
  ::setenv("HOME", home.c_str(), 1);
}


using Row = std::vector<std::string>;

TEST(DbfForeignTables, Python3DbfDbase3AndVisualFoxPro) {
  TempDir dir;
  Python(dir, R"(
import dbf, datetime
def fill(name, field_list, kind, rows):
    t = dbf.Table(name, field_list, dbf_type=kind, codepage='cp1252')
    t.open(dbf.READ_WRITE)
    for r in rows: t.append(r)
    dbf.delete(t[1])
    t.close()
fill('db3.dbf', 'NAME C(10); QTY N(11,0); H N(19,4); OK L; DAY D', 'db3',
     [('Peña', 12, 2.5, True, datetime.date(2026, 1, 2)), ('deleted', 1, 1, False, None),
      ('áé', None, None, None, None)])
fill('vfp.dbf', 'NAME C(10); QTY N(8,2); CNT I; DBL B; CUR Y; STAMP T; OK L; NOTE M; FL F(10,3)', 'vfp',
     [('Peña', 2.5, -7, 1.25, 12.5, datetime.datetime(2026, 12, 10, 9, 30, 15), True, 'memo', -0.5),
      ('deleted', 1, 1, 1, 1, None, False, '', 1),
      ('áé', None, 0, None, None, None, None, '', None)])
)");
  EXPECT_THAT(ReadRows(dir.path(), "DB3", {"NAME", "QTY", "H", "OK", "DAY"}),
              ElementsAre(Row{"Pe\xF1" "a", "12", "2.5", "True", "2026-01-02"},
                          Row{"\xE1\xE9", "", "", "", ""}));
  EXPECT_THAT(ReadRows(dir.path(), "VFP", {"NAME", "QTY", "CNT", "DBL", "CUR", "STAMP", "OK", "NOTE", "FL"}),
              ElementsAre(Row{"Pe\xF1" "a", "2.5", "-7", "1.25", "12.5", "2026-12-10 09:30:15",
                              "True", "", "-0.5"},
                          Row{"\xE1\xE9", "", "0", "0", "0", "", "", "", ""}));
  Table t = Table::Open(dir.path(), "vfp", {OpenMode::kReadOnly});
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_FALSE(t.Locate("NAME", std::string("deleted")));  // locate skips deleted records too
  EXPECT_EQ(t.GetInteger("QTY"), 2);
  EXPECT_EQ(t.GetFloat("CUR"), 12.5);
  EXPECT_THAT(ErrorOf([&] { Table::Open(dir.path(), "VFP").Append(); }),
              HasSubstr("writes only dBase III+/IV tables"));
}

TEST(DbfForeignTables, Ogr2ogrWithNullsAsStars) {
  TempDir dir;
  WriteFile(dir / "in.csv", "NAME,N,R,D\n\"Pe\xC3\xB1" "a\",12,2.5,2026/01/02\n\" \xC3\xA1" "b\",,,\n");
  WriteFile(dir / "in.csvt", "\"String(10)\",\"Integer\",\"Real\",\"Date\"\n");
  int status = -1;
  RunCommand("cd '" + dir.path().string() +
                 "' && ogr2ogr -q -f 'ESRI Shapefile' -lco ENCODING=LDID/87 out in.csv 2>&1",
             &status);
  ASSERT_EQ(status, 0);
  ASSERT_THAT(ReadFile(dir / "out/in.dbf"), HasSubstr("****"));  // GDAL's null
  EXPECT_THAT(ReadRows(dir / "out", "IN", {"NAME", "N", "R", "D"}),
              ElementsAre(Row{"Pe\xF1" "a", "12", "2.5", "2026-01-02"}, Row{" \xE1" "b", "", "", ""}));
  Table t = Table::Open(dir / "out", "in");
  t.Next();
  EXPECT_EQ(t.GetInteger("N"), 0);
  EXPECT_EQ(t.GetFloat("R"), 0);
}

// A level-7 table as the classic driver lays it out: 68-byte header with the
// driver name, 48-byte descriptors, a field properties area before the
// records; I and + big-endian with the sign bit flipped, O and @ doubles.
std::string Level7Table() {
  struct F { const char* name; char type; int width; int decimals; };
  const F fields[] = {{"NAME", 'C', 8, 0}, {"ID", 'I', 4, 0}, {"SEQ", '+', 4, 0}, {"VAL", 'O', 8, 0},
                      {"WHEN", '@', 8, 0}, {"OK", 'L', 1, 0}, {"QTY", 'N', 5, 1}};
  const int header = 68 + 48 * 7 + 1 + 16;
  const int record = 1 + 8 + 4 + 4 + 8 + 8 + 1 + 5;
  std::string b(68, '\0');
  b[0] = 0x04;
  b[1] = 126; b[2] = 12; b[3] = 10;
  b[4] = 3;
  b[8] = static_cast<char>(header & 0xFF); b[9] = static_cast<char>(header >> 8);
  b[10] = static_cast<char>(record);
  b[29] = 0x57;
  std::memcpy(&b[32], "DBWINUS0", 8);
  for (const F& f : fields) {
    std::string d(48, '\0');
    std::memcpy(d.data(), f.name, std::strlen(f.name));
    d[32] = f.type;
    d[33] = static_cast<char>(f.width);
    d[34] = static_cast<char>(f.decimals);
    b += d;
  }
  b += '\x0D';
  b += std::string("\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x10\x00\x10\x00", 16);
  auto hex = [](const char* h) {
    std::string out;
    for (; *h; h += 2) out += static_cast<char>(std::stoi(std::string(h, 2), nullptr, 16));
    return out;
  };
  b += " Pe\xF1" "a    " + hex("80000001") + hex("80000001") + hex("C004000000000000") +
       hex("C2CD12BB4E9A2C00") + "T" + "  1.5";
  b += "*deleted " + hex("80000002") + hex("80000002") + hex("C004000000000000") +
       std::string(8, '\0') + "F" + "  2.0";
  b += " \xE1" "b      " + hex("7FFFFFFF") + hex("80000003") + hex("3FB4FFFFFFFFFFFF") +
       std::string(8, '\0') + " " + "     ";
  b += '\x1A';
  return b;
}

TEST(DbfForeignTables, Level7CraftedByteByByte) {
  TempDir dir;
  WriteFile(dir / "soluc.dbf", Level7Table());
  EXPECT_THAT(ReadRows(dir.path(), "SOLUC", {"NAME", "ID", "SEQ", "VAL", "WHEN", "OK", "QTY"}),
              ElementsAre(Row{"Pe\xF1" "a", "1", "1", "2.5", "2026-12-10 09:30:15", "True", "1.5"},
                          Row{"\xE1" "b", "-1", "3", "-54", "", "", ""}));
  Table t = Table::Open(dir.path(), "SOLUC", {OpenMode::kExclusive, "wwTableSoluc"});
  EXPECT_EQ(t.GetInteger("ID"), 1);
  t.Next();
  EXPECT_EQ(t.GetInteger("ID"), -1);
  EXPECT_EQ(t.GetFloat("VAL"), -54.0);
  EXPECT_TRUE(t.Locate("SEQ", std::string("3")));
}

// What Debian's dbfread, python3-dbf and GDAL make of a table of ours, each
// decoding the text by the table's language-driver byte alone.
TEST(DbfForeignTables, OurTablesReadByDbfreadAndGdal) {
  TempDir dir;
  {
    Table t = Table::Recreate(dir.path(), "OURS", kAllTypes);
    t.Append();
    t.SetText("NOMBRE", "Pe\xF1" "a \xE1");
    t.SetFloat("NUM", 12);
    t.SetBool("ACTIVO", true);
    t.SetFloat("HORAS", 2.5);
    t.Post();
    t.Append();
    t.SetBool("ACTIVO", false);
    t.Post();
  }
  std::string python = Python(dir, R"(
import dbf, dbfread
t = dbfread.DBF('OURS.DBF')
print(t.encoding, [(f.name, f.type, f.length, f.decimal_count) for f in t.fields])
for r in t: print(repr(list(r.values())))
t = dbf.Table('OURS.DBF')
t.open(dbf.READ_ONLY)
print(t.codepage)
for r in t: print(repr([v.rstrip() if isinstance(v, str) else v for v in r]))
)");
  EXPECT_EQ(python,
            "cp1252 [('NOMBRE', 'C', 10, 0), ('NUM', 'N', 11, 0), ('ACTIVO', 'L', 1, 0), "
            "('HORAS', 'N', 20, 4)]\n"
            "['Pe\xC3\xB1" "a \xC3\xA1', 12, True, 2.5]\n"
            "['', None, False, None]\n"
            "cp1252 (Windows ANSI)\n"
            "['Pe\xC3\xB1" "a \xC3\xA1', 12, True, 2.5]\n"
            "['', None, False, None]\n");
  int status = -1;
  std::string gdal = RunCommand("ogrinfo -ro -al '" + (dir / "OURS.DBF").string() + "' 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_THAT(gdal, HasSubstr("NOMBRE: String (10.0)\nNUM: Integer64 (11.0)\nACTIVO: String (1.0)\n"
                              "HORAS: Real (20.4)\n"));
  EXPECT_THAT(gdal, HasSubstr("  NOMBRE (String) = Pe\xC3\xB1" "a \xC3\xA1\n  NUM (Integer64) = 12\n"
                              "  ACTIVO (String) = T\n  HORAS (Real) = 2.5000\n"));
  EXPECT_THAT(gdal, HasSubstr("  NOMBRE (String) = (null)\n  NUM (Integer64) = (null)\n"
                              "  ACTIVO (String) = F\n  HORAS (Real) = (null)\n"));
}


// A valid table of ours with two records, for the corruption cases to spoil.
std::string SmallTable(const TempDir& dir) {
  {
    Table t = Table::Recreate(dir.path(), "GOOD", kAllTypes);
    for (int i = 0; i < 2; ++i) {
      t.Append();
      t.SetText("NOMBRE", "row");
      t.Post();
    }
  }
  return ReadFile(dir / "GOOD.DBF");
}

std::string ManyFields(int n) {
  const int header = 32 + 32 * n + 1;
  std::string b(32, '\0');
  b[0] = 0x03;
  b[8] = static_cast<char>(header & 0xFF);
  b[9] = static_cast<char>(header >> 8);
  b[10] = static_cast<char>((n + 1) & 0xFF);
  b[11] = static_cast<char>((n + 1) >> 8);
  for (int i = 0; i < n; ++i) {
    std::string d(32, '\0');
    std::string name = "F" + std::to_string(i);
    std::memcpy(d.data(), name.data(), name.size());
    d[11] = 'C';
    d[16] = 1;
    b += d;
  }
  return b + "\x0D\x1A";
}

TEST(DbfCorruptTables, EachFaultIsAnEngineErrorNamingFileAndFault) {
  TempDir dir;
  const std::string good = SmallTable(dir);
  auto with = [&](std::size_t at, std::string_view bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* fault;
  } cases[] = {
      {"short", good.substr(0, 20), "too short for a dBase header"},
      {"version", with(0, "\x02"), "unknown version byte 0x02"},
      {"headpast", with(8, "\xFF\xFF"), "header length 65535 is past the end of the file"},
      {"headshort", with(8, std::string("\x10\x00", 2)), "header length 16 is too short"},
      {"count", with(4, "\x03"), "counts 3 records (129 bytes) but the file holds only 87"},
      {"hugecount", with(4, "\xFF\xFF\xFF\xFF"), "counts 4294967295 records"},
      {"reclen", with(10, "\x63"), "record length 99 disagrees with the fields, which need 43"},
      {"noend", with(160, "X"), "no end mark (0x0D)"},
      {"width0", with(32 + 16, std::string(1, '\0')), "field 1 (NOMBRE) has width 0"},
      {"type", with(32 + 11, "Z"), "field 1 (NOMBRE) has the unknown type 'Z'"},
      {"intwidth", with(32 + 32 + 11, "I"), "field 2 (NUM) of type I has width 11, not 4"},
      {"nofields", with(8, std::string("\x21\x00\x01\x00", 4)).replace(32, 1, "\x0D"), "has no fields"},
      {"many", ManyFields(1100), "more than 1024 fields"},
  };
  for (const auto& c : cases) {
    WriteFile(dir / (std::string(c.name) + ".dbf"), c.bytes);
    std::string error = ErrorOf([&] { Table::Open(dir.path(), c.name); });
    EXPECT_THAT(error, HasSubstr((dir / (std::string(c.name) + ".dbf")).string())) << c.name;
    EXPECT_THAT(error, HasSubstr(c.fault)) << c.name;
  }
  // A FIFO in a table's place is refused at once, not waited on.
  ASSERT_EQ(::mkfifo((dir / "FIFO.DBF").c_str(), 0644), 0);
  ::alarm(20);  // a hang ends the test program
  EXPECT_THAT(ErrorOf([&] { Table::Open(dir.path(), "FIFO", {OpenMode::kReadOnly}); }),
              HasSubstr("not a regular file"));
  EXPECT_THAT(ErrorOf([&] { Table::Recreate(dir.path(), "FIFO", kAllTypes); }), "(no error)");
  ::alarm(0);
  // A table with more bytes than its count promises (an interrupted append)
  // is valid: only the counted records are read.
  WriteFile(dir / "stale.dbf", with(4, "\x01"));
  EXPECT_EQ(Table::Open(dir.path(), "STALE").RecordCount(), 1);
}

// Runs `hold` in a child process that keeps its table open until the
// returned guard goes; returns once the child has opened it.
}  // namespace
}  // namespace tto::dbf
