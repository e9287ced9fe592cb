// File: report/run_report.h
//
// The data-quality report of a run: every record that a conversion skipped
// or dropped and every value written with a fallback, as a CSV file, and one
// summary line per conversion. It only observes: the run writes the same
// tables and files with or without it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_observer.h"

namespace tto {

// The stable key of a reason ("codigo-repetido") and its short Spanish text,
// which also says what became of the record in that run.
std::string_view ReasonKey(RecordReason reason);
std::string_view ReasonText(RecordReason reason, bool import_run);

// One CSV field by RFC 4180: quoted when it holds a comma, a quote, a line
// break or leading or trailing spaces; quotes doubled.
std::string CsvField(std::string_view text);

class RunReport : public RunObserver {
 public:
  // `run` names the run in the report: "exportar" or "importar".
  explicit RunReport(std::string run) : run_(std::move(run)) {}

  void Note(const RecordNote& note) override;
  void Converted(std::string_view table, std::int64_t records_read,
                 std::int64_t rows_written) override;

  // The report's CSV lines, UTF-8: a header line, then one row per note.
  std::vector<std::string> CsvLines() const;
  // Writes the lines to `path`, each ended by CR LF, atomically (temporary
  // file, sync, rename); throws `Error` on failure.
  void Save(const std::filesystem::path& path) const;
  // One UTF-8 line per conversion that ended, in run order: records read,
  // rows written, and the records left out and the fallbacks by reason.
  std::vector<std::string> Summary() const;

 private:
  struct Row {
    std::string source, code, table;  // UTF-8
    std::int64_t line;
    RecordReason reason;
  };
  struct Counts {
    std::string table;
    std::int64_t read = 0, written = 0;
    // Notes by reason, in the order of the reasons.
    std::map<RecordReason, std::int64_t> left_out, fallback;
  };

  std::string run_;
  std::vector<Row> rows_;
  std::vector<Counts> conversions_;
  // The notes since the last conversion ended, which belong to the next one.
  Counts pending_;
};

// The command-line tool's end of a run with --report: saves the report at
// `path` and prints the summary on standard output. False, with the reason
// on standard error, when the report cannot be written.
bool WriteReport(const RunReport& report, const std::filesystem::path& path);

}  // namespace tto
