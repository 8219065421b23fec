// Drawing the zoom at a time: which pictures can be seen, the levels they need, and painting them
// with as little overdraw as the depth buffer allows.

#include "Renderer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Imagestack.h"

namespace {

// Pictures ahead of the view whose levels are asked for before they are needed.
const int prefetchAhead = 3;

// Screen pixels inside the edge of a picture's opaque core that filtering may still blend with
// its faded band: a trilinear sample reaches about four pixels at any level of detail.
const double filterReachPixels = 6;

// Pictures smaller than this on screen (their longer side, in pixels) are painted whole at once.
const double minCorePixels = 64;

// An endless zoom has no first or last picture to end the walks: a loop that does not shrink (a
// picture placed in itself at its own size) would go on forever. Each walk stops after this many
// elements, far more than a zoom that shrinks at all shows at once.
const long long maxEndlessReach = 4096;

// Where the rectangle of half sides hx and hy about the centre of a frame placed in this one by
// the similarity `inner` lies, as the largest box with its proportions inside it, less `pad` at
// each side.
Box InscribedBox(const Affine& inner, double hx, double hy, double pad) {
  const double scale = inner.LengthScale();
  const double A = hx * scale - pad, B = hy * scale - pad;
  if (!(A > 0 && B > 0 && scale > 0)) return Box{};
  const double cosine = std::fabs(inner.a) / scale, sine = std::fabs(inner.b) / scale;
  const double f = std::min(A / (A * cosine + B * sine), B / (A * sine + B * cosine));
  return Box{inner.tx - f * A, inner.ty - f * B, inner.tx + f * A, inner.ty + f * B};
}

const Image& Picture(const ImageStack& stack, int j) { return *stack.images[static_cast<size_t>(j)]; }

}  // namespace

// The pictures of one frame of the zoom and where each lies in the view. Entry i is element
// `first + i` of the zoom: a picture's index there and back, a place along the endless sequence
// (which may be below 0 or beyond the last picture) when the project is endless.
struct Renderer::ZoomLayout {
  long long first = 0;
  std::vector<int> picture;    // the picture entry i shows
  std::vector<Affine> toView;  // entry i into view units
  int anchorPicture = 0;       // the picture the timeline placed the view relative to
  bool endless = false;
  bool covered = false;    // entry 0's opaque core covers the view
  std::vector<int> drawn;  // the entries drawn: all less those hidden by their successor's core
  double pixelsPerUnit = 0;
};

// How one frame is painted: the opaque cores first, into the depth buffer, then the faded bands.
struct Renderer::ZoomPaint {
  bool cores = false;           // cores are painted apart (there is a depth buffer to use)
  double layer = 0;             // the depth between the planes of two pictures drawn
  bool outermostWhole = false;  // the outermost picture drawn is painted whole, unblended
  std::vector<char> hasPixels;  // per picture drawn: it has a level to draw
  std::vector<Box> core;        // per picture drawn: the part painted first; empty: none
};

void Renderer::DrawZoom(ImageStack& stack, double t, const ViewGeometry& view, int direction) {
  picturesDrawn_ = 0;
  picturesWaiting_ = 0;
  Track(stack);
  LoadProjection(view);
  const Timeline& timeline = stack.CurrentTimeline();
  if (stack.pictureCount() < 1) return;
  const ZoomLayout layout = LayOutZoom(stack, timeline, t, view);
  RequestLevels(stack, layout, view, direction);
  ZoomPaint paint = BeginZoomPaint(layout, view);
  PaintCores(stack, layout, paint);
  BlendBands(stack, layout, paint);
  EndZoomPaint(paint);
  tones_.Stop();
  CheckDrawing();
}

