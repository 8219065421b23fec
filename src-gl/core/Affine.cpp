#include "Affine.h"

#include <cmath>

Affine Affine::Similarity(double scale, double degrees, double tx, double ty) {
  const double r = degrees * (M_PI / 180.0);
  const double cs = std::cos(r) * scale, sn = std::sin(r) * scale;
  return {cs, sn, -sn, cs, tx, ty};
}

Affine Affine::Placement(const Transform& t) { return Similarity(t.scale, t.rotate, t.translateX, t.translateY); }

Affine Affine::ViewTransform(const Transform& t) {
  const double s = t.scale;
  return {s, 0, 0, s, s * t.translateX, s * t.translateY};
}

Affine Affine::operator*(const Affine& r) const {
  return {a * r.a + c * r.b, b * r.a + d * r.b,        a * r.c + c * r.d,
          b * r.c + d * r.d, a * r.tx + c * r.ty + tx, b * r.tx + d * r.ty + ty};
}

Affine Affine::Inverse() const {
  const double det = a * d - b * c;
  const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
  return {ia, ib, ic, id, -(ia * tx + ic * ty), -(ib * tx + id * ty)};
}

double Affine::LengthScale() const { return std::sqrt(std::fabs(a * d - b * c)); }

bool Affine::IsFinite() const {
  return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) && std::isfinite(tx) &&
         std::isfinite(ty);
}

void Affine::ToColumnMajor(double m[16]) const {
  const double values[16] = {a, b, 0, 0, c, d, 0, 0, 0, 0, 1, 0, tx, ty, 0, 1};
  for (int i = 0; i < 16; ++i) m[i] = values[i];
}
