// The picture's figure, painted back to front with the drawing layer's own
// calls.  Designed in units of a 276 x 450 box, which DrawPicture places in
// the picture one unit to a pixel.

#include <algorithm>
#include <cmath>
#include <functional>

#include "tools/picture/drawings.h"
#include "tools/picture/shapes.h"

namespace tools {

namespace {

struct Palette {
  TColor outline;
  TColor canopyRed[3];
  TColor canopyCream[3];
  TColor shaft;
  TColor skin, blush, eye;
  TColor hair[2];
  TColor gold;
  TColor cloak[3];
  TColor gown[3];
  TColor water[3];
};

constexpr Palette kRich = {
    Rgb(38, 26, 52),
    {Rgb(150, 30, 52), Rgb(200, 48, 64), Rgb(232, 86, 92)},
    {Rgb(196, 172, 150), Rgb(236, 220, 192), Rgb(252, 244, 226)},
    Rgb(92, 64, 52),
    Rgb(246, 208, 180), Rgb(236, 150, 150), Rgb(40, 30, 50),
    {Rgb(110, 62, 38), Rgb(150, 92, 52)},
    Rgb(246, 204, 72),
    {Rgb(36, 48, 112), Rgb(54, 74, 150), Rgb(82, 108, 186)},
    {Rgb(196, 86, 132), Rgb(232, 130, 168), Rgb(250, 178, 204)},
    {Rgb(40, 50, 88), Rgb(62, 78, 126), Rgb(130, 152, 206)},
};

// A garment hanging from `top` down to its wavy hem, `centre(v)` plus or
// minus `halfWidth(v)` across, lit by where a point lies across it (-1 at
// the left edge, 1 at the right) and how low.
struct Garment {
  double top;
  std::function<double(double u)> hem;
  std::function<double(double v)> centre;
  std::function<double(double v)> halfWidth;
  std::function<double(double across, double v)> light;
};

class Figure {
 public:
  Figure(Painter& painter, const Palette& colours, DesignFrame frame)
      : painter_(painter), colours_(colours), frame_(frame) {}

  void Draw() {
    Puddle();
    Cloak();
    Gown();
    HairBack();
    Arms();
    Head();
    Umbrella();
  }

 private:
  // The umbrella's canopy: eight panels over the figure's whole width.
  static constexpr Canopy kCanopy = {.centre = 137.5, .apex = 6, .rim = 146, .halfWidth = 137.5, .panels = 8,
                                     .roundness = 3.2, .rimDrop = 4, .scallopDepth = 10, .scallopPerWidth = 0.14};

  void Puddle() {
    painter_.Fill(frame_.Ellipse(138, 446, 138, 24), [this](double x, double y) {
      // Ripple rings around the feet catch the light.
      const double u = (frame_.DesignX(x) - 140) / 138;
      const double v = (frame_.DesignY(y) - 446) / 24;
      const double r = std::sqrt(u * u + v * v);
      const double ring = std::fmod(r * 5.0 + 0.25, 1.0);
      return ring < 0.14 ? colours_.water[2] : (ring < 0.5 ? colours_.water[1] : colours_.water[0]);
    });
  }

  void Wear(const Garment& garment, const TColor (&shades)[3]) {
    const Inside inside = [this, &garment](double x, double y) {
      const double u = frame_.DesignX(x);
      const double v = frame_.DesignY(y);
      if (v < garment.top || v > garment.hem(u)) return false;
      return std::abs(u - garment.centre(v)) <= garment.halfWidth(v);
    };
    painter_.Fill(inside, [this, &garment, &shades](double x, double y) {
      const double v = frame_.DesignY(y);
      const double across = (frame_.DesignX(x) - garment.centre(v)) / garment.halfWidth(v);
      return Band(shades, garment.light(across, v));
    }, &colours_.outline);
  }

