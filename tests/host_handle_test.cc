// The host window's handle from the command line.
#include "shell/host_handle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/errors.h"

namespace tto {
namespace {

struct HandleCase {
  std::string parameter;
  bool valid;
  std::uint32_t handle;
};

class HostHandleTest : public testing::TestWithParam<HandleCase> {};

TEST_P(HostHandleTest, ReadsHexadecimalOrRefusesWithTheDollarText) {
  const HandleCase& c = GetParam();
  if (c.valid) {
    EXPECT_EQ(HostHandleFromParameter(c.parameter), c.handle);
    return;
  }
  try {
    HostHandleFromParameter(c.parameter);
    FAIL() << "accepted '" << c.parameter << "'";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "'$" + c.parameter + "' is not a valid integer value");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, HostHandleTest,
    testing::Values(HandleCase{"a04b2", true, 0xA04B2}, HandleCase{"A04B2", true, 0xA04B2},
                    HandleCase{"FFFFFFFF", true, 0xFFFFFFFFu},
                    HandleCase{"000000000a04b2", true, 0xA04B2}, HandleCase{"0xa04b2", false, 0},
                    HandleCase{"", false, 0}, HandleCase{"a04 b2", false, 0},
                    HandleCase{" a04b2", false, 0}, HandleCase{"100000000", false, 0},
                    HandleCase{"-1", false, 0}, HandleCase{"a04b2g", false, 0}));

}  // namespace
}  // namespace tto
