// File: to_tempario/conversions.h
//
// The ORVE to Tempario conversions, in the order of the export run. Each
// checks that its ORVE file exists in `run.transfer_folder` (a missing file
// shows its message and, where noted, sets the outcome code to -1), opens
// the file before it re-creates its table, rebuilds the table whole in
// `run.work_folder`, and releases its file, table and lists when it ends,
// also when an error ends it.
#pragma once

#include "core/run_context.h"

namespace tto {

// ASIGNOMT from "orve_asignat.txt" and "ORVE_ACTIVIDADES.TXT".
void ConvertSubjects(RunContext& run);
// PROFT from "orve_prof.txt".
void ConvertTeachers(RunContext& run);
// AULAT from "orve_aulas.txt".
void ConvertRooms(RunContext& run);
// GRUPOST from "orve_grupo.txt".
void ConvertGroups(RunContext& run);
// ASIGT from "orve_asignatgrupo.txt", ASIGNOMT, GRUPOST and
// "orve_asignatcurso.txt".
void ConvertSubjectGroups(RunContext& run);
// DIASHORAST from "orve_sesiones.txt".
void ConvertTimeSlots(RunContext& run);

}  // namespace tto
