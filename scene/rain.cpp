#include "scene/rain.h"

#include "scene/random.h"

namespace {

// The whole drops `credit` holds, taken out of it.
int TakeDrops(int& credit) {
  constexpr int perDrop = scene::DefaultDropBounds.EntryWeight();
  const int count = credit / perDrop;
  credit %= perDrop;
  return count;
}

}  // namespace

Rain::Rain() : Rain({SceneWidth, SceneHeight}, {0, 0}) {}

Rain::Rain(drawing::Size size, drawing::Point pictureAt)
    : size_(size), pictureAt_(pictureAt), bounds_(scene::DropBounds::ForScene(size)) {}

void Rain::AddDrop() { drops.push_back(Drop(DropSpeed, bounds_)); }

void Rain::AddFarDrop() { farDrops.push_back(FarDrop(FarDropSpeed, bounds_)); }

void Rain::NextFrame(TCanvas* canvas, const TBitmap* picture) {
  // A strike only lands once an earlier flash has faded below half.  The
  // draw comes first so that it is made with or without lightning.
  const bool strike = Random(1000) < 5;
  struck_ = strike && lightning && flash < 128;
  if (struck_) flash = 255;
  skyLevel = flash;
  const TColor level = static_cast<TColor>(flash) & 0xFF;
  canvas->Brush->Color = level | level << 8 | level << 16;
  if (flash > 0) flash -= 5;

  // The pen is left as the last drop of the previous frame set it, so the
  // background's border takes that colour (black on the very first frame).
  canvas->Rectangle(0, 0, size_.width, size_.height);

  const auto isOut = [this](const Drop& d) { return d.IsOut(bounds_); };
  farCredit_ += FarDropsPerFrame * bounds_.EntryWeight();
  for (int i = TakeDrops(farCredit_); i > 0; --i) AddFarDrop();
  farLanded_ = static_cast<int>(std::erase_if(farDrops, isOut));
  for (FarDrop& d : farDrops) {
    d.Move();
    d.Draw(canvas);
  }

  canvas->Draw(pictureAt_.x, pictureAt_.y, picture);

  nearCredit_ += NearDropsPerFrame * bounds_.EntryWeight();
  for (int i = TakeDrops(nearCredit_); i > 0; --i) AddDrop();
  nearLanded_ = static_cast<int>(std::erase_if(drops, isOut));
  for (Drop& d : drops) {
    d.Move();
    d.Draw(canvas);
  }
}
