// Text to numbers, whatever the user's locale.
#include "core/numbers.h"

#include <gtest/gtest.h>

#include <clocale>

#include "core/errors.h"

namespace tto {
namespace {

TEST(Numbers, StrToInt) {
  struct {
    std::string_view text;
    bool valid;
    std::int32_t value;
  } cases[] = {
      {"08", true, 8},   {"  -5", true, -5},     {"+7", true, 7},
      {"2147483647", true, 2147483647},          {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},                  {":", false, 0},
      {"", false, 0},    {"1 ", false, 0},       {"0x1", false, 0},
      {"$1", false, 0},  {"-", false, 0},        {"1a", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    if (c.valid) {
      EXPECT_EQ(StrToInt(c.text), c.value);
    } else {
      try {
        StrToInt(c.text);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "'" + std::string(c.text) + "' is not a valid integer value");
      }
    }
  }
}

TEST(Numbers, StrToFloatIgnoresTheLocale) {
  // A comma locale must not change the decimal separator.
  const bool comma_locale = std::setlocale(LC_ALL, "es_ES.UTF-8") != nullptr ||
                            std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  struct {
    std::string_view text;
    bool valid;
    double value;
  } cases[] = {
      {"2.5", true, 2.5}, {"3", true, 3},     {".5", true, 0.5},    {"5.", true, 5},
      {"-1", true, -1},   {"+1", true, 1},    {"1E2", true, 100},   {"1e-1", true, 0.1},
      {" 4 ", true, 4},   {"1.5h", false, 0}, {"2,5", false, 0},    {"", false, 0},
      {".", false, 0},    {"1E", false, 0},   {"inf", false, 0},    {"nan", false, 0},
      {"0x10", false, 0}, {"1E400", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    if (c.valid) {
      EXPECT_DOUBLE_EQ(StrToFloat(c.text), c.value);
    } else {
      try {
        StrToFloat(c.text);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "'" + std::string(c.text) + "' is not a valid floating point value");
      }
    }
  }
  std::setlocale(LC_ALL, "C");
  if (!comma_locale) GTEST_SKIP() << "no comma locale installed; checked in the C locale only";
}

}  // namespace
}  // namespace tto
