#include "runs/runs.h"

#include <exception>

#include "core/errors.h"
#include "core/orve_path.h"
#include "to_orve/timetable_file.h"
#include "to_tempario/conversions.h"

namespace tto {
namespace {

// Shows the wait cursor for as long as it lives, so that a run ended by an
// error also gets the normal cursor back.
class WaitCursor {
 public:
  explicit WaitCursor(RunHost& host) : host_(host) { host_.SetWaitCursor(true); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { Restore(); }
  void Restore() {
    if (shown_) host_.SetWaitCursor(false);
    shown_ = false;
  }

 private:
  RunHost& host_;
  bool shown_ = true;
};

void SetTransferFolder(RunContext& run) {
  run.transfer_folder = run.host.CurrentDirectory() + "/";
}

// The folder check of both runs; on a missing folder shows the message and,
// in hosted mode, leaves `missing_outcome` and closes the window.
bool CheckFolder(RunContext& run, int missing_outcome) {
  if (DirectoryExists(run.transfer_folder)) return true;
  run.host.ShowMessage("No existe la carpeta");
  if (run.state.hosted_mode) {
    run.state.outcome_code = missing_outcome;
    run.host.CloseWindow();
  }
  return false;
}

void Finish(RunContext& run) {
  run.host.ShowMessage("Proceso finalizado");
  run.host.DisableRunButtons();
  if (run.state.hosted_mode) run.host.CloseWindow();
}

}  // namespace

void RunExport(RunContext& run) {
  SetTransferFolder(run);
  if (!CheckFolder(run, -1)) return;
  {
    WaitCursor wait(run.host);
    run.state.outcome_code = 1;
    for (auto* convert : {ConvertSubjects, ConvertTeachers, ConvertRooms, ConvertGroups,
                          ConvertSubjectGroups, ConvertTimeSlots}) {
      convert(run);
    }
  }
  Finish(run);
}

void RunImport(RunContext& run) {
  SetTransferFolder(run);
  if (!CheckFolder(run, 0)) return;
  {
    WaitCursor wait(run.host);
    WriteTimetableFile(run);
  }
  run.state.outcome_code = 1;
  Finish(run);
}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

bool RunWithErrorBox(RunHost& host, const std::function<void()>& action) {
  std::string message;
  try {
    action();
    return true;
  } catch (const Error& error) {
    message = error.what();
  } catch (const std::bad_alloc&) {
    message = "Out of memory";
  } catch (const std::exception& error) {
    // Errors of the standard library carry no type name in their text.
    message = error.what();
  }
  host.ShowError(ErrorBoxText(message));
  return false;
}

}  // namespace tto
