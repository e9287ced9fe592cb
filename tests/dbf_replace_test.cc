// Tests of the dBase engine's locks and safe replacement: a table that
// another process holds is neither replaced nor read, and a failed write,
// sync or rename leaves the earlier table as it was.
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
using tto::testing::RunCommand;
using tto::testing::TempDir;
using tto::testing::WriteFile;
using namespace tto::dbf::testing_support;

class Holder {
 public:
  explicit Holder(const std::function<void()>& hold) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      hold();
      char c = 'x';
      if (::write(ready[1], &c, 1) != 1) ::_exit(2);
      while (::read(release[0], &c, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char c;
    ready_ = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~Holder() {
    ::close(release_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  bool ready() const { return ready_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool ready_ = false;
};

TEST(DbfLocks, ExclusiveComponentsShutOutOtherProcesses) {
  TempDir dir;
  Table::Recreate(dir.path(), "SOLUC", kAllTypes).Close();
  const std::string in_use = "Table SOLUC (" + (dir / "SOLUC.DBF").string() +
                             "): the table is in use by another program";
  {
    std::unique_ptr<Table> held;
    Holder holder([&] {
      held = std::make_unique<Table>(Table::Open(dir.path(), "SOLUC", {OpenMode::kExclusive, "wwTableSoluc"}));
    });
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(ErrorOf([&] { Table::Open(dir.path(), "SOLUC", {OpenMode::kReadOnly}); }), in_use);
    EXPECT_EQ(ErrorOf([&] { Table::Recreate(dir.path(), "SOLUC", kAllTypes); }), in_use);
  }
  {
    std::unique_ptr<Table> held;
    Holder holder([&] { held = std::make_unique<Table>(Table::Open(dir.path(), "soluc")); });
    ASSERT_TRUE(holder.ready());
    EXPECT_TRUE(Table::Open(dir.path(), "SOLUC", {OpenMode::kReadOnly}).IsOpen());  // shared
    EXPECT_EQ(ErrorOf([&] { Table::Open(dir.path(), "SOLUC", {OpenMode::kExclusive}); }), in_use);
  }
  EXPECT_TRUE(Table::Open(dir.path(), "SOLUC", {OpenMode::kExclusive}).IsOpen());
}

// Whatever kind of lock another program holds, on whatever bytes (drivers
// lock records far past the end of the file): a table to be replaced is in
// use, and a table to be read is in use when the lock is a write lock. The
// table stays as it was.
TEST(DbfLocks, EveryKindOfLockOnAnyRangeIsSeen) {
  TempDir dir;
  {
    Table t = Table::Recreate(dir.path(), "SOLUC", kAllTypes);
    t.Append();
    t.SetText("NOMBRE", "kept");
  }
  const std::filesystem::path path = dir / "SOLUC.DBF";
  const std::string before = ReadFile(path);
  const std::string in_use = "Table SOLUC (" + path.string() + "): the table is in use by another program";
  auto range = [](int command, short type, off_t start, off_t length) {
    return [=](int fd) {
      struct flock lock {};
      lock.l_type = type;
      lock.l_whence = SEEK_SET;
      lock.l_start = start;
      lock.l_len = length;
      return ::fcntl(fd, command, &lock) == 0;
    };
  };
  const struct {
    const char* kind;
    std::function<bool(int)> lock;
    bool write;
  } cases[] = {
      {"flock exclusive", [](int fd) { return ::flock(fd, LOCK_EX) == 0; }, true},
      {"flock shared", [](int fd) { return ::flock(fd, LOCK_SH) == 0; }, false},
      {"POSIX write lock on a record past the end", range(F_SETLK, F_WRLCK, 1000000000, 1), true},
      {"POSIX read lock on the whole file", range(F_SETLK, F_RDLCK, 0, 0), false},
      {"OFD write lock on the header", range(F_OFD_SETLK, F_WRLCK, 0, 32), true},
      {"OFD read lock past the end", range(F_OFD_SETLK, F_RDLCK, 2000000000, 10), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    Holder holder([&] {
      const int fd = ::open(path.c_str(), O_RDWR);
      if (fd < 0 || !c.lock(fd)) std::abort();
    });
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(ErrorOf([&] { Table::Recreate(dir.path(), "SOLUC", kAllTypes); }), in_use);
    const std::string read = ErrorOf([&] { Table::Open(dir.path(), "SOLUC", {OpenMode::kReadOnly}); });
    EXPECT_EQ(read, c.write ? in_use : "(no error)");
    if (!c.write && std::string_view(c.kind).starts_with("flock") == false) {
      // A reader may open it, but not write into it.
      EXPECT_EQ(ErrorOf([&] { Table::Open(dir.path(), "SOLUC").Append(); }), in_use);
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_THAT(FilesIn(dir), ElementsAre("SOLUC.DBF"));
  }
}

// Temporary files that killed runs left behind go at the next replacement
// of their table; those of live runs (locked) and recent ones stay.
TEST(DbfLocks, StaleTemporaryFilesOfEndedRunsAreRemoved) {
  TempDir dir;
  auto temporary = [&](const char* name, bool old) {
    WriteFile(dir / name, "partial");
    if (old) {
      const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 120, 0}};
      ::utimensat(AT_FDCWD, (dir / name).c_str(), times, 0);
    }
  };
  temporary(".ASIGT.DBF.dead01", true);
  temporary(".ASIGT.DBF.live01", true);
  temporary(".ASIGT.DBF.new001", false);
  temporary(".AULAT.DBF.dead02", true);
  Holder live([&] {
    const int fd = ::open((dir / ".ASIGT.DBF.live01").c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_OFD_SETLK, &lock) != 0) std::abort();
  });
  ASSERT_TRUE(live.ready());
  Table::Recreate(dir.path(), "ASIGT", kAllTypes).Close();
  EXPECT_THAT(FilesIn(dir), ElementsAre(".ASIGT.DBF.live01", ".ASIGT.DBF.new001",
                                        ".AULAT.DBF.dead02", "ASIGT.DBF"));
}

// Writes through a seam that fails on demand: after a number of bytes
// (ENOSPC or EIO, the last write cut short), at the sync, or at the rename.
struct InjectedFault {
  enum What { kWrite, kSync, kRename } what = kWrite;
  std::size_t budget = 0;  // bytes written before the failure
  int error = ENOSPC;
};
InjectedFault injected;

ssize_t FailingPwrite(int fd, const void* buf, std::size_t size, off_t offset) {
  if (injected.what == InjectedFault::kWrite) {
    if (injected.budget == 0) {
      errno = injected.error;
      return -1;
    }
    size = std::min(size, injected.budget);
    injected.budget -= size;
  }
  return ::pwrite(fd, buf, size, offset);
}
int FailingFsync(int fd) {
  if (injected.what != InjectedFault::kSync) return ::fsync(fd);
  errno = injected.error;
  return -1;
}
int FailingRename(const char* from, const char* to) {
  if (injected.what != InjectedFault::kRename) return ::rename(from, to);
  errno = injected.error;
  return -1;
}

// A write that fails anywhere leaves the earlier table byte for byte, no
// temporary file, and the engine's error naming the table, whether the
// table is re-created or edited, and whether the failure shows at Close or
// while an error unwinds past the table.
TEST(DbfDurability, AFailedWriteLeavesTheEarlierTable) {
  TempDir dir;
  constexpr int kRecords = 40000;  // 1.7 MB of records
  {
    Table t = Table::Recreate(dir.path(), "ASIGT", kAllTypes);
    for (int i = 0; i < kRecords; ++i) {
      t.Append();
      t.SetText("NOMBRE", "earlier");
    }
  }
  const std::filesystem::path path = dir / "ASIGT.DBF";
  const std::string before = ReadFile(path);
  constexpr std::size_t kAllBytes = 162 + kRecords * 43 + 1 + 8;
  const struct {
    const char* where;
    InjectedFault fault;
    bool unwinding;
    bool edit = false;
  } cases[] = {
      {"at the header", {InjectedFault::kWrite, 0, ENOSPC}, false},
      {"in the records", {InjectedFault::kWrite, 100000, ENOSPC}, false},
      {"in the records, unwinding", {InjectedFault::kWrite, 900001, EIO}, true},
      {"in the final header", {InjectedFault::kWrite, kAllBytes - 3, ENOSPC}, false},
      {"at the sync", {InjectedFault::kSync, 0, EIO}, false},
      {"at the rename", {InjectedFault::kRename, 0, EXDEV}, true},
      {"copying a table to edit", {InjectedFault::kWrite, 1000000, ENOSPC}, false, true},
      {"writing the edits", {InjectedFault::kWrite, kAllBytes + 1000, EIO}, false, true},
      {"renaming the edited table", {InjectedFault::kRename, 0, EXDEV}, false, true},
  };
  const FileIo failing = {::pread, FailingPwrite, FailingFsync, FailingRename};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    injected = c.fault;
    SetFileIo(&failing);
    std::string error;
    try {
      Table t = c.edit ? Table::Open(dir.path(), "ASIGT") : Table::Recreate(dir.path(), "ASIGT", kAllTypes);
      for (int i = 0; i < kRecords; ++i) {
        if (c.edit) {
          t.Edit();
        } else {
          t.Append();
        }
        t.SetFloat("NUM", i);
        t.Post();
        if (c.edit) t.Next();
      }
      if (c.unwinding) throw std::runtime_error("a conversion failed");
      t.Close();
    } catch (const std::exception& e) {
      error = e.what();
    }
    SetFileIo(nullptr);
    if (c.unwinding) {
      EXPECT_EQ(error, "a conversion failed");
    } else {
      EXPECT_THAT(error, ::testing::StartsWith("Table ASIGT (" + path.string() + "): "));
      EXPECT_THAT(error, HasSubstr(std::strerror(c.fault.error)));
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_THAT(FilesIn(dir), ElementsAre("ASIGT.DBF"));
  }
}

TEST(DbfDurability, ATableIsReplacedWholeAndKeepsWhatWasPosted) {
  TempDir dir;
  constexpr int kRecords = 20000;
  auto fill = [&] {
    Table t = Table::Recreate(dir.path(), "CRASH", kAllTypes);
    for (int i = 0; i < kRecords; ++i) {
      t.Append();
      t.SetFloat("NUM", i);
      t.Post();
    }
    return t;
  };
  // Until the new table is complete the old one stays as it was, also for a
  // process that dies while writing it.
  {
    Table t = Table::Recreate(dir.path(), "CRASH", kAllTypes);
    t.Append();
    t.SetText("NOMBRE", "earlier");
  }
  const std::string earlier = ReadFile(dir / "CRASH.DBF");
  { Holder holder([&] { static Table t = fill(); }); }
  EXPECT_EQ(ReadFile(dir / "CRASH.DBF"), earlier);
  {
    Table t = fill();
    EXPECT_EQ(ReadFile(dir / "CRASH.DBF"), earlier);
  }
  EXPECT_EQ(Python(dir, "import dbfread\nprint(len(list(dbfread.DBF('CRASH.DBF'))))\n"),
            std::to_string(kRecords) + "\n");

  // An error that unwinds past the table keeps every posted record.
  EXPECT_THROW(
      {
        Table t = fill();
        throw std::runtime_error("a conversion failed");
      },
      std::runtime_error);
  EXPECT_EQ(Table::Open(dir.path(), "CRASH").RecordCount(), kRecords);
  EXPECT_EQ(std::filesystem::file_size(dir / "CRASH.DBF"), 161u + kRecords * 43u + 1);

  // An error in the middle of a record leaves no half-written record behind.
  EXPECT_THROW(
      {
        Table t = Table::Open(dir.path(), "CRASH");
        t.Append();
        t.SetText("NOMBRE", "half");
        t.SetText("HORAS", "not a number");
      },
      EngineError);
  Table t = Table::Open(dir.path(), "CRASH");
  EXPECT_EQ(t.RecordCount(), kRecords);
  EXPECT_FALSE(t.Locate("NOMBRE", std::string("half")));
}

}  // namespace
}  // namespace tto::dbf
