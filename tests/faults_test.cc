// The command-line tool under faults: a disk that fills up or fails inside
// every table of an export, inside the timetable file of an import and
// inside the host's ini file; tables held by another process with each kind
// of lock; two runs at once on one work folder; inputs replaced by folders
// or removed just before they are opened. Every run is a process of its own
// with the write-fault library preloaded (faults/write_faults.cc), which
// also lists the descriptors still open at exit. Each case must end with a
// clear error and a non-zero status, without a crash or a leaked
// descriptor, and leave every file either as it was or complete.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_lock.h"
#include "tests/test_support.h"

extern char** environ;

namespace tto {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Env = std::vector<std::string>;

// The tables of an export, in the order the run rebuilds them.
constexpr std::array<const char*, 6> kTables = {"ASIGNOMT", "PROFT", "AULAT",
                                                "GRUPOST",  "ASIGT", "DIASHORAST"};

// --- processes ----------------------------------------------------------------

struct Outcome {
  int status = -1;  // exit status, or -1 when a signal ended the process
  int signal = 0;
  std::string out, err;
  std::string open_fds;  // descriptors still open at exit, one a line
};

// A program started with the write-fault library preloaded, its output going
// to files of its own.
class Child {
 public:
  Child(const std::vector<std::string>& args, const Env& env) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry = *e;
      if (!entry.starts_with("TTO_FAULT_") && !entry.starts_with("LD_PRELOAD=")) {
        environment.emplace_back(entry);
      }
    }
    environment.push_back(std::string("LD_PRELOAD=") + TTO_WRITE_FAULTS);
    // A sanitized build wants its runtime first; the library does not mind.
    const char* asan = std::getenv("ASAN_OPTIONS");
    environment.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                          ":verify_asan_link_order=0");
    environment.push_back("TTO_FAULT_FDS=" + (scratch_ / "fds").string());
    environment.insert(environment.end(), env.begin(), env.end());

    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (scratch_ / "out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (scratch_ / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) pid_ = -1;
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) Wait();
  }

  Outcome Wait() {
    Outcome outcome;
    int raw = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &raw, 0) != pid_) return outcome;
    pid_ = -1;
    if (WIFEXITED(raw)) outcome.status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) outcome.signal = WTERMSIG(raw);
    outcome.out = ReadFile(scratch_ / "out");
    outcome.err = ReadFile(scratch_ / "err");
    outcome.open_fds = ReadFile(scratch_ / "fds");
    return outcome;
  }

 private:
  TempDir scratch_;
  pid_t pid_ = -1;
};

Outcome RunProgram(const std::vector<std::string>& args, const Env& env = {}) {
  return Child(args, env).Wait();
}

Outcome Cli(std::string_view run, const fs::path& folder, const fs::path& work,
            const Env& env = {}) {
  return RunProgram({TTO_CLI, std::string(run), folder.string(), "--work-folder", work.string()},
                    env);
}

// What every faulty run must show: an error that ended it, on standard
// error, and nothing left open.
void ExpectCleanFailure(const Outcome& r, std::string_view names) {
  EXPECT_EQ(r.signal, 0) << "crashed";
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find(names), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Proceso finalizado"), std::string::npos);
  EXPECT_EQ(r.open_fds, "") << "descriptors left open";
}

// --- files ----------------------------------------------------------------------

// The bytes of a table with the date of its last update (header bytes 1 to
// 3) blanked, so that runs on different days compare equal.
std::string TableBytes(const fs::path& path) {
  std::string bytes = ReadFile(path);
  for (std::size_t i = 1; i < 4 && i < bytes.size(); ++i) bytes[i] = 0;
  return bytes;
}

using Tables = std::map<std::string, std::string>;

