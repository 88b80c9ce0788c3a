#include "scene/rain.h"

#include "scene/random.h"

int SceneWidth = 800;
int SceneHeight = 533;
int DropSpeed = 20;
int FarDropSpeed = 10;

void Rain::AddDrop() { drops.push_back(Drop(DropSpeed)); }

void Rain::AddFarDrop() { farDrops.push_back(FarDrop(FarDropSpeed)); }

void Rain::NextFrame(TCanvas* canvas, const TBitmap* picture) {
  // A strike only lands once an earlier flash has faded below half.  The
  // draw comes first so that it is made with or without lightning.
  const bool strike = Random(1000) < 5;
  if (strike && lightning && flash < 128) flash = 255;
  skyLevel = flash;
  const TColor level = static_cast<TColor>(flash) & 0xFF;
  canvas->Brush->Color = level | level << 8 | level << 16;
  if (flash > 0) flash -= 5;

  // The pen is left as the last drop of the previous frame set it, so the
  // background's border takes that colour (black on the very first frame).
  canvas->Rectangle(0, 0, SceneWidth, SceneHeight);

  AddFarDrop();
  AddFarDrop();
  std::erase_if(farDrops, [](const FarDrop& d) { return d.IsOut(); });
  for (FarDrop& d : farDrops) {
    d.Move();
    d.Draw(canvas);
  }

  canvas->Draw(0, 0, picture);

  for (int i = 0; i < 5; ++i) AddDrop();
  std::erase_if(drops, [](const Drop& d) { return d.IsOut(); });
  for (Drop& d : drops) {
    d.Move();
    d.Draw(canvas);
  }
}
