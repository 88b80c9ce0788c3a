// Drops: single streaks of rain.  A `Drop` is painted in front of the picture
// as a staircase of blocks, a `FarDrop` behind it as a thin line.

#pragma once

#include "drawing/canvas.h"
#include "drawing/geometry.h"

namespace scene {

// 30 degrees from the vertical, but deliberately the double nearest
// 0.523598775 rather than pi/6: its sine sits a hair below 0.5, so a drop of
// even speed steps speed/2 - 1 to the right, which the motion relies on.
constexpr double FallAngle = 0.523598775;

constexpr TColor DropColor = 0xEAD99A;
constexpr TColor FarDropColor = 0xF4E3A4;

// A drop past either limit is out.  The lower limit lies below the 533-pixel
// scene on purpose, so streaks run off the bottom before they vanish.
constexpr int DropRightLimit = 800;
constexpr int DropLowerLimit = 600;

}  // namespace scene

class Drop {
 public:
  // Enters at a random point of the top or left edge; makes exactly five
  // Random calls.
  explicit Drop(int baseSpeed);

  void Move();
  bool IsOut() const;
  virtual void Draw(TCanvas* canvas);

  int x;
  int y;
  int drift;  // chosen at creation, kept, never read again
  int speed;
  int size;
};

class FarDrop : public Drop {
 public:
  explicit FarDrop(int baseSpeed) : Drop(baseSpeed) {}
  void Draw(TCanvas* canvas) override;

  // Where the streak from (x, y) ends; Draw leaves that pixel unpainted.  The
  // streak is steeper than the fall: size right, 3.46 size down.
  drawing::Point StreakEnd() const;
};