Tables ReadTables(const fs::path& work) {
  Tables tables;
  for (const char* name : kTables) {
    const fs::path path = work / (std::string(name) + ".DBF");
    if (fs::exists(path)) tables[name] = TableBytes(path);
  }
  return tables;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

void CopyFolder(const fs::path& from, const fs::path& to) {
  for (const auto& entry : fs::directory_iterator(from)) {
    fs::copy(entry.path(), to / entry.path().filename(), fs::copy_options::recursive);
  }
}

// The lines of ORVE_HORARIO.TXT with the dates of its header and trailer
// blanked.
std::string TimetableWithoutDates(const fs::path& path) {
  std::istringstream in(ReadFile(path));
  std::string text, line;
  while (std::getline(in, line)) {
    if ((line.starts_with("0") || line.starts_with("9")) && line.size() >= 71) {
      line.replace(59, 12, 12, '#');
    }
    text += line + "\n";
  }
  return text;
}

// Two versions of the sample school: B is the school itself, A the same
// without the last data record of each file, so that every table of A
// differs from B's. Each with the tables a clean export makes of it.
struct Schools {
  Schools() {
    fs::create_directories(orve_a);
    fs::create_directories(orve_b);
    for (const auto& entry : fs::directory_iterator(fs::path(TTO_SOURCE_DIR) / "examples/orve")) {
      const std::string bytes = ReadFile(entry.path());
      WriteFile(orve_b / entry.path().filename(), bytes);
      // The last data record stands before the trailer, the last line.
      const std::size_t trailer = bytes.rfind("\r\n", bytes.size() - 3) + 2;
      const std::size_t last = bytes.rfind("\r\n", trailer - 3) + 2;
      WriteFile(orve_a / entry.path().filename(), bytes.substr(0, last) + bytes.substr(trailer));
    }
    for (auto [orve, work] : {std::pair{orve_a, work_a}, std::pair{orve_b, work_b}}) {
      fs::create_directories(work);
      const Outcome r = Cli("export", orve, work);
      EXPECT_EQ(r.status, 0) << r.err;
    }
    tables_a = ReadTables(work_a);
    tables_b = ReadTables(work_b);
    for (const char* name : kTables) {
      EXPECT_NE(tables_a[name], tables_b[name]) << name << " is the same in both schools";
    }
  }

  // A work folder holding school A's tables, as an earlier run left them.
  void PutTablesOfA(const fs::path& work) const {
    for (const char* name : kTables) {
      fs::copy_file(work_a / (std::string(name) + ".DBF"), work / (std::string(name) + ".DBF"));
    }
  }

  // The folders of an import: the tables found in `tables` and the sample's
  // SOLUC in `work`, B's subjects file in `orve`.
  void PrepareImport(const fs::path& orve, const fs::path& work, const fs::path& tables) const {
    CopyFolder(tables, work);
    fs::copy_file(fs::path(TTO_SOURCE_DIR) / "examples/tempario/SOLUC.DBF", work / "SOLUC.DBF");
    fs::copy_file(orve_b / "orve_asignat.txt", orve / "orve_asignat.txt");
  }

  // The folders of an export of B over A's tables, or of an import of B.
  void Prepare(std::string_view run, const fs::path& orve, const fs::path& work) const {
    if (run == "export") {
      CopyFolder(orve_b, orve);
      PutTablesOfA(work);
    } else {
      PrepareImport(orve, work, work_b);
    }
  }

  TempDir root;
  fs::path orve_a = root / "orve_a", orve_b = root / "orve_b";
  fs::path work_a = root / "work_a", work_b = root / "work_b";
  Tables tables_a, tables_b;
};

const Schools& TheSchools() {
  static const Schools schools;
  return schools;
}

// After an export of B over A's tables that an error ended in table
// `failed`: the tables before it are B's, complete; it and the ones after
// are A's, untouched; nothing else is in the folder but the run lock.
void ExpectExportStoppedAt(const fs::path& work, std::string_view failed) {
  const Schools& s = TheSchools();
  const Tables now = ReadTables(work);
  bool reached = false;
  for (const char* name : kTables) {
    reached = reached || name == failed;
    // A folder in a table's place is the case's own business.
    if (fs::is_directory(work / (std::string(name) + ".DBF"))) continue;
    const std::string& expected = reached ? s.tables_a.at(name) : s.tables_b.at(name);
    EXPECT_TRUE(now.count(name) && now.at(name) == expected)
        << name << " is not " << (reached ? "as before" : "complete");
  }
  std::set<std::string> expected_names = {kRunLockFileName};
  for (const char* name : kTables) expected_names.insert(std::string(name) + ".DBF");
  EXPECT_EQ(Names(work), expected_names);
}

// --- write faults -----------------------------------------------------------------

// Where each file's writes fall in the stream of bytes that a run writes
// into `folder`: the first byte and one past the last, by the file's name.
struct Span {
  long long begin = -1, end = 0;
};

std::map<std::string, Span> WriteSpans(const fs::path& log) {
  std::map<std::string, Span> spans;
  std::istringstream in(ReadFile(log));
  long long total = 0, bytes = 0;
  std::string path;
  while (in >> bytes && std::getline(in >> std::ws, path)) {
    if (bytes == 0) continue;
    Span& span = spans[fs::path(path).filename().string()];
    if (span.begin < 0) span.begin = total;
    total += bytes;
    span.end = total;
  }
  return spans;
}

// The span of the writes whose file name holds `name` (a table's temporary
// file carries the table's name).
Span SpanOf(const std::map<std::string, Span>& spans, std::string_view name) {
  Span all;
  for (const auto& [file, span] : spans) {
    std::string upper = file;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    // ASIGT is not inside ASIGNOMT, nor any table's name inside another's.
    if (upper.find(name) == std::string::npos) continue;
    all.begin = all.begin < 0 ? span.begin : std::min(all.begin, span.begin);
    all.end = std::max(all.end, span.end);
  }
  return all;
}

struct Fault {
  std::string kind;
  long long after;
};

// The faults for a file written in `span`: the disk full at its first byte,
// half-way and at its last byte, an I/O error and a short write half-way,
// and a sync that fails after the last write.
std::vector<Fault> FaultsWithin(Span span) {
  const long long middle = span.begin + (span.end - span.begin) / 2;
  return {{"enospc", span.begin}, {"enospc", middle}, {"enospc", span.end - 1},
          {"eio", middle},        {"short", middle},  {"short", span.end - 1},
          {"fsync", span.end - 1}};
}

Env FaultEnv(const fs::path& folder, const Fault& fault) {
  return {"TTO_FAULT_DIR=" + fs::canonical(folder).string(),
          "TTO_FAULT_AFTER=" + std::to_string(fault.after), "TTO_FAULT_KIND=" + fault.kind};
}

std::map<std::string, Span> LoggedSpans(const std::vector<std::string>& args,
                                        const fs::path& folder) {
  const TempDir scratch;
  const Outcome r = RunProgram(args, {"TTO_FAULT_DIR=" + fs::canonical(folder).string(),
                                      "TTO_FAULT_LOG=" + (scratch / "log").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  return WriteSpans(scratch / "log");
}

TEST(WriteFaults, EveryTableOfAnExport) {
  const Schools& s = TheSchools();
  std::map<std::string, Span> spans;
  {
    const TempDir work;
    s.PutTablesOfA(work.path());
    spans = LoggedSpans(
        {TTO_CLI, "export", s.orve_b.string(), "--work-folder", work.path().string()}, work.path());
  }
  for (const char* table : kTables) {
    const Span span = SpanOf(spans, table);
    ASSERT_GE(span.begin, 0) << "no write into " << table;
    for (const Fault& fault : FaultsWithin(span)) {
      SCOPED_TRACE(std::string(table) + ", " + fault.kind + " after " +
                   std::to_string(fault.after) + " bytes");
      const TempDir work;
      s.PutTablesOfA(work.path());
      const Outcome r = Cli("export", s.orve_b, work.path(), FaultEnv(work.path(), fault));
      ExpectCleanFailure(r, table);
      ExpectExportStoppedAt(work.path(), table);
    }
  }
}

TEST(WriteFaults, TimetableFileOfAnImport) {
  const Schools& s = TheSchools();
  const std::string kOld = "an earlier timetable\r\n";
  const auto prepare = [&](const TempDir& orve, const TempDir& work) {
    s.Prepare("import", orve.path(), work.path());
    WriteFile(orve / "ORVE_HORARIO.TXT", kOld);
  };
  std::map<std::string, Span> spans;
  {
    const TempDir orve, work;
    prepare(orve, work);
    spans = LoggedSpans(
        {TTO_CLI, "import", orve.path().string(), "--work-folder", work.path().string()},
        orve.path());
  }
  const Span span = SpanOf(spans, "ORVE_HORARIO");
  ASSERT_GE(span.begin, 0) << "no write into ORVE_HORARIO.TXT";
  for (const Fault& fault : FaultsWithin(span)) {
    SCOPED_TRACE(fault.kind + " after " + std::to_string(fault.after) + " bytes");
    const TempDir orve, work;
    prepare(orve, work);
    const Outcome r = Cli("import", orve.path(), work.path(), FaultEnv(orve.path(), fault));
    ExpectCleanFailure(r, "ORVE_HORARIO.TXT");
    EXPECT_EQ(ReadFile(orve / "ORVE_HORARIO.TXT"), kOld);
    EXPECT_EQ(Names(orve.path()), (std::set<std::string>{"ORVE_HORARIO.TXT", "orve_asignat.txt"}));
  }
}

TEST(WriteFaults, HostIniFile) {
  const std::string kOld = "[General]\r\nRuta=C:\\ZWORK\r\n[Transformadores]\r\nTransformado=0\r\n";
  std::map<std::string, Span> spans;
  {
    const TempDir dir;
    WriteFile(dir / "Tempario.ini", kOld);
    spans = LoggedSpans({TTO_WRITE_INI, (dir / "Tempario.ini").string(), "-1"}, dir.path());
    EXPECT_EQ(ReadFile(dir / "Tempario.ini"),
              "[General]\r\nRuta=C:\\ZWORK\r\n[Transformadores]\r\n"
              "Transformado=-1\r\n");
  }
  const Span span = SpanOf(spans, "TEMPARIO.INI");
  ASSERT_GE(span.begin, 0) << "no write into Tempario.ini";
  for (const Fault& fault : FaultsWithin(span)) {
    SCOPED_TRACE(fault.kind + " after " + std::to_string(fault.after) + " bytes");
    const TempDir dir;
    WriteFile(dir / "Tempario.ini", kOld);
    const Outcome r = RunProgram({TTO_WRITE_INI, (dir / "Tempario.ini").string(), "-1"},
                                 FaultEnv(dir.path(), fault));
    ExpectCleanFailure(r, "Unable to write to " + (dir / "Tempario.ini").string());
    EXPECT_EQ(ReadFile(dir / "Tempario.ini"), kOld);
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"Tempario.ini"});
  }
}

// --- locks held by another process -----------------------------------------

// A second process that holds a lock on a file until the object goes.
class LockHolder {
 public:
  enum class Kind { kFlockShared, kFlockExclusive, kPosixRead, kPosixWrite, kOfdRead, kOfdWrite };

  // `start` is the first byte of the locked range (one byte long) for the
  // record locks; dBase drivers lock far past the end of a table.
  LockHolder(const fs::path& path, Kind kind, off_t start = 0) {
    int ready[2], done[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(done[1]);
      const bool reads =
          kind == Kind::kFlockShared || kind == Kind::kPosixRead || kind == Kind::kOfdRead;
      const int fd = ::open(path.c_str(), reads ? O_RDONLY : O_RDWR);
      bool locked = false;
      if (fd >= 0) {
        struct flock range {};
        range.l_type = reads ? F_RDLCK : F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = start;
        range.l_len = 1;
        switch (kind) {
          case Kind::kFlockShared:
            locked = ::flock(fd, LOCK_SH) == 0;
            break;
          case Kind::kFlockExclusive:
            locked = ::flock(fd, LOCK_EX) == 0;
            break;
          case Kind::kPosixRead:
          case Kind::kPosixWrite:
            locked = ::fcntl(fd, F_SETLK, &range) == 0;
            break;
          case Kind::kOfdRead:
          case Kind::kOfdWrite:
            locked = ::fcntl(fd, F_OFD_SETLK, &range) == 0;
            break;
        }
      }
      const char answer = locked ? 'y' : 'n';
      if (::write(ready[1], &answer, 1) != 1) ::_exit(1);
      char ignored;
      while (::read(done[0], &ignored, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(done[0]);
    done_ = done[1];
    char answer = 'n';
    locked_ = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  ~LockHolder() {
    if (done_ >= 0) ::close(done_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int done_ = -1;
  bool locked_ = false;
};

using Lock = LockHolder::Kind;

struct HeldLock {
  const char* name;
  Lock kind;
  off_t start;
};

constexpr HeldLock kEveryLock[] = {
    {"flock shared", Lock::kFlockShared, 0},
    {"flock exclusive", Lock::kFlockExclusive, 0},
    {"fcntl read lock on the header", Lock::kPosixRead, 0},
    {"fcntl write lock past the end", Lock::kPosixWrite, 1000000000},
    {"OFD read lock on a record", Lock::kOfdRead, 600},
    {"OFD write lock past the end", Lock::kOfdWrite, 1000000000},
};

TEST(HeldTables, AnExportReplacesNoTableThatAnotherProcessHolds) {
  const Schools& s = TheSchools();
  for (const HeldLock& held : kEveryLock) {
    SCOPED_TRACE(held.name);
    const TempDir work;
    s.PutTablesOfA(work.path());
    const LockHolder holder(work / "PROFT.DBF", held.kind, held.start);
    ASSERT_TRUE(holder.locked());
    const Outcome r = Cli("export", s.orve_b, work.path());
    ExpectCleanFailure(r, "PROFT");
    ExpectExportStoppedAt(work.path(), "PROFT");
  }
}

TEST(HeldTables, AnImportReadsNoTableThatAnotherProcessWrites) {
  const Schools& s = TheSchools();
  // A read lock is another reader: the import goes ahead. The import opens
  // its tables exclusively with flock, so another flock holder, even a
  // shared one, keeps it out.
  const std::map<Lock, bool> kBlocks = {{Lock::kFlockShared, true}, {Lock::kFlockExclusive, true},
                                        {Lock::kPosixRead, false},  {Lock::kPosixWrite, true},
                                        {Lock::kOfdRead, false},    {Lock::kOfdWrite, true}};
  for (const char* table : {"SOLUC", "DIASHORAST"}) {
    for (const HeldLock& held : kEveryLock) {
      SCOPED_TRACE(std::string(table) + ", " + held.name);
      const TempDir orve, work;
      s.Prepare("import", orve.path(), work.path());
      WriteFile(orve / "ORVE_HORARIO.TXT", "earlier\r\n");
      const auto tables_before = ReadTables(work.path());
      const std::string soluc_before = ReadFile(work / "SOLUC.DBF");
      const LockHolder holder(work / (std::string(table) + ".DBF"), held.kind, held.start);
      ASSERT_TRUE(holder.locked());
      const Outcome r = Cli("import", orve.path(), work.path());
      if (kBlocks.at(held.kind)) {
        ExpectCleanFailure(r, table);
        EXPECT_EQ(ReadFile(orve / "ORVE_HORARIO.TXT"), "earlier\r\n");
      } else {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.open_fds, "");
      }
      EXPECT_EQ(ReadTables(work.path()), tables_before);
      EXPECT_EQ(ReadFile(work / "SOLUC.DBF"), soluc_before);
      EXPECT_EQ(Names(orve.path()),
                (std::set<std::string>{"ORVE_HORARIO.TXT", "orve_asignat.txt"}));
    }
  }
}

// --- runs at the same time --------------------------------------------------------

TEST(RunLock, ASecondRunWaitsThenFailsNamingTheWorkFolder) {
  const Schools& s = TheSchools();
  const TempDir work;
  s.PutTablesOfA(work.path());
  WriteFile(work / kRunLockFileName, "");
  const LockHolder other_run(work / kRunLockFileName, Lock::kFlockExclusive);
  ASSERT_TRUE(other_run.locked());
  const auto start = std::chrono::steady_clock::now();
  const Outcome r = Cli("export", s.orve_b, work.path());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ExpectCleanFailure(r, "The work folder '" + work.path().string() +
                            "' is in use by another run of transTempexOrve.\n");
  EXPECT_EQ(r.out, "");
  ExpectExportStoppedAt(work.path(), kTables[0]);
}

// Many rounds of two runs started together on one work folder: an export of
// A against an export of B, and an export of B against an import. The runs
// take turns, so the tables end as one whole export left them, and the
// import's file is made from one whole set of tables.
TEST(RunLock, TwoRunsAtOnceNeverMixTheirTables) {
  const Schools& s = TheSchools();
  // The import's file from each school's tables.
  std::map<std::string, std::string> timetable_of;
  for (const auto& [school, tables] : {std::pair{"A", s.work_a}, std::pair{"B", s.work_b}}) {
    const TempDir orve, work;
    s.PrepareImport(orve.path(), work.path(), tables);
    ASSERT_EQ(Cli("import", orve.path(), work.path()).status, 0);
    timetable_of[school] = TimetableWithoutDates(orve / "ORVE_HORARIO.TXT");
  }

  // TTO_RUN_LOCK_ROUNDS asks for a longer trial by hand.
  const char* asked = std::getenv("TTO_RUN_LOCK_ROUNDS");
  const int rounds = asked != nullptr ? std::atoi(asked) : 40;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const TempDir work, orve;
    s.PrepareImport(orve.path(), work.path(), s.work_a);
    const bool with_import = round % 2 == 1;
    Child first({TTO_CLI, "export", s.orve_b.string(), "--work-folder", work.path().string()}, {});
    Child second(
        {TTO_CLI, with_import ? "import" : "export",
         (with_import ? orve.path() : s.orve_a).string(), "--work-folder", work.path().string()},
        {});
    const Outcome export_b = first.Wait(), other = second.Wait();
    for (const Outcome* r : {&export_b, &other}) {
      // On a loaded machine a run may still find the other at work when its
      // wait is over: the lock's own clean failure.
      const bool waited_out =
          r->status == 2 && r->err.find("is in use by another run") != std::string::npos;
      EXPECT_TRUE(r->status == 0 || waited_out) << r->err;
      EXPECT_EQ(r->open_fds, "");
    }
    const Tables now = ReadTables(work.path());
    if (with_import) {
      EXPECT_EQ(now, export_b.status == 0 ? s.tables_b : s.tables_a);
      if (other.status == 0) {
        const std::string made = TimetableWithoutDates(orve / "ORVE_HORARIO.TXT");
        EXPECT_TRUE(made == timetable_of["A"] || made == timetable_of["B"]) << made;
      }
    } else {
      EXPECT_TRUE(now == s.tables_a || now == s.tables_b) << "tables of both runs";
    }
    std::set<std::string> names = {kRunLockFileName, "SOLUC.DBF"};
    for (const char* name : kTables) names.insert(std::string(name) + ".DBF");
    EXPECT_EQ(Names(work.path()), names);
  }
}

// --- inputs that change under the run ----------------------------------------------

TEST(ChangedInputs, AFolderInTheWayOfAFile) {
  const Schools& s = TheSchools();
  struct Case {
    const char* name;
    const char* run;
    bool in_work_folder;
    const char* entry;  // replaced by a folder
    int status;
    const char* shown;         // on standard output (status 1) or standard error (2)
    const char* failed_table;  // the export's table where the run stopped
  } cases[] = {
      {"an ORVE file is missing", "export", false, "orve_prof.txt", 1,
       "No existe archivo de profesores (ORVE_PROF.TXT)\n", nullptr},
      {"a table cannot be replaced", "export", true, "AULAT.DBF", 2, "AULAT", "AULAT"},
      {"the solution cannot be read", "import", true, "SOLUC.DBF", 2, "SOLUC", nullptr},
      {"the subjects file cannot be read", "import", false, "orve_asignat.txt", 2,
       "Cannot open file", nullptr},
      {"the timetable file cannot be replaced", "import", false, "ORVE_HORARIO.TXT", 2,
       "Cannot create file", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir orve, work;
    s.Prepare(c.run, orve.path(), work.path());
    const fs::path entry = (c.in_work_folder ? work.path() : orve.path()) / c.entry;
    fs::remove(entry);
    fs::create_directory(entry);
    WriteFile(entry / "inside", "kept");
    const auto names_before = Names(orve.path());
    const Outcome r = Cli(c.run, orve.path(), work.path());
    if (c.status == 2) {
      ExpectCleanFailure(r, c.shown);
    } else {
      EXPECT_EQ(r.status, c.status) << r.err;
      EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
      EXPECT_EQ(r.open_fds, "");
    }
    EXPECT_EQ(ReadFile(entry / "inside"), "kept");
    EXPECT_EQ(Names(orve.path()), names_before);
    if (c.failed_table != nullptr) ExpectExportStoppedAt(work.path(), c.failed_table);
    if (c.status == 1) {
      // The run went on without the file: only its table is as before.
      Tables expected = s.tables_b;
      expected["PROFT"] = s.tables_a.at("PROFT");
      EXPECT_EQ(ReadTables(work.path()), expected);
    }
  }
}

// Another program removes a file after the run has found it and before it
// opens it.
TEST(ChangedInputs, AFileRemovedJustBeforeItIsOpened) {
  const Schools& s = TheSchools();
  struct Case {
    const char* file;
    const char* run;
    std::string error;  // what standard error shows, in order
    const char* failed_table;
  } cases[] = {
      {"orve_prof.txt", "export", "File not found.\n  in ORVE/orve_prof.txt\n", "PROFT"},
      {"orve_sesiones.txt", "export",
       "Cannot open file \"ORVE/orve_sesiones.txt\". No such file or directory.\n", "DIASHORAST"},
      {"orve_asignatcurso.txt", "export",
       "Cannot open file \"ORVE/orve_asignatcurso.txt\". No such file or directory.\n", "ASIGT"},
      {"orve_asignat.txt", "import",
       "Cannot open file \"ORVE/orve_asignat.txt\". No such file or directory.\n", nullptr},
      {"SOLUC.DBF", "import", "SOLUC", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const TempDir orve, work;
    s.Prepare(c.run, orve.path(), work.path());
    std::string error = c.error;
    if (const auto at = error.find("ORVE/"); at != std::string::npos) {
      error.replace(at, 4, orve.path().string());
    }
    const Outcome r =
        Cli(c.run, orve.path(), work.path(), {std::string("TTO_FAULT_REMOVE=") + c.file});
    ExpectCleanFailure(r, error);
    if (c.failed_table == nullptr) {
      EXPECT_FALSE(fs::exists(orve / "ORVE_HORARIO.TXT"));
    } else if (std::string_view(c.failed_table) != "ASIGT") {
      ExpectExportStoppedAt(work.path(), c.failed_table);
    } else {
      // ASIGT is rebuilt before the weekly hours are read, so the run stops
      // with the rows of its first stages in it: a table that reads whole.
      const Tables now = ReadTables(work.path());
      for (const char* name : {"ASIGNOMT", "PROFT", "AULAT", "GRUPOST"}) {
        EXPECT_EQ(now.at(name), s.tables_b.at(name)) << name;
      }
      EXPECT_EQ(now.at("DIASHORAST"), s.tables_a.at("DIASHORAST"));
      EXPECT_FALSE(testing::ReadRowsExternally(work / "ASIGT.DBF").empty());
    }
  }
}

}  // namespace
}  // namespace tto
