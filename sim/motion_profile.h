// The speed profile of one relative move: from the start speed up to the cruise speed with the
// acceleration, and down to the stop speed with the deceleration so that it ends on the last step.
// Short moves never reach the cruise speed (a triangle); a start speed at or above the cruise speed
// runs at the cruise speed throughout. Distances in steps, speeds in steps/s, times in seconds.
#pragma once

namespace halvane::sim {

struct Profile {
  double distance = 0;  // steps to travel, >= 0
  double travelled = 0;
  double speed = 0;
  double cruiseSpeed = 1;
  double stopSpeed = 0;
  double acceleration = 1;  // steps/s^2, > 0
  double deceleration = 1;

  bool finished() const;
};

// Speeds are magnitudes; a start or stop speed above the cruise speed is taken as the cruise speed.
Profile makeProfile(double distance, double startSpeed, double cruiseSpeed, double stopSpeed,
                    double acceleration, double deceleration);

// The profile dt seconds later. Time left over after the end of the move is not used.
Profile advanceProfile(Profile profile, double dt);

// Seconds a whole move of this profile takes (for documentation and tests).
double profileDuration(const Profile& profile);

}  // namespace halvane::sim
