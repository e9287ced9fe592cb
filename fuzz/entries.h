// File: fuzz/entries.h
//
// The fuzz entries: each takes arbitrary bytes, drives one reader or run of
// the system through its public interface and checks what must hold for
// any input. The libFuzzer programs (fuzz_main.cc) and the regression test
// (regressions_test.cc) call the same entries, so an input that once broke
// a target is replayed by the normal test suite.
//
// An entry returns normally when the system behaved: it either worked or
// failed with its own `Error`. Any other exception escapes; a broken rule
// throws `Failure`.
#pragma once

#include <span>
#include <stdexcept>
#include <string_view>

namespace tto::fuzz {

// A rule that every input must keep was broken.
class Failure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

struct Target {
  std::string_view name;
  void (*run)(std::string_view data);
};

// Every target, by the name used for its program (fuzz_<name>) and for its
// folders under fuzz/corpus/ and fuzz/regressions/.
std::span<const Target> Targets();
const Target* FindTarget(std::string_view name);

}  // namespace tto::fuzz
