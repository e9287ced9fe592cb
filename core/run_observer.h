// File: core/run_observer.h
//
// What a run did with each record, for whoever asks (the command-line tool's
// --report). A conversion tells the observer of `RunContext` about every
// record it skips or drops and every value it writes with a fallback, and at
// its end how many records it read and rows it wrote. With no observer (the
// window, the host program) the conversions only test a null pointer.
#pragma once

#include <cstdint>
#include <string_view>

namespace tto {

// Why a record was skipped or dropped, or a value written with a fallback.
enum class RecordReason {
  kEmptyCode,          // a subject whose code is empty: skipped
  kCodeNotPlaceable,   // a subject whose numbered code is still taken: skipped
  kCodeRepeated,       // an activity or teacher code already used: skipped
  kSubjectNotFound,    // an assignment's or lesson's subject not in ASIGNOMT
  kGroupNotFound,      // a group code not in GRUPOST
  kNoWeeklyHours,      // an assignment that no weekly-hours line matches: 1 hour
  kSlotNotFound,       // a lesson's day and period not in DIASHORAST: blank code
  kActivityNotFound,   // a lesson's activity not in ASIGNOMT: "LEC"
  kRoomNotFound,       // a lesson's room not in AULAT
  kNoDay,              // a lesson with day 0: no line
};

// One record as the observer is told of it. Texts are Windows-1252 and valid
// only during the call.
struct RecordNote {
  RecordReason reason;
  std::string_view source;  // the ORVE file or the table the record is in
  std::int64_t line;        // its line (1-based) or record number
  std::string_view code;    // the record's code or the value not found
  std::string_view table;   // the table it concerns
  bool left_out;            // skipped or dropped, rather than written with a fallback
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void Note(const RecordNote& note) = 0;
  // At the end of a conversion that ran: the data records it read and the
  // rows (or lines) it wrote into `table`.
  virtual void Converted(std::string_view table, std::int64_t records_read,
                         std::int64_t rows_written) = 0;
};

}  // namespace tto
