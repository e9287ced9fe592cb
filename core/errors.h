// File: core/errors.h
//
// The one error type of the system. Every failure that is not an expected
// condition (a missing input file is expected; a file that cannot be read is
// not) is thrown as an `Error` and ends the run that raised it. The message is
// UTF-8 text ready for the error box: values taken from ORVE files or tables
// (Windows-1252 bytes) are converted when they are put into a message.
//
// An error may also carry where it arose (a file and a line of it) when its
// message does not say so itself. The place never enters the message: the
// error box shows the message alone; the command-line tool prints the place
// on a line of its own.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace tto {

// Where an error arose: a file's path and, when known, a position in it
// ("line 7", "record 12").
struct ErrorPlace {
  std::string file;
  std::string position = {};
};

inline ErrorPlace LinePlace(std::string file, std::size_t line) {
  return {std::move(file), "line " + std::to_string(line)};
}

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;

  const std::optional<ErrorPlace>& place() const { return place_; }
  // Keeps the first place given: the innermost code that knows where the
  // error arose says it.
  void set_place(ErrorPlace place) {
    if (!place_) place_ = std::move(place);
  }

 private:
  std::optional<ErrorPlace> place_;
};

// An error of the table engine; its message names the table and the fault.
class EngineError : public Error {
 public:
  using Error::Error;
};

// Runs `action`; an `Error` that leaves it without a place gets `place`
// (built only then) and goes on unchanged otherwise.
template <typename Action, typename MakePlace>
decltype(auto) AtPlace(MakePlace&& place, Action&& action) {
  try {
    return std::forward<Action>(action)();
  } catch (Error& error) {
    error.set_place(std::forward<MakePlace>(place)());
    throw;
  }
}

}  // namespace tto
