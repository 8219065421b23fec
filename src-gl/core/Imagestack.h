#pragma once
// The document: the ordered pictures of one project, each placed inside its predecessor, then
// the target frame that frames the end of the zoom inside the last picture; the project's path
// and duration; and the keyframe cache from which the zoom is drawn.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "ImagestackExport.h"
#include "Keyframe.h"
#include "Transform.h"
#include "image.h"

class ImageStack {
 public:
  ImageStack() = default;
  ImageStack(const ImageStack&) = delete;
  ImageStack& operator=(const ImageStack&) = delete;
  ImageStack(ImageStack&&) = default;
  ImageStack& operator=(ImageStack&&) = default;

  // Elements 0 .. count()-2 are the pictures, outermost first; the last is the target frame.
  // Destroying the stack destroys the elements it still holds; GL context required if any has
  // a texture. A replacement hands elements on before the old stack goes.
  std::vector<std::unique_ptr<Image>> images;
  std::string path;        // project file; empty until opened or saved
  float duration = 10.0f;  // seconds per pass
  bool dirty = true;       // element matrices and keys must be rebuilt before the next playback frame
  std::vector<Keyframe> keys;

  int count() const { return static_cast<int>(images.size()); }
  int keyCount() const { return static_cast<int>(keys.size()); }
  int pictureCount() const { return images.empty() ? 0 : count() - 1; }
  Image* targetFrame() const { return images.empty() ? nullptr : images.back().get(); }

  // Destroys every element, target frame included.
  void FreeImages();

  // --- project files ---
  // Writes the project to `path` without ever damaging the file already there: the text goes to
  // a temporary file beside it, which replaces the old file only once completely written.
  bool SaveProject();
  void SaveProject(std::ostream& out) const;
  // Reads the project at `path` into this freshly created stack, then decodes and textures the
  // pictures (GL context required). Shows its own messages; false leaves the stack partly filled
  // for the caller to discard.
  bool LoadProject();
  // The reading part alone, from text (no pictures decoded); `path` resolves relative names.
  bool ReadProject(const std::string& text);

  // --- zoom timeline ---
  // Rebuilds every element's modelMatrix and the keys, composing on the modelview matrix stack
  // and leaving it as found. Leaves `dirty` alone.
  void BuildKeyframes();
  // Loads the view for normalised time t into the modelview matrix. Needs valid keys.
  void ViewAtTime(float t) const;
  // --- drawing (the view's GL context current; the caller clears before and presents after) ---
  // The zoom at normalised time t: every picture nested in the one before, outermost first,
  // skipping a picture whose successor's opaque core covers the whole view. Rebuilds the
  // keyframes first when `dirty`. Leaves texturing on, blending on when there is more than one
  // picture, the colour white and the modelview matrix at the innermost picture's placement.
  bool DrawAtTime(float t);
  // The alignment view of picture i under the edit view transform: the picture, its child at
  // 60 % (a picture) or nothing (the target frame), the child's red outline and, in a pixel
  // overlay, the scale and rotation handles from `handleTexture` at 16 x 16 pixels whatever the
  // zoom. False, with nothing drawn, unless 0 <= i < count() - 1. Leaves texturing and blending
  // off and both matrices as they were before the overlay.
  bool DrawEditView(int i, const Transform& viewTransform, GLuint handleTexture) const;

  // --- window mappings (current projection and viewport; the modelview stack is left as found) ---
  // Mouse positions (X, Y) are window pixels with the origin at the top-left of the view; they
  // enter OpenGL as (X, H - Y - 1) for a viewport H pixels high.
  // A point of element c's frame, seen through the view transform and the element's placement,
  // to window coordinates with the origin at the bottom-left of the viewport.
  void ChildToWindow(const Transform& viewTransform, int c, double x, double y, double& wx, double& wy) const;
  // The mouse in element c's frame; with `withoutRotation`, in that frame before its rotation.
  void WindowToChild(const Transform& viewTransform, int c, double X, double Y, bool withoutRotation, double& x,
                     double& y) const;

  // --- alignment editing: picture i selected, its child c = i + 1 is dragged ---
  // Each test is false unless 0 <= i and i + 1 < count(). A handle is hit within 8 pixels of
  // its centre (squared distance below 64).
  bool HitScaleHandle(double X, double Y, int i, const Transform& viewTransform) const;
  bool HitRotateHandle(double X, double Y, int i, const Transform& viewTransform) const;
  bool HitChild(double X, double Y, int i, const Transform& viewTransform) const;

