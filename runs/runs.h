// File: runs/runs.h
//
// The two one-shot runs. `RunExport` rebuilds the Tempario tables from the
// ORVE files of the chosen folder; `RunImport` writes the ORVE timetable file
// from Tempario's solution. Both are Qt-free: they talk to the window (or the
// command-line tool, or a test) through `RunHost`.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/run_context.h"

namespace tto {

void RunExport(RunContext& run);
void RunImport(RunContext& run);

// The application's top-level handler around a click: runs `action`, and
// when an error ends it, shows the error box and returns false.
bool RunWithErrorBox(RunHost& host, const std::function<void()>& action);

// The error box's text: the message, followed by "." when it ends in a
// character whose code is above that of the full stop.
std::string ErrorBoxText(std::string_view message);

}  // namespace tto
