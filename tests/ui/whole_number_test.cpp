// Reading a control's text as a signed whole number.
#include <gtest/gtest.h>

#include "ui/whole_number.h"

namespace halvane {
namespace {

TEST(WholeNumberTest, ReadsAsTheDialogsOfThePlatformDo) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 0},
      {"   ", 0},
      {"-", 0},
      {"- 5", 0},
      {"180", 180},
      {"  \t42", 42},
      {"-90", -90},
      {"+5", 5},
      {"-0", 0},
      {"0005", 5},
      {"0x10", 0},
      {"12abc", 12},
      {"12 ", 12},
      {"1.5", 1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", 0},
      {"-2147483649", 0},
      {"99999999999999999999999", 0},
      {"00000000000000000000001", 1},
      {"１２", 0},  // full-width digits are no decimal digits here
      {"　12", 0},  // nor is a full-width space a blank
      {"位置3", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readWholeNumber(c.text), c.value) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace halvane
