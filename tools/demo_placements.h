#pragma once
// The demo project's geometry, shared by make_demo and by tests that draw the demo: where each
// element sits inside its parent, and which part of the complex plane each element shows.
//
// The placements are exactly the floats a project file gives back (ten decimals read with
// strtof), and the pictures are rendered from those very values: a picture then continues its
// parent's fractal to the last bit, and playing the zoom shows no seam.

#include <array>
#include <complex>
#include <string>

#include "Transform.h"

constexpr int demoPictureCount = 8;
constexpr int demoElementCount = demoPictureCount + 1;  // the pictures, then the target frame
constexpr int demoPictureWidth = 1024;
constexpr int demoPictureHeight = 768;

// "demo1.jpg" .. "demo8.jpg" for picture 1 .. 8 (1-based, as the names are).
std::string DemoPictureName(int picture);
constexpr const char* demoProjectName = "demo.kx";

// What a project file hands back for `value`: written as "%1.10f", read with strtof, C locale.
float AsStoredInProject(float value);

// [0] the first picture (the default placement, which nothing uses), [1] .. [7] pictures 2 .. 8
// inside their predecessors, [8] the target frame inside picture 8. Every value already survives
// a save and load unchanged.
std::array<Transform, demoElementCount> DemoPlacements();

// Frame point (u, v) of an element shows the complex number origin + extent * (u + i v).
struct PlaneMap {
  std::complex<double> origin;
  std::complex<double> extent;
};

// The element placed by `placement` inside an element whose map is `parent`:
// origin = parent(translate), extent = parent.extent * scale * e^(i rotate).
PlaneMap ChildPlaneMap(const PlaneMap& parent, const Transform& placement);

// The maps of all elements in stack order, the first picture's first, the target frame's last.
std::array<PlaneMap, demoElementCount> DemoPlaneMaps();

// The frame point at position (x, y) of a width x height picture, in pixels from its top-left
// corner, y downwards: pixel (i, j) covers [i, i + 1) x [j, j + 1), its centre is (i + 0.5, j + 0.5).
std::complex<double> PixelFramePoint(double x, double y, int width, int height);
