#include "sound/events.h"

#include "scene/rain.h"

namespace sound {

FrameEvents& FrameEvents::operator+=(const FrameEvents& other) {
  frames += other.frames;
  nearLanded += other.nearLanded;
  farLanded += other.farLanded;
  steadyNear += other.steadyNear;
  steadyFar += other.steadyFar;
  strikes += other.strikes;
  return *this;
}

FrameEvents EventsOf(const Rain& scene) {
  // The scene's entry weight over the 800 x 533 scene's is how many times as
  // many drops it takes in, and so lands, per frame.
  const double share =
      static_cast<double>(scene.bounds().EntryWeight()) / scene::DefaultDropBounds.EntryWeight();
  return {1, scene.nearLanded(), scene.farLanded(), NearDropsPerFrame * share, FarDropsPerFrame * share,
          scene.struck() ? 1 : 0};
}

}  // namespace sound