std::vector<int> Renderer::SidesDrawn(ImageStack& stack, double t, const ViewGeometry& view) {
  std::vector<int> sides(static_cast<size_t>(std::max(0, stack.pictureCount())), 0);
  const Timeline& timeline = stack.CurrentTimeline();
  if (sides.empty()) return sides;
  const ZoomLayout layout = LayOutZoom(stack, timeline, t, view);
  for (int i : layout.drawn) {
    const double wanted = layout.toView[static_cast<size_t>(i)].LengthScale() * layout.pixelsPerUnit;
    int& side = sides[static_cast<size_t>(layout.picture[static_cast<size_t>(i)])];
    // As the texture cache rounds it (a picture drawn several times: its largest copy).
    if (std::isfinite(wanted)) side = std::max(side, static_cast<int>(std::min(std::ceil(wanted), 1e9)));
  }
  return sides;
}

NeededSides Renderer::FrameSides(const ImageStack& stack, const PlaySettings& play, double t, int width, int height) {
  auto scratch = std::make_shared<ImageStack>();
  for (const std::unique_ptr<Image>& element : stack.images) {
    auto copy = std::make_unique<Image>();
    copy->transform = element->transform;
    copy->width = element->width;
    copy->height = element->height;
    scratch->images.push_back(std::move(copy));
  }
  scratch->duration = stack.duration;
  scratch->playSettings = play;
  return [scratch, t, width, height](const std::vector<PictureInfo>& headers) {
    ImageStack& frame = *scratch;
    if (frame.pictureCount() < 1 || headers.size() != static_cast<size_t>(frame.pictureCount()))
      return std::vector<int>();
    for (size_t i = 0; i < headers.size(); ++i) {
      Image& picture = *frame.images[i];
      // A picture whose header cannot be read will be the placeholder.
      picture.loaded = headers[i].width > 0 && headers[i].height > 0;
      picture.width = picture.loaded ? headers[i].width : placeholderWidth;
      picture.height = picture.loaded ? headers[i].height : placeholderHeight;
    }
    frame.FitTargetFrame();
    frame.dirty = true;
    const Image& first = *frame.images[0];
    return SidesDrawn(frame, t, ViewGeometry::Fitted(width, height, first.width, first.height));
  };
}

// Each picture relative to the view, composed from the anchor both ways. Inward, a picture
// smaller than a pixel (its area on screen) ends the walk; outward, a picture whose opaque core
// covers the view hides everything outside it. A picture is hidden when its successor's opaque
// core covers the view. An endless zoom walks on across the seam both ways: after the last
// picture comes the first again (placed by the target frame), before the first the last.
Renderer::ZoomLayout Renderer::LayOutZoom(const ImageStack& stack, const Timeline& timeline, double t,
                                          const ViewGeometry& view) {
  const int pictures = stack.pictureCount();
  ZoomLayout layout;
  layout.pixelsPerUnit = view.PixelsPerUnit();
  layout.endless = timeline.Endless();
  const bool endless = layout.endless;
  const RelativeView relative = timeline.ViewAt(t);
  const int anchor = std::min(relative.anchor, pictures - 1);
  layout.anchorPicture = anchor;
  // Element k's placement in element k - 1, and the picture it shows.
  const auto placement = [&](long long k) -> const Affine& {
    return endless ? timeline.PlacementOf(k) : timeline.Placement(static_cast<int>(k));
  };
  const auto pictureOf = [&](long long k) { return endless ? timeline.PictureOf(k) : static_cast<int>(k); };
  const auto covers = [&](int j, const Affine& m) { return Picture(stack, j).CoversView(m, view); };

  // Inward: entries anchor, anchor + 1, ...
  std::vector<Affine> inner{relative.toView};
  std::vector<int> innerPicture{anchor};
  for (long long k = anchor + 1; endless ? k - anchor <= maxEndlessReach : k < pictures; ++k) {
    const Affine m = inner.back() * placement(k);
    const int j = pictureOf(k);
    const double side = m.LengthScale() * layout.pixelsPerUnit;  // the longer side in pixels
    const Extents e = ElementExtents(Picture(stack, j).width, Picture(stack, j).height);
    if (!m.IsFinite() || side * side * e.ex * e.ey < 1.0) break;
    inner.push_back(m);
    innerPicture.push_back(j);
  }

  // The innermost whose core covers the view hides what lies outside it; else outward from the
  // anchor until one does (or the first picture, there and back, is reached).
  size_t start = 0;
  bool covered = false;
  for (size_t i = inner.size(); i-- > 0 && !covered;)
    if (covers(innerPicture[i], inner[i])) {
      start = i;
      covered = true;
    }
  long long first = anchor + static_cast<long long>(start);
  std::vector<Affine> outer;  // entries first - 1, first - 2, ...
  std::vector<int> outerPicture;
  Affine outermost = inner[start];
  while (!covered && (endless ? anchor - first < maxEndlessReach : first > 0)) {
    const Affine m = outermost * placement(first).Inverse();
    if (!m.IsFinite()) break;
    --first;
    outer.push_back(m);
    outerPicture.push_back(pictureOf(first));
    outermost = m;
    covered = covers(outerPicture.back(), m);
  }

  layout.first = first;
  layout.toView.assign(outer.rbegin(), outer.rend());
  layout.toView.insert(layout.toView.end(), inner.begin() + static_cast<std::ptrdiff_t>(start), inner.end());
  layout.picture.assign(outerPicture.rbegin(), outerPicture.rend());
  layout.picture.insert(layout.picture.end(), innerPicture.begin() + static_cast<std::ptrdiff_t>(start),
                        innerPicture.end());
  const int entries = static_cast<int>(layout.toView.size());
  for (int i = 0; i < entries; ++i)
    if (!(i + 1 < entries &&
          covers(layout.picture[static_cast<size_t>(i + 1)], layout.toView[static_cast<size_t>(i + 1)])))
      layout.drawn.push_back(i);
  layout.covered = covered;
  return layout;
}

