#pragma once
// Finding where a picture lies inside its parent from the two pictures themselves: scale-invariant
// features on reduced copies and a robust similarity fit give a first placement, which an
// intensity refinement (correlation, so indifferent to exposure) carries to a fraction of a
// pixel where the child's detail is. The answer is judged; a doubtful one is "no match", never a
// wild placement.

#include <QImage>
#include <atomic>
#include <string>

#include "Transform.h"

class Image;

// A picture to align: its JPEG file, decoded at the size each stage needs, or pixels held in
// memory (pictures made by generators and tests).
struct AlignSource {
  std::string path;  // empty: `pixels`
  QImage pixels;
  int width = 0;  // full size in pixels
  int height = 0;

  // The element's file, or its in-memory picture. A picture that did not load gives a source
  // with no size, which aligns to AlignStatus::Unreadable.
  static AlignSource Of(const Image& image);
};

enum class AlignStatus {
  Aligned,
  NoMatch,     // no reliable match: the placement must stay as it was
  Unreadable,  // a picture could not be decoded
  TooSmall,    // a picture is too small to align (under 32 pixels on a side)
  Cancelled,
};

// "aligned", "no reliable match", ...
const char* AlignStatusText(AlignStatus status);

enum class AlignFeatures { Sift, Akaze };

struct AlignOptions {
  AlignFeatures features = AlignFeatures::Sift;
  // Below this confidence the answer is "no reliable match".
  double minConfidence = 0.5;
  // The features' placements at this length scale or larger are not taken up. An endless seam
  // sets it: a picture that holds itself also matches itself whole, which leads nowhere.
  double maxScale = 100;
};

struct AlignResult {
  AlignStatus status = AlignStatus::NoMatch;
  // The child's frame in the parent's frame (Transform.h); meaningful only when Aligned.
  Transform transform;
  double confidence = 0;   // 0 .. 1, from the agreeing features and the refined correlation
  double correlation = 0;  // of the two pictures' intensities where they overlap, after refinement
  int matches = 0;         // features that agree with the placement (0 when refined from the hint alone)
  // How far the pictures still disagree, in parent pixels: the median of the local shifts
  // measured between the placed child and the parent, cell by cell where there is texture.
  double residual = 0;
  bool fromHint = false;  // the hint was close enough for the refinement alone
  const char* why = "";   // for anything but Aligned: what failed, in a few words
};

// Places `child` inside `parent`. With a `hint` (the child's current placement, when the user
// has put it roughly in place), the refinement starts from it and the features are consulted
// only when that fails. `cancel` is polled between stages.
AlignResult AlignPictures(const AlignSource& parent, const AlignSource& child, const Transform* hint = nullptr,
                          const std::atomic<bool>* cancel = nullptr, const AlignOptions& options = {});
