// rain-draw-picture OUTDIR
//
// Draws the program's picture (a princess under an umbrella, standing in a
// puddle) and its icon from code, so that both are our own and can be made
// again exactly.  Writes OUTDIR/princess.bmp, OUTDIR/mainicon.bmp and
// OUTDIR/icons/rain-32.png, OUTDIR/icons/rain-128.png.
//
// Shapes are predicates over pixel centres; a shape's edge pixels (those with
// a neighbour outside the shape) take its outline colour.  Everything is
// painted back to front with the drawing layer's own calls.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <system_error>

#include "canvas.h"
#include "imagefile.h"

namespace {

constexpr TColor Rgb(int r, int g, int b) {
  return static_cast<TColor>(r) | static_cast<TColor>(g) << 8 | static_cast<TColor>(b) << 16;
}

constexpr double kPi = std::numbers::pi;

using Inside = std::function<bool(double x, double y)>;
using Shade = std::function<TColor(double x, double y)>;

// Inclusive pixel bounds that painting never leaves.
struct Bounds {
  int left, top, right, bottom;
};

class Painter {
 public:
  Painter(TBitmap& bitmap, Bounds bounds, int outlineWidth)
      : bitmap_(bitmap), bounds_(bounds), outlineWidth_(outlineWidth) {}

  // Paints every pixel of `inside` within the bounds.  With an outline
  // colour, pixels whose neighbour `outlineWidth` away lies outside the
  // shape take that colour instead of the shade.
  void Fill(const Inside& inside, const Shade& shade, const TColor* outline = nullptr) {
    const double w = outlineWidth_;
    for (int y = bounds_.top; y <= bounds_.bottom; ++y) {
      for (int x = bounds_.left; x <= bounds_.right; ++x) {
        const double cx = x + 0.5;
        const double cy = y + 0.5;
        if (!inside(cx, cy)) continue;
        const bool edge = outline != nullptr && (!inside(cx - w, cy) || !inside(cx + w, cy) ||
                                                 !inside(cx, cy - w) || !inside(cx, cy + w));
        bitmap_.SetPixel(x, y, edge ? *outline : shade(cx, cy));
      }
    }
  }
  void Fill(const Inside& inside, TColor colour, const TColor* outline = nullptr) {
    Fill(inside, [colour](double, double) { return colour; }, outline);
  }

 private:
  TBitmap& bitmap_;
  Bounds bounds_;
  int outlineWidth_;
};

// Shape helpers, all in picture coordinates.
Inside Ellipse(double cx, double cy, double a, double b) {
  return [=](double x, double y) {
    const double u = (x - cx) / a;
    const double v = (y - cy) / b;
    return u * u + v * v <= 1.0;
  };
}

// A line segment with round ends, `r` wide on each side.
Inside Capsule(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    const double ex = x - (x0 + t * dx);
    const double ey = y - (y0 + t * dy);
    return ex * ex + ey * ey <= r * r;
  };
}

