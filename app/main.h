// Module Main: the program's one window, which drives the rain animation.

#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/options.h"
#include "drawing/canvas.h"
#include "scene/frame_setup.h"
#include "scene/rain.h"
#include "toolkit/form.h"
#include "toolkit/timer.h"

namespace platform {
class SoundPlayer;
}

class TfMain : public TForm {
 public:
  // Shown where `options` ask (a line on stderr when that is not quite
  // what was asked for), each scene lit by lightning or not as they say.
  // Throws Exception when the environment names no window to draw in.
  explicit TfMain(TComponent* Owner, const app::WindowOptions& options = {});
  // Fades the sound out, if it plays.
  ~TfMain() override;

  // Created by the window description.
  TTimer* const Timer1 = Component<TTimer>("Timer1");

  void Timer1Timer(TObject* Sender);
  void FormClick(TObject* Sender);
  // M mutes and unmutes the sound, + and - change its volume by 10.
  void FormKeyPress(platform::Key key);
  // The views changed: FitScenes for them.
  void FormResize(TObject* Sender);
  // Each view gets a scene of its own size, the first being `rain`.  A
  // scene that changes once the views were first laid out is brought to a
  // steady rain at once instead of starting from an empty sky.
  void FitScenes(const std::vector<platform::View>& views);
  // The scenes of the views after the first, each with the canvas it paints.
  const std::vector<std::pair<Rain, TCanvas*>>& MoreScenes() const { return moreScenes_; }
  // Nobody can see the window: no frame is painted and the timer stops.
  void FormHide(TObject* Sender);
  // Seen again: the scenes are advanced, unpainted, by the ticks they
  // missed (at most kSteadyFrames), so the rain never looks frozen, and the
  // next frame is painted at once.
  void FormShow(TObject* Sender);

  // Frames that take a scene from an empty sky to steady rain: every drop
  // that entered before them has left.
  static constexpr int kSteadyFrames = 256;

 private:
  std::vector<std::pair<Rain, TCanvas*>> moreScenes_;
  // The layout of each area size, as OnLayout made it, for the scenes:
  // computed once per area.
  const scene::Layout& LayoutOf(drawing::Size area);
  std::vector<std::pair<drawing::Size, scene::Layout>> layouts_;
  bool lightning_;
  bool laidOut_ = false;
  std::optional<std::chrono::steady_clock::time_point> hiddenSince_;
  std::unique_ptr<platform::SoundPlayer> sound_;
};

// Advances `scene` by `frames` without painting anything.
void AdvanceUnseen(Rain& scene, int frames);

// Seeds the random source with the calendar time in whole seconds.
void Randomize();

extern TBitmap* frameBitmap;    // a whole frame, 800 x 533, for painting frames off screen
extern TBitmap* pictureBitmap;  // the picture, drawn transparent
extern Rain* rain;
extern TfMain* fMain;