// The levels the pictures drawn need now; then either waiting for them (offscreen drawing) or
// asking ahead for the pictures the zoom reaches next, at the size at which they will fill the view.
void Renderer::RequestLevels(const ImageStack& stack, const ZoomLayout& layout, const ViewGeometry& view,
                             int direction) {
  for (int i : layout.drawn)
    cache_.Use(Picture(stack, layout.picture[static_cast<size_t>(i)]),
               layout.toView[static_cast<size_t>(i)].LengthScale() * layout.pixelsPerUnit, true);
  if (waitForLevels_) {
    cache_.WaitForUrgent();
    return;
  }
  const int pictures = stack.pictureCount();
  const double fill = std::max(view.width, view.height);
  for (int k = 1; k <= prefetchAhead; ++k) {
    int j = direction >= 0 ? layout.anchorPicture + k : layout.anchorPicture - k;
    // Across the seam the zoom goes on with the first picture (inward) or the last (outward).
    if (layout.endless) j = ((j % pictures) + pictures) % pictures;
    if (j >= 0 && j < pictures) cache_.Prefetch(Picture(stack, j), fill);
  }
}

// Overdraw: painting every picture whole, outermost first, paints most pixels several times.
// Instead the opaque core of each picture is painted first, innermost first, into the depth
// buffer as well (picture k of those drawn in the plane (k + 1) / (n + 1), inner pictures
// nearer), so no pixel of a core is painted twice; then the rest of each picture (its faded
// band) is blended, outermost first, just behind its own core, wherever no core nearer than it
// was painted. The core is painted short of the faded band by the reach of texture filtering,
// so the frame is the one that painting every picture whole gives.
Renderer::ZoomPaint Renderer::BeginZoomPaint(const ZoomLayout& layout, const ViewGeometry& view) const {
  const size_t n = layout.drawn.size();
  GLint depthBits = 0;
  if (reduceOverdraw_ && n >= 2) glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  ZoomPaint paint;
  paint.cores = depthBits > 0;
  paint.layer = 1.0 / static_cast<double>(n + 1);
  if (paint.cores) {
    // Only the view's part of the framebuffer (an offscreen target may be larger).
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, view.width, view.height);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
  }
  glColor4f(1, 1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  // The texture unit's bias, so it holds for every picture's texture (undone in EndZoomPaint).
  glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, static_cast<GLfloat>(lodBias_));
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_BLEND);
  // The outermost picture drawn is either the first picture (there and back), which has nothing
  // behind it, or
  // one whose opaque core covers the view: it is painted whole, without blending. A picture
  // still being checked has no pixels yet: it is left out until it has.
  paint.outermostWhole = (!layout.endless && layout.first + layout.drawn[0] == 0) || layout.covered;
  paint.hasPixels.assign(n, 0);
  paint.core.assign(n, Box{});
  return paint;
}

