#pragma once
// One key of the zoom timeline and the easing curve that decides when each element is reached.
//
// The curve u(t) gives the fraction of the total logarithmic zoom reached at normalised time t:
// a cubic ease-in up to t = 0.25 (u = 0.15), linear with slope 1.4 up to t = 0.75 (u = 0.85),
// and a cubic ease-out to t = 1; value and slope are continuous at both joints.
//
// Twins: timeForZoomFraction in web/player/timeline.js is this curve for the HTML5 player; the
// applet (applet/src/Zoom.java) reads the keys ready-made from the data file and needs none. The
// view along the keys has three copies, see ImageStack::ViewValuesAtTime.

struct Keyframe {
  float zoom = 1.0f;     // magnification at which the element fills the view
  float logZoom = 0.0f;  // ln(zoom)
  float x = 0.0f;        // view translation: minus the element's centre in the first picture's frame
  float y = 0.0f;
  float rotate = 0.0f;        // view rotation in degrees: minus the accumulated rotation
  float time = 0.0f;          // normalised time at which the element fills the view
  float logZoomSlope = 0.0f;  // d(logZoom)/d(time)
  float xSlope = 0.0f;
  float ySlope = 0.0f;
  float rotateSlope = 0.0f;
};

float EaseIn(float t);   // 3.2t^3 + 1.6t^2
float EaseOut(float t);  // 3.2t^3 - 11.2t^2 + 12.8t - 3.8

struct TimeAndSlope {
  float t;
  float slope;  // du/dt at t
};

// Inverse of the easing curve, by a fixed ten-step single-precision bisection on the cubic pieces.
TimeAndSlope TimeForZoomFraction(float u);

// The steady pace's "curve" is u = t: the time is the fraction itself (clamped to 0..1, not a
// number giving 0) and the slope 1 everywhere, the ends included.
TimeAndSlope SteadyTimeForZoomFraction(float u);
