#include "app/main.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <random>

#include "app/screen.h"
#include "imaging/resources.h"
#include "platform/audio/sound_player.h"
#include "scene/frame_setup.h"
#include "scene/random.h"
#include "sound/events.h"
#include "toolkit/application.h"

// Created before the program entry runs; like the scene they live until the
// process ends.
TBitmap* frameBitmap = new TBitmap;
TBitmap* pictureBitmap = new TBitmap;
Rain* rain = nullptr;
TfMain* fMain = nullptr;

void Randomize() { scene::SeedRandom(static_cast<std::uint32_t>(std::time(nullptr))); }

namespace {

// The rain's sound as `options` ask, unless another copy of the program
// already plays it or there is no device (one line on stderr says so).
// Thunder needs lightning.
std::unique_ptr<platform::SoundPlayer> StartSound(const app::SoundOptions& options, bool lightning) {
  if (!options.on) return nullptr;
  // The sound's own random source, never the scene's: the frames stay the
  // same with sound or without.
  const std::uint64_t seed = std::random_device{}() ^ static_cast<std::uint64_t>(std::time(nullptr)) << 32;
  auto player = std::make_unique<platform::SoundPlayer>(
      sound::Settings{options.volume, options.thunder && lightning}, seed,
      [](const std::string& reason) { std::fprintf(stderr, "rainstorm: no sound: %s\n", reason.c_str()); });
  return player->Start() ? std::move(player) : nullptr;
}

}  // namespace

TfMain::TfMain(TComponent* Owner, const app::WindowOptions& options)
    : TForm(Owner, "TfMain",
            {{"FormClick", [this](TObject* Sender) { FormClick(Sender); }},
             {"Timer1Timer", [this](TObject* Sender) { Timer1Timer(Sender); }}}),
      lightning_(options.lightning) {
  Randomize();
  rain = new Rain;
  rain->lightning = lightning_;
  scene::PrepareFrameAndPicture(*frameBitmap, *pictureBitmap,
                                [](TBitmap& picture) { LoadFromResourceName(&picture, HInstance, "Princess"); });
  const app::ScreenChoice choice =
      app::ChoosePresentation(options.screen, options.gdkScale, options.screensaverWindow,
                              [] { return Application->Desktop(); }, ClientWidth, ClientHeight);
  if (!choice.note.empty()) std::fprintf(stderr, "rainstorm: %s\n", choice.note.c_str());
  Presentation = choice.presentation;

  // A screen, a monitor or another program's window is filled around the
  // picture; the window itself shows its client area of the 800 x 533 scene.
  OnLayout = [this](drawing::Size area) { return LayoutOf(area).placement; };
  OnResize = [this](TObject* Sender) { FormResize(Sender); };
  OnHide = [this](TObject* Sender) { FormHide(Sender); };
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
  OnKeyPress = [this](platform::Key key) { FormKeyPress(key); };
  sound_ = StartSound(options.sound, options.lightning);
}

TfMain::~TfMain() = default;


void TfMain::FormHide(TObject*) {
  Timer1->SetEnabled(false);
  hiddenSince_ = std::chrono::steady_clock::now();
}

void TfMain::FormShow(TObject* Sender) {
  if (!hiddenSince_) return;
  const std::chrono::duration<double, std::milli> unseen = std::chrono::steady_clock::now() - *hiddenSince_;
  const int missed = static_cast<int>(std::min<double>(unseen.count() / Timer1->Period(), kSteadyFrames));
  hiddenSince_.reset();
  AdvanceUnseen(*rain, missed);
  for (auto& [scene, canvas] : moreScenes_) AdvanceUnseen(scene, missed);
  Timer1Timer(Sender);
  Timer1->SetEnabled(true);
}

void AdvanceUnseen(Rain& scene, int frames) {
  TCanvas nowhere;  // without a surface: every drawing call is clipped away
  for (int i = 0; i < frames; ++i) scene.NextFrame(&nowhere, pictureBitmap);
}

const scene::Layout& TfMain::LayoutOf(drawing::Size area) {
  const auto known = std::ranges::find(layouts_, area, &std::pair<drawing::Size, scene::Layout>::first);
  if (known != layouts_.end()) return known->second;
  return layouts_
      .emplace_back(area, scene::LayoutForRegion(area, {pictureBitmap->width(), pictureBitmap->height()},
                                                 {ClientWidth, ClientHeight}))
      .second;
}

namespace {

// The scene a view shows: for a view that fills its area, the one `layout`
// lays out around the picture, else (null) the window's own 800 x 533
// scene.  Nothing when `current` already is that scene.  A new scene gets
// `lightning` and, when `steady`, is brought to a steady rain at once.
std::optional<Rain> SceneForView(const scene::Layout* layout, const Rain* current, bool lightning, bool steady) {
  Rain wanted = layout != nullptr ? Rain(layout->scene, layout->pictureAt) : Rain();
  if (current != nullptr && wanted.size() == current->size() && wanted.pictureAt() == current->pictureAt())
    return std::nullopt;
  wanted.lightning = lightning;
  if (steady) AdvanceUnseen(wanted, TfMain::kSteadyFrames);
  return wanted;
}

}  // namespace

void TfMain::FormResize(TObject*) { FitScenes(Views()); }

void TfMain::FitScenes(const std::vector<platform::View>& views) {
  const auto sceneFor = [&](const platform::View& view, const Rain* current) {
    const scene::Layout* layout = view.fills ? &LayoutOf({view.area.width, view.area.height}) : nullptr;
    return SceneForView(layout, current, lightning_, laidOut_);
  };
  if (!views.empty())
    if (auto scene = sceneFor(views[0], rain)) *rain = std::move(*scene);
  moreScenes_.resize(std::min(moreScenes_.size(), views.empty() ? 0 : views.size() - 1));
  for (std::size_t i = 1; i < views.size(); ++i) {
    if (i > moreScenes_.size()) {
      moreScenes_.emplace_back(*sceneFor(views[i], nullptr), views[i].canvas);
      continue;
    }
    auto& [scene, canvas] = moreScenes_[i - 1];
    if (auto replacement = sceneFor(views[i], &scene)) scene = std::move(*replacement);
    canvas = views[i].canvas;
  }
  laidOut_ = true;
  layouts_.clear();  // the areas' sizes change only with the next layout
}

// One frame per timer event, painted straight onto the window's canvas (the
// client area, or the view a scaled window enlarges).  The canvas clips to
// the visible 784 x 495, which therefore shows exactly the top-left part of
// the whole 800 x 533 frame, without painting the frame off screen and
// copying it.
void TfMain::Timer1Timer(TObject*) {
  rain->NextFrame(fMain->Canvas, pictureBitmap);
  // The other monitors of the root window, each with a rain of its own.
  for (auto& [scene, canvas] : moreScenes_) scene.NextFrame(canvas, pictureBitmap);
  if (!sound_) return;
  // Every scene's landings, weighed against all their steady rain together:
  // several monitors sound as loud as one.
  sound::FrameEvents events = sound::EventsOf(*rain);
  for (const auto& [scene, canvas] : moreScenes_) events += sound::EventsOf(scene);
  sound_->Post(events);
}

void TfMain::FormKeyPress(platform::Key key) {
  if (!sound_) return;
  if (key == platform::Key::kM) sound_->ToggleMute();
  if (key == platform::Key::kPlus) sound_->ChangeVolume(10);
  if (key == platform::Key::kMinus) sound_->ChangeVolume(-10);
}

// A click is accepted and changes nothing.
void TfMain::FormClick(TObject*) {}
