// File: shell/terminal_progress.h
//
// The command-line tool's progress line on a terminal: one line per table or
// file, "PROFT   1234 records   0.42 s", redrawn in place while it is written
// (at most ten times a second) and ended when the step is complete.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/progress.h"

namespace tto {

class TerminalProgress : public ProgressSink {
 public:
  explicit TerminalProgress(std::FILE* terminal) : terminal_(terminal) {}

  void StepStarted(std::string_view name) override;
  void RecordsWritten(std::int64_t records) override;
  void StepFinished(std::int64_t records) override;

  // Ends a line still being redrawn, so that a message written next to the
  // same terminal starts on a line of its own.
  void BreakLine();

 private:
  using Clock = std::chrono::steady_clock;
  void Draw(std::int64_t records, Clock::time_point now);

  std::FILE* terminal_;
  std::string name_;
  Clock::time_point started_{};
  Clock::time_point drawn_{};
  bool line_open_ = false;
};

}  // namespace tto
