// What the soak types into the number boxes: plain numbers and the bad texts operators produce,
// each with the whole number it stands for (leading blanks, a sign, decimal digits up to the
// first other character; no number, or one beyond 32 bits, stands for 0).
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace halvane::soak {

struct TypedValue {
  std::wstring text;
  int64_t meaning = 0;
};

enum class NumberBox { StartSpeed, MaxSpeed, Angle };

// A value for the box: mostly a sensible number, now and then a bad text.
TypedValue pickTypedValue(NumberBox box, std::mt19937& random);
// The texts the window starts with, for the boxes the soak has not typed into yet.
TypedValue initialValue(NumberBox box);

}  // namespace halvane::soak
