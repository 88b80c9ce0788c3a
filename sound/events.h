// What the sound hears of the animation: a small plain value per frame, made
// from the scene without changing it, that can be summed over several frames
// and several scenes (the monitors of a screen).

#pragma once

class Rain;

namespace sound {

struct FrameEvents {
  int frames = 0;  // animation frames these events cover
  int nearLanded = 0;
  int farLanded = 0;
  // What those scenes land per frame in steady rain.  Loudness is landings
  // over this, so a window, a full screen and several monitors sound alike.
  double steadyNear = 0;
  double steadyFar = 0;
  int strikes = 0;

  FrameEvents& operator+=(const FrameEvents& other);
};

// What `scene`'s last NextFrame did, as one frame.
FrameEvents EventsOf(const Rain& scene);

}  // namespace sound
