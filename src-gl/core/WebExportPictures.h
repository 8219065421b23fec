#pragma once
// The pictures the web export writes that are not the user's files as they are: reduced copies,
// and the applet's JPEG copies of other kinds and of corrected pictures.

#include <string>

#include "ColourCorrection.h"

class Image;

// The quality of every JPEG the export makes.
constexpr int jpegQuality = 90;

// The picture decoded and encoded as JPEG (quality 90) at w x h, drawn with `colour`. Shows its
// message on failure.
bool EncodedJpeg(const Image& picture, int w, int h, std::string& jpeg, const ColourCorrection& colour = {});
