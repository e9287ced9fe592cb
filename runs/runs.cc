#include "runs/runs.h"

#include <exception>
#include <optional>

#include "core/encoding.h"
#include "core/errors.h"
#include "core/orve_path.h"
#include "core/run_lock.h"
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
    const RunLock lock(run.work_folder, run.run_lock_wait);
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
    const RunLock lock(run.work_folder, run.run_lock_wait);
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
  std::optional<ErrorPlace> place;
  try {
    action();
    return true;
  } catch (const Error& error) {
    message = error.what();
    place = error.place();
  } catch (const std::bad_alloc&) {
    message = "Out of memory";
  } catch (const std::exception& error) {
    // Errors of the standard library carry no type name in their text.
    message = error.what();
  }
  // File names are bytes; one that is not UTF-8 is shown escaped.
  host.ShowError(ErrorBoxText(EscapeInvalidUtf8(message)));
  if (place) {
    std::string where = place->file;
    if (!place->position.empty()) where += ", " + place->position;
    host.ShowErrorPlace(EscapeInvalidUtf8(where));
  }
  return false;
}

}  // namespace tto
