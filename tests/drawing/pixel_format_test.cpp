#include "drawing/pixel_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using drawing::ChannelMasks;

constexpr ChannelMasks kRgb30{0x3FF00000, 0x000FFC00, 0x000003FF};
constexpr ChannelMasks kBgr30{0x000003FF, 0x000FFC00, 0x3FF00000};
constexpr ChannelMasks kRgb565{0xF800, 0x07E0, 0x001F};

TEST(DisplayPixel, EachChannelKeepsItsLevel) {
  struct Case {
    const char* name;
    ChannelMasks masks;
    drawing::Pixel pixel;
    std::uint32_t shown;
  } const cases[] = {
      {"8 bits stay as they are", {}, 0x123456, 0x123456},
      {"10 bits: white is full scale", kRgb30, 0xFFFFFF, 0x3FFFFFFF},
      {"10 bits: black stays black", kRgb30, 0x000000, 0},
      {"10 bits: 0x80 widens to 0x202", kRgb30, 0x800000, 0x202u << 20},
      {"10 bits: each channel in its place", kRgb30, 0x01FF80, (0x004u << 20) | (0x3FFu << 10) | 0x202u},
      {"10 bits, blue on top", kBgr30, 0x0000FF, 0x3FFu << 20},
      {"fewer bits drop the low ones", kRgb565, 0xFF8040, (0x1Fu << 11) | (0x20u << 5) | 0x08u},
  };
  for (const Case& c : cases) EXPECT_EQ(drawing::ToDisplayPixel(c.pixel, c.masks), c.shown) << c.name;
}

TEST(DisplayPixel, ConvertsOnlyTheBoxesAskedForClippedToTheSurface) {
  std::vector<drawing::Pixel> pixels(4 * 3, 0xFFFFFF);
  const drawing::Surface from{pixels.data(), 4, 3, 4};
  std::vector<std::uint32_t> to(5 * 3, 7);  // a wider stride than the source
  const drawing::Box boxes[] = {{1, 0, 2, 1}, {3, 2, 9, 9}};
  drawing::ConvertBoxes(from, boxes, kRgb30, to.data(), 5);
  const std::uint32_t w = 0x3FFFFFFF;
  EXPECT_EQ(to, (std::vector<std::uint32_t>{7, w, w, 7, 7,  //
                                            7, 7, 7, 7, 7,  //
                                            7, 7, 7, w, 7}));
}

}  // namespace
