// File: core/runs.h
//
// The two one-shot runs and what they share with the user interface.
// `RunExport` rebuilds the Tempario tables from the ORVE files of the chosen
// folder; `RunImport` writes the ORVE timetable file from Tempario's
// solution. Both are Qt-free: they talk to the window (or the command-line
// tool, or a test) through `RunHost`.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/progress.h"

namespace tto {

// The user interface as the runs see it.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // The current directory of the directory list, as it reports it: a full
  // path without a trailing "/", except the root "/".
  virtual std::string CurrentDirectory() = 0;
  // A modal message box (caption "transTempexOrve", one OK button, no icon);
  // returns when the user has dismissed it. `text` is UTF-8.
  virtual void ShowMessage(std::string_view text) = 0;
  // The error box of the top-level handler; `text` already carries the
  // full-stop rule (ErrorBoxText).
  virtual void ShowError(std::string_view text) = 0;
  virtual void SetWaitCursor(bool shown) = 0;
  // Disables BExportar, then BImportar.
  virtual void DisableRunButtons() = 0;
  virtual void CloseWindow() = 0;
};

// Process-wide state shared by the window and the runs.
struct AppState {
  // 0 nothing done, 1 the run went through, -1 something failed.
  int outcome_code = 0;
  // True once the window has embedded itself in a host window; never reset.
  bool hosted_mode = false;
};

// The local date and time; injectable so tests can fix it.
using Clock = std::function<std::tm()>;
std::tm LocalNow();

// What a conversion works with.
struct RunContext {
  RunHost& host;
  AppState& state;
  // Folder of the Tempario tables.
  std::filesystem::path work_folder;
  Clock clock = LocalNow;
  // The current directory followed by "/", set at the start of each run;
  // ORVE file names are appended to it.
  std::string transfer_folder = {};
  // Hears of each table or file the conversions write; none by default.
  ProgressSink* progress = nullptr;
};

void RunExport(RunContext& run);
void RunImport(RunContext& run);

// The application's top-level handler around a click: runs `action`, and
// when an error ends it, shows the error box and returns false.
bool RunWithErrorBox(RunHost& host, const std::function<void()>& action);

// The error box's text: the message, followed by "." when it ends in a
// character whose code is above that of the full stop.
std::string ErrorBoxText(std::string_view message);

}  // namespace tto
