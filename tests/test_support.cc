#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/dbf/table.h"

namespace tto::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tto-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may have made parts read-only; give write access back first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void MakeUnreadableFile(const std::filesystem::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (fd < 0 || text.size() >= sizeof address.sun_path) {
    throw std::runtime_error("cannot make a socket at " + text);
  }
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  if (!bound) throw std::runtime_error("cannot bind a socket at " + text);
}

std::string CrLf(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (auto line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

RunFixture::RunFixture() : host(orve.path().string()) {}

void RunFixture::Put(std::string_view name, std::string_view bytes) const {
  WriteFile(orve / name, bytes);
}

bool RunFixture::Export() {
  RunContext run{host, state, work.path()};
  run.run_lock_wait = run_lock_wait;
  run.progress = progress;
  return RunWithErrorBox(host, [&] { RunExport(run); });
}

bool RunFixture::Import() {
  RunContext run{host, state, work.path()};
  run.run_lock_wait = run_lock_wait;
  run.progress = progress;
  return RunWithErrorBox(host, [&] { RunImport(run); });
}

std::vector<std::vector<std::string>> ReadRows(const std::filesystem::path& folder,
                                               std::string_view name,
                                               std::initializer_list<std::string_view> fields) {
  dbf::Table table = dbf::Table::Open(folder, name, {.mode = dbf::OpenMode::kReadOnly});
  std::vector<std::vector<std::string>> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    auto& row = rows.emplace_back();
    for (auto field : fields) row.push_back(table.GetText(field));
  }
  return rows;
}

void AppendLessons(const std::filesystem::path& work_folder,
                   const std::vector<SolucLesson>& lessons) {
  dbf::Table soluc = dbf::Table::Open(work_folder, "SOLUC");
  for (const SolucLesson& l : lessons) {
    soluc.Append();
    soluc.SetFloat("DIA", l.day);
    soluc.SetFloat("HORA", l.period);
    soluc.SetText("MARCO", "0");
    soluc.SetText("PROF", l.teacher);
    soluc.SetText("CODGRUPO", l.group);
    soluc.SetText("TAREA", l.activity);
    soluc.SetText("ASIG", l.subject);
    soluc.SetText("AULA", l.room);
    soluc.Post();
  }
  soluc.Close();
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status != nullptr) *status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int raw = ::pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::vector<std::vector<std::string>> ReadRowsExternally(const std::filesystem::path& path) {
  // Values are separated by 0x1F and records end with 0x1E, so that no
  // text of a table can be mistaken for a separator.
  const std::string script =
      "import sys, dbfread\n"
      "t = dbfread.DBF(sys.argv[1], encoding='cp1252', char_decode_errors='strict')\n"
      "out = sys.stdout.buffer\n"
      "def text(v):\n"
      "    if v is None: return ''\n"
      "    if v is True: return 'T'\n"
      "    if v is False: return 'F'\n"
      "    return v if isinstance(v, str) else repr(v)\n"
      "for r in t:\n"
      "    out.write('\\x1f'.join(text(v) for v in r.values()).encode('cp1252') + b'\\x1e')\n";
  const TempDir scratch;
  WriteFile(scratch / "read.py", script);
  int status = 0;
  const std::string output =
      RunCommand("/usr/bin/python3 '" + (scratch / "read.py").string() + "' '" + path.string() + "'",
                 &status);
  EXPECT_EQ(status, 0) << "dbfread could not read " << path;
  std::vector<std::vector<std::string>> rows;
  std::size_t start = 0;
  while (start < output.size()) {
    const std::size_t end = output.find('\x1e', start);
    if (end == std::string::npos) break;
    auto& row = rows.emplace_back();
    std::string_view record(output.data() + start, end - start);
    std::size_t field_start = 0;
    for (;;) {
      const std::size_t sep = record.find('\x1f', field_start);
      row.emplace_back(record.substr(field_start, sep - field_start));
      if (sep == std::string_view::npos) break;
      field_start = sep + 1;
    }
    start = end + 1;
  }
  return rows;
}

}  // namespace tto::testing
