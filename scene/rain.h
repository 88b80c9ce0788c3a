// The rain scene: every drop, the lightning, and the painting of one frame.

#pragma once

#include <vector>

#include "drawing/canvas.h"
#include "scene/drops.h"

extern int SceneWidth;    // 800
extern int SceneHeight;   // 533
extern int DropSpeed;     // 20, base speed of every near drop
extern int FarDropSpeed;  // 10, base speed of every far drop

class Rain {
 public:
  Rain() = default;

  void AddDrop();
  void AddFarDrop();

  // Advances the scene one frame and paints it on `canvas`, back to front:
  // lightning-lit background, far drops, `picture`, near drops.  A canvas
  // without a surface clips everything away and leaves only the motion.
  void NextFrame(TCanvas* canvas, const TBitmap* picture);

  std::vector<Drop> drops;        // near drops, oldest first
  std::vector<FarDrop> farDrops;  // far drops, oldest first
  int flash = 0;                  // lightning brightness, 0 ... 255
  int skyLevel = 0;               // grey level of the last frame's background

  // Without lightning no strike lands, but every frame still makes its
  // lightning draw, so the drops are the same as with lightning for the same
  // seed.  A flash already under way when this is cleared fades as usual.
  bool lightning = true;
};
