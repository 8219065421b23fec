#pragma once
// The zoom through time, for drawing: the same keys and Hermite curves as the keyframe table,
// but held relative to each element in double precision, so that a zoom of any depth (2^1000 and
// beyond) is evaluated as precisely at its end as at its start.
//
// An endless timeline repeats one pass forever: element k of the endless sequence (any integer)
// is picture k mod N of the N pictures, and the first picture of each pass lies in the last
// picture of the pass before by the target frame's placement. Times beyond 0..1 are later (or
// earlier) passes; since every view is relative to an element of its own pass, pass 1000 is as
// precise as pass 0.
//
// Units: an element's "local" values use the element's own size as the unit and the first
// picture's orientation; the view is in view units, where the first picture at time 0 spans at
// most -0.5..0.5 (the projection then fits it into the window).
//
// Twin: Timeline in web/player/timeline.js; the applet draws from the keyframe table only
// (Zoom.viewAt in applet/src/Zoom.java).

#include <cstddef>
#include <vector>

#include "Affine.h"
#include "PlaySettings.h"
#include "Transform.h"

struct RelativeView {
  int anchor = 0;  // the element whose key begins the segment that holds the time (0..N-1 when endless)
  Affine toView;   // the anchor's frame into view units
};

class Timeline {
 public:
  // From the placements of every element of the stack, pictures then target frame: element i's
  // in element i - 1 (element 0's is not used).
  // Key times follow `settings`' effective pace: eased, the keyframe table's curve (in single
  // precision, so both give the same times); steady, each element's share of the total
  // logarithmic zoom.
  void Build(const std::vector<Transform>& placements, const PlaySettings& settings = {});
  int count() const { return static_cast<int>(keys_.size()); }
  const PlaySettings& settings() const { return settings_; }
  // Endless and with at least one picture.
  bool Endless() const { return settings_.play == PlayMode::Endless && count() >= 2; }

  // The view at normalised time t, relative to an element near it: 0..1 there and back (t is
  // not clamped); any t when endless, where t and t + 1 give the same view.
  RelativeView ViewAt(double t) const;

  // Element i's placement in element i - 1 (element 0's is the identity: it is never applied).
  const Affine& Placement(int i) const { return keys_[static_cast<size_t>(i)].placement; }
  double KeyTime(int i) const { return keys_[static_cast<size_t>(i)].time; }

  // Along the endless sequence (see above): the picture element k shows, and its placement in
  // element k - 1 (the target frame's when k is a multiple of N). Need Endless().
  int PictureOf(long long k) const;
  const Affine& PlacementOf(long long k) const;

 private:
  struct Key {
    Affine placement;
    double time = 0;
    double logZoom = 0;  // sum of -ln(scale) of elements 1..i
    double logZoomSlope = 0;
    double rotate = 0;  // view rotation in degrees: minus the sum of rotations
    double rotateSlope = 0;
    double scale = 1;               // this element's own scale in its parent
    double nextX = 0, nextY = 0;    // the next element's centre, local
    double slopeX = 0, slopeY = 0;  // d(view translation)/dt, local
  };
  void JoinSeam();
  std::vector<Key> keys_;
  PlaySettings settings_;
};
