#include "Renderer.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include "EditView.h"
#include "Imagestack.h"

namespace {

// Pictures ahead of the view whose levels are asked for before they are needed.
const int prefetchAhead = 3;

int GlTextureLimit() {
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  return limit > 0 ? limit : 1024;
}

GLuint SpriteTexture(const QImage& sprite) {
  if (sprite.isNull()) return 0;
  const QImage argb = sprite.convertToFormat(QImage::Format_ARGB32);
  const int w = argb.width(), h = argb.height();
  std::vector<uint8_t> texels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  for (int y = 0; y < h; ++y) {
    const QRgb* from = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    uint8_t* to = texels.data() + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) * 4;
    for (int x = 0; x < w; ++x, to += 4) {
      to[0] = static_cast<uint8_t>(qRed(from[x]));
      to[1] = static_cast<uint8_t>(qGreen(from[x]));
      to[2] = static_cast<uint8_t>(qBlue(from[x]));
      to[3] = static_cast<uint8_t>(qAlpha(from[x]));
    }
  }
  GLuint id = NewTexture(GL_NEAREST, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &id);
    return 0;
  }
  return id;
}

// `toView` in the plane z (nearer for larger z).
void LoadMatrix(const Affine& toView, double z = 0) {
  double m[16];
  toView.ToColumnMajor(m);
  m[14] = z;
  glLoadMatrixd(m);
}

// Screen pixels inside the edge of a picture's opaque core that filtering may still blend with
// its faded band: a trilinear sample reaches about four pixels at any level of detail.
const double filterReachPixels = 6;

// Pictures smaller than this on screen (their longer side, in pixels) are painted whole at once.
const double minCorePixels = 64;

// A point of a picture of extents `e`, with its texture coordinates.
void TexturedVertex(double x, double y, const Extents& e) {
  glTexCoord2d(0.5 + x / e.ex, 0.5 + y / e.ey);
  glVertex2d(x, y);
}

// The box's corners in turn.
void Corner(const Box& box, int i, double& x, double& y) {
  x = (i % 4 < 2) ? box.x0 : box.x1;
  y = (i % 4 == 1 || i % 4 == 2) ? box.y1 : box.y0;
}

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

// Textures come and go in blocks of megabytes, and a software renderer keeps them in the heap.
// glibc raises its threshold for mapping a block on its own as such blocks are freed, after
// which they are carved from the heap, fragment it and are never given back: a playback of a long
// zoom then holds twice its texture budget. Blocks of 1 MiB and more are mapped on their own
// (and returned when freed) for the rest of the process.
void ReturnLargeBlocksWhenFreed() {
  static const bool once = [] { return mallopt(M_MMAP_THRESHOLD, 1 << 20) == 1; }();
  (void)once;
}

}  // namespace

size_t DefaultTextureBudget() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  const size_t oneGiB = size_t(1) << 30;
  if (pages <= 0 || pageSize <= 0) return oneGiB;
  return std::min(oneGiB, static_cast<size_t>(pages) * static_cast<size_t>(pageSize) / 4);
}

Renderer::Renderer(const RendererOptions& options)
    : waitForLevels_(options.waitForLevels),
      reduceOverdraw_(options.reduceOverdraw),
      cache_(
          options.textureBudget > 0 ? options.textureBudget : DefaultTextureBudget(),
          options.textureLimit > 0 ? options.textureLimit : GlTextureLimit(),
          options.workers > 0 ? options.workers : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))),
      handleTexture_(SpriteTexture(options.handleSprite)) {
  ReturnLargeBlocksWhenFreed();
}

Renderer::~Renderer() {
  cache_.Release();
  if (handleTexture_ != 0) glDeleteTextures(1, &handleTexture_);
}

void Renderer::SetViewGlState() {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
}

