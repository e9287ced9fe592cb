// File: core/run_context.h
//
// What a conversion works with: the user interface as the runs see it
// (`RunHost`), the process-wide state, the clock and the folders. The runs
// themselves (runs/) and every conversion share it; the window, the
// command-line tool and the tests implement `RunHost`.
#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/progress.h"
#include "core/run_observer.h"

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
  // Where the error just shown arose (a file and its line), when the error
  // knows it and its text does not say it; UTF-8. The window's error box
  // shows the message alone, so by default this shows nothing.
  virtual void ShowErrorPlace(std::string_view /*place*/) {}
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
  // How long a run waits for another run that holds the work folder.
  std::chrono::milliseconds run_lock_wait = std::chrono::seconds(5);
  // The current directory followed by "/", set at the start of each run;
  // ORVE file names are appended to it.
  std::string transfer_folder = {};
  // Hears of each table or file the conversions write; none by default.
  ProgressSink* progress = nullptr;
  // Told of every record skipped, dropped or written with a fallback; none
  // unless a report was asked for.
  RunObserver* observer = nullptr;
};

}  // namespace tto
