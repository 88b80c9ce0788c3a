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

// One frame per timer event: paint it off screen, then copy the window's part
// of it (the top-left 784 x 495) onto the client area.
void TfMain::Timer1Timer(TObject*) {
  rain->NextFrame(frameBitmap->Canvas, pictureBitmap);
  fMain->Canvas->Draw(0, 0, frameBitmap);
}

// A click is accepted and changes nothing.
void TfMain::FormClick(TObject*) {}