void Renderer::LoadProjection(const ViewGeometry& view) {
  glViewport(0, 0, view.width, view.height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-view.span.halfWidth, view.span.halfWidth, -view.span.halfHeight, view.span.halfHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

std::string Renderer::TakeMessage() {
  std::string message = cache_.TakeMessage();
  if (!drawMessage_.empty()) message += (message.empty() ? "" : "\n\n") + std::exchange(drawMessage_, std::string());
  return message;
}

// Drawing itself can run out of memory (the software renderer's scene, a driver's buffers).
void Renderer::CheckDrawing() {
  bool outOfMemory = false;
  for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
    if (error == GL_OUT_OF_MEMORY) outOfMemory = true;
  if (outOfMemory && !reportedDrawing_) {
    reportedDrawing_ = true;
    drawMessage_ = "The graphics system ran out of memory while drawing the view; parts of it may be missing.";
  }
}

void Renderer::SetTextureLimit(int limit) { cache_.SetTextureLimit(limit > 0 ? limit : GlTextureLimit()); }

bool Renderer::ExceedsLimit(const ImageStack& stack) const {
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const Image& picture = *stack.images[static_cast<size_t>(i)];
    if (picture.width > TextureLimit() || picture.height > TextureLimit()) return true;
  }
  return false;
}

// A new frame; when the pictures changed, the textures of those that left go.
void Renderer::Track(const ImageStack& stack) {
  cache_.BeginFrame();
  if (&stack != lastStack_ || stack.images.size() != lastCount_) {
    std::vector<const Image*> alive;
    for (const auto& image : stack.images) alive.push_back(image.get());
    cache_.Retain(alive);
    lastStack_ = &stack;
    lastCount_ = stack.images.size();
  }
}

const TextureLevel* Renderer::BindPicture(const Image& image, double sidePixels, bool urgent) {
  const TextureLevel* level = cache_.Use(image, sidePixels, urgent);
  if (level) glBindTexture(GL_TEXTURE_2D, level->id);
  return level;
}

// The part `box` of a picture of extents `e`, the texture mapped as on the whole picture, in the
// plane z.
void Renderer::DrawRectangle(const Affine& toView, const Box& box, const Extents& e, double z) {
  LoadMatrix(toView, z);
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    double x, y;
    Corner(box, i, x, y);
    TexturedVertex(x, y, e);
  }
  glEnd();
}

// The part `outer` less the part `inner` (clipped to `outer`): one strip of triangles around it,
// whose edges meet exactly (no pixel painted twice, none left out).
void Renderer::DrawRing(const Affine& toView, const Box& outer, Box inner, const Extents& e, double z) {
  inner = inner.ClippedTo(outer);
  if (inner.Empty()) {
    DrawRectangle(toView, outer, e, z);
    return;
  }
  LoadMatrix(toView, z);
  glBegin(GL_TRIANGLE_STRIP);
  for (int i = 0; i <= 4; ++i) {
    double x, y;
    Corner(outer, i, x, y);
    TexturedVertex(x, y, e);
    Corner(inner, i, x, y);
    TexturedVertex(x, y, e);
  }
  glEnd();
}

void Renderer::DrawQuad(const Image& image, const Affine& toView) {
  DrawRectangle(toView, Box::Whole(ElementExtents(image.width, image.height)),
                ElementExtents(image.width, image.height), 0);
}

