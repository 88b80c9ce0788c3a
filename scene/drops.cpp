#include "scene/drops.h"

#include <cmath>

#include "scene/random.h"

using scene::FallAngle;

Drop::Drop(int baseSpeed) : Drop(baseSpeed, scene::DefaultDropBounds) {}

Drop::Drop(int baseSpeed, const scene::DropBounds& bounds) {
  drift = Random(10) - 5;
  if (Random(bounds.EntryWeight()) < bounds.TopWeight()) {
    y = 0;
    x = Random(bounds.columns) * scene::ColumnSpacing + drift;
  } else {
    x = drift;
    y = Random(bounds.rows) * scene::RowSpacing;
  }
  speed = Random(10) + baseSpeed - 5;
  size = Random(4) + 3;
}

// The sums are truncated toward zero; sin and cos are taken at each use so
// every position is the one the double-precision formula gives.
void Drop::Move() {
  x = static_cast<int>(x + std::sin(FallAngle) * speed);
  y = static_cast<int>(y + std::cos(FallAngle) * speed);
}

bool Drop::IsOut() const { return IsOut(scene::DefaultDropBounds); }

bool Drop::IsOut(const scene::DropBounds& bounds) const { return x > bounds.rightLimit || y > bounds.lowerLimit; }

void Drop::Draw(TCanvas* canvas) {
  canvas->Pen->Color = scene::DropColor;
  canvas->Brush->Color = scene::DropColor;
  for (int i = 0; i < size; ++i) {
    canvas->Rectangle(x + 3 * i, y + 6 * i, x + 3 * (i + 1), y + 6 * (i + 1));
  }
  // The pen keeps the drop's colour: the next frame's background border
  // is painted with it.
  canvas->Brush->Color = clBlack;
}

drawing::Point FarDrop::StreakEnd() const {
  return {static_cast<int>((std::sin(FallAngle) * size) * 2.0 + x),
          static_cast<int>((std::cos(FallAngle) * size) * 4.0 + y)};
}

void FarDrop::Draw(TCanvas* canvas) {
  canvas->Pen->Color = scene::FarDropColor;
  canvas->Brush->Color = scene::FarDropColor;
  canvas->MoveTo(x, y);
  const drawing::Point end = StreakEnd();
  canvas->LineTo(end.x, end.y);
  canvas->Brush->Color = clBlack;
}
