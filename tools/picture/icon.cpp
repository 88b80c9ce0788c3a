// The icon, designed on a 32 x 32 grid and drawn from the same shapes at
// every size from 24 pixels up, in fourteen fixed colours (an icon may have
// sixteen).  At 16 pixels those shapes shrink to little but outline, so that
// size is placed pixel by pixel in the same colours.

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/picture/drawings.h"
#include "tools/picture/shapes.h"

namespace tools {

namespace {

constexpr TColor kSky = Rgb(18, 22, 46);
constexpr TColor kRain = Rgb(130, 180, 240);
constexpr TColor kOutline = Rgb(8, 8, 20);
constexpr TColor kRed[2] = {Rgb(170, 36, 56), Rgb(216, 56, 70)};
constexpr TColor kCream[2] = {Rgb(214, 196, 170), Rgb(244, 232, 208)};
constexpr TColor kShaft = Rgb(120, 84, 64);
constexpr TColor kSkin = Rgb(246, 208, 180);
constexpr TColor kHair = Rgb(120, 68, 40);
constexpr TColor kGold = Rgb(246, 204, 72);
constexpr TColor kCloak[2] = {Rgb(44, 60, 130), Rgb(74, 100, 180)};
constexpr TColor kGown = Rgb(236, 136, 172);

// Six panels filling the tile's width, every one scalloped alike.
constexpr Canopy kCanopy = {.centre = 16, .apex = 2.5, .rim = 14, .halfWidth = 15, .panels = 6, .roundness = 2.6,
                            .rimDrop = 0.8, .scallopDepth = 1.5,
                            .scallopPerWidth = std::numeric_limits<double>::infinity()};

// Streaks of rain in design units; thicker at larger sizes, one line per
// pixel of width.
void DrawRain(TCanvas& canvas, int size, double scale) {
  canvas.Pen->Color = kRain;
  const int streaks[][2] = {{2, 1}, {9, 0}, {23, 1}, {30, 4}, {3, 17}, {29, 15}, {5, 25}, {27, 23}, {11, 27}};
  for (const auto& streak : streaks) {
    for (int w = 0; w < std::max(1, size / 48); ++w) {
      const int x = static_cast<int>(streak[0] * scale) + w;
      const int y = static_cast<int>(streak[1] * scale);
      canvas.MoveTo(x, y);
      canvas.LineTo(x - static_cast<int>(std::lround(scale)), y + static_cast<int>(std::lround(4 * scale)));
    }
  }
}

// The 16-pixel icon, one letter a pixel: the same umbrella, princess and
// rain as the larger sizes, each part at least a pixel wide.
void DrawPixelIcon(TBitmap& icon) {
  const char* const rows[] = {
      ".r...........r..",  //
      "r...ooooooo.r...",  //
      "..ooCCRCCRdoo..r",  //
      ".oCCCRRRCCcddor.",  //
      "oCCCRRRRCCcdddo.",  //
      "oCCCRRRRCCcdddo.",  //
      "ooooooooooooooo.",  //
      "o...o..s..o...o.",  //
      "..r....s.ggg..r.",  //
      ".r.....shkkkhr..",  //
      ".......shokoh...",  //
      "..r....shkkkh..r",  //
      ".r....Lkhkkkhlr.",  //
      ".....LLsLLpllll.",  //
      "....LLLsLppplll.",  //
      "...LLLLsppppllll",  //
  };
  const auto colour = [](char letter) {
    switch (letter) {
      case 'r': return kRain;
      case 'o': return kOutline;
      case 'R': return kRed[1];
      case 'd': return kRed[0];
      case 'C': return kCream[1];
      case 'c': return kCream[0];
      case 's': return kShaft;
      case 'k': return kSkin;
      case 'h': return kHair;
      case 'g': return kGold;
      case 'L': return kCloak[1];
      case 'l': return kCloak[0];
      case 'p': return kGown;
      default: return kSky;
    }
  };
  icon.SetSize(16, 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) icon.SetPixel(x, y, colour(rows[y][x]));
  }
}

}  // namespace

void DrawIcon(TBitmap& icon, int size) {
  if (size == 16) return DrawPixelIcon(icon);
  icon.SetSize(size, size);
  TCanvas& canvas = *icon.Canvas;
  canvas.Pen->Color = kSky;
  canvas.Brush->Color = kSky;
  canvas.Rectangle(0, 0, size, size);
  const DesignFrame frame{.scale = size / 32.0, .originX = 0, .originY = 0};
  DrawRain(canvas, size, frame.scale);

  Painter painter(icon, {0, 0, size - 1, size - 1}, std::max(1, static_cast<int>(std::lround(frame.scale * 0.6))));
  const TColor* outline = &kOutline;
  // A predicate over design units as a shape in pixels.
  const auto shape = [&frame](auto inDesign) {
    return [frame, inDesign](double x, double y) { return inDesign(frame.DesignX(x), frame.DesignY(y)); };
  };

  // The cloak spreads from the shoulders past the tile's foot; the gown shows in front.
  painter.Fill(shape([](double u, double v) { return v >= 22 && std::abs(u - 19) <= 4 + (v - 22) * 1.2; }),
               [&frame](double x, double) { return frame.DesignX(x) < 19 ? kCloak[1] : kCloak[0]; }, outline);
  painter.Fill(shape([](double u, double v) { return v >= 25 && std::abs(u - 19.5) <= (v - 25) * 0.6 + 1; }), kGown,
               outline);
  painter.Fill(frame.Ellipse(19.5, 19.5, 4.6, 5.6), kHair, outline);
  // The eyes' edges lie where every size gets two eyes of the same whole
  // pixels: a 48-pixel icon would otherwise get one eye narrower.
  const Inside leftEye = frame.Box(17.65, 19.65, 18.65, 20.9), rightEye = frame.Box(20.3, 19.65, 21.3, 20.9);
  painter.Fill(frame.Ellipse(19.5, 20.5, 3.2, 3.4), [&](double x, double y) {
    return leftEye(x, y) || rightEye(x, y) ? kOutline : kSkin;
  }, nullptr);
  painter.Fill(shape([](double u, double v) { return std::abs(u - 19.5) <= 2.5 && v >= 16 && v < 17.2; }), kGold,
               nullptr);

  // Umbrella: shaft and hook, the hand on it, then the canopy.  The shaft is
  // never narrower than a pixel, or small sizes lose it between columns.
  constexpr double centre = kCanopy.centre;
  const auto shaft = [&frame, halfWidth = std::max(0.5, frame.Pixels(0.55))](double top, double bottom) {
    return [=](double x, double y) {
      const double v = frame.DesignY(y);
      return std::abs(x - frame.PixelX(centre)) <= halfWidth && v >= top && v < bottom;
    };
  };
  painter.Fill(shaft(10, 27), kShaft, nullptr);
  painter.Fill(frame.Hook(centre + 1.5, 27, 0.95, 2.05), kShaft, nullptr);
  painter.Fill(frame.Ellipse(centre, 24.5, 1.6, 1.5), kSkin, outline);
  painter.Fill(shape([](double u, double v) { return kCanopy.Contains(u, v); }), [&frame](double x, double y) {
    const double u = frame.DesignX(x);
    const int panel = kCanopy.PanelAt(u, frame.DesignY(y));
    const int shade = u < centre + 4 ? 1 : 0;  // lit from the upper left
    return panel % 2 == 0 ? kRed[shade] : kCream[shade];
  }, outline);
  painter.Fill(shaft(1, kCanopy.apex + 0.5), kShaft, nullptr);
}

}  // namespace tools
