#include "tests/soak/typed_values.h"

#include <array>

namespace halvane::soak {
namespace {

const std::array<TypedValue, 16> kBadTexts = {{
    {L"", 0},
    {L"abc", 0},
    {L"-5", -5},
    {L"+5", 5},
    {L"-0", 0},
    {L"0x10", 0},
    {L"99999999999", 0},
    {L"2147483648", 0},
    {L"2147483647", 2147483647},
    {L"\xFF11\xFF12\xFF13", 0},  // full-width digits 123
    {L"\x4E5D\x5341\x5EA6", 0},  // Chinese "ninety degrees"
    {L"45abc", 45},
    {L"  30", 30},
    {L"-", 0},
    {L"12 34", 12},
    {L"7\x5EA6", 7},  // 7 followed by the Chinese for degree
}};

int64_t uniform(std::mt19937& random, int64_t low, int64_t high) {
  return std::uniform_int_distribution<int64_t>(low, high)(random);
}

TypedValue number(int64_t value) {
  return {std::to_wstring(value), value};
}

}  // namespace

TypedValue pickTypedValue(NumberBox box, std::mt19937& random) {
  if (uniform(random, 0, 3) == 0) {
    return kBadTexts[static_cast<size_t>(uniform(random, 0, kBadTexts.size() - 1))];
  }
  switch (box) {
    case NumberBox::StartSpeed:
      return number(uniform(random, 0, 3000));
    case NumberBox::MaxSpeed:
      return number(uniform(random, 500, 8000));
    case NumberBox::Angle:
      break;
  }
  return number(uniform(random, 0, 720));
}

TypedValue initialValue(NumberBox box) {
  switch (box) {
    case NumberBox::StartSpeed:
      return number(600);
    case NumberBox::MaxSpeed:
      return number(4000);
    case NumberBox::Angle:
      break;
  }
  return number(180);
}

}  // namespace halvane::soak
