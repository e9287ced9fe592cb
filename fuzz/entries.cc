// File: fuzz/entries.cc
#include "fuzz/entries.h"

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "runs/runs.h"
#include "core/text_file.h"
#include "platform/dbf/table.h"
#include "platform/ini/ini_file.h"
#include "shell/host_handle.h"

namespace tto::fuzz {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) { throw Failure(what); }

// One scratch folder for the whole process, removed when it ends. The
// entries reuse the files in it, so an input costs no folder creation.
const fs::path& Scratch() {
  struct Folder {
    fs::path path;
    Folder() {
      std::string pattern = (fs::temp_directory_path() / "tto-fuzz-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot create a scratch folder");
      path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

fs::path ScratchFolder(std::string_view name) {
  const fs::path folder = Scratch() / name;
  fs::create_directories(folder);
  return folder;
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Removes every entry of `folder`, so that no run sees what an earlier
// input left there.
void Empty(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

using Lines = std::vector<std::string>;

std::string Show(const Lines& lines) {
  std::string text = std::to_string(lines.size()) + " lines:";
  for (const auto& line : lines) text += " [" + line + "]";
  return text;
}

// --- text files --------------------------------------------------------

// Line by line: a line ends at LF or CR LF; a CR not followed by LF is
// dropped; a Ctrl-Z at the start of a line ends the data, inside a line it
// ends the line's text and the rest of the physical line is skipped.
Lines SplitLineByLine(std::string_view bytes) {
  Lines lines;
  std::size_t i = 0;
  while (i < bytes.size() && bytes[i] != '\x1a') {
    std::string line;
    while (i < bytes.size()) {
      const char c = bytes[i++];
      if (c == '\n') break;
      if (c == '\r') {
        if (i < bytes.size() && bytes[i] == '\n') {
          ++i;
          break;
        }
        continue;
      }
      if (c == '\x1a') {
        while (i < bytes.size() && bytes[i++] != '\n') {
        }
        break;
      }
      line += c;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// Loaded whole: a line ends at CR, LF or CR LF; a NUL ends the text.
Lines SplitWhole(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  Lines lines;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t end = std::min(bytes.find_first_of("\r\n", i), bytes.size());
    lines.emplace_back(bytes.substr(i, end - i));
    i = end;
    if (i < bytes.size() && bytes[i++] == '\r' && i < bytes.size() && bytes[i] == '\n') ++i;
  }
  return lines;
}

// The reader fills a buffer of 64 KiB at a time. A first byte of 192 or
// more puts plain lines in front of the rest of the input, 64 KiB less
// (byte - 192) bytes of them, so that the buffer's edge falls within the
// first 64 bytes of the rest, where a CR LF or a Ctrl-Z may be cut in two.
void FuzzLineReader(std::string_view data) {
  std::string bytes;
  if (!data.empty() && static_cast<unsigned char>(data[0]) >= 192) {
    static const std::string kFiller = [] {
      std::string filler(64 * 1024, 'a');
      for (std::size_t i = 79; i < filler.size(); i += 80) filler[i] = '\n';
      return filler;
    }();
    bytes = kFiller.substr(static_cast<unsigned char>(data[0]) - 192);
    data.remove_prefix(1);
  }
  bytes.append(data);
  const fs::path path = ScratchFolder("line_reader") / "orve_prof.txt";
  WriteBytes(path, bytes);

  Lines lines;
  LineReader reader(path.string());
  while (!reader.AtEnd()) {
    lines.emplace_back(reader.ReadLine());
    if (lines.size() > bytes.size() + 1) Fail("the reader never reaches the end");
  }
  reader.Close();
  const Lines expected = SplitLineByLine(bytes);
  if (lines != expected) Fail("read " + Show(lines) + "; expected " + Show(expected));
}

void FuzzLoadLines(std::string_view data) {
  const fs::path path = ScratchFolder("load_lines") / "orve_sesiones.txt";
  WriteBytes(path, data);
  Lines lines;
  for (const std::string_view line : LoadedLines(path.string())) lines.emplace_back(line);
  const Lines expected = SplitWhole(data);
  if (lines != expected) Fail("loaded " + Show(lines) + "; expected " + Show(expected));
}

// --- tables --------------------------------------------------------------

// Walks every record of an open table, reading every field as text,
// integer and float; a value that cannot be read so fails with the
// engine's error, which is the table's answer for that field. Returns the
// text of the first field of each record, none where it cannot be read.
std::vector<std::optional<std::string>> ReadEveryField(dbf::Table& table) {
  const std::vector<std::string> fields = table.FieldNames();
  std::vector<std::optional<std::string>> first_fields;
  for (table.First(); !table.Eof(); table.Next()) {
    for (const std::string& field : fields) {
      std::optional<std::string> text;
      try {
        text = table.GetText(field);
      } catch (const Error&) {
      }
      try {
        table.GetInteger(field);
      } catch (const Error&) {
      }
      try {
        table.GetFloat(field);
      } catch (const Error&) {
      }
      if (&field == &fields.front()) first_fields.push_back(std::move(text));
    }
    if (first_fields.size() > static_cast<std::size_t>(table.RecordCount()) + 1) {
      Fail("the walk goes past the table's record count");
    }
  }
  return first_fields;
}

// A table opened from the bytes: every record can be walked and every field
// read, or the engine refuses with its error. Each value read as text is
// found again by locate, which lands on a record holding it.
void FuzzDbfTable(std::string_view data) {
  const fs::path folder = ScratchFolder("dbf_table");
  WriteBytes(folder / "SOLUC.DBF", data);
  try {
    dbf::Table table = dbf::Table::Open(folder, "SOLUC", {.mode = dbf::OpenMode::kReadOnly});
    const auto first_fields = ReadEveryField(table);
    if (first_fields.empty()) return;
    const std::string field = table.FieldNames().front();
    for (std::size_t i = 0; i < first_fields.size() && i < 64; ++i) {
      if (!first_fields[i]) continue;
      const std::string& text = *first_fields[i];
      if (!table.Locate(field, text)) {
        Fail("locate misses the value [" + text + "] of record " + std::to_string(i));
      }
      if (table.GetText(field) != text) Fail("locate lands on another value");
    }
    table.Close();
  } catch (const Error&) {
  }
}

// --- runs ----------------------------------------------------------------

// A host that answers the directory and forgets what it is shown.
class QuietHost : public RunHost {
 public:
  explicit QuietHost(std::string directory) : directory_(std::move(directory)) {}
  std::string CurrentDirectory() override { return directory_; }
  void ShowMessage(std::string_view) override {}
  void ShowError(std::string_view) override {}
  void SetWaitCursor(bool) override {}
  void DisableRunButtons() override {}
  void CloseWindow() override {}

 private:
  std::string directory_;
};

std::tm FixedNow() {
  std::tm now{};
  now.tm_year = 126;
  now.tm_mon = 8;
  now.tm_mday = 1;
  now.tm_hour = 8;
  return now;
}

constexpr std::string_view kOrveFiles[] = {
    "orve_asignat.txt", "ORVE_ACTIVIDADES.TXT",  "orve_prof.txt",         "orve_aulas.txt",
    "orve_grupo.txt",   "orve_asignatgrupo.txt", "orve_asignatcurso.txt", "orve_sesiones.txt",
};
constexpr std::string_view kTables[] = {"ASIGNOMT", "PROFT", "AULAT",
                                        "GRUPOST",  "ASIGT", "DIASHORAST"};

// The input is cut at each "@@@@\n" into the ORVE files in the order of
// kOrveFiles; a piece that is "-" alone, and every file after the last
// piece, is missing. After the run, whether it went through or ended with
// an error, every table the run left must read back whole.
void FuzzExportRun(std::string_view data) {
  const fs::path orve = ScratchFolder("export_orve");
  const fs::path work = ScratchFolder("export_work");
  Empty(orve);
  Empty(work);
  constexpr std::string_view kCut = "@@@@\n";
  for (std::string_view name : kOrveFiles) {
    const std::size_t cut = data.find(kCut);
    const std::string_view piece = data.substr(0, cut);
    if (piece != "-") WriteBytes(orve / name, piece);
    if (cut == std::string_view::npos) break;
    data.remove_prefix(cut + kCut.size());
  }

  QuietHost host(orve.string());
  AppState state;
  RunContext run{.host = host, .state = state, .work_folder = work, .clock = FixedNow};
  try {
    RunExport(run);
  } catch (const Error&) {
  }
  for (std::string_view name : kTables) {
    if (!fs::exists(work / (std::string(name) + ".DBF"))) continue;
    try {
      dbf::Table table = dbf::Table::Open(work, name, {.mode = dbf::OpenMode::kReadOnly});
      ReadEveryField(table);
    } catch (const Error& error) {
      Fail("the export left " + std::string(name) + " unreadable: " + error.what());
    }
  }
}

// The work folder of the import: the sample school exported once, with its
// subjects file in the transfer folder.
struct ImportFolders {
  fs::path orve;
  fs::path work;
};

const ImportFolders& SampleImportFolders() {
  static const ImportFolders folders = [] {
    const fs::path sample = fs::path(TTO_SOURCE_DIR) / "examples/orve";
    ImportFolders f{ScratchFolder("import_orve"), ScratchFolder("import_work")};
    QuietHost host(sample.string());
    AppState state;
    RunContext run{.host = host, .state = state, .work_folder = f.work, .clock = FixedNow};
    RunExport(run);
    for (std::string_view name : kTables) {
      if (!fs::exists(f.work / (std::string(name) + ".DBF"))) Fail("the sample export failed");
    }
    fs::copy_file(sample / "orve_asignat.txt", f.orve / "orve_asignat.txt");
    return f;
  }();
  return folders;
}

// A fuzzed SOLUC beside the sample's tables. A run that goes through writes
// a header record, its data records and a trailer record that counts them.
void FuzzImportRun(std::string_view data) {
  const ImportFolders& folders = SampleImportFolders();
  WriteBytes(folders.work / "SOLUC.DBF", data);
  const fs::path output = folders.orve / "ORVE_HORARIO.TXT";
  fs::remove(output);

  QuietHost host(folders.orve.string());
  AppState state;
  RunContext run{.host = host, .state = state, .work_folder = folders.work, .clock = FixedNow};
  try {
    RunImport(run);
  } catch (const Error&) {
    if (fs::exists(output)) Fail("a failed import left ORVE_HORARIO.TXT");
    return;
  }
  // SOLUC's values go into the file as they are, line ends and NULs too, so
  // the records are told apart by what the file must begin and end with.
  int lessons = 0;
  dbf::Table soluc = dbf::Table::Open(folders.work, "SOLUC", {.mode = dbf::OpenMode::kReadOnly});
  for (soluc.First(); !soluc.Eof(); soluc.Next()) lessons += soluc.GetInteger("DIA") != 0;
  soluc.Close();
  const std::string bytes = ReadBytes(output);
  const std::string header = "0ORVE_HORARIO.TXT";
  const std::string trailer_end = "010920260800" + std::to_string(lessons) + "\r\n";
  const std::size_t trailer = bytes.rfind("\r\n9ORVE_HORARIO.TXT");
  if (!bytes.starts_with(header) || trailer == std::string::npos || !bytes.ends_with(trailer_end)) {
    Fail("the timetable file lacks its header, or a trailer that counts " +
         std::to_string(lessons) + " lessons:\n" + bytes);
  }
}

// --- shell -----------------------------------------------------------------

// The value that the host reads back: that of the first key `key` in the
// first section `section`, both matched ignoring ASCII case and the blanks
// around them.
std::optional<std::string> ReadIniValue(std::string_view contents, std::string_view section,
                                        std::string_view key) {
  auto trim = [](std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string_view();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
  };
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  };
  if (contents.starts_with("\xEF\xBB\xBF")) contents.remove_prefix(3);
  bool inside = false;
  while (!contents.empty()) {
    const std::size_t lf = contents.find('\n');
    std::string_view line = contents.substr(0, lf);
    contents.remove_prefix(lf == std::string_view::npos ? contents.size() : lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::string_view trimmed = trim(line);
    if (trimmed.starts_with('[')) {
      if (inside) return std::nullopt;
      inside = same(trim(trimmed.substr(1, trimmed.find(']') - 1)), section);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inside && equals != std::string_view::npos && same(trim(line.substr(0, equals)), key)) {
      return std::string(line.substr(equals + 1));
    }
  }
  return std::nullopt;
}

// The outcome written over fuzzed ini bytes (the first byte picks the
// value): the file holds what the pure function gives, the host reads the
// value back, and writing again gives the same file as writing once.
void FuzzIniWriter(std::string_view data) {
  static constexpr std::string_view kValues[] = {"1", "0", "-1"};
  constexpr std::string_view kSection = "Transformadores";
  constexpr std::string_view kKey = "Transformado";
  std::string_view value = "1";
  if (!data.empty()) {
    value = kValues[static_cast<unsigned char>(data[0]) % 3];
    data.remove_prefix(1);
  }
  const fs::path path = ScratchFolder("ini_writer") / "Tempario.ini";
  WriteBytes(path, data);
  WriteIniString(path, kSection, kKey, value);
  const std::string written = ReadBytes(path);
  if (written != SetIniValue(data, kSection, kKey, value)) Fail("the file differs from the text");
  if (ReadIniValue(written, kSection, kKey) != std::string(value)) {
    Fail("the host does not read the value back");
  }
  if (SetIniValue(SetIniValue(data, kSection, kKey, "0"), kSection, kKey, value) != written) {
    Fail("writing twice differs from writing once");
  }
  if (SetIniValue(written, kSection, kKey, value) != written)
    Fail("writing again changes the file");
}

// The handle: one or more hexadecimal digits of value at most FFFFFFFF,
// else the conversion error quoting "$" and the parameter. A command-line
// parameter ends at its first NUL.
void FuzzHostHandle(std::string_view data) {
  data = data.substr(0, data.find('\0'));
  std::optional<std::uint64_t> expected =
      data.empty() ? std::nullopt : std::optional<std::uint64_t>(0);
  for (const char c : data) {
    const auto digit =
        std::string_view("0123456789abcdef").find(c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c);
    if (!expected || digit == std::string_view::npos || *expected > 0xFFFFFFFu) {
      expected.reset();
      break;
    }
    *expected = *expected * 16 + digit;
  }
  if (expected && *expected > 0xFFFFFFFFu) expected.reset();
  try {
    const std::uint32_t handle = HostHandleFromParameter(data);
    if (!expected || handle != *expected) Fail("accepted as " + std::to_string(handle));
  } catch (const Error& error) {
    if (expected) Fail("refused a valid handle: " + std::string(error.what()));
    if (error.what() != "'$" + std::string(data) + "' is not a valid integer value") {
      Fail(std::string("wrong message: ") + error.what());
    }
  }
}

constexpr Target kTargets[] = {
    {"line_reader", FuzzLineReader}, {"load_lines", FuzzLoadLines}, {"dbf_table", FuzzDbfTable},
    {"export_run", FuzzExportRun},   {"import_run", FuzzImportRun}, {"ini_writer", FuzzIniWriter},
    {"host_handle", FuzzHostHandle},
};

}  // namespace

std::span<const Target> Targets() { return kTargets; }

const Target* FindTarget(std::string_view name) {
  for (const Target& target : kTargets) {
    if (target.name == name) return &target;
  }
  return nullptr;
}

}  // namespace tto::fuzz
