#include "Renderer.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include "Imagestack.h"

namespace {

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
      lodBias_(options.lodBias),
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

// `toView` in the plane z (nearer for larger z).
void Renderer::LoadMatrix(const Affine& toView, double z) {
  double m[16];
  toView.ToColumnMajor(m);
  m[14] = z;
  glLoadMatrixd(m);
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
  if (tones_.Missing() && !reportedTones_) {
    reportedTones_ = true;
    drawMessage_ += std::string(drawMessage_.empty() ? "" : "\n\n") +
                    "This graphics system cannot draw the pictures' colour corrections; they are shown as their "
                    "files have them.";
  }
  if (outOfMemory && !reportedDrawing_) {
    reportedDrawing_ = true;
    drawMessage_ += std::string(drawMessage_.empty() ? "" : "\n\n") +
                    "The graphics system ran out of memory while drawing the view; parts of it may be missing.";
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

// A new frame; when the pictures changed (an element came, went or was loaded again), the
// textures of those no element shows any more go.
void Renderer::Track(const ImageStack& stack) {
  cache_.BeginFrame();
  uint64_t fingerprint = stack.images.size();
  for (const auto& image : stack.images)
    fingerprint = (fingerprint * 1000003) ^ (reinterpret_cast<uintptr_t>(image.get()) + image->revision * 31);
  if (&stack != lastStack_ || stack.images.size() != lastCount_ || fingerprint != lastFingerprint_) {
    std::vector<const Image*> alive;
    for (const auto& image : stack.images) alive.push_back(image.get());
    cache_.Retain(alive);
    lastStack_ = &stack;
    lastCount_ = stack.images.size();
    lastFingerprint_ = fingerprint;
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
