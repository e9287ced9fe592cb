// File: core/progress.h
//
// A run's progress, for a person watching it. Each table or file that a
// conversion writes is one step, and the step counts its records as they are
// written. A `ProgressSink` hears of a step's start, of its count every
// `kProgressInterval` records, and of its end; without a sink, counting costs
// one increment per record. Qt-free: the command-line tool shows it on its
// terminal.
#pragma once

#include <cstdint>
#include <string_view>

namespace tto {

inline constexpr std::int64_t kProgressInterval = 1024;

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // A conversion starts to write `name`: a table such as "PROFT", or a file.
  virtual void StepStarted(std::string_view name) = 0;
  // `records` records written so far; called every kProgressInterval records.
  virtual void RecordsWritten(std::int64_t records) = 0;
  // The step is complete with `records` records. Not called when an error
  // ends the step.
  virtual void StepFinished(std::int64_t records) = 0;
};

// One step of a conversion, from its construction to its destruction.
class ProgressStep {
 public:
  // `sink` may be null: then nothing is reported.
  ProgressStep(ProgressSink* sink, std::string_view name);
  ProgressStep(const ProgressStep&) = delete;
  ProgressStep& operator=(const ProgressStep&) = delete;
  // Reports the end, unless an error is unwinding the conversion.
  ~ProgressStep();

  // One more record written.
  void Record() {
    if (++records_ % kProgressInterval == 0 && sink_ != nullptr) sink_->RecordsWritten(records_);
  }
  std::int64_t records() const { return records_; }

 private:
  ProgressSink* sink_;
  std::int64_t records_ = 0;
  int uncaught_at_start_;
};

}  // namespace tto
