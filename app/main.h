// Module Main: the program's one window, which drives the rain animation.

#pragma once

#include "drawing/canvas.h"
#include "platform/form.h"
#include "platform/timer.h"
#include "scene/rain.h"

class TfMain : public TForm {
 public:
  explicit TfMain(TComponent* Owner);

  // Created by the window description.
  TTimer* const Timer1 = Component<TTimer>("Timer1");

  void Timer1Timer(TObject* Sender);
  void FormClick(TObject* Sender);
};

// Seeds the random source with the calendar time in whole seconds.
void Randomize();

extern TBitmap* frameBitmap;    // a whole frame, 800 x 533, for painting frames off screen
extern TBitmap* pictureBitmap;  // the picture, drawn transparent
extern Rain* rain;
extern TfMain* fMain;
