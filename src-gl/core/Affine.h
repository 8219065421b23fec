#pragma once
// Plane maps in double precision: p' = (a x + c y + tx, b x + d y + ty). Placements, the edit
// view and the zoom's view are all similarities; composing them on the CPU keeps every digit a
// GL matrix stack in single precision would lose.

#include "Transform.h"

struct Affine {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  // A child frame into its parent: Translate * Scale * Rotate (see Transform.h).
  static Affine Placement(const Transform& t);
  // The edit view: Scale, then Translate, so a point p lands at scale * (p + translate).
  static Affine ViewTransform(const Transform& t);
  static Affine Similarity(double scale, double degrees, double tx, double ty);

  // (this * r)(p) = this(r(p)).
  Affine operator*(const Affine& r) const;
  Affine Inverse() const;
  void Map(double x, double y, double& ox, double& oy) const {
    ox = a * x + c * y + tx;
    oy = b * x + d * y + ty;
  }
  // The factor by which lengths grow (the square root of the determinant's magnitude).
  double LengthScale() const;
  bool IsFinite() const;
  // As a column-major 4 x 4 matrix for glLoadMatrixd.
  void ToColumnMajor(double m[16]) const;
};
