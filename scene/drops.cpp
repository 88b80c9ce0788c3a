#include "drops.h"

#include <cmath>

#include "random.h"

Drop::Drop(int baseSpeed) {
  drift = Random(10) - 5;
  if (Random(70) < 50) {
    // 50 in 70 enter along the top edge, in one of 40 columns.
    y = 0;
    x = Random(40) * 20 + drift;
  } else {
    x = drift;
    y = Random(8) * 80;
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

bool Drop::IsOut() const { return x > DropRightLimit || y > DropLowerLimit; }

void Drop::Draw(TCanvas* canvas) {
  canvas->Pen->Color = DropColor;
  canvas->Brush->Color = DropColor;
  for (int i = 0; i < size; ++i) {
    canvas->Rectangle(x + 3 * i, y + 6 * i, x + 3 * (i + 1), y + 6 * (i + 1));
  }
  // The pen keeps the drop's colour: the next frame's background border
  // is painted with it.
  canvas->Brush->Color = clBlack;
}

void FarDrop::Draw(TCanvas* canvas) {
  canvas->Pen->Color = FarDropColor;
  canvas->Brush->Color = FarDropColor;
  canvas->MoveTo(x, y);
  // The streak is drawn steeper than the fall: size right, 3.46 size down.
  const int ey = static_cast<int>((std::cos(FallAngle) * size) * 4.0 + y);
  const int ex = static_cast<int>((std::sin(FallAngle) * size) * 2.0 + x);
  canvas->LineTo(ex, ey);
  canvas->Brush->Color = clBlack;
}
