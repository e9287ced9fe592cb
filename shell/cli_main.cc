// transtempexorve-cli: the two runs without a window, for scripts, tests and
// benchmarks. Message boxes become lines on standard output; the error box
// goes to standard error. Never hosted.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/run_report.h"
#include "runs/runs.h"
#include "timetable/command.h"
#include "platform/dbf/table.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotDone = 1;
constexpr int kExitError = 2;
constexpr int kExitUsage = 64;

constexpr char kUsage[] =
    "Usage: transtempexorve-cli export FOLDER [--work-folder DIR] [--report FILE]\n"
    "       transtempexorve-cli import FOLDER [--work-folder DIR] [--report FILE]\n"
    "       transtempexorve-cli timetable [FOLDER] [--work-folder DIR] [--html SITE] [--csv FILE]\n"
    "\n"
    "export  rebuilds the Tempario tables from the ORVE files in FOLDER\n"
    "import  writes ORVE_HORARIO.TXT into FOLDER from Tempario's SOLUC\n"
    "--report FILE  lists in FILE (CSV) every record skipped, dropped or written\n"
    "        with a fallback, and prints a summary line per conversion\n"
    "timetable  writes Tempario's solution as pages to look at and print (one per\n"
    "        group, teacher and room, and an index with the clashes) into SITE,\n"
    "        and/or every lesson with its names into FILE (CSV)\n"
    "\n"
    "The tables live in the work folder: DIR, else $TRANSTEMPEXORVE_WORK_FOLDER,\n"
    "else Wine's C:\\ZWORK ($WINEPREFIX/drive_c/ZWORK).\n"
    "Exit status: 0 the run went through, 1 nothing done or something failed,\n"
    "2 an error ended the run, 64 bad usage.\n";

class ConsoleHost : public tto::RunHost {
 public:
  explicit ConsoleHost(std::string directory) : directory_(std::move(directory)) {}
  std::string CurrentDirectory() override { return directory_; }
  void ShowMessage(std::string_view text) override {
    std::cout << text << '\n' << std::flush;
  }
  void ShowError(std::string_view text) override { std::cerr << text << '\n' << std::flush; }
  void SetWaitCursor(bool) override {}
  void DisableRunButtons() override {}
  void CloseWindow() override {}

 private:
  std::string directory_;
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
  std::cerr << "transtempexorve-cli: " << problem << "\n\n" << kUsage;
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "timetable") {
    return tto::timetable::TimetableCommand({args.begin() + 1, args.end()}, kUsage);
  }
  std::string mode, folder, work_folder, report_file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return kExitOk;
    }
    if (arg == "--work-folder") {
      if (i + 1 == args.size()) return Usage("--work-folder needs a folder");
      work_folder = args[++i];
    } else if (arg.starts_with("--work-folder=")) {
      work_folder = arg.substr(std::string_view("--work-folder=").size());
    } else if (arg == "--report") {
      if (i + 1 == args.size()) return Usage("--report needs a file");
      report_file = args[++i];
    } else if (arg.starts_with("--report=")) {
      report_file = arg.substr(std::string_view("--report=").size());
    } else if (arg.starts_with("-") && arg != "-") {
      return Usage("unknown option " + arg);
    } else if (mode.empty()) {
      mode = arg;
    } else if (folder.empty()) {
      folder = arg;
    } else {
      return Usage("too many arguments");
    }
  }
  if (mode != "export" && mode != "import") {
    return Usage(mode.empty() ? "missing run" : "unknown run " + mode);
  }
  if (folder.empty()) return Usage("missing FOLDER");

  ConsoleHost host(AsCurrentDirectory(folder));
  tto::AppState state;
  bool completed = true;
  std::optional<tto::RunReport> report;
  if (!report_file.empty()) report.emplace(mode == "export" ? "exportar" : "importar");
  const bool ok = tto::RunWithErrorBox(host, [&] {
    tto::RunContext run{host, state,
                        work_folder.empty() ? tto::dbf::DefaultWorkFolder()
                                            : std::filesystem::path(work_folder)};
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
