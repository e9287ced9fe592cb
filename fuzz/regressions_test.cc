// Replays, for every fuzz target, its seed inputs (fuzz/corpus/<target>/)
// and every input that once broke it (fuzz/regressions/<target>/) through
// the same entry the fuzzer drives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/entries.h"

namespace tto::fuzz {
namespace {

namespace fs = std::filesystem;

class FuzzInputs : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzInputs, PassTheirTarget) {
  const Target& target = GetParam();
  int inputs = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path folder = fs::path(TTO_SOURCE_DIR) / "fuzz" / kind / target.name;
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), {}};
      ++inputs;
      try {
        target.run(bytes);
      } catch (const std::exception& error) {
        ADD_FAILURE() << entry.path() << ": " << error.what();
      }
    }
  }
  EXPECT_GT(inputs, 0) << "no seed input for " << target.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzInputs,
                         ::testing::ValuesIn(Targets().begin(), Targets().end()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tto::fuzz
