#pragma once
// The zoom through time, for drawing: the same keys and Hermite curves as the keyframe table,
// but held relative to each element in double precision, so that a zoom of any depth (2^1000 and
// beyond) is evaluated as precisely at its end as at its start.
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
#include "Transform.h"

struct RelativeView {
  int anchor = 0;  // the element whose key begins the segment that holds the time
  Affine toView;   // the anchor's frame into view units
};

class Timeline {
 public:
  // From the placements of every element of the stack, pictures then target frame: element i's
  // in element i - 1 (element 0's is not used).
  void Build(const std::vector<Transform>& placements);
  int count() const { return static_cast<int>(keys_.size()); }

  // The view at normalised time t (0..1), relative to an element near it.
  RelativeView ViewAt(double t) const;

  // Element i's placement in element i - 1 (element 0's is the identity: it is never applied).
  const Affine& Placement(int i) const { return keys_[static_cast<size_t>(i)].placement; }
  double KeyTime(int i) const { return keys_[static_cast<size_t>(i)].time; }

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
  std::vector<Key> keys_;
};
