// The two reading modes, saving, and their errors.
#include "core/text_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "core/errors.h"
#include "tests/test_support.h"

namespace tto {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Lines = std::vector<std::string>;

Lines LoadLines(const std::string& path) {
  Lines lines;
  for (const std::string_view line : LoadedLines(path)) lines.emplace_back(line);
  return lines;
}

Lines ReadLineByLine(const std::string& path) {
  LineReader reader(path);
  Lines lines;
  while (!reader.AtEnd()) lines.emplace_back(reader.ReadLine());
  reader.Close();
  return lines;
}

TEST(TextFile, BothReadingModes) {
  const std::string kNul(1, '\0');
  struct {
    std::string name;
    std::string bytes;
    Lines line_by_line;
    Lines loaded;
  } cases[] = {
      {"crlf", "A\r\nB\r\n", {"A", "B"}, {"A", "B"}},
      {"no final terminator", "A\r\nB", {"A", "B"}, {"A", "B"}},
      {"bare lf", "A\nB\n", {"A", "B"}, {"A", "B"}},
      {"empty file", "", {}, {}},
      {"lone carriage returns", "A\r\rB\r\n", {"AB"}, {"A", "", "B"}},
      {"ctrl-z after the last terminator", "A\r\n\x1a", {"A"}, {"A", "\x1a"}},
      {"ctrl-z inside a line", "1ABC\x1a" "DEF\r\n2XYZ\r\n", {"1ABC", "2XYZ"},
       {"1ABC\x1a" "DEF", "2XYZ"}},
      {"ctrl-z starting a line ends the data", "A\r\n\x1a\r\nB\r\n", {"A"},
       {"A", "\x1a", "B"}},
      {"nul", "A" + kNul + "B\r\nC\r\n", {"A" + kNul + "B", "C"}, {"A"}},
      {"two terminators make an empty line", "A\r\n\r\nB", {"A", "", "B"}, {"A", "", "B"}},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (dir / "file.txt").string();
    WriteFile(path, c.bytes);
    EXPECT_EQ(ReadLineByLine(path), c.line_by_line);
    EXPECT_EQ(LoadLines(path), c.loaded);
  }
}

TEST(TextFile, LongLinesAcrossBufferBoundaries) {
  const TempDir dir;
  const std::string long_line(200000, 'x');
  WriteFile(dir / "f", long_line + "\r\n" + long_line);
  EXPECT_EQ(ReadLineByLine((dir / "f").string()), (Lines{long_line, long_line}));
}

// The two splitting rules byte by byte, as plainly as they are stated.
Lines SplitLineByLine(const std::string& bytes) {
  Lines lines;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n && bytes[i] != '\x1a') {
    std::string line;
    for (;;) {
      if (i == n) break;
      const char c = bytes[i++];
      if (c == '\n') break;
      if (c == '\r') {
        if (i < n && bytes[i] == '\n') {
          ++i;
          break;
        }
        continue;
      }
      if (c == '\x1a') {
        while (i < n && bytes[i++] != '\n') {
        }
        break;
      }
      line += c;
    }
    lines.push_back(line);
  }
  return lines;
}

Lines SplitLoaded(std::string bytes) {
  if (const auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  Lines lines;
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::string line;
    while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') line += bytes[i++];
    if (i < bytes.size() && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    ++i;
    lines.push_back(line);
  }
  return lines;
}

// Files of lines of every length, mostly around the reader's buffer size,
// made of the bytes that the rules treat apart (CR, LF, Ctrl-Z, NUL) among
// letters: both readers give what the rules give, wherever a line, a CR LF
// or a Ctrl-Z falls against the buffer's edges.
TEST(TextFile, ReadersFollowTheRulesAcrossBufferEdges) {
  const TempDir dir;
  std::uint32_t state = 12345;
  const auto next = [&state] { return state = state * 1103515245u + 12345u, state >> 8; };
  const std::string special = "\r\n";
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::string bytes;
    const std::size_t size = 60000 + next() % 80000;
    // Some rounds are mostly terminators, some mostly long lines.
    const std::uint32_t rarity = round % 2 == 0 ? 4 : 4000;
    while (bytes.size() < size) {
      const std::uint32_t r = next();
      if (r % rarity == 0) {
        bytes += special[next() % special.size()];
      } else if (r % (rarity * 7) == 1) {
        bytes += std::string("\r\n");
      } else if (r % 9000 == 5) {
        bytes += '\x1a';  // inside a line, or ending the data at the start of one
      } else if (round % 5 == 0 && r % 50000 == 3) {
        bytes += '\0';
      } else {
        bytes += static_cast<char>('A' + r % 26);
      }
    }
    const std::string path = (dir / "file.txt").string();
    WriteFile(path, bytes);
    EXPECT_EQ(ReadLineByLine(path), SplitLineByLine(bytes));
    EXPECT_EQ(LoadLines(path), SplitLoaded(bytes));
  }
}

