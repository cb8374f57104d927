// What the view draws where for a given state of the rig: the bus line, and for each node a wheel
// face with its six slots, the home switch's arc and a pointer at the wheel's true angle, and its
// texts. Portable; the Win32 side only paints it. Wheel angles grow clockwise from the top, in the
// direction in which the step counter counts up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/rig_snapshot.h"

namespace halvane::simview {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct Point {
  double x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Disc {
  Point centre;
  double radius = 0;
  Rgb fill, edge;
  bool operator==(const Disc&) const = default;
};

// A piece of a circle around a wheel's centre, between two wheel angles.
struct Band {
  Point centre;
  double radius = 0;
  double fromDegrees = 0, toDegrees = 0;
  Rgb colour;
  int width = 1;
  bool operator==(const Band&) const = default;
};

struct Segment {
  Point from, to;
  Rgb colour;
  int width = 1;
  bool operator==(const Segment&) const = default;
};

struct Label {
  enum class Align { Left, Centre };
  Point at;  // Left: top-left corner; Centre: the middle of the text
  std::string text;
  Rgb colour;
  Align align = Align::Left;
  bool bold = false;
  bool operator==(const Label&) const = default;
};

// Painted in this order: discs, bands, segments, labels.
struct Layer {
  std::vector<Disc> discs;
  std::vector<Band> bands;
  std::vector<Segment> segments;
  std::vector<Label> labels;
  bool operator==(const Layer&) const = default;
};

// The backdrop holds what stays put while the wheels turn, so a painter can keep it from frame to
// frame; the live layer (pointers, angles, counters, speeds) goes on top.
struct Scene {
  Rgb background;
  Layer backdrop;
  Layer live;
};

struct WheelPlace {
  Point centre;
  double radius = 0;
};

inline constexpr int kSlotCount = 6;
inline constexpr int kLineHeight = 17;

// Where node 1 or 2's wheel sits in a drawing area of this size.
WheelPlace wheelPlace(int node, int width, int height);
Point onWheel(const WheelPlace& wheel, double degrees, double radius);

// Where slot 0-5 lies on a homed wheel: homing stops as the wheel enters the switch's arc from
// above, and that place becomes step 0; the slots follow every 60 degrees.
double slotDegrees(int slot);
// The slot the wheel stands at, within half the switch's width; none between slots.
std::optional<int> slotAt(double degrees);

// One line a test can read: "转盘1 位置4 静止 在线".
std::string nodeSummary(int node, const sim::NodeSnapshot& state);

Scene drawRig(const sim::RigSnapshot& rig, int width, int height);

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// What must be painted again to go from one scene to the next, in a drawing area `width` wide:
// everything when the backdrop changed; otherwise the places of the old and the new live layer.
std::vector<Box> changedAreas(const Scene& before, const Scene& after, int width, int height);

// The items of `layer` whose places meet one of `areas`: the others leave no pixel there, so a
// painter that paints only those areas may leave them out.
Layer touching(const Layer& layer, const std::vector<Box>& areas, int width);

}  // namespace halvane::simview
