// File: fuzz/fuzz_main.cc
//
// The libFuzzer program of one target; TTO_FUZZ_TARGET names it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tto::fuzz::Target* const target = tto::fuzz::FindTarget(TTO_FUZZ_TARGET);
  target->run(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
