#pragma once
// Frames and placements of the zoom model.
//
// Every element (picture or target frame) has a frame with its origin at its centre, x to the
// right, y upwards, and its longer side exactly 1 unit. A placement carries a child frame into
// its parent frame: p_parent = (translateX, translateY) + scale * R(rotate) * p_child.

struct Transform {
  float scale = 1.0f;
  float translateX = 0.0f;  // child's centre, in parent units
  float translateY = 0.0f;
  float rotate = 0.0f;  // degrees, counter-clockwise
};

// Exactly the same numbers (a step that changes nothing is no edit).
inline bool SamePlacement(const Transform& a, const Transform& b) {
  return a.scale == b.scale && a.translateX == b.translateX && a.translateY == b.translateY && a.rotate == b.rotate;
}

struct Extents {
  float ex = 1.0f;
  float ey = 1.0f;
};

// (1, h/w) for landscape, (w/h, 1) for portrait or square, in single precision.
Extents ElementExtents(int width, int height);

// Half the width and height of the orthographic view in which a first picture of this pixel size
// fills a viewport of this size along its constraining axis, centred on the other.
struct ViewSpan {
  double halfWidth;
  double halfHeight;
};
ViewSpan FittedViewSpan(int firstWidth, int firstHeight, double viewportWidth, double viewportHeight);
