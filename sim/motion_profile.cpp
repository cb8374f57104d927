#include "sim/motion_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace halvane::sim {
namespace {

constexpr double kDistanceEpsilon = 1e-9;  // steps
constexpr int kMaxPhasesPerAdvance = 16;   // accelerate, cruise, brake and a few rounding turns
constexpr double kNever = std::numeric_limits<double>::infinity();

double remaining(const Profile& p) {
  return p.distance - p.travelled;
}

double effectiveStopSpeed(const Profile& p) {
  return std::min(p.stopSpeed, p.cruiseSpeed);
}

double brakingDistance(const Profile& p) {
  const double stop = effectiveStopSpeed(p);
  return p.speed > stop ? (p.speed * p.speed - stop * stop) / (2 * p.deceleration) : 0.0;
}

// Smallest non-negative root of a t^2 + b t + c = 0 (a > 0, c <= 0), or kNever.
double positiveRoot(double a, double b, double c) {
  const double disc = b * b - 4 * a * c;
  if (disc < 0) {
    return kNever;
  }
  return std::max(0.0, (-b + std::sqrt(disc)) / (2 * a));
}

void finish(Profile& p) {
  p.travelled = p.distance;
  p.speed = 0;
}

// One phase of the profile, at most dt long; returns the time it used.
double advancePhase(Profile& p, double dt) {
  const double rest = remaining(p);
  const double stop = effectiveStopSpeed(p);
  const double v = p.speed;
  if (v > stop && brakingDistance(p) >= rest - kDistanceEpsilon) {
    // Braking to the end: rest = v t - d t^2 / 2.
    const double d = p.deceleration;
    const double tEnd = (v - std::sqrt(std::max(0.0, v * v - 2 * d * rest))) / d;
    if (tEnd <= dt) {
      finish(p);
      return tEnd;
    }
    p.travelled += v * dt - d * dt * dt / 2;
    p.speed = std::max(stop, v - d * dt);
    return dt;
  }
  if (v < p.cruiseSpeed) {
    const double a = p.acceleration;
    const double d = p.deceleration;
    const double tCruise = (p.cruiseSpeed - v) / a;
    const double tEnd = positiveRoot(a / 2, v, -rest);
    // Where the distance left equals the braking distance from the speed reached there.
    const double tBrake = stop < p.cruiseSpeed
                              ? positiveRoot(a / 2 + a * a / (2 * d), v + v * a / d,
                                             (v * v - stop * stop) / (2 * d) - rest)
                              : kNever;
    const double t = std::min({tCruise, tEnd, tBrake, dt});
    if (t == tEnd) {
      finish(p);
      return t;
    }
    p.travelled += v * t + a * t * t / 2;
    p.speed = std::min(p.cruiseSpeed, v + a * t);
    return t;
  }
  p.speed = p.cruiseSpeed;
  const double tEnd = rest / p.speed;
  const double tBrake = stop < p.cruiseSpeed ? (rest - brakingDistance(p)) / p.speed : kNever;
  if (tEnd <= dt && tBrake >= tEnd) {
    finish(p);
    return tEnd;
  }
  const double t = std::max(0.0, std::min(tBrake, dt));
  p.travelled += p.speed * t;
  return t;
}

}  // namespace

bool Profile::finished() const {
  return remaining(*this) <= kDistanceEpsilon;
}

Profile makeProfile(double distance, double startSpeed, double cruiseSpeed, double stopSpeed,
                    double acceleration, double deceleration) {
  Profile p;
  p.distance = std::max(0.0, distance);
  p.cruiseSpeed = std::max(1.0, cruiseSpeed);
  p.speed = std::clamp(startSpeed, 0.0, p.cruiseSpeed);
  p.stopSpeed = std::clamp(stopSpeed, 0.0, p.cruiseSpeed);
  p.acceleration = std::max(1.0, acceleration);
  p.deceleration = std::max(1.0, deceleration);
  if (p.finished()) {
    finish(p);
  }
  return p;
}

Profile advanceProfile(Profile profile, double dt) {
  double left = std::max(0.0, dt);
  for (int phase = 0; phase < kMaxPhasesPerAdvance && left > 0 && !profile.finished(); ++phase) {
    left -= advancePhase(profile, left);
  }
  if (profile.finished()) {
    finish(profile);
  }
  return profile;
}

double profileDuration(const Profile& profile) {
  Profile p = profile;
  double total = 0;
  for (int phase = 0; phase < 4 * kMaxPhasesPerAdvance && !p.finished(); ++phase) {
    total += advancePhase(p, kNever);
  }
  return total;
}

}  // namespace halvane::sim
