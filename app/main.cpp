#include "app/main.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <random>

#include "app/frame_setup.h"
#include "imaging/resources.h"
#include "platform/audio/sound_player.h"
#include "scene/random.h"
#include "sound/events.h"

// Created before the program entry runs; like the scene they live until the
// process ends.
TBitmap* frameBitmap = new TBitmap;
TBitmap* pictureBitmap = new TBitmap;
Rain* rain = nullptr;
TfMain* fMain = nullptr;

void Randomize() { scene::SeedRandom(static_cast<std::uint32_t>(std::time(nullptr))); }

TfMain::TfMain(TComponent* Owner)
    : TForm(Owner, "TfMain",
            {{"FormClick", [this](TObject* Sender) { FormClick(Sender); }},
             {"Timer1Timer", [this](TObject* Sender) { Timer1Timer(Sender); }}}) {
  Randomize();
  rain = new Rain;
  DoubleBuffered = true;
  app::PrepareFrameAndPicture(*frameBitmap, *pictureBitmap,
                              [](TBitmap& picture) { LoadFromResourceName(&picture, HInstance, "Princess"); });

  // A screen, a monitor or another program's window is filled around the
  // picture; the window itself shows its client area of the 800 x 533 scene.
  OnLayout = [this](drawing::Size area) {
    const app::RegionLayout layout =
        app::LayoutForRegion(area, {pictureBitmap->width(), pictureBitmap->height()}, {ClientWidth, ClientHeight});
    return platform::ViewLayout{layout.view, layout.box};
  };
  OnResize = [this](TObject* Sender) { FormResize(Sender); };
  OnHide = [this](TObject* Sender) { FormHide(Sender); };
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
  OnKeyPress = [this](char key) { FormKeyPress(key); };
}

TfMain::~TfMain() = default;

void TfMain::PlaySound(const app::SoundOptions& options, bool lightning) {
  if (!options.on) return;
  // The sound's own random source, never the scene's: the frames stay the
  // same with sound or without.
  const std::uint64_t seed = std::random_device{}() ^ static_cast<std::uint64_t>(std::time(nullptr)) << 32;
  sound_ = std::make_unique<platform::SoundPlayer>(
      sound::Settings{options.volume, options.thunder && lightning}, seed,
      [](const std::string& reason) { std::fprintf(stderr, "rainstorm: no sound: %s\n", reason.c_str()); });
  if (!sound_->Start()) sound_.reset();
}

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

void TfMain::FormResize(TObject*) {
  const std::vector<platform::FormView> views = Views();
  // The scene a view wants, unless `current` already is it.
  const auto sceneFor = [&](const platform::FormView& view, const Rain* current) -> std::optional<Rain> {
    Rain wanted;  // the window's own scene
    if (view.fills) {
      const app::RegionLayout layout = app::LayoutForRegion({view.area.width, view.area.height},
                                                            {pictureBitmap->width(), pictureBitmap->height()},
                                                            {ClientWidth, ClientHeight});
      wanted = Rain(layout.scene, layout.pictureAt);
    }
    if (current != nullptr && wanted.size() == current->size() && wanted.pictureAt() == current->pictureAt())
      return std::nullopt;
    wanted.lightning = rain->lightning;
    if (laidOut_) AdvanceUnseen(wanted, kSteadyFrames);
    return wanted;
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

void TfMain::FormKeyPress(char key) {
  if (!sound_) return;
  if (key == 'm') sound_->ToggleMute();
  if (key == '+') sound_->ChangeVolume(10);
  if (key == '-') sound_->ChangeVolume(-10);
}

// A click is accepted and changes nothing.
void TfMain::FormClick(TObject*) {}
