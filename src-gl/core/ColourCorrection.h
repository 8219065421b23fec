#pragma once
// A picture's colour correction: a gain and an offset per channel (red, green, blue), applied to
// the picture's own encoded values in 0..1 as `gain * value + offset`, then clamped to 0..1.
// It is what the picture is drawn with, everywhere it is drawn (the editor, frames, the video,
// the HTML5 page): the whole zoom takes the first picture's tones, so the correction stored for
// a picture already includes its parents' (matching compares a child with its parent as the
// parent is drawn). A change of exposure is a gain in encoded values too (a power law keeps a
// product a product), which is why a gain and an offset carry most of the difference between
// two shots of one scene, and compose into one of the same kind.

#include <array>

struct ColourCorrection {
  std::array<float, 3> gain{1.0f, 1.0f, 1.0f};
  std::array<float, 3> offset{0.0f, 0.0f, 0.0f};

  bool IsIdentity() const { return gain == std::array<float, 3>{1.0f, 1.0f, 1.0f} && offset == std::array<float, 3>{}; }
  // The encoded value `v` (0..1) of channel `c`, corrected and clamped to 0..1.
  float Apply(int c, float v) const {
    const float out = gain[static_cast<size_t>(c)] * v + offset[static_cast<size_t>(c)];
    return out < 0.0f ? 0.0f : (out > 1.0f ? 1.0f : out);
  }
  // `this` applied after `first` (without the clamp between them).
  ColourCorrection After(const ColourCorrection& first) const {
    ColourCorrection r;
    for (size_t c = 0; c < 3; ++c) {
      r.gain[c] = gain[c] * first.gain[c];
      r.offset[c] = gain[c] * first.offset[c] + offset[c];
    }
    return r;
  }
  bool operator==(const ColourCorrection& o) const { return gain == o.gain && offset == o.offset; }
  bool operator!=(const ColourCorrection& o) const { return !(*this == o); }
};
