// "ORVE_HORARIO.TXT" from Tempario's solution. Not built yet: the import run
// reports that instead of pretending to have written the file.
#include "core/errors.h"
#include "to_orve/timetable_file.h"

namespace tto {

void WriteTimetableFile(RunContext&) {
  throw Error("La importación desde Tempario todavía no está disponible");
}

}  // namespace tto