// The first pass, innermost first, unblended: each picture's core (the outermost picture whole
// when it may be), less where the next picture's core was painted.
void Renderer::PaintCores(const ImageStack& stack, const ZoomLayout& layout, ZoomPaint& paint) {
  const size_t n = layout.drawn.size();
  for (size_t k = n; k-- > 0;) {
    const Image& image = Picture(stack, layout.picture[static_cast<size_t>(layout.drawn[k])]);
    const Affine& m = layout.toView[static_cast<size_t>(layout.drawn[k])];
    const double pixels = m.LengthScale() * layout.pixelsPerUnit;  // screen pixels per unit of the picture
    const TextureLevel* level = cache_.Use(image, pixels, true);
    if (!level) continue;
    paint.hasPixels[k] = 1;
    const Extents e = ElementExtents(image.width, image.height);
    Box part;
    if (k == 0 && paint.outermostWhole) {
      part = Box::Whole(e);
    } else {
      // A small picture saves fewer pixels than its second drawing costs: it is painted whole.
      if (!paint.cores || pixels < minCorePixels || level->width <= 0) continue;
      const double texels = level->width / static_cast<double>(e.ex);  // per unit
      const double margin = std::max(filterReachPixels / pixels, 2.0 / texels);
      double hx, hy;
      image.OpaqueCore(hx, hy);
      if (hx <= margin || hy <= margin) continue;
      paint.core[k] = Box{-(hx - margin), -(hy - margin), hx - margin, hy - margin};
      part = paint.core[k];
    }
    // Where the next picture's core was painted, this one is not even drawn (less two pixels, so
    // that no pixel is left between them).
    Box hole;
    if (k + 1 < n && !paint.core[k + 1].Empty()) {
      const Affine next = m.Inverse() * layout.toView[static_cast<size_t>(layout.drawn[k + 1])];
      hole = InscribedBox(next, paint.core[k + 1].x1, paint.core[k + 1].y1, 2.0 / pixels);
    }
    glBindTexture(GL_TEXTURE_2D, level->id);
    tones_.Use(image.colour);
    DrawRing(m, part, hole, e, static_cast<double>(k + 1) * paint.layer);
  }
}

// The second pass, outermost first, blended: the rest of each picture just behind its own core;
// counts the pictures drawn and those still waiting for pixels.
void Renderer::BlendBands(const ImageStack& stack, const ZoomLayout& layout, const ZoomPaint& paint) {
  if (paint.cores) glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  for (size_t k = 0; k < layout.drawn.size(); ++k) {
    if (!paint.hasPixels[k]) {
      ++picturesWaiting_;
      continue;
    }
    ++picturesDrawn_;
    if (k == 0 && paint.outermostWhole) continue;
    const Image& image = Picture(stack, layout.picture[static_cast<size_t>(layout.drawn[k])]);
    const Affine& m = layout.toView[static_cast<size_t>(layout.drawn[k])];
    BindPicture(image, m.LengthScale() * layout.pixelsPerUnit, true);
    tones_.Use(image.colour);
    const Extents e = ElementExtents(image.width, image.height);
    const double z = (static_cast<double>(k + 1) - 0.25) * paint.layer;
    DrawRing(m, Box::Whole(e), paint.core[k], e, z);
  }
}

void Renderer::EndZoomPaint(const ZoomPaint& paint) {
  glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, 0);
  if (paint.cores) {
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
  }
}
