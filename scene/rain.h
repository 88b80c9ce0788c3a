// The rain scene: every drop, the lightning, and the painting of one frame.

#pragma once

#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"
#include "scene/drops.h"

constexpr int SceneWidth = 800;   // the window's scene
constexpr int SceneHeight = 533;
constexpr int DropSpeed = 20;     // base speed of every near drop
constexpr int FarDropSpeed = 10;  // base speed of every far drop
constexpr int FarDropsPerFrame = 2;   // new drops each frame in the 800 x 533 scene
constexpr int NearDropsPerFrame = 5;

class Rain {
 public:
  // The window's SceneWidth x SceneHeight scene, the picture at its origin.
  Rain();
  // The same rain over a scene of any size, the picture at `pictureAt`:
  // drops enter along its whole top and left edges, as many more per frame
  // as its edges have more entry points, so that it rains as densely.  The
  // 800 x 533 scene gets 2 far and 5 near drops every frame, as Rain() does.
  // Sides from 1 to a million pixels.
  Rain(drawing::Size size, drawing::Point pictureAt);

  void AddDrop();
  void AddFarDrop();

  // Advances the scene one frame and paints it on `canvas`, back to front:
  // lightning-lit background over the whole scene, far drops, `picture`,
  // near drops.  A canvas without a surface clips everything away and leaves
  // only the motion.
  void NextFrame(TCanvas* canvas, const TBitmap* picture);

  drawing::Size size() const { return size_; }
  drawing::Point pictureAt() const { return pictureAt_; }
  const scene::DropBounds& bounds() const { return bounds_; }
  // What the last NextFrame did, for whoever listens to the rain: the near
  // and far drops it took out, and whether a strike lit the sky.  Counting
  // draws nothing and changes no frame.
  int nearLanded() const { return nearLanded_; }
  int farLanded() const { return farLanded_; }
  bool struck() const { return struck_; }

  std::vector<Drop> drops;        // near drops, oldest first
  std::vector<FarDrop> farDrops;  // far drops, oldest first
  int flash = 0;                  // lightning brightness, 0 ... 255
  int skyLevel = 0;               // grey level of the last frame's background

  // Without lightning no strike lands, but every frame still makes its
  // lightning draw, so the drops are the same as with lightning for the same
  // seed.  A flash already under way when this is cleared fades as usual.
  bool lightning = true;

 private:
  drawing::Size size_;
  drawing::Point pictureAt_;
  scene::DropBounds bounds_;
  // New drops owed, in units of 1 / DefaultDropBounds.EntryWeight() of a
  // drop: each frame adds 2 (far) or 5 (near) times the scene's entry
  // weight, so a scene with more entry points gets its share of a drop more
  // per frame, and the 800 x 533 scene exactly 2 and 5.
  int farCredit_ = 0;
  int nearCredit_ = 0;
  int nearLanded_ = 0;
  int farLanded_ = 0;
  bool struck_ = false;
};
