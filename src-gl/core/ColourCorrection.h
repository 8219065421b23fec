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

// Where the lift that keeps the file's white white begins (see ColourCorrection::Apply): some
// 245 of 255, so that it reaches little beyond what may be clipped (250 and above, as the colour
// match takes it) while JPEG's ripples in a blown highlight (253 and 254) still come out near white.
constexpr float whiteKnee = 0.96f;

struct ColourCorrection {
  std::array<float, 3> gain{1.0f, 1.0f, 1.0f};
  std::array<float, 3> offset{0.0f, 0.0f, 0.0f};

  bool IsIdentity() const { return gain == std::array<float, 3>{1.0f, 1.0f, 1.0f} && offset == std::array<float, 3>{}; }
  // The encoded value `v` (0..1) of channel `c`, corrected and clamped to 0..1.
  //
  // A correction that would draw the file's white below white lifts the top of the range by
  // what white lacks, from nothing at `whiteKnee` to all of it at white, along a smoothstep (the
  // slope is the gain's at both ends, so no step or kink shows): a channel the file has clipped
  // stays white, as a blown highlight whose true value lies above what the file could hold.
  // Every drawing of a correction (the shaders, the page's tables, the applet's copies) does the
  // same. Black gets no such care: a positive offset is the parent's haze or flare, which its
  // shadows show as well.
  float Apply(int c, float v) const {
    const size_t u = static_cast<size_t>(c);
    float out = gain[u] * v + offset[u];
    if (Lifts(c, v)) {
      const float t = v >= 1.0f ? 1.0f : (v - whiteKnee) / (1.0f - whiteKnee);
      out += (1.0f - (gain[u] + offset[u])) * t * t * (3.0f - 2.0f * t);
    }
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
  // Whether channel `c` of the file's value `v` is drawn lifted towards white (see Apply).
  bool Lifts(int c, float v) const {
    return v > whiteKnee && gain[static_cast<size_t>(c)] + offset[static_cast<size_t>(c)] < 1.0f;
  }
  bool operator==(const ColourCorrection& o) const { return gain == o.gain && offset == o.offset; }
  bool operator!=(const ColourCorrection& o) const { return !(*this == o); }
};
