#include "platform/monitors.h"

#include <algorithm>
#include <array>

namespace platform {

namespace {

long long AreaOf(const drawing::Box& box) { return static_cast<long long>(box.width) * box.height; }

bool Encloses(const drawing::Box& outer, const drawing::Box& inner) {
  return outer != inner && drawing::Intersection(outer, inner) == inner;
}

// The largest of the rectangles left of `box` once `taken` is cut out:
// the bands above and below it, and those beside it between them.
drawing::Box LargestRemainder(const drawing::Box& box, const drawing::Box& taken) {
  const drawing::Box cut = drawing::Intersection(box, taken);
  if (AreaOf(cut) == 0) return box;
  const int right = box.x + box.width, bottom = box.y + box.height;
  const int cutRight = cut.x + cut.width, cutBottom = cut.y + cut.height;
  const std::array<drawing::Box, 4> pieces{{
      {box.x, box.y, box.width, cut.y - box.y},
      {box.x, cutBottom, box.width, bottom - cutBottom},
      {box.x, cut.y, cut.x - box.x, cut.height},
      {cutRight, cut.y, right - cutRight, cut.height},
  }};
  return *std::ranges::max_element(pieces, {}, AreaOf);
}

}  // namespace

std::vector<drawing::Box> DistinctMonitors(std::vector<drawing::Box> monitors) {
  std::erase_if(monitors, [](const drawing::Box& box) { return AreaOf(box) <= 0; });
  std::vector<drawing::Box> distinct;
  for (const drawing::Box& box : monitors)
    if (std::ranges::find(distinct, box) == distinct.end()) distinct.push_back(box);
  const std::vector<drawing::Box> all = distinct;
  std::erase_if(distinct, [&](const drawing::Box& box) {
    return std::ranges::any_of(all, [&](const drawing::Box& other) { return Encloses(box, other); });
  });
  std::vector<drawing::Box> kept;
  for (drawing::Box box : distinct) {
    for (const drawing::Box& earlier : kept) box = LargestRemainder(box, earlier);
    if (AreaOf(box) > 0) kept.push_back(box);
  }
  return kept;
}

}  // namespace platform
