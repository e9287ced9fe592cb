// File: shell/terminal_progress.cc
#include "shell/terminal_progress.h"

namespace tto {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

void TerminalProgress::StepStarted(std::string_view name) {
  BreakLine();
  name_ = name;
  started_ = Clock::now();
  Draw(0, started_);
}

void TerminalProgress::RecordsWritten(std::int64_t records) {
  const Clock::time_point now = Clock::now();
  if (now - drawn_ >= kRedrawInterval) Draw(records, now);
}

void TerminalProgress::StepFinished(std::int64_t records) {
  Draw(records, Clock::now());
  BreakLine();
}

void TerminalProgress::BreakLine() {
  if (!line_open_) return;
  std::fputc('\n', terminal_);
  std::fflush(terminal_);
  line_open_ = false;
}

void TerminalProgress::Draw(std::int64_t records, Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - started_).count();
  // "\r" goes back to the start of the line, "\033[K" clears what a longer
  // line before left at its end.
  std::fprintf(terminal_, "\r%-16s %10lld records %8.2f s\033[K", name_.c_str(),
               static_cast<long long>(records), seconds);
  std::fflush(terminal_);
  drawn_ = now;
  line_open_ = true;
}

}  // namespace tto