  // The cloak falls from the shoulders and spreads to the ground behind the
  // gown; its width carries most of the figure's mass.
  void Cloak() {
    Wear({.top = 182,
          .hem = [](double u) { return 430 + 3 * std::sin(u * 0.35); },
          .centre = [](double v) { return 150 - 12 * std::clamp((v - 182) / 250, 0.0, 1.0); },
          .halfWidth = [](double v) { return 38 + 99 * std::pow(std::clamp((v - 182) / (400 - 182), 0.0, 1.0), 0.33); },
          .light = [](double across, double) {
            const double fold = std::sin(across * kPi * 2.5 + 0.8);
            return 0.55 - 0.35 * across + 0.22 * fold;
          }},
         colours_.cloak);
  }

  static double GownCentre(double v) { return 152 - 10 * std::clamp((v - 188) / 250, 0.0, 1.0); }
  static double GownHalfWidth(double v) {
    if (v < 232) return 20 - 4 * (v - 188) / 44;  // bodice narrows to the waist
    const double t = std::clamp((v - 232) / (436 - 232), 0.0, 1.0);
    return 16 + 72 * std::pow(t, 0.8);
  }

  void Gown() {
    Wear({.top = 188,
          .hem = [](double u) { return 438 + 2.5 * std::sin((u - 60) * 0.45); },
          .centre = GownCentre,
          .halfWidth = GownHalfWidth,
          .light = [](double across, double v) {
            const double t = std::clamp((v - 232) / 204, 0.0, 1.0);
            const double fold = std::sin(across * kPi * 3.0 + 0.4) * (0.1 + 0.25 * t);
            double light = 0.6 - 0.3 * across + fold;
            if (v > 426) light += 0.35;  // the hem's ruffle
            return light;
          }},
         colours_.gown);
    // A golden sash marks the waist.
    const Inside sash = [this](double x, double y) {
      const double v = frame_.DesignY(y);
      return v >= 226 && v <= 234 && std::abs(frame_.DesignX(x) - GownCentre(v)) <= GownHalfWidth(v) + 1;
    };
    painter_.Fill(sash, colours_.gold, &colours_.outline);
  }

  void HairBack() {
    painter_.Fill(frame_.Ellipse(158, 174, 28, 32), colours_.cloak[0], &colours_.outline);  // the hood, thrown back
    painter_.Fill(frame_.Ellipse(158, 178, 22, 34), colours_.hair[0], &colours_.outline);
  }

  void Arms() {
    // Both hands hold the shaft in front of the chest; the sleeves are the cloak's.
    painter_.Fill(frame_.Capsule(134, 196, 126, 222, 8), colours_.cloak[1], &colours_.outline);
    painter_.Fill(frame_.Capsule(126, 222, 134, 204, 7), colours_.cloak[1], &colours_.outline);
    painter_.Fill(frame_.Capsule(170, 196, 176, 226, 8), colours_.cloak[2], &colours_.outline);
    painter_.Fill(frame_.Capsule(176, 226, 144, 216, 7), colours_.cloak[2], &colours_.outline);
  }

