#pragma once
// From decoded pixels to what a texture is uploaded from: the faded border and the mipmap chain,
// built on worker threads so that the GL thread only uploads.

#include <vector>

#include "JpegDecode.h"

// Box-filters `picture` down so that its longer side is at most `maxSide` (halving with a 2 x 2
// box while that is still at least maxSide, then one area-weighted resampling to the exact size,
// aspect kept, truncated, at least 1 x 1). A picture already within `maxSide` is left alone.
void ReduceToFit(RgbaPicture& picture, int maxSide);

// Sets alpha for the faded border: 0 at the picture's edges rising linearly to 255 at a tenth of
// the shorter side. With d the distance of pixel (x, y) (x from the left, y from the TOP row of
// the picture) to the nearest edge, min(x, y, width - x, height - y), and t = 0.1 * min(width,
// height) in single precision: alpha = 255 when d >= t, else (d * 255) / t truncated. Rows are
// stored bottom-up, so the picture's top row y is stored in row height - 1 - y.
void ApplyEdgeFade(RgbaPicture& picture);

// The mipmap levels below `base`: each half the size of the one before (sides halved and
// truncated, at least 1), 2 x 2 box filter (edge texels repeated for odd sides), down to 1 x 1.
// Level 1 is element 0.
std::vector<RgbaPicture> BuildMipChain(const RgbaPicture& base);
