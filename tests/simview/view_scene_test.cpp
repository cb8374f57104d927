#include "simview/view_scene.h"

#include <gtest/gtest.h>

#include <cmath>

#include "simview/view_texts.h"

namespace halvane::simview {
namespace {

constexpr int kWidth = 820;
constexpr int kHeight = 520;

std::vector<Label> allLabels(const Scene& scene) {
  std::vector<Label> labels = scene.backdrop.labels;
  labels.insert(labels.end(), scene.live.labels.begin(), scene.live.labels.end());
  return labels;
}

std::optional<Label> findLabel(const Scene& scene, const std::string& text) {
  for (const Label& label : allLabels(scene)) {
    if (label.text == text) {
      return label;
    }
  }
  return std::nullopt;
}

std::optional<Label> labelStarting(const Scene& scene, const std::string& start) {
  for (const Label& label : allLabels(scene)) {
    if (label.text.rfind(start, 0) == 0) {
      return label;
    }
  }
  return std::nullopt;
}

double distance(Point a, Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

sim::RigSnapshot restingRig(double degrees1, double degrees2) {
  sim::RigSnapshot rig;
  rig.nodes[0].wheelDegrees = degrees1;
  rig.nodes[1].wheelDegrees = degrees2;
  rig.nodes[0].online = rig.nodes[1].online = true;
  return rig;
}

// The pointer is the thick segment that starts at the wheel's centre.
Point pointerTip(const Scene& scene, const WheelPlace& wheel) {
  for (const Segment& s : scene.live.segments) {
    if (s.width == 4 && distance(s.from, wheel.centre) < 1e-9) {
      return s.to;
    }
  }
  ADD_FAILURE() << "no pointer";
  return {};
}

TEST(ViewScene, SlotsLieWhereAHomedWheelStopsAndEverySixtyDegreesOn) {
  // Homing stops just inside the switch's arc (3.6 degrees wide), coming down from above.
  const struct {
    double degrees;
    std::optional<int> slot;
  } cases[] = {
      {3.544, 0},  {3.6, 0},   {1.9, 0},   {63.6, 1},           {183.6, 3},
      {185.3, 3},  {303.6, 5}, {90.0, {}}, {5.5, std::nullopt}, {359.9, std::nullopt},
      {-176.4, 3}, {543.6, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(slotAt(c.degrees), c.slot) << c.degrees;
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(slotAt(slotDegrees(slot)), slot);
  }
}

TEST(ViewScene, PointerLabelsAndSwitchFollowTheWheel) {
  for (const double degrees : {0.0, 45.0, 183.6, 270.0, 359.0}) {
    const Scene scene = drawRig(restingRig(degrees, 200.0), kWidth, kHeight);
    const WheelPlace wheel = wheelPlace(1, kWidth, kHeight);
    const Point tip = pointerTip(scene, wheel);
    const Point want = onWheel(wheel, degrees, wheel.radius * 0.92);
    EXPECT_NEAR(tip.x, want.x, 1e-6) << degrees;
    EXPECT_NEAR(tip.y, want.y, 1e-6) << degrees;
  }
  // 0 degrees is at the top, 90 to the right (the counter counts up clockwise).
  const WheelPlace wheel = wheelPlace(1, kWidth, kHeight);
  EXPECT_NEAR(onWheel(wheel, 0, 10).y, wheel.centre.y - 10, 1e-9);
  EXPECT_NEAR(onWheel(wheel, 90, 10).x, wheel.centre.x + 10, 1e-9);

  const Scene scene = drawRig(restingRig(183.6, 200.0), kWidth, kHeight);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::string name(texts::kSlots[static_cast<size_t>(slot)]);
    int found = 0;
    for (const Label& label : scene.backdrop.labels) {
      if (label.text == name && label.align == Label::Align::Centre) {
        ++found;
        const bool nearWheel1 = distance(label.at, wheel.centre) < wheel.radius + 20;
        if (nearWheel1) {
          const Point want = onWheel(wheel, slotDegrees(slot), wheel.radius + 16);
          EXPECT_NEAR(label.at.x, want.x, 1e-6) << name;
          EXPECT_EQ(label.bold, slot == 3) << name;  // the wheel stands at 位置4
        }
      }
    }
    EXPECT_EQ(found, 2) << name;  // one on each wheel
  }
  ASSERT_EQ(scene.backdrop.bands.size(), 2u);
  EXPECT_EQ(scene.backdrop.bands[0].fromDegrees, 0.0);
  EXPECT_NEAR(scene.backdrop.bands[0].toDegrees, 3.6, 1e-9);
}

TEST(ViewScene, TextsShowEachNodesStateAndTheBus) {
  sim::RigSnapshot rig = restingRig(183.6, 90.0);
  EXPECT_TRUE(findLabel(drawRig(rig, kWidth, kHeight), texts::kBusClosed).has_value());
  rig.busOpen = true;
  rig.kbps = 125;
  sim::NodeSnapshot& moving = rig.nodes[1];
  moving.moving = true;
  moving.speed = 2000;
  moving.position = -1537;
  moving.microstep = 32;
  moving.extStop = sim::ExtStopState::Latched;
  moving.switchWorks = false;
  moving.online = false;
  moving.heldOffBus = true;
  moving.recentCalls = {"PCAN_GetMotorPos(2, &) -> 0", "PCAN_StartRelStep(2, 100) -> 9"};
  const Scene scene = drawRig(rig, kWidth, kHeight);

  EXPECT_TRUE(findLabel(scene, "总线：打开 125 kbit/s").has_value());
  EXPECT_TRUE(findLabel(scene, "转盘1  在线").has_value());
  EXPECT_TRUE(findLabel(scene, "真实角度：183.60°  位置4").has_value());
  EXPECT_TRUE(findLabel(scene, "转盘2  离线（已拔下）").has_value());
  EXPECT_TRUE(findLabel(scene, "真实角度：90.00°  不在位置上").has_value());
  EXPECT_TRUE(findLabel(scene, "步数计数：-1537").has_value());
  EXPECT_TRUE(findLabel(scene, "转动中 2000 步/秒").has_value());
  EXPECT_TRUE(findLabel(scene, "静止").has_value());
  EXPECT_TRUE(findLabel(scene, "细分：32").has_value());
  EXPECT_TRUE(findLabel(scene, "外部停止：已触发  原点开关已隐藏").has_value());
  EXPECT_TRUE(findLabel(scene, "外部停止：关").has_value());
  const auto good = findLabel(scene, "PCAN_GetMotorPos(2, &) -> 0");
  const auto failed = findLabel(scene, "PCAN_StartRelStep(2, 100) -> 9");
  ASSERT_TRUE(good && failed);
  EXPECT_NE(good->colour, failed->colour);
  EXPECT_GT(failed->at.y, good->at.y);
  // Node 2's texts sit in the right half.
  EXPECT_GE(labelStarting(scene, "转盘2")->at.x, kWidth / 2.0);
  EXPECT_NE(scene.backdrop.bands[1].colour,
            scene.backdrop.bands[0].colour);  // the hidden switch is greyed
}

TEST(ViewScene, WhileAWheelTurnsBetweenSlotsOnlyTheLiveLayerChanges) {
  sim::RigSnapshot rig = restingRig(100.0, 200.0);
  rig.nodes[0].moving = true;
  rig.nodes[0].speed = 4000;
  const Scene before = drawRig(rig, kWidth, kHeight);
  rig.nodes[0].wheelDegrees = 110.0;
  rig.nodes[0].position += 178;
  const Scene after = drawRig(rig, kWidth, kHeight);
  EXPECT_EQ(before.backdrop, after.backdrop);
  EXPECT_FALSE(before.live == after.live);
  // Only the places of the old and the new pointer and live texts are painted again: every live
  // item of both scenes lies inside one of the boxes, and together they are a small part.
  const auto boxes = changedAreas(before, after, kWidth, kHeight);
  const auto covered = [&](Point p) {
    for (const Box& b : boxes) {
      if (p.x >= b.left && p.x <= b.right && p.y >= b.top && p.y <= b.bottom) {
        return true;
      }
    }
    return false;
  };
  double area = 0;
  for (const Box& b : boxes) {
    area += static_cast<double>(b.right - b.left) * (b.bottom - b.top);
  }
  EXPECT_LT(area, kWidth * kHeight / 3.0);
  for (const Scene* scene : {&before, &after}) {
    const Segment& pointer = scene->live.segments[0];  // wheel 1's
    EXPECT_TRUE(covered(pointer.from) && covered(pointer.to));
    for (const Label& l : scene->live.labels) {
      if (l.at.x < kWidth / 2.0) {
        EXPECT_TRUE(covered(l.at) && covered({l.at.x + 200, l.at.y + kLineHeight})) << l.text;
      }
    }
  }
  EXPECT_FALSE(covered(after.live.segments[1].to));  // wheel 2 stands still
  EXPECT_TRUE(changedAreas(after, after, kWidth, kHeight).empty());
  rig.nodes[0].wheelDegrees = 123.6;  // reaches 位置3: its mark lights up
  const Scene atSlot = drawRig(rig, kWidth, kHeight);
  EXPECT_FALSE(atSlot.backdrop == before.backdrop);
  const auto whole = changedAreas(after, atSlot, kWidth, kHeight);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].right, kWidth);
  EXPECT_EQ(whole[0].bottom, kHeight);
}

// A painter that repaints only some areas draws the live items that meet them, and no other.
TEST(ViewScene, OnlyTheLiveItemsMeetingAnAreaAreKept) {
  sim::RigSnapshot rig = restingRig(100.0, 200.0);
  rig.nodes[0].moving = true;
  const Scene before = drawRig(rig, kWidth, kHeight);
  rig.nodes[0].wheelDegrees = 110.0;
  Scene after = drawRig(rig, kWidth, kHeight);
  after.live.labels = before.live.labels;  // a frame that moves the pointers alone
  const Layer& live = after.live;
  const Label& angle = live.labels[0];
  const Box atAngle{static_cast<int>(angle.at.x), static_cast<int>(angle.at.y),
                    static_cast<int>(angle.at.x) + 4, static_cast<int>(angle.at.y) + 4};
  struct Case {
    const char* what;
    std::vector<Box> areas;
    size_t segments, discs, labels;
  };
  const Case cases[] = {
      {"nothing", {}, 0, 0, 0},
      {"the whole scene", {{0, 0, kWidth, kHeight}}, 2, 2, live.labels.size()},
      {"wheel 1's pointer moved", changedAreas(before, after, kWidth, kHeight), 1, 1, 0},
      {"wheel 1's angle text", {atAngle}, 0, 0, 1},
  };
  for (const Case& c : cases) {
    const Layer kept = touching(live, c.areas, kWidth);
    EXPECT_EQ(kept.segments.size(), c.segments) << c.what;
    EXPECT_EQ(kept.discs.size(), c.discs) << c.what;
    EXPECT_EQ(kept.labels.size(), c.labels) << c.what;
  }
  const Layer pointer = touching(live, changedAreas(before, after, kWidth, kHeight), kWidth);
  ASSERT_EQ(pointer.segments.size(), 1u);
  EXPECT_EQ(pointer.segments[0], live.segments[0]);  // wheel 1's, not wheel 2's
  EXPECT_EQ(touching(live, {atAngle}, kWidth).labels[0], angle);
}

TEST(ViewScene, WheelsAndTextsStayInsideTheirHalves) {
  for (const auto& [width, height] : {std::pair{820, 520}, {600, 420}, {1400, 900}}) {
    for (int node = 1; node <= 2; ++node) {
      const WheelPlace wheel = wheelPlace(node, width, height);
      const double left = (node - 1) * width / 2.0;
      EXPECT_GE(wheel.centre.x - wheel.radius - 30, left) << width;
      EXPECT_LE(wheel.centre.x + wheel.radius + 30, left + width / 2.0) << width;
    }
    sim::RigSnapshot rig = restingRig(0, 0);
    for (auto& node : rig.nodes) {
      node.recentCalls.assign(sim::kRecentCallCount, "PCAN_GetMotorPos(1, &) -> 0");
    }
    for (const Label& label : allLabels(drawRig(rig, width, height))) {
      EXPECT_LE(label.at.y + kLineHeight, height) << label.text << " at " << width;
    }
  }
}

TEST(ViewScene, SummaryNamesSlotMotionAndBus) {
  sim::NodeSnapshot node;
  node.wheelDegrees = 183.6;
  node.online = true;
  EXPECT_EQ(nodeSummary(1, node), "转盘1 位置4 静止 在线");
  node.wheelDegrees = 100;
  node.moving = true;
  node.online = false;
  EXPECT_EQ(nodeSummary(2, node), "转盘2 不在位置上 转动中 离线");
}

}  // namespace
}  // namespace halvane::simview
