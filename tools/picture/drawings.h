// The program's picture and icon, drawn from code so that both are our own
// and can be made again exactly.

#pragma once

#include "drawing/canvas.h"

namespace tools {

// The picture: a princess under an umbrella, standing in a puddle, on a flat
// background (its transparent colour), 800 x 533.
void DrawPicture(TBitmap& picture);

// The icon: the princess and her umbrella close up, in the rain on a
// night-blue tile, `size` pixels square.
void DrawIcon(TBitmap& icon, int size);

}  // namespace tools