Inside Box(double x0, double y0, double x1, double y1) {
  return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

// Picks one of a few fixed shades by a brightness in [0, 1]; the picture is
// drawn in flat bands, not gradients.
template <std::size_t N>
TColor Band(const TColor (&shades)[N], double light) {
  const int i = static_cast<int>(std::floor(std::clamp(light, 0.0, 0.999) * static_cast<double>(N)));
  return shades[i];
}

// ---------------------------------------------------------------------------
// One design, drawn at any scale: `s` maps the design's units (a 276 x 450
// figure box) to pixels, (ox, oy) is the box's top-left pixel.

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

class Figure {
 public:
  Figure(Painter& p, const Palette& c, double s, double ox, double oy) : p_(p), c_(c), s_(s), ox_(ox), oy_(oy) {}

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
  // Design units to pixels.
  double X(double u) const { return ox_ + u * s_; }
  double Y(double v) const { return oy_ + v * s_; }
  double L(double d) const { return d * s_; }
  // Pixels to design units.
  double U(double x) const { return (x - ox_) / s_; }
  double V(double y) const { return (y - oy_) / s_; }

  Inside E(double u, double v, double a, double b) const { return Ellipse(X(u), Y(v), L(a), L(b)); }
  Inside Cap(double u0, double v0, double u1, double v1, double r) const {
    return Capsule(X(u0), Y(v0), X(u1), Y(v1), L(r));
  }

  void Puddle() {
    const Inside water = E(138, 446, 138, 24);
    p_.Fill(water, [this](double x, double y) {
      // Ripple rings around the feet catch the light.
      const double u = (U(x) - 140) / 138;
      const double v = (V(y) - 446) / 24;
      const double r = std::sqrt(u * u + v * v);
      const double ring = std::fmod(r * 5.0 + 0.25, 1.0);
      return ring < 0.14 ? c_.water[2] : (ring < 0.5 ? c_.water[1] : c_.water[0]);
    });
  }

  // The cloak falls from the shoulders and spreads to the ground behind the
  // gown; its width carries most of the figure's mass.
  double CloakHalfWidth(double v) const {
    const double t = std::clamp((v - 182) / (400 - 182), 0.0, 1.0);
    return 38 + 99 * std::pow(t, 0.33);
  }
  double CloakCentre(double v) const { return 150 - 12 * std::clamp((v - 182) / 250, 0.0, 1.0); }

  void Cloak() {
    const Inside inside = [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      if (v < 182 || v > 430 + 3 * std::sin(u * 0.35)) return false;
      return std::abs(u - CloakCentre(v)) <= CloakHalfWidth(v);
    };
    p_.Fill(inside, [this](double x, double y) {
      const double v = V(y);
      const double n = (U(x) - CloakCentre(v)) / CloakHalfWidth(v);
      const double fold = std::sin(n * kPi * 2.5 + 0.8);
      return Band(c_.cloak, 0.55 - 0.35 * n + 0.22 * fold);
    }, &c_.outline);
  }

  double GownHalfWidth(double v) const {
    if (v < 232) return 20 - 4 * (v - 188) / 44;  // bodice narrows to the waist
    const double t = std::clamp((v - 232) / (436 - 232), 0.0, 1.0);
    return 16 + 72 * std::pow(t, 0.8);
  }
  double GownCentre(double v) const { return 152 - 10 * std::clamp((v - 188) / 250, 0.0, 1.0); }

  void Gown() {
    const Inside inside = [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      const double hem = 438 + 2.5 * std::sin((u - 60) * 0.45);
      if (v < 188 || v > hem) return false;
      return std::abs(u - GownCentre(v)) <= GownHalfWidth(v);
    };
    p_.Fill(inside, [this](double x, double y) {
      const double v = V(y);
      const double n = (U(x) - GownCentre(v)) / GownHalfWidth(v);
      const double t = std::clamp((v - 232) / 204, 0.0, 1.0);
      const double fold = std::sin(n * kPi * 3.0 + 0.4) * (0.1 + 0.25 * t);
      double light = 0.6 - 0.3 * n + fold;
      if (v > 426) light += 0.35;  // the hem's ruffle
      return Band(c_.gown, light);
    }, &c_.outline);
    // A golden sash marks the waist.
    const Inside sash = [this](double x, double y) {
      const double v = V(y);
      return v >= 226 && v <= 234 && std::abs(U(x) - GownCentre(v)) <= GownHalfWidth(v) + 1;
    };
    p_.Fill(sash, c_.gold, &c_.outline);
  }

  void HairBack() {
    p_.Fill(E(158, 174, 28, 32), c_.cloak[0], &c_.outline);  // the hood, thrown back
    p_.Fill(E(158, 178, 22, 34), c_.hair[0], &c_.outline);
  }

  void Arms() {
    // Both hands hold the shaft in front of the chest; the sleeves are the cloak's.
    p_.Fill(Cap(134, 196, 126, 222, 8), c_.cloak[1], &c_.outline);
    p_.Fill(Cap(126, 222, 134, 204, 7), c_.cloak[1], &c_.outline);
    p_.Fill(Cap(170, 196, 176, 226, 8), c_.cloak[2], &c_.outline);
    p_.Fill(Cap(176, 226, 144, 216, 7), c_.cloak[2], &c_.outline);
  }

  void Head() {
    p_.Fill(Box(X(153), Y(178), X(163), Y(192)), c_.skin, nullptr);  // neck
    p_.Fill(E(158, 170, 16, 19), [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      // Eyes, cheeks and mouth, in design units.
      if ((std::abs(u - 152) < 2.2 || std::abs(u - 164) < 2.2) && std::abs(v - 171) < 3.0) return c_.eye;
      if ((std::abs(u - 148.5) < 3.5 || std::abs(u - 167.5) < 3.5) && std::abs(v - 178) < 2.0) return c_.blush;
      if (std::abs(u - 158) < 3.0 && std::abs(v - 183) < 1.0) return c_.blush;
      return c_.skin;
    }, &c_.outline);
    // Fringe over the forehead, with a tiara on it.
    const Inside fringe = [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      const double a = (u - 158) / 18;
      const double b = (v - 166) / 19;
      return a * a + b * b <= 1.0 && v < 162 + 3 * std::abs(std::sin((u - 158) * 0.28));
    };
    p_.Fill(fringe, [this](double x, double) {
      return std::fmod(std::abs(U(x) - 150) * 0.22, 1.0) < 0.3 ? c_.hair[1] : c_.hair[0];
    }, &c_.outline);
    const Inside tiara = [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      const double d = std::abs(u - 158);
      if (d > 11) return false;
      const double peak = d < 3 ? 143 : (std::abs(d - 7) < 2 ? 147 : 151);
      return v >= peak && v < 154;
    };
    p_.Fill(tiara, c_.gold, &c_.outline);
  }

  // Canopy: a dome of eight panels seen from the side, so the panels near
  // the rim look narrow; each panel's lower edge is a shallow arc.
  static constexpr double kApexV = 6;
  static constexpr double kRimV = 146;
  static constexpr double kHalfWidth = 137.5;
  static constexpr double kCentreU = 137.5;
  static constexpr int kPanels = 8;

  // Panel boundary angles run from -90 to 90 degrees; a point's angle comes
  // from its position across the dome at its height.
  static double RibX(int i) { return kCentreU + kHalfWidth * std::sin(-kPi / 2 + kPi * i / kPanels); }

  double DomeHalfWidth(double v) const {
    const double h = std::clamp((kRimV - v) / (kRimV - kApexV), 0.0, 1.0);
    return kHalfWidth * std::pow(1.0 - std::pow(h, 3.2), 1.0 / 3.2);
  }

  double RimV(double u) const {
    for (int i = 0; i < kPanels; ++i) {
      const double a = RibX(i);
      const double b = RibX(i + 1);
      if (u >= a && u <= b) return kRimV + 4 - std::min(10.0, 0.14 * (b - a)) * std::sin(kPi * (u - a) / (b - a));
    }
    return kRimV;
  }

  int PanelAt(double u, double v) const {
    const double hw = DomeHalfWidth(v);
    if (hw <= 0) return kPanels / 2;
    const double n = std::clamp((u - kCentreU) / hw, -1.0, 1.0);
    const double angle = std::asin(n) + kPi / 2;
    return std::min(kPanels - 1, static_cast<int>(angle / (kPi / kPanels)));
  }

  void Umbrella() {
    // Shaft and handle first: the canopy covers the shaft's top, the hands its middle.
    p_.Fill(Box(X(kCentreU - 1.6), Y(120), X(kCentreU + 1.6), Y(236)), c_.shaft, nullptr);
    const Inside hook = [this](double x, double y) {
      const double u = U(x) - (kCentreU + 6);
      const double v = V(y) - 236;
      const double r = std::sqrt(u * u + v * v);
      return v >= 0 && r >= 4.4 && r <= 7.6;
    };
    p_.Fill(hook, c_.shaft, nullptr);
    p_.Fill(E(kCentreU, 206, 6.5, 6), c_.skin, &c_.outline);
    p_.Fill(E(kCentreU + 2, 217, 6.5, 6), c_.skin, &c_.outline);

    const Inside canopy = [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      if (v < kApexV || v > RimV(u)) return false;
      return std::abs(u - kCentreU) <= DomeHalfWidth(std::min(v, kRimV));
    };
    p_.Fill(canopy, [this](double x, double y) {
      const double u = U(x);
      const double v = V(y);
      const int panel = PanelAt(u, std::min(v, kRimV - 0.5));
      // Ribs: where the panel changes from the pixel to the left.
      if (panel != PanelAt(u - 1.0 / s_, std::min(v, kRimV - 0.5)) && v < kRimV - 2) return c_.outline;
      const double mid = -kPi / 2 + kPi * (panel + 0.5) / kPanels;
      const double height = (kRimV - v) / (kRimV - kApexV);
      const double light = 0.55 + 0.4 * std::cos(mid + 0.7) + 0.18 * height - 0.25;
      return panel % 2 == 0 ? Band(c_.canopyRed, light) : Band(c_.canopyCream, light);
    }, &c_.outline);
    p_.Fill(Cap(kCentreU, 0, kCentreU, kApexV + 2, 2.2), c_.shaft, &c_.outline);  // finial
  }

  Painter& p_;
  const Palette& c_;
  double s_, ox_, oy_;
};

// ---------------------------------------------------------------------------

constexpr int kPictureWidth = 800;
constexpr int kPictureHeight = 533;
constexpr TColor kPictureBackground = Rgb(200, 191, 231);
constexpr Bounds kFigureBounds = {249, 83, 524, 532};

void DrawPicture(TBitmap& picture) {
  picture.SetSize(kPictureWidth, kPictureHeight);
  picture.Canvas->Pen->Color = kPictureBackground;
  picture.Canvas->Brush->Color = kPictureBackground;
  picture.Canvas->Rectangle(0, 0, kPictureWidth, kPictureHeight);
  Painter painter(picture, kFigureBounds, 1);
  Figure(painter, kRich, 1.0, kFigureBounds.left, kFigureBounds.top).Draw();
}

// The icon: the princess and her umbrella close up, in the rain on a
// night-blue tile.  Drawn from the same shapes at every size, in design units
// of a 32 x 32 grid, in fourteen fixed colours (an icon may have sixteen).
namespace icon {
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
}  // namespace icon

void DrawIcon(TBitmap& bitmap, int size) {
  using namespace icon;
  bitmap.SetSize(size, size);
  TCanvas& canvas = *bitmap.Canvas;
  canvas.Pen->Color = kSky;
  canvas.Brush->Color = kSky;
  canvas.Rectangle(0, 0, size, size);

  const double k = size / 32.0;  // pixels per design unit
  canvas.Pen->Color = kRain;
  const int streaks[][2] = {{2, 1}, {9, 0}, {23, 1}, {30, 4}, {3, 17}, {29, 15}, {5, 25}, {27, 23}, {11, 27}};
  for (const auto& s : streaks) {
    // Thicker streaks at larger sizes: one line per pixel of width.
    for (int w = 0; w < std::max(1, size / 48); ++w) {
      const int x = static_cast<int>(s[0] * k) + w;
      const int y = static_cast<int>(s[1] * k);
      canvas.MoveTo(x, y);
      canvas.LineTo(x - static_cast<int>(std::lround(k)), y + static_cast<int>(std::lround(4 * k)));
    }
  }

  Painter p(bitmap, {0, 0, size - 1, size - 1}, std::max(1, static_cast<int>(std::lround(k * 0.6))));
  auto E = [k](double u, double v, double a, double b) { return Ellipse(u * k, v * k, a * k, b * k); };
  const TColor* outline = &kOutline;

  // The cloak spreads from the shoulders past the tile's foot; the gown shows in front.
  p.Fill([k](double x, double y) {
    const double u = x / k, v = y / k;
    return v >= 22 && std::abs(u - 19) <= 4 + (v - 22) * 1.2;
  }, [k](double x, double) { return x / k < 19 ? kCloak[1] : kCloak[0]; }, outline);
  p.Fill([k](double x, double y) {
    const double u = x / k, v = y / k;
    return v >= 25 && std::abs(u - 19.5) <= (v - 25) * 0.6 + 1;
  }, kGown, outline);
  p.Fill(E(19.5, 19.5, 4.6, 5.6), kHair, outline);
  p.Fill(E(19.5, 20.5, 3.2, 3.4), [k](double x, double y) {
    const double u = x / k, v = y / k;
    const bool eye = std::abs(v - 20.3) < 0.6 && (std::abs(u - 18.2) < 0.5 || std::abs(u - 20.8) < 0.5);
    return eye ? kOutline : kSkin;
  }, nullptr);
  p.Fill([k](double x, double y) { return std::abs(x / k - 19.5) <= 2.5 && y / k >= 16 && y / k < 17.2; }, kGold,
         nullptr);

  // Umbrella: shaft and hook, the hand on it, then the canopy of six panels.
  p.Fill([k](double x, double y) { return std::abs(x / k - 16) <= 0.55 && y / k >= 10 && y / k <= 27; }, kShaft,
         nullptr);
  p.Fill([k](double x, double y) {
    const double u = x / k - 17.5, v = y / k - 27;
    const double r = std::sqrt(u * u + v * v);
    return v >= 0 && r >= 0.95 && r <= 2.05;
  }, kShaft, nullptr);
  p.Fill(E(16, 24.5, 1.6, 1.5), kSkin, outline);
  constexpr double cx = 16, rim = 14, apex = 2.5, half = 15;
  constexpr int panels = 6;
  auto ribX = [](int i) { return cx + half * std::sin(-kPi / 2 + kPi * i / panels); };
  p.Fill([k, ribX](double x, double y) {
    const double u = x / k, v = y / k;
    if (v < apex) return false;
    double edge = rim;
    for (int i = 0; i < panels; ++i) {
      if (u >= ribX(i) && u <= ribX(i + 1)) edge = rim + 0.8 - 1.5 * std::sin(kPi * (u - ribX(i)) / (ribX(i + 1) - ribX(i)));
    }
    if (v > edge) return false;
    const double h = std::clamp((rim - v) / (rim - apex), 0.0, 1.0);
    return std::abs(u - cx) <= half * std::pow(1.0 - std::pow(h, 2.6), 1.0 / 2.6);
  }, [k](double x, double y) {
    const double u = x / k, v = y / k;
    const double h = std::clamp((rim - v) / (rim - apex), 0.0, 1.0);
    const double hw = half * std::pow(1.0 - std::pow(h, 2.6), 1.0 / 2.6);
    const double angle = std::asin(std::clamp((u - cx) / std::max(hw, 1e-9), -1.0, 1.0)) + kPi / 2;
    const int panel = std::min(panels - 1, static_cast<int>(angle / (kPi / panels)));
    const int shade = u < cx + 4 ? 1 : 0;  // lit from the upper left
    return panel % 2 == 0 ? kRed[shade] : kCream[shade];
  }, outline);
  p.Fill([k](double x, double y) { return std::abs(x / k - cx) <= 0.55 && y / k >= 1 && y / k < apex + 0.5; }, kShaft,
         nullptr);
}

int Usage(const char* program) {
  std::fprintf(stderr, "usage: %s OUTDIR  (writes princess.bmp, mainicon.bmp and icons/rain-{32,128}.png)\n", program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') return Usage(argv[0]);
  const std::filesystem::path out = argv[1];
  try {
    std::error_code error;
    if (!std::filesystem::is_directory(out, error)) throw Exception(out.string() + " is not a folder");
    std::filesystem::create_directories(out / "icons", error);
    if (error) throw Exception("Cannot create " + (out / "icons").string() + ": " + error.message());

    TBitmap picture;
    DrawPicture(picture);
    SaveBmp24File(picture, (out / "princess.bmp").string());

    TBitmap icon;
    DrawIcon(icon, 32);
    SaveBmp8File(icon, (out / "mainicon.bmp").string());
    SavePngFile(icon, (out / "icons" / "rain-32.png").string());
    TBitmap large;
    DrawIcon(large, 128);
    SavePngFile(large, (out / "icons" / "rain-128.png").string());
  } catch (const Exception& e) {
    std::fprintf(stderr, "rain-draw-picture: %s\n", e.what());
    return 1;
  }
  return 0;
}
