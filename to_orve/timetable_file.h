// File: to_orve/timetable_file.h
//
// The import run's one conversion: "ORVE_HORARIO.TXT" from Tempario's
// solution SOLUC and the tables of the export run.
#pragma once

#include "core/run_context.h"

namespace tto {

void WriteTimetableFile(RunContext& run);

}  // namespace tto
