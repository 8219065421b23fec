#pragma once
// Rendering the demo pictures: the Mandelbrot set with smooth colouring, and JPEG encoding.
//
// The colour of a sample depends on its complex number alone (one iteration limit, one palette
// for every picture), so a child picture agrees with the part of its parent it covers. Results
// do not depend on the number of threads or their timing: each pixel is computed on its own.

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "demo_placements.h"

// Iterations after which a point counts as inside the set. The deep levels escape within a few
// thousand; mostly points at the rims of the black discs of the first pictures run that long.
constexpr int demoMaxIterations = 6000;

// The normalised iteration count of c: a continuous value that grows towards the set's
// boundary, or a negative value for points taken to be inside the set.
double SmoothEscape(std::complex<double> c);

struct Rgb {
  uint8_t r, g, b;
};

// The palette colour of a SmoothEscape value; black inside the set.
Rgb EscapeColour(double escape);

// A width x height picture of the plane region `map`, RGB, top row first, every pixel the mean
// of samplesPerSide x samplesPerSide samples spread evenly over it. Runs on all cores.
std::vector<uint8_t> RenderPicture(const PlaneMap& map, int width, int height, int samplesPerSide);

// Encodes RGB rows (top first) as a baseline JPEG without chroma subsampling. False with a
// reason in `error` when libjpeg fails.
bool EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality, std::vector<uint8_t>& jpeg,
                std::string& error);
