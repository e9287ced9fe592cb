// transtempexorve-cli: the two runs without a window, for scripts, tests and
// benchmarks. Message boxes become lines on standard output; the error box
// goes to standard error, and so does the progress when that is a terminal.
// Never hosted.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/encoding.h"
#include "report/run_report.h"
#include "runs/runs.h"
#include "timetable/command.h"
#include "platform/dbf/table.h"
#include "shell/host_launcher_install.h"
#include "shell/terminal_progress.h"
#include "shell/version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotDone = 1;
constexpr int kExitError = 2;
constexpr int kExitUsage = 64;

constexpr char kUsage[] =
    "Usage: transtempexorve-cli export FOLDER [--work-folder DIR] [--report FILE] [--quiet]\n"
    "       transtempexorve-cli import FOLDER [--work-folder DIR] [--report FILE] [--quiet]\n"
    "       transtempexorve-cli timetable [FOLDER] [--work-folder DIR] [--html SITE] [--csv FILE]\n"
    "       transtempexorve-cli install-host-launcher DIR\n"
    "       transtempexorve-cli --help | --version\n"
    "\n"
    "export  rebuilds the Tempario tables from the ORVE files in FOLDER\n"
    "import  writes ORVE_HORARIO.TXT into FOLDER from Tempario's SOLUC\n"
    "timetable  writes Tempario's solution as pages to look at and print (one per\n"
    "        group, teacher and room, and an index with the clashes) into SITE,\n"
    "        and/or every lesson with its names into FILE (CSV)\n"
    "install-host-launcher  puts TransTempexOrve.exe, the program Tempario starts\n"
    "        under Wine, into Tempario's folder DIR (C:\\Tempario, or a Unix path)\n"
    "        of the Wine prefix $WINEPREFIX (else ~/.wine)\n"
    "\n"
    "Options:\n"
    "  --work-folder DIR  the folder of the Tempario tables (also --work-folder=DIR)\n"
    "  --report FILE      lists in FILE (CSV) every record skipped, dropped or written\n"
    "                     with a fallback, and prints a summary line per conversion\n"
    "  -q, --quiet        no progress on a terminal\n"
    "  -h, --help         this text\n"
    "  --version          the version\n"
    "  --                 ends the options (for a FOLDER that begins with \"-\")\n"
    "\n"
    "The tables live in the work folder: DIR, else $TRANSTEMPEXORVE_WORK_FOLDER,\n"
    "else Wine's C:\\ZWORK ($WINEPREFIX/drive_c/ZWORK).\n"
    "When standard error is a terminal, each table shows its record count and\n"
    "time there while it is written.\n"
    "\n"
    "Exit status:\n"
    "  0   the run went through\n"
    "  1   nothing done or something failed (a missing folder or ORVE file)\n"
    "  2   an error ended the run\n"
    "  64  bad usage\n";

class ConsoleHost : public tto::RunHost {
 public:
  ConsoleHost(std::string directory, tto::TerminalProgress* progress)
      : directory_(std::move(directory)), progress_(progress) {}
  std::string CurrentDirectory() override { return directory_; }
  void ShowMessage(std::string_view text) override {
    if (progress_ != nullptr) progress_->BreakLine();
    std::cout << text << '\n' << std::flush;
  }
  void ShowError(std::string_view text) override {
    if (progress_ != nullptr) progress_->BreakLine();
    std::cerr << text << '\n' << std::flush;
  }
  void ShowErrorPlace(std::string_view place) override {
    std::cerr << "  in " << place << '\n' << std::flush;
  }
  void SetWaitCursor(bool) override {}
  void DisableRunButtons() override {}
  void CloseWindow() override {}

 private:
  std::string directory_;
  tto::TerminalProgress* progress_;
};

// The folder as the directory list would report it: absolute, without a
// trailing "/" except for the root.
std::string AsCurrentDirectory(const std::string& folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error);
  if (error) path = folder;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

int Usage(std::string_view problem) {
  std::cerr << "transtempexorve-cli: " << tto::EscapeInvalidUtf8(problem) << "\n\n" << kUsage;
  return kExitUsage;
}

int InstallHostLauncher(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[1].starts_with("-")) {
    return Usage("install-host-launcher needs the host's folder DIR");
  }
  std::error_code ec;
  tto::LauncherInstall install =
      tto::FindLauncherFiles(std::filesystem::read_symlink("/proc/self/exe", ec));
  const char* prefix = std::getenv("WINEPREFIX");
  const char* home = std::getenv("HOME");
  install.prefix = prefix != nullptr && *prefix ? std::filesystem::path(prefix)
                                                : std::filesystem::path(home ? home : "") / ".wine";
  install.folder = args[1];
  return tto::InstallHostLauncher(install, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "install-host-launcher") return InstallHostLauncher(args);
  if (!args.empty() && args[0] == "timetable") {
    return tto::timetable::TimetableCommand({args.begin() + 1, args.end()}, kUsage);
  }
  std::vector<std::string> operands;
  std::optional<std::string> work_folder;
  std::string report_file;
  bool options_ended = false;
  bool quiet = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg == "-" || !arg.starts_with("-")) {
      operands.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return kExitOk;
    } else if (arg == "--version") {
      std::cout << "transtempexorve-cli (transTempexOrve) " << tto::kVersion << '\n';
      return kExitOk;
    } else if (arg == "--quiet" || arg == "-q") {
      quiet = true;
    } else if (arg == "--work-folder") {
      if (i + 1 == args.size()) return Usage("--work-folder needs a folder");
      work_folder = args[++i];
    } else if (arg.starts_with("--work-folder=")) {
      work_folder = arg.substr(std::string_view("--work-folder=").size());
    } else if (arg == "--report") {
      if (i + 1 == args.size()) return Usage("--report needs a file");
      report_file = args[++i];
    } else if (arg.starts_with("--report=")) {
      report_file = arg.substr(std::string_view("--report=").size());
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (operands.empty()) return Usage("missing run");
  const std::string& mode = operands[0];
  if (mode != "export" && mode != "import") return Usage("unknown run " + mode);
  if (operands.size() < 2) return Usage("missing FOLDER");
  if (operands.size() > 2) return Usage("too many arguments");
  const std::string& folder = operands[1];
  if (folder.empty()) return Usage("FOLDER is empty");
  // An empty value is what an unset shell variable gives; it must not stand
  // for the default work folder.
  if (work_folder && work_folder->find_first_not_of(' ') == std::string::npos) {
    return Usage("--work-folder needs a folder, not an empty name");
  }

  tto::TerminalProgress terminal(stderr);
  tto::TerminalProgress* progress = !quiet && isatty(STDERR_FILENO) ? &terminal : nullptr;
  ConsoleHost host(AsCurrentDirectory(folder), progress);
  tto::AppState state;
  bool completed = true;
  std::optional<tto::RunReport> report;
  if (!report_file.empty()) report.emplace(mode == "export" ? "exportar" : "importar");
  const bool ok = tto::RunWithErrorBox(host, [&] {
    tto::RunContext run{
        host, state,
        work_folder ? std::filesystem::path(*work_folder) : tto::dbf::DefaultWorkFolder()};
    run.progress = progress;
    if (report) run.observer = &*report;
    if (mode == "export") {
      tto::RunExport(run);
    } else {
      tto::RunImport(run);
    }
  });
  completed = ok;
  // The report covers what the run did, also when an error ended it.
  if (report && !tto::WriteReport(*report, report_file)) return kExitError;
  if (!completed) return kExitError;
  return state.outcome_code == 1 ? kExitOk : kExitNotDone;
}
