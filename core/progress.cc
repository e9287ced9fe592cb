// File: core/progress.cc
#include "core/progress.h"

#include <exception>

namespace tto {

ProgressStep::ProgressStep(ProgressSink* sink, std::string_view name)
    : sink_(sink), uncaught_at_start_(std::uncaught_exceptions()) {
  if (sink_ != nullptr) sink_->StepStarted(name);
}

ProgressStep::~ProgressStep() {
  if (sink_ != nullptr && std::uncaught_exceptions() == uncaught_at_start_) {
    sink_->StepFinished(records_);
  }
}

}  // namespace tto
