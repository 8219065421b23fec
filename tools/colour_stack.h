#pragma once
// Nested stacks whose pictures differ in tone by known amounts, for measuring the colour match:
// cut from one photograph like the alignment's stacks, but with no exposure or colour change of
// their own, then given a gain per channel each.

#include <array>
#include <random>
#include <vector>

#include "align_stack.h"

// A picture's change of tone: red, green and blue multiplied (saturating), as an exposure step
// or a white balance does to encoded values.
using ToneGains = std::array<double, 3>;

// `gains.size()` pictures of `photo` (the first of them picture 1), each with its gains applied,
// at the pixel sizes `minSide` to `maxSide`; exact placements. Empty when the photo is empty.
std::vector<AlignStackPicture> CutToneStack(const cv::Mat& photo, const std::vector<ToneGains>& gains,
                                            std::mt19937& random, int minSide = 800, int maxSide = 1200);

// Paints the part (x0, y0) .. (x1, y1) of `picture` (fractions of its width and height from its
// top left) white, as a blown-out highlight, and encodes it again. False on failure.
bool BlowOut(AlignStackPicture& picture, double x0, double y0, double x1, double y1);
