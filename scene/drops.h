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

// Drops enter the top edge in columns and the left edge in rows, this far
// apart, starting at 0.
constexpr int ColumnSpacing = 20;
constexpr int RowSpacing = 80;
// The lower limit lies this far below the scene, so streaks run off the
// bottom before they vanish.
constexpr int LimitBelowScene = 67;

// Where drops enter and leave a scene: a drop past either limit is out.
struct DropBounds {
  int columns = 40;       // entry points on the top edge
  int rows = 8;           // entry points on the left edge, down to the lower limit
  int rightLimit = 800;   // the scene's width
  int lowerLimit = 600;   // the scene's height + LimitBelowScene

  // A drop enters the top edge with TopWeight() in EntryWeight(): a column
  // weighs 5/4 and a row 5/2, as 50 and 20 share the 800 x 533 scene's 40
  // columns and 8 rows, rounded to whole weights.
  constexpr int TopWeight() const { return (columns * 5 + 2) / 4; }
  constexpr int EntryWeight() const { return TopWeight() + (rows * 5 + 1) / 2; }

  // Every column and row that lies before the scene's right and lower
  // limits.  Sides from 1 to a million pixels.
  static constexpr DropBounds ForScene(drawing::Size scene) {
    const int lowerLimit = scene.height + LimitBelowScene;
    return {(scene.width - 1) / ColumnSpacing + 1, (lowerLimit - 1) / RowSpacing + 1, scene.width, lowerLimit};
  }

  friend bool operator==(const DropBounds&, const DropBounds&) = default;
};

// The bounds of the 800 x 533 scene.
constexpr DropBounds DefaultDropBounds{};
static_assert(DropBounds::ForScene({800, 533}) == DefaultDropBounds && DefaultDropBounds.TopWeight() == 50 &&
              DefaultDropBounds.EntryWeight() == 70);

constexpr int DropRightLimit = DefaultDropBounds.rightLimit;
constexpr int DropLowerLimit = DefaultDropBounds.lowerLimit;

}  // namespace scene

class Drop {
 public:
  // Enters at a random point of the top or left edge of the 800 x 533 scene,
  // or of the scene `bounds` describes; makes exactly five Random calls.
  explicit Drop(int baseSpeed);
  Drop(int baseSpeed, const scene::DropBounds& bounds);

  void Move();
  bool IsOut() const;
  bool IsOut(const scene::DropBounds& bounds) const;
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
  FarDrop(int baseSpeed, const scene::DropBounds& bounds) : Drop(baseSpeed, bounds) {}
  void Draw(TCanvas* canvas) override;

  // Where the streak from (x, y) ends; Draw leaves that pixel unpainted.  The
  // streak is steeper than the fall: size right, 3.46 size down.
  drawing::Point StreakEnd() const;
};