TEST(TextFile, OpenErrors) {
  const TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  const std::string missing = (dir / "missing.txt").string();
  const std::string folder = (dir / "folder").string();

  EXPECT_THROW(
      try { LineReader reader(missing); } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "File not found");
        throw;
      },
      Error);
  EXPECT_THROW(
      try { LineReader reader(folder); } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "File access denied");
        throw;
      },
      Error);
  EXPECT_THROW(
      try { LoadLines(missing); } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing + "\". No such file or directory");
        throw;
      },
      Error);
  EXPECT_THROW(
      try { LoadLines(folder); } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + folder + "\". Is a directory");
        throw;
      },
      Error);
}

TEST(TextFile, NamedPipeWithoutWriterReadsAsEmpty) {
  const TempDir dir;
  const std::string path = (dir / "pipe.txt").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  EXPECT_EQ(ReadLineByLine(path), Lines{});
  EXPECT_EQ(LoadLines(path), Lines{});
}

TEST(TextFile, InOutErrorMessages) {
  EXPECT_EQ(InOutErrorMessage(2), "File not found");
  EXPECT_EQ(InOutErrorMessage(3), "Invalid filename");
  EXPECT_EQ(InOutErrorMessage(4), "Too many open files");
  EXPECT_EQ(InOutErrorMessage(5), "File access denied");
  EXPECT_EQ(InOutErrorMessage(100), "Read beyond end of file");
  EXPECT_EQ(InOutErrorMessage(101), "Disk full");
  EXPECT_EQ(InOutErrorMessage(106), "Invalid numeric input");
  EXPECT_EQ(InOutErrorMessage(32), "I/O error 32");

  // The system's error numbers that have an equivalent in the table take
  // its message; the others keep their own number, also where it happens to
  // equal one of the table's (EIO is 5, ENETDOWN 100).
  EXPECT_EQ(SystemInOutErrorMessage(ENOENT), "File not found");
  EXPECT_EQ(SystemInOutErrorMessage(EACCES), "File access denied");
  EXPECT_EQ(SystemInOutErrorMessage(EISDIR), "File access denied");
  EXPECT_EQ(SystemInOutErrorMessage(EMFILE), "Too many open files");
  EXPECT_EQ(SystemInOutErrorMessage(ENOSPC), "Disk full");
  EXPECT_EQ(SystemInOutErrorMessage(EIO), "I/O error " + std::to_string(EIO));
  EXPECT_EQ(SystemInOutErrorMessage(ENETDOWN), "I/O error " + std::to_string(ENETDOWN));
  EXPECT_EQ(SystemInOutErrorMessage(ENXIO), "I/O error " + std::to_string(ENXIO));
}

TEST(TextFile, SaveWritesCrLfAfterEveryLine) {
  const TempDir dir;
  const std::string path = (dir / "out.txt").string();
  SaveLines({"A", "B"}, path);
  EXPECT_EQ(ReadFile(path), "A\r\nB\r\n");
  SaveLines({}, path);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file is left behind";
}

TEST(TextFile, FailedSaveKeepsTheEarlierFile) {
  const TempDir dir;
  // A folder in the way of the target cannot be replaced.
  std::filesystem::create_directory(dir / "blocked");
  const std::string blocked = (dir / "blocked").string();
  try {
    SaveLines({"X"}, blocked);
    ADD_FAILURE() << "saving over a folder must fail";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + blocked + "\". Is a directory");
  }

  // A folder that does not exist: the file cannot be created.
  const std::string nowhere = (dir / "no" / "out.txt").string();
  try {
    SaveLines({"X"}, nowhere);
    ADD_FAILURE() << "saving into a missing folder must fail";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + nowhere + "\". No such file or directory");
  }

  // A save that fails half-way leaves the old content: make the folder
  // unwritable only where that is enforced (not for root).
  const std::string path = (dir / "keep.txt").string();
  SaveLines({"OLD"}, path);
  ::chmod(dir.path().c_str(), 0555);
  if (::access(dir.path().c_str(), W_OK) != 0) {
    EXPECT_THROW(SaveLines({"NEW"}, path), Error);
  }
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(ReadFile(path), "OLD\r\n");
}

TEST(TextFile, SaveThatFailsWhileWritingKeepsTheEarlierFile) {
  // A file-size limit makes the write itself fail, also for root.
  const TempDir dir;
  const std::string path = (dir / "keep.txt").string();
  SaveLines({"OLD"}, path);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string message;
  try {
    SaveLines(Lines(100, std::string(50, 'N')), path);
  } catch (const Error& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(message, "Cannot create file \"" + path + "\". File too large");
  EXPECT_EQ(ReadFile(path), "OLD\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no half-written file is left behind";
}

}  // namespace
}  // namespace tto
