#pragma once
// A video frame that the pictures cover: how much closer than the fitted view each moment of the
// zoom is drawn, so that no background shows, however the view turns.

#include "VideoPlan.h"
#include "ViewGeometry.h"

class ImageStack;

// The least zoom (1 or more) about the view's centre at which the first picture covers the whole
// of `fitted` at time t. The first picture is the outermost one and is painted whole, so covering
// with it is covering with the pictures. 1 for an endless project (pictures lie around the first
// without end) and when the view's centre lies outside the first picture (no zoom about it helps).
double FillZoom(ImageStack& stack, double t, const ViewGeometry& fitted);

// The view frame t is drawn in: `fitted` itself (Fit) or brought closer by FillZoom (Fill).
ViewGeometry FrameView(ImageStack& stack, double t, const ViewGeometry& fitted, VideoFrame frame);
