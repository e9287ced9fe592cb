// File: core/errors.h
//
// The one error type of the system. Every failure that is not an expected
// condition (a missing input file is expected; a file that cannot be read is
// not) is thrown as an `Error` and ends the run that raised it. The message is
// UTF-8 text ready for the error box: values taken from ORVE files or tables
// (Windows-1252 bytes) are converted when they are put into a message.
#pragma once

#include <stdexcept>
#include <string>

namespace tto {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An error of the table engine; its message names the table and the fault.
class EngineError : public Error {
 public:
  using Error::Error;
};

}  // namespace tto
