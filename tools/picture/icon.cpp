// The icon, designed on a 32 x 32 grid and drawn from the same shapes at
// every size, in fourteen fixed colours (an icon may have sixteen).

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

}  // namespace

void DrawIcon(TBitmap& icon, int size) {
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
  painter.Fill(frame.Ellipse(19.5, 20.5, 3.2, 3.4), [&frame](double x, double y) {
    const double u = frame.DesignX(x), v = frame.DesignY(y);
    const bool eye = std::abs(v - 20.3) < 0.6 && (std::abs(u - 18.2) < 0.5 || std::abs(u - 20.8) < 0.5);
    return eye ? kOutline : kSkin;
  }, nullptr);
  painter.Fill(shape([](double u, double v) { return std::abs(u - 19.5) <= 2.5 && v >= 16 && v < 17.2; }), kGold,
               nullptr);

  // Umbrella: shaft and hook, the hand on it, then the canopy.
  constexpr double centre = kCanopy.centre;
  painter.Fill(shape([](double u, double v) { return std::abs(u - centre) <= 0.55 && v >= 10 && v <= 27; }),
               kShaft, nullptr);
  painter.Fill(frame.Hook(centre + 1.5, 27, 0.95, 2.05), kShaft, nullptr);
  painter.Fill(frame.Ellipse(centre, 24.5, 1.6, 1.5), kSkin, outline);
  painter.Fill(shape([](double u, double v) { return kCanopy.Contains(u, v); }), [&frame](double x, double y) {
    const double u = frame.DesignX(x);
    const int panel = kCanopy.PanelAt(u, frame.DesignY(y));
    const int shade = u < centre + 4 ? 1 : 0;  // lit from the upper left
    return panel % 2 == 0 ? kRed[shade] : kCream[shade];
  }, outline);
  painter.Fill(shape([](double u, double v) { return std::abs(u - centre) <= 0.55 && v >= 1 && v < kCanopy.apex + 0.5; }),
               kShaft, nullptr);
}

}  // namespace tools
