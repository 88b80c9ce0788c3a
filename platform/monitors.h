// Which parts of a screen get a scene of their own.  The display's list of
// monitors may name the same pixels more than once: mirrored outputs (a
// projector showing what the laptop shows), or an output beside the parts
// a user split it into with `xrandr --setmonitor`.

#pragma once

#include <vector>

#include "drawing/geometry.h"

namespace platform {

// The monitors to paint, in their given order, no pixel in two of them:
// monitors of the same geometry count once; one that encloses others gives
// way to them, since whoever split it meant the parts; what still overlaps
// an earlier monitor is left to it, the later one keeping the largest
// rectangle of what remains.  Empty boxes go.
std::vector<drawing::Box> DistinctMonitors(std::vector<drawing::Box> monitors);

}  // namespace platform
