#pragma once
// Nested stacks cut from one photograph with exactly known placements, for measuring automatic
// alignment: each picture is a region of the one before it at a chosen scale, offset and angle,
// resampled from the photograph as a camera would have seen it (its own size), then made a
// little unlike its parent (exposure, colour, noise) and re-encoded as JPEG.

#include <opencv2/core.hpp>
#include <random>
#include <string>
#include <vector>

#include "Transform.h"

struct AlignStackOptions {
  int pictures = 3;
  double minScale = 0.2, maxScale = 0.8;   // each child's longer side in its parent's longer sides
  double minRotate = -20, maxRotate = 20;  // degrees
  int minSide = 800, maxSide = 2000;       // each picture's longer side, in pixels
  int minQuality = 75, maxQuality = 95;    // JPEG quality
  double maxExposure = 0.3;                // brightness changes by up to this fraction either way
  double colourCast = 0.03;                // each channel's gain varies by up to this fraction more
  double noise = 2.0;                      // standard deviation of the added noise, in levels of 255
  double aspect = 0;                       // every picture's height / width; 0: one of the usual, at random
};

struct AlignStackPicture {
  std::vector<uchar> jpeg;  // the encoded picture
  int width = 0, height = 0;
  Transform placement;    // exact, in its parent (the first picture's is the identity)
  double exactScale = 1;  // the same placement in double precision
  double exactRotate = 0;
  double exactX = 0, exactY = 0;
};

// Cuts `options.pictures` pictures from `photo` (8-bit, BGR or grey). The first covers most of
// the photograph.
std::vector<AlignStackPicture> CutAlignStack(const cv::Mat& photo, const AlignStackOptions& options,
                                             std::mt19937& random);

// The photograph at `path` (any format OpenCV reads), empty when it cannot be read.
cv::Mat ReadPhoto(const std::string& path);

// Writes the pictures as NAME_1.jpg .. NAME_n.jpg and the project NAME.kx into `directory`, the
// placements in the project either exact or all reset. False when anything could not be written.
bool WriteAlignStack(const std::vector<AlignStackPicture>& pictures, const std::string& directory,
                     const std::string& name, bool resetPlacements);

// The largest distance, in the parent's pixels, between the child's corners placed exactly and
// placed by `found`.
double CornerError(int parentWidth, int parentHeight, const AlignStackPicture& child, const Transform& found);