  // One step of a drag of element c from (X0, Y0) to (X1, Y1); each sets `dirty`. Nothing happens
  // unless 0 <= c < count().
  // Scale by the ratio of the two points' x along the child's own axis. A step whose ratio is
  // not a finite positive number (from or onto the child's vertical centre line, or across it)
  // leaves the scale alone: the scale stays finite and above zero, which the zoom needs.
  void DragScale(int c, const Transform& viewTransform, double X0, double Y0, double X1, double Y1);
  // Turn by the angle the mouse moved around the child's centre.
  void DragRotate(int c, const Transform& viewTransform, double X0, double Y0, double X1, double Y1);
  // Move so that the child's centre follows the mouse in the selected picture's frame.
  void DragMove(int c, const Transform& viewTransform, double X0, double Y0, double X1, double Y1);

  // --- web export ---
  // True when every picture lies in the same directory (the same `directory` text).
  bool SameDirectory() const;
  // Writes the page, the data file (with `page.duration`) and the copy of the applet archive
  // template, in this order, each only if the one before succeeded; every failure has shown its
  // message.
  bool WriteWebFiles(const std::string& pagePath, const std::string& dataPath, const std::string& archivePath,
                     const WebPageOptions& page, const std::string& templatePath);

  // The view's four channels at time t, as ViewAtTime applies them.
  struct View {
    float zoom, x, y, rotate;
  };
  View ViewValuesAtTime(float t) const;
};

// The GL state both drawings expect of the view: depth test and lighting off, texturing on, the
// alpha blend function (blending itself is switched by the drawings), a grey clear colour.
void SetViewGlState();

// An orthographic projection (and viewport) in which the first picture fills a viewport of
// width x height pixels along its constraining axis; without a first picture, -0.5..0.5 on both
// axes. Leaves the modelview matrix current and the identity.
void LoadViewProjection(const Image* first, int width, int height);

// The edit view starts unzoomed and centred: scale 1, translation 0; `rotate` is left alone.
void ResetView(Transform& viewTransform);

// Draws one picture in its own frame as a textured quad of its extents; the picture occupies the
// lower-left width x height texels of its texture.
void DrawElementQuad(const Image& image);

// The mouse in the selected picture's frame under the edit view transform alone (current
// projection and viewport).
void WindowToView(const Transform& viewTransform, double X, double Y, double& x, double& y);

enum class DragMode { Pan, Move, Scale, Rotate };

// What a press at (X, Y) will drag: the scale handle, then the rotation handle, then the inside
// of the child; elsewhere (or without a stack) the view is panned.
DragMode ChooseDrag(const ImageStack* stack, double X, double Y, int i, const Transform& viewTransform);

// Pan the edit view by the mouse's movement in the selected picture's frame.
void PanView(Transform& viewTransform, double X0, double Y0, double X1, double Y1);
// Zoom the edit view by 1.005 per pixel: right or down enlarges, left or up shrinks.
void ZoomView(Transform& viewTransform, double X0, double Y0, double X1, double Y1);

// Opens the project at `path` (absolute) in a new stack: the pictures are decoded and textured
// (GL context required) and the stack is `dirty`. On failure the message has been shown and the
// partly read stack, with every picture it had created, is gone: the result is null.
std::unique_ptr<ImageStack> OpenProject(const std::string& path);

// Replaces the pictures of `stack` by `list`, in list order (the image list dialog's Done).
// Every pointer in `list` is either an element of `stack` or one of `added`, which holds the
// pictures created since the dialog opened; `added` is emptied (pictures not in the list are
// destroyed). Pictures without a texture get one (GL context required) and `reduced` tells
// whether any had to be made smaller. The target frame is made anew for a new project or when
// the stack has fewer than two elements, otherwise kept with its size and placement. A new
// project also gets a new stack (no path, duration 10). Elements that leave the stack are
// destroyed. An empty list changes nothing and returns false.
bool ReplacePictures(std::unique_ptr<ImageStack>& stack, const std::vector<Image*>& list,
                     std::vector<std::unique_ptr<Image>>& added, bool newProject, bool& reduced);
