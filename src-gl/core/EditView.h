#pragma once
// The alignment view's own state and sizes: its zoom and pan (a Transform whose `rotate` is not
// used), the handles drawn at a constant size on screen, and the mouse steps that pan and zoom.

#include "Transform.h"
#include "ViewGeometry.h"

class ImageStack;

// Handles are squares of this many logical pixels (times the view's pixel ratio in framebuffer
// pixels), centred on their point, at any zoom.
constexpr int handleSize = 16;
// A press is on a handle when strictly closer than this to its centre (logical pixels).
constexpr double handleHitRadius = 8.0;
// The faded border: alpha rises from 0 at a picture's edge to 1 at this fraction of its shorter
// side; the opaque core lies inside it.
constexpr float fadeBand = 0.1f;
// The edit view zooms by this factor per pixel of a right-button drag.
constexpr double zoomPerPixel = 1.005;

// The edit view starts unzoomed and centred: scale 1, translation 0; `rotate` is left alone.
void ResetView(Transform& viewTransform);

// The mouse in the selected picture's frame under the edit view transform alone.
void WindowToView(const ViewGeometry& geometry, const Transform& viewTransform, double X, double Y, double& x,
                  double& y);

enum class DragMode { Pan, Move, Scale, Rotate };

// What a press at (X, Y) will drag: the scale handle, then the rotation handle, then the inside
// of the child; elsewhere (or without a stack) the view is panned.
DragMode ChooseDrag(const ImageStack* stack, const ViewGeometry& geometry, double X, double Y, int i,
                    const Transform& viewTransform);

// Pan the edit view by the mouse's movement in the selected picture's frame.
void PanView(const ViewGeometry& geometry, Transform& viewTransform, double X0, double Y0, double X1, double Y1);
// Zoom the edit view by `zoomPerPixel` per pixel: right or down enlarges, left or up shrinks.
void ZoomView(Transform& viewTransform, double X0, double Y0, double X1, double Y1);
// Zoom the edit view by `factor` about the window point (X, Y), which keeps showing the same point
// of the picture (the wheel).
void ZoomViewAbout(const ViewGeometry& geometry, Transform& viewTransform, double X, double Y, double factor);
