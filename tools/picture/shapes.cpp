#include "tools/picture/shapes.h"

namespace tools {

void Painter::Fill(const Inside& inside, const Shade& shade, const TColor* outline) {
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

Inside DesignFrame::Ellipse(double u, double v, double radiusU, double radiusV) const {
  const double cx = PixelX(u), cy = PixelY(v), a = Pixels(radiusU), b = Pixels(radiusV);
  return [=](double x, double y) {
    const double nx = (x - cx) / a;
    const double ny = (y - cy) / b;
    return nx * nx + ny * ny <= 1.0;
  };
}

Inside DesignFrame::Capsule(double u0, double v0, double u1, double v1, double radius) const {
  const double x0 = PixelX(u0), y0 = PixelY(v0), x1 = PixelX(u1), y1 = PixelY(v1), r = Pixels(radius);
  return [=](double x, double y) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double ex = x - (x0 + t * dx);
    const double ey = y - (y0 + t * dy);
    return ex * ex + ey * ey <= r * r;
  };
}

Inside DesignFrame::Box(double u0, double v0, double u1, double v1) const {
  const double x0 = PixelX(u0), y0 = PixelY(v0), x1 = PixelX(u1), y1 = PixelY(v1);
  return [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

Inside DesignFrame::Hook(double u, double v, double innerRadius, double outerRadius) const {
  return [=, frame = *this](double x, double y) {
    const double du = frame.DesignX(x) - u;
    const double dv = frame.DesignY(y) - v;
    const double r = std::sqrt(du * du + dv * dv);
    return dv >= 0 && r >= innerRadius && r <= outerRadius;
  };
}

double Canopy::HalfWidthAt(double v) const {
  const double h = std::clamp((rim - v) / (rim - apex), 0.0, 1.0);
  return halfWidth * std::pow(1.0 - std::pow(h, roundness), 1.0 / roundness);
}

double Canopy::LowerEdgeAt(double u) const {
  for (int i = 0; i < panels; ++i) {
    const double a = RibU(i);
    const double b = RibU(i + 1);
    if (u >= a && u <= b) {
      return rim + rimDrop - std::min(scallopDepth, scallopPerWidth * (b - a)) * std::sin(kPi * (u - a) / (b - a));
    }
  }
  return rim;
}

bool Canopy::Contains(double u, double v) const {
  if (v < apex || v > LowerEdgeAt(u)) return false;
  return std::abs(u - centre) <= HalfWidthAt(std::min(v, rim));
}

int Canopy::PanelAt(double u, double v) const {
  const double hw = HalfWidthAt(v);
  if (hw <= 0) return panels / 2;
  const double across = std::clamp((u - centre) / hw, -1.0, 1.0);
  const double angle = std::asin(across) + kPi / 2;
  return std::min(panels - 1, static_cast<int>(angle / (kPi / panels)));
}

}  // namespace tools
