#include "simview/view_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "sim/home_switch.h"
#include "simview/view_texts.h"

namespace halvane::simview {
namespace {

constexpr double kSwitchArcDegrees = 360.0 * sim::kSwitchArcEnd / sim::kWheelUnitsPerRevolution;
constexpr double kSlotSpacing = 360.0 / kSlotCount;
constexpr double kSlotTolerance = kSwitchArcDegrees / 2;
constexpr int kHeaderHeight = 28;
constexpr int kLabelMargin = 30;  // room for the slot names outside the rim
constexpr int kTextLines = 8 + static_cast<int>(sim::kRecentCallCount);
constexpr int kTextIndent = 16;

constexpr Rgb kBackground{250, 250, 247};
constexpr Rgb kInk{30, 30, 30};
constexpr Rgb kFaint{120, 120, 120};
constexpr Rgb kFace{222, 226, 232};
constexpr Rgb kFaceMoving{205, 224, 245};
constexpr Rgb kRim{70, 80, 95};
constexpr Rgb kHole{250, 250, 247};
constexpr Rgb kSwitch{230, 130, 20};
constexpr Rgb kSwitchHidden{180, 180, 180};
constexpr Rgb kPointer{190, 30, 30};
constexpr Rgb kCurrentSlot{20, 110, 200};
constexpr Rgb kGood{20, 140, 60};
constexpr Rgb kBad{200, 40, 40};
constexpr Rgb kWarn{200, 110, 0};

double wrapDegrees(double degrees) {
  const double wrapped = std::fmod(degrees, 360.0);
  return wrapped < 0 ? wrapped + 360.0 : wrapped;
}

std::string formatted(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

std::string wheelName(int node) {
  return texts::kWheel + std::to_string(node);
}

std::string onlineText(const sim::NodeSnapshot& state) {
  return state.online ? texts::kOnline : state.heldOffBus ? texts::kHeldOff : texts::kOffline;
}

std::string motionText(const sim::NodeSnapshot& state) {
  if (!state.moving) {
    return texts::kAtRest;
  }
  return std::string(texts::kMoving) + formatted(" %.0f ", state.speed) + texts::kStepsPerSecond;
}

std::string slotText(const sim::NodeSnapshot& state) {
  const auto slot = slotAt(state.wheelDegrees);
  return slot ? std::string(texts::kSlots[static_cast<size_t>(*slot)]) : texts::kBetweenSlots;
}

const char* extStopText(sim::ExtStopState state) {
  switch (state) {
    case sim::ExtStopState::Armed:
      return texts::kExtStopArmed;
    case sim::ExtStopState::Latched:
      return texts::kExtStopLatched;
    case sim::ExtStopState::Off:
      break;
  }
  return texts::kExtStopOff;
}

void drawWheel(Scene& scene, const WheelPlace& wheel, const sim::NodeSnapshot& state) {
  Layer& backdrop = scene.backdrop;
  backdrop.discs.push_back({wheel.centre, wheel.radius, state.moving ? kFaceMoving : kFace, kRim});
  const auto current = slotAt(state.wheelDegrees);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const double at = slotDegrees(slot);
    const bool here = current == slot;
    backdrop.discs.push_back(
        {onWheel(wheel, at, wheel.radius * 0.62), wheel.radius * 0.13, kHole, kRim});
    backdrop.segments.push_back({onWheel(wheel, at, wheel.radius * 0.86),
                                 onWheel(wheel, at, wheel.radius), here ? kCurrentSlot : kRim,
                                 here ? 3 : 2});
    backdrop.labels.push_back({onWheel(wheel, at, wheel.radius + 16),
                               std::string(texts::kSlots[static_cast<size_t>(slot)]),
                               here ? kCurrentSlot : kInk, Label::Align::Centre, here});
  }
  backdrop.bands.push_back({wheel.centre, wheel.radius + 4, 0.0, kSwitchArcDegrees,
                            state.switchWorks ? kSwitch : kSwitchHidden, 6});
  scene.live.segments.push_back(
      {wheel.centre, onWheel(wheel, state.wheelDegrees, wheel.radius * 0.92), kPointer, 4});
  scene.live.discs.push_back({wheel.centre, 6, kPointer, kPointer});
}

void drawTexts(Scene& scene, int node, const WheelPlace& wheel, int width,
               const sim::NodeSnapshot& state) {
  const double left = (node - 1) * width / 2.0 + kTextIndent;
  double y = wheel.centre.y + wheel.radius + kLabelMargin;
  const auto line = [&](std::string text, Rgb colour, bool bold = false, bool live = false) {
    (live ? scene.live : scene.backdrop)
        .labels.push_back({{left, y}, std::move(text), colour, Label::Align::Left, bold});
    y += kLineHeight;
  };
  line(wheelName(node) + "  " + onlineText(state), state.online ? kGood : kBad, true);
  line(texts::kAngle + formatted("%.2f°", state.wheelDegrees) + "  " + slotText(state),
       slotAt(state.wheelDegrees) ? kCurrentSlot : kInk, false, true);
  line(texts::kCounter + std::to_string(state.position), kInk, false, true);
  line(motionText(state), state.moving ? kCurrentSlot : kInk, false, true);
  line(texts::kMicrostep + std::to_string(state.microstep), kInk);
  line(std::string(texts::kExtStop) + extStopText(state.extStop) +
           (state.switchWorks ? "" : std::string("  ") + texts::kSwitchHidden),
       state.extStop == sim::ExtStopState::Latched || !state.switchWorks ? kWarn : kInk);
  line(texts::kRecentCalls, kFaint);
  for (const std::string& call : state.recentCalls) {
    const bool failed = call.size() < 2 || call.compare(call.size() - 2, 2, " 0") != 0;
    line(call, failed ? kBad : kFaint);
  }
}

constexpr int kBoxMargin = 3;  // thick strokes and round-off

Box around(double left, double top, double right, double bottom) {
  return {static_cast<int>(std::floor(left)) - kBoxMargin,
          static_cast<int>(std::floor(top)) - kBoxMargin,
          static_cast<int>(std::ceil(right)) + kBoxMargin,
          static_cast<int>(std::ceil(bottom)) + kBoxMargin};
}

Box boxOf(const Disc& d, int) {
  return around(d.centre.x - d.radius, d.centre.y - d.radius, d.centre.x + d.radius,
                d.centre.y + d.radius);
}

Box boxOf(const Segment& s, int) {
  return around(std::min(s.from.x, s.to.x) - s.width, std::min(s.from.y, s.to.y) - s.width,
                std::max(s.from.x, s.to.x) + s.width, std::max(s.from.y, s.to.y) + s.width);
}

Box boxOf(const Band& b, int) {
  return around(b.centre.x - b.radius - b.width, b.centre.y - b.radius - b.width,
                b.centre.x + b.radius + b.width, b.centre.y + b.radius + b.width);
}

Box boxOf(const Label& l, int width) {
  // A text's width is the painter's to know: it may reach the end of its half.
  const double halfEnd = l.at.x < width / 2.0 ? width / 2.0 : width;
  const double left = l.align == Label::Align::Centre ? l.at.x - width / 4.0 : l.at.x;
  const double top = l.align == Label::Align::Centre ? l.at.y - kLineHeight : l.at.y;
  return around(left, top, halfEnd, top + 2 * kLineHeight);
}

// The places of the items that differ, item by item, in both lists.
template <class Item>
void addChanged(const std::vector<Item>& before, const std::vector<Item>& after, int width,
                std::vector<Box>& boxes) {
  for (size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
    const bool inBefore = i < before.size();
    const bool inAfter = i < after.size();
    if (inBefore && inAfter && before[i] == after[i]) {
      continue;
    }
    if (inBefore) {
      boxes.push_back(boxOf(before[i], width));
    }
    if (inAfter) {
      boxes.push_back(boxOf(after[i], width));
    }
  }
}

bool meets(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

template <class Item>
std::vector<Item> meetingAny(const std::vector<Item>& items, const std::vector<Box>& areas,
                             int width) {
  std::vector<Item> kept;
  for (const Item& item : items) {
    const Box place = boxOf(item, width);
    if (std::any_of(areas.begin(), areas.end(), [&](const Box& a) { return meets(place, a); })) {
      kept.push_back(item);
    }
  }
  return kept;
}

}  // namespace

Layer touching(const Layer& layer, const std::vector<Box>& areas, int width) {
  return {meetingAny(layer.discs, areas, width), meetingAny(layer.bands, areas, width),
          meetingAny(layer.segments, areas, width), meetingAny(layer.labels, areas, width)};
}

std::vector<Box> changedAreas(const Scene& before, const Scene& after, int width, int height) {
  if (!(before.backdrop == after.backdrop) || !(before.background == after.background)) {
    return {{0, 0, width, height}};
  }
  std::vector<Box> boxes;
  addChanged(before.live.discs, after.live.discs, width, boxes);
  addChanged(before.live.bands, after.live.bands, width, boxes);
  addChanged(before.live.segments, after.live.segments, width, boxes);
  addChanged(before.live.labels, after.live.labels, width, boxes);
  return boxes;
}

WheelPlace wheelPlace(int node, int width, int height) {
  const double column = width / 2.0;
  const double byWidth = column / 2 - kLabelMargin - 10;
  const double byHeight =
      (height - kHeaderHeight - 2.0 * kLabelMargin - kTextLines * kLineHeight) / 2;
  const double radius = std::max(30.0, std::min(byWidth, byHeight));
  return {{(node - 0.5) * column, kHeaderHeight + kLabelMargin + radius}, radius};
}

Point onWheel(const WheelPlace& wheel, double degrees, double radius) {
  const double radians = degrees * std::numbers::pi / 180.0;
  return {wheel.centre.x + radius * std::sin(radians), wheel.centre.y - radius * std::cos(radians)};
}

double slotDegrees(int slot) {
  return wrapDegrees(kSwitchArcDegrees + slot * kSlotSpacing);
}

std::optional<int> slotAt(double degrees) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const double off = wrapDegrees(degrees - slotDegrees(slot) + 180.0) - 180.0;
    if (std::abs(off) <= kSlotTolerance) {
      return slot;
    }
  }
  return std::nullopt;
}

std::string nodeSummary(int node, const sim::NodeSnapshot& state) {
  return wheelName(node) + " " + slotText(state) + " " +
         (state.moving ? texts::kMoving : texts::kAtRest) + " " + onlineText(state);
}

Scene drawRig(const sim::RigSnapshot& rig, int width, int height) {
  Scene scene;
  scene.background = kBackground;
  scene.backdrop.labels.push_back(
      {{kTextIndent, 6},
       rig.busOpen ? texts::kBusOpen + formatted(" %.0f kbit/s", rig.kbps) : texts::kBusClosed,
       rig.busOpen ? kGood : kFaint,
       Label::Align::Left,
       true});
  for (int node = 1; node <= sim::kNodeCount; ++node) {
    const sim::NodeSnapshot& state = rig.nodes[static_cast<size_t>(node - 1)];
    const WheelPlace wheel = wheelPlace(node, width, height);
    drawWheel(scene, wheel, state);
    drawTexts(scene, node, wheel, width, state);
  }
  return scene;
}

}  // namespace halvane::simview