void Renderer::DrawZoom(ImageStack& stack, double t, const ViewGeometry& view, int direction) {
  picturesDrawn_ = 0;
  picturesWaiting_ = 0;
  Track(stack);
  LoadProjection(view);
  const Timeline& timeline = stack.CurrentTimeline();
  const int pictures = stack.pictureCount();
  if (pictures < 1) return;
  const double pixelsPerUnit = view.PixelsPerUnit();
  const RelativeView relative = timeline.ViewAt(t);
  const int anchor = std::min(relative.anchor, pictures - 1);
  auto picture = [&](int j) -> const Image& { return *stack.images[static_cast<size_t>(j)]; };

  // Each picture relative to the view, composed from the anchor both ways. Inward, a picture
  // smaller than a pixel (its area on screen) ends the walk; outward, a picture whose opaque core
  // covers the view hides everything outside it.
  std::vector<Affine> toView(static_cast<size_t>(pictures));
  toView[static_cast<size_t>(anchor)] = relative.toView;
  int last = anchor;
  for (int j = anchor + 1; j < pictures; ++j) {
    const Affine m = toView[static_cast<size_t>(j - 1)] * timeline.Placement(j);
    const double side = m.LengthScale() * pixelsPerUnit;  // the longer side in pixels
    const Extents e = ElementExtents(picture(j).width, picture(j).height);
    if (!m.IsFinite() || side * side * e.ex * e.ey < 1.0) break;
    toView[static_cast<size_t>(j)] = m;
    last = j;
  }
  int first = anchor;
  bool covered = false;
  for (int j = last; j >= anchor && !covered; --j)
    if (picture(j).CoversView(toView[static_cast<size_t>(j)], view)) {
      first = j;
      covered = true;
    }
  while (!covered && first > 0) {
    const Affine m = toView[static_cast<size_t>(first)] * timeline.Placement(first).Inverse();
    if (!m.IsFinite()) break;
    toView[static_cast<size_t>(first - 1)] = m;
    --first;
    covered = picture(first).CoversView(toView[static_cast<size_t>(first)], view);
  }

  // A picture is hidden when its successor's opaque core covers the view.
  std::vector<int> drawn;
  for (int j = first; j <= last; ++j)
    if (!(j + 1 <= last && picture(j + 1).CoversView(toView[static_cast<size_t>(j + 1)], view))) drawn.push_back(j);
  for (int j : drawn) cache_.Use(picture(j), toView[static_cast<size_t>(j)].LengthScale() * pixelsPerUnit, true);
  if (waitForLevels_) {
    cache_.WaitForUrgent();
  } else {
    // The pictures the zoom reaches next, at the size at which they will fill the view.
    const double fill = std::max(view.width, view.height);
    for (int k = 1; k <= prefetchAhead; ++k) {
      const int j = direction >= 0 ? anchor + k : anchor - k;
      if (j >= 0 && j < pictures) cache_.Prefetch(picture(j), fill);
    }
  }

  // Overdraw: painting every picture whole, outermost first, paints most pixels several times.
  // Instead the opaque core of each picture is painted first, innermost first, into the depth
  // buffer as well (picture k of those drawn in the plane (k + 1) / (n + 1), inner pictures
  // nearer), so no pixel of a core is painted twice; then the rest of each picture (its faded
  // band) is blended, outermost first, just behind its own core, wherever no core nearer than it
  // was painted. The core is painted short of the faded band by the reach of texture filtering,
  // so the frame is the one that painting every picture whole gives.
  GLint depthBits = 0;
  if (reduceOverdraw_ && drawn.size() >= 2) glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  const bool cores = depthBits > 0;
  const double layer = 1.0 / static_cast<double>(drawn.size() + 1);
  if (cores) {
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
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_BLEND);
  // The outermost picture drawn is either the first picture, which has nothing behind it, or
  // one whose opaque core covers the view: it is painted whole, without blending. A picture
  // still being checked has no pixels yet: it is left out until it has.
  const bool outermostWhole = drawn[0] == 0 || covered;
  const size_t n = drawn.size();
  std::vector<char> hasPixels(n, 0);
  std::vector<Box> core(n);  // the part painted first; empty: none
  for (size_t k = n; k-- > 0;) {
    const Image& image = picture(drawn[k]);
    const Affine& m = toView[static_cast<size_t>(drawn[k])];
    const double pixels = m.LengthScale() * pixelsPerUnit;  // screen pixels per unit of the picture
    const TextureLevel* level = cache_.Use(image, pixels, true);
    if (!level) continue;
    hasPixels[k] = 1;
    const Extents e = ElementExtents(image.width, image.height);
    Box paint;
    if (k == 0 && outermostWhole) {
      paint = Box::Whole(e);
    } else {
      // A small picture saves fewer pixels than its second drawing costs: it is painted whole.
      if (!cores || pixels < minCorePixels || level->width <= 0) continue;
      const double texels = level->width / static_cast<double>(e.ex);  // per unit
      const double margin = std::max(filterReachPixels / pixels, 2.0 / texels);
      double hx, hy;
      image.OpaqueCore(hx, hy);
      if (hx <= margin || hy <= margin) continue;
      core[k] = Box{-(hx - margin), -(hy - margin), hx - margin, hy - margin};
      paint = core[k];
    }
    // Where the next picture's core was painted, this one is not even drawn (less two pixels, so
    // that no pixel is left between them).
    Box hole;
    if (k + 1 < n && !core[k + 1].Empty()) {
      const Affine next = m.Inverse() * toView[static_cast<size_t>(drawn[k + 1])];
      hole = InscribedBox(next, core[k + 1].x1, core[k + 1].y1, 2.0 / pixels);
    }
    glBindTexture(GL_TEXTURE_2D, level->id);
    DrawRing(m, paint, hole, e, static_cast<double>(k + 1) * layer);
  }
  if (cores) glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  for (size_t k = 0; k < n; ++k) {
    if (!hasPixels[k]) {
      ++picturesWaiting_;
      continue;
    }
    ++picturesDrawn_;
    if (k == 0 && outermostWhole) continue;
    const Image& image = picture(drawn[k]);
    const Affine& m = toView[static_cast<size_t>(drawn[k])];
    BindPicture(image, m.LengthScale() * pixelsPerUnit, true);
    const Extents e = ElementExtents(image.width, image.height);
    const double z = (static_cast<double>(k + 1) - 0.25) * layer;
    DrawRing(m, Box::Whole(e), core[k], e, z);
  }
  if (cores) {
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
  }
  CheckDrawing();
}