  void Head() {
    painter_.Fill(frame_.Box(153, 178, 163, 192), colours_.skin, nullptr);  // neck
    painter_.Fill(frame_.Ellipse(158, 170, 16, 19), [this](double x, double y) {
      const double u = frame_.DesignX(x);
      const double v = frame_.DesignY(y);
      // Eyes, cheeks and mouth, in design units.
      if ((std::abs(u - 152) < 2.2 || std::abs(u - 164) < 2.2) && std::abs(v - 171) < 3.0) return colours_.eye;
      if ((std::abs(u - 148.5) < 3.5 || std::abs(u - 167.5) < 3.5) && std::abs(v - 178) < 2.0) return colours_.blush;
      if (std::abs(u - 158) < 3.0 && std::abs(v - 183) < 1.0) return colours_.blush;
      return colours_.skin;
    }, &colours_.outline);
    // Fringe over the forehead, with a tiara on it.
    const Inside fringe = [this](double x, double y) {
      const double u = frame_.DesignX(x);
      const double v = frame_.DesignY(y);
      const double a = (u - 158) / 18;
      const double b = (v - 166) / 19;
      return a * a + b * b <= 1.0 && v < 162 + 3 * std::abs(std::sin((u - 158) * 0.28));
    };
    painter_.Fill(fringe, [this](double x, double) {
      return std::fmod(std::abs(frame_.DesignX(x) - 150) * 0.22, 1.0) < 0.3 ? colours_.hair[1] : colours_.hair[0];
    }, &colours_.outline);
    const Inside tiara = [this](double x, double y) {
      const double v = frame_.DesignY(y);
      const double d = std::abs(frame_.DesignX(x) - 158);
      if (d > 11) return false;
      const double peak = d < 3 ? 143 : (std::abs(d - 7) < 2 ? 147 : 151);
      return v >= peak && v < 154;
    };
    painter_.Fill(tiara, colours_.gold, &colours_.outline);
  }

  void Umbrella() {
    const double centre = kCanopy.centre;
    // Shaft and handle first: the canopy covers the shaft's top, the hands its middle.
    painter_.Fill(frame_.Box(centre - 1.6, 120, centre + 1.6, 236), colours_.shaft, nullptr);
    painter_.Fill(frame_.Hook(centre + 6, 236, 4.4, 7.6), colours_.shaft, nullptr);
    painter_.Fill(frame_.Ellipse(centre, 206, 6.5, 6), colours_.skin, &colours_.outline);
    painter_.Fill(frame_.Ellipse(centre + 2, 217, 6.5, 6), colours_.skin, &colours_.outline);

    const Inside canopy = [this](double x, double y) { return kCanopy.Contains(frame_.DesignX(x), frame_.DesignY(y)); };
    painter_.Fill(canopy, [this](double x, double y) {
      const double u = frame_.DesignX(x);
      const double v = frame_.DesignY(y);
      const double above = std::min(v, kCanopy.rim - 0.5);
      const int panel = kCanopy.PanelAt(u, above);
      // Ribs: where the panel changes from the pixel to the left.
      if (panel != kCanopy.PanelAt(u - 1.0 / frame_.scale, above) && v < kCanopy.rim - 2) return colours_.outline;
      const double mid = -kPi / 2 + kPi * (panel + 0.5) / kCanopy.panels;
      const double height = (kCanopy.rim - v) / (kCanopy.rim - kCanopy.apex);
      const double light = 0.55 + 0.4 * std::cos(mid + 0.7) + 0.18 * height - 0.25;
      return panel % 2 == 0 ? Band(colours_.canopyRed, light) : Band(colours_.canopyCream, light);
    }, &colours_.outline);
    painter_.Fill(frame_.Capsule(centre, 0, centre, kCanopy.apex + 2, 2.2), colours_.shaft, &colours_.outline);  // finial
  }

  Painter& painter_;
  const Palette& colours_;
  DesignFrame frame_;
};

constexpr int kPictureWidth = 800;
constexpr int kPictureHeight = 533;
constexpr TColor kPictureBackground = Rgb(200, 191, 231);
constexpr Bounds kFigureBounds = {249, 83, 524, 532};

}  // namespace

void DrawPicture(TBitmap& picture) {
  picture.SetSize(kPictureWidth, kPictureHeight);
  picture.Canvas->Pen->Color = kPictureBackground;
  picture.Canvas->Brush->Color = kPictureBackground;
  picture.Canvas->Rectangle(0, 0, kPictureWidth, kPictureHeight);
  Painter painter(picture, kFigureBounds, 1);
  Figure(painter, kRich, {.scale = 1.0, .originX = kFigureBounds.left, .originY = kFigureBounds.top}).Draw();
}

}  // namespace tools
