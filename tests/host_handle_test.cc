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

// The launcher's note of where the host's client area lies: the virtual
// desktop's negative corners read, anything torn or padded refused.
TEST(HostClientPlace, ReadsTheLaunchersLineOnly) {
  const auto place = ParseHostClientPlace("-4 23 40000a\n");
  ASSERT_TRUE(place.has_value());
  EXPECT_EQ(place->x, -4);
  EXPECT_EQ(place->y, 23);
  EXPECT_EQ(place->screen, 0x40000Au);
  for (const char* torn : {"", "104 103 0", "104 103\n", "104  103 0\n", "104 103 0\nx",
                           "104 103 zz\n", "104,103 0\n"}) {
    EXPECT_FALSE(ParseHostClientPlace(torn).has_value()) << torn;
  }
}

}  // namespace
}  // namespace tto
