#pragma once
// Everything one GL context draws the document with: the pictures' textures (within a budget,
// fed by worker threads), the handle sprite, the zoom at a time and the alignment view. Create,
// use and destroy it with its context current; dropping it releases textures only, never the
// document.

#include <GL/gl.h>

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PictureCheck.h"
#include "PlaySettings.h"
#include "PictureTones.h"
#include "TextureCache.h"
#include "Transform.h"
#include "ViewGeometry.h"

class ImageStack;
class Timeline;

// An axis-aligned part of a picture, in its own frame.
struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  static Box Whole(const Extents& e) { return Box{-e.ex / 2.0, -e.ey / 2.0, e.ex / 2.0, e.ey / 2.0}; }
  bool Empty() const { return !(x1 > x0 && y1 > y0); }
  Box ClippedTo(const Box& o) const {
    return Box{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
};

struct RendererOptions {
  size_t textureBudget = 0;  // bytes; 0: the default (the smaller of 1 GiB and a quarter of RAM)
  int textureLimit = 0;      // the largest texture side; 0: the context's GL_MAX_TEXTURE_SIZE
  int workers = 0;           // decoding threads; 0: one per core
  // Offscreen drawing waits for every level a frame needs, so its pictures are always sharp and
  // the same; interactive drawing draws what is resident and repaints when more arrives.
  bool waitForLevels = false;
  // Pictures hidden by an inner picture's opaque core are not painted there (the same frame,
  // fewer pixels painted); off only to compare with painting every picture whole.
  bool reduceOverdraw = true;
  // Added to every picture's level of detail while the zoom is drawn: below 0 samples a finer
  // mipmap level than the pixels' footprint asks for, which is sharper (see offscreenLodBias).
  double lodBias = 0;
  QImage handleSprite;  // the two 16 x 16 handles side by side; none: no handles drawn
};

// The level-of-detail bias of exported frames (the video, its preview, --render-frame). Trilinear
// filtering at a footprint of 1 to 2 texels a pixel blends in the next smaller mipmap, which holds
// less detail than the frame can show. A quarter of a level finer matched the exact view of the
// photograph best in sharp_bench (a picture sharp to the pixel: 39.5 dB instead of 38.7, and
// 42.1 instead of 40.4 where it is reduced); more bias aliases fine detail and loses again. It
// costs no time.
constexpr double offscreenLodBias = -0.25;

// The default texture budget on this machine.
size_t DefaultTextureBudget();

class Renderer {
 public:
  explicit Renderer(const RendererOptions& options);
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Called on a worker thread when a better level is ready: the editor asks for a repaint.
  void SetWakeUp(std::function<void()> wake) { cache_.SetWakeUp(std::move(wake)); }

  // The GL state both drawings expect: depth test and lighting off, texturing on, the alpha
  // blend function, a grey clear colour.
  static void SetViewGlState();
  // Viewport and the projection of `view` (framebuffer pixels, the fitted span).
  static void LoadProjection(const ViewGeometry& view);
  // A window's view before drawing (RendererFrame.cpp): colour (alpha 1) and depth cleared, alpha
  // masked from then on so the view stays opaque, the modelview matrix current.
  static void ClearView();
  // Hands the commands given so far to GL, at the end of the view's frame.
  static void Flush();

  // The zoom at normalised time t (0..1; any t for an endless project, whose passes repeat, the
  // last picture leading into the first): the pictures that can be seen, outermost first, each
  // placed relative to the view in double precision. `direction` (+1 or -1) is where playback
  // goes next, for prefetching. Leaves texturing on and the colour white.
  void DrawZoom(ImageStack& stack, double t, const ViewGeometry& view, int direction = 1);
  // The longer side, in pixels, each picture (by its index) is asked for at when DrawZoom draws time
  // t in `view`; 0 for those not drawn. An opener that draws at once checks the pictures at these
  // sizes, so that each file is decoded once (PictureCheck.h).
  static std::vector<int> SidesDrawn(ImageStack& stack, double t, const ViewGeometry& view);
  // For opening `stack` (read, its pictures not checked yet) to draw time t at width x height
  // with `play` at once: from the pictures' headers, the sides the frame will ask for once they
  // are loaded (SidesDrawn). The placements are copied now: the check asks on a worker thread.
  static NeededSides FrameSides(const ImageStack& stack, const PlaySettings& play, double t, int width, int height);
  // The alignment view of picture i: the picture, its child at 60 % (a picture) or nothing (the
  // target frame), the child's red outline and the handles at `handleSize` pixels. False, with
  // nothing drawn, unless 0 <= i < count() - 1. Leaves texturing and blending off.
  bool DrawEditView(ImageStack& stack, int i, const Transform& viewTransform, const ViewGeometry& view);

  // Uploads levels the workers finished; true when the view should be drawn again.
  // Interactive drawing uploads for a few milliseconds at a time; see LevelsWaiting.
  bool Pump() { return cache_.Pump(waitForLevels_ ? 0 : uploadMillisecondsPerFrame); }
  // Levels are ready that a Pump has not uploaded yet: the view should be drawn again soon.
  bool LevelsWaiting() { return cache_.ResultsWaiting(); }
  static constexpr double uploadMillisecondsPerFrame = 8;
  // The picture sizes beyond the GL limit, which are drawn reduced.
  bool ExceedsLimit(const ImageStack& stack) const;
  int TextureLimit() const { return cache_.TextureLimit(); }
  // Tests use small limits to exercise reduction; 0 returns to the context's own limit.
  void SetTextureLimit(int limit);
  // A message for the user from the last drawings (an upload that failed), said once.
  std::string TakeMessage();
  // As RendererOptions::reduceOverdraw (benchmarks compare both ways).
  void SetReduceOverdraw(bool on) { reduceOverdraw_ = on; }
  // Pictures drawn by the last DrawZoom.
  int PicturesDrawn() const { return picturesDrawn_; }
  // Pictures the last DrawZoom would have drawn but that have no pixels yet (still being checked).
  int PicturesWaiting() const { return picturesWaiting_; }
  const TextureCache& Cache() const { return cache_; }

 private:
  // The steps of DrawZoom (RendererZoom.cpp).
  struct ZoomLayout;
  struct ZoomPaint;
  static ZoomLayout LayOutZoom(const ImageStack& stack, const Timeline& timeline, double t, const ViewGeometry& view);
  void RequestLevels(const ImageStack& stack, const ZoomLayout& layout, const ViewGeometry& view, int direction);
  ZoomPaint BeginZoomPaint(const ZoomLayout& layout, const ViewGeometry& view) const;
  void PaintCores(const ImageStack& stack, const ZoomLayout& layout, ZoomPaint& paint);
  void BlendBands(const ImageStack& stack, const ZoomLayout& layout, const ZoomPaint& paint);
  static void EndZoomPaint(const ZoomPaint& paint);
  // The steps of DrawEditView (RendererEditView.cpp).
  void DrawEditPictures(const ImageStack& stack, int i, const Affine& frame, const Affine& childFrame,
                        const ViewGeometry& view);
  static void DrawOutline(const Affine& childFrame, const Extents& e, const ViewGeometry& view);
  void DrawHandles(const ViewGeometry& view, double scaleX, double scaleY, double rotateX, double rotateY);

  void Track(const ImageStack& stack);
  // The level bound; null, binding nothing, when the picture has no pixels yet.
  const TextureLevel* BindPicture(const Image& image, double sidePixels, bool urgent);
  void DrawQuad(const Image& image, const Affine& toView);
  // `toView` in the plane z (nearer for larger z) as the modelview matrix.
  static void LoadMatrix(const Affine& toView, double z = 0);
  static void DrawRectangle(const Affine& toView, const Box& box, const Extents& e, double z);
  static void DrawRing(const Affine& toView, const Box& outer, Box inner, const Extents& e, double z);

  bool waitForLevels_;
  bool reduceOverdraw_;
  double lodBias_;
  TextureCache cache_;
  PictureTones tones_;  // every picture is drawn through it, with its colour correction
  GLuint handleTexture_ = 0;
  int picturesDrawn_ = 0;
  int picturesWaiting_ = 0;
  void CheckDrawing();
  std::string drawMessage_;  // GL ran out of memory while drawing: said once
  bool reportedDrawing_ = false;
  bool reportedTones_ = false;
  const ImageStack* lastStack_ = nullptr;
  size_t lastCount_ = 0;
  uint64_t lastFingerprint_ = 0;  // the elements and their revisions at the last Retain
};
