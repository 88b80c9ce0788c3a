#include "app/main.h"

#include <ctime>

#include "app/frame_setup.h"
#include "imaging/resources.h"
#include "scene/random.h"

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
}

// One frame per timer event, painted straight onto the window's canvas (the
// client area, or the view a scaled window enlarges).  The canvas clips to
// the visible 784 x 495, which therefore shows exactly the top-left part of
// the whole 800 x 533 frame, without painting the frame off screen and
// copying it.
void TfMain::Timer1Timer(TObject*) { rain->NextFrame(fMain->Canvas, pictureBitmap); }

// A click is accepted and changes nothing.
void TfMain::FormClick(TObject*) {}