bool Renderer::DrawEditView(ImageStack& stack, int i, const Transform& viewTransform, const ViewGeometry& view) {
  if (i < 0 || i >= stack.count() - 1) return false;
  Track(stack);
  LoadProjection(view);
  const Image& picture = *stack.images[static_cast<size_t>(i)];
  const int c = i + 1;
  const Image& child = *stack.images[static_cast<size_t>(c)];
  const bool childIsPicture = c < stack.count() - 1;
  const double pixelsPerUnit = view.PixelsPerUnit();
  const Affine frame = Affine::ViewTransform(viewTransform);
  const Affine childFrame = frame * Affine::Placement(child.transform);

  cache_.Use(picture, frame.LengthScale() * pixelsPerUnit, true);
  if (childIsPicture) cache_.Use(child, childFrame.LengthScale() * pixelsPerUnit, true);
  if (waitForLevels_) cache_.WaitForUrgent();

  // The selected picture is drawn whole, its faded border included.
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  if (BindPicture(picture, frame.LengthScale() * pixelsPerUnit, true)) DrawQuad(picture, frame);

  const Extents e = ElementExtents(child.width, child.height);
  if (childIsPicture) {
    glEnable(GL_BLEND);
    glColor4f(1, 1, 1, 0.6f);
    if (BindPicture(child, childFrame.LengthScale() * pixelsPerUnit, true)) DrawQuad(child, childFrame);
  }

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor4f(1, 0, 0, 1);
  LoadMatrix(childFrame);
  glLineWidth(static_cast<float>(std::max(1.0, std::round(view.pixelRatio))));
  glBegin(GL_LINE_LOOP);
  glVertex2f(-e.ex / 2, -e.ey / 2);
  glVertex2f(-e.ex / 2, e.ey / 2);
  glVertex2f(e.ex / 2, e.ey / 2);
  glVertex2f(e.ex / 2, -e.ey / 2);
  glEnd();
  glLineWidth(1.0f);

  double scaleX, scaleY, rotateX, rotateY;
  stack.ChildToWindow(view, viewTransform, c, e.ex / 2, e.ey / 2, scaleX, scaleY);
  stack.ChildToWindow(view, viewTransform, c, e.ex / 2, 0, rotateX, rotateY);

  // Pixel overlay: one unit is one pixel, origin at the bottom-left, so the handles keep their
  // size at any zoom of the edit view.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, view.width, 0, view.height, 0, 1);
  if (handleTexture_ != 0) {
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, handleTexture_);
    const float half = static_cast<float>(handleSize * view.pixelRatio / 2.0);
    auto handle = [half](double px, double py, float s0, float s1) {
      const float x = static_cast<float>(px), y = static_cast<float>(py);
      glBegin(GL_QUADS);
      glTexCoord2f(s0, 0);
      glVertex2f(x - half, y - half);
      glTexCoord2f(s0, 1);
      glVertex2f(x - half, y + half);
      glTexCoord2f(s1, 1);
      glVertex2f(x + half, y + half);
      glTexCoord2f(s1, 0);
      glVertex2f(x + half, y - half);
      glEnd();
    };
    handle(scaleX, scaleY, 0.0f, 0.5f);
    handle(rotateX, rotateY, 0.5f, 1.0f);
  }
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  CheckDrawing();
  return true;
}
