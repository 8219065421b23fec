#pragma once
// The document: the ordered pictures of one project, each placed inside its predecessor, then
// the target frame that frames the end of the zoom inside the last picture; the project's path
// and duration; and the keyframe cache from which the zoom is drawn.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "EditView.h"
#include "Timeline.h"
#include "Keyframe.h"
#include "PictureCheck.h"
#include "PlaySettings.h"
#include "Transform.h"
#include "ViewGeometry.h"
#include "image.h"

struct WebPageOptions;

class ImageStack {
 public:
  ImageStack() = default;
  ImageStack(const ImageStack&) = delete;
  ImageStack& operator=(const ImageStack&) = delete;
  ImageStack(ImageStack&&) = default;
  ImageStack& operator=(ImageStack&&) = default;

  // Elements 0 .. count()-2 are the pictures, outermost first; the last is the target frame.
  // Destroying the stack destroys the elements it still holds. A replacement hands elements on
  // before the old stack goes.
  std::vector<std::unique_ptr<Image>> images;
  std::string path;        // project file; empty until opened or saved
  float duration = 10.0f;  // seconds per pass
  bool dirty = true;       // element matrices, keys and timeline must be rebuilt before the next use
  // Play and pace. The timeline follows them by itself; the file stores them only when they
  // differ from the defaults. Endless: the target frame is where the first picture lies inside
  // the last, and a pass ends where it began.
  PlaySettings playSettings;
  std::vector<Keyframe> keys;

  int count() const { return static_cast<int>(images.size()); }
  int keyCount() const { return static_cast<int>(keys.size()); }
  int pictureCount() const { return images.empty() ? 0 : count() - 1; }
  Image* targetFrame() const { return images.empty() ? nullptr : images.back().get(); }
  // The place of the element with this `id`, or -1 when it is not in the stack.
  int IndexOf(uint64_t id) const;
  // The target frame takes the size of the picture it frames: the last there and back; the first
  // when endless, where it is the first picture's place in the last. A picture not yet checked
  // (no size) leaves it alone.
  void FitTargetFrame();
  // Makes `order` the elements, in that order, each taken from the stack or from `parked`; what
  // is left over goes to `parked` (kept alive, for an undo step to put back). Sets `dirty`.
  void Arrange(const std::vector<Image*>& order, std::vector<std::unique_ptr<Image>>& parked);

  // Destroys every element, target frame included.
  void FreeImages();

  // --- project files ---
  // Writes the project to `path` without ever damaging the file already there: the text goes to
  // a temporary file beside it, which replaces the old file only once completely written.
  bool SaveProject();
  void SaveProject(std::ostream& out) const;
  // Reads the project at `path` into this freshly created stack, then checks every picture (its
  // size, and a small decode that finds damage) on worker threads. Shows its own messages; false
  // leaves the stack partly filled for the caller to discard.
  bool LoadProject();
  // The reading part alone, from text (no pictures decoded); `path` resolves relative names.
  bool ReadProject(const std::string& text);
  // The project file at `path`, read; its messages shown on failure. No picture is checked yet.
  bool ReadProjectFile();
  // Opening in steps, for a window that shows the project while its pictures are checked:
  // ReadProjectFile, then StartCheck, ApplyChecks whenever results wait (until the check has
  // finished), then ReportFailedPictures. Pictures not yet applied have no size and no thumbnail.
  // `needed`: the sizes the pictures are about to be drawn at, from their headers (PictureCheck.h).
  std::unique_ptr<PictureCheck> StartCheck(std::function<void()> wake = {}, int workers = 0,
                                           NeededSides needed = {}) const;
  // Takes what `check` has finished into the pictures; true when anything changed (`dirty` is set).
  bool ApplyChecks(PictureCheck& check);
  // "There was an error loading the following files: ..." for the pictures that did not load.
  void ReportFailedPictures() const;
  // One message naming each picture that was not where the project says and was found
  // elsewhere, and where; nothing when there is none. The editor shows it after the opening.
  void ReportFoundElsewhere() const;

  // --- zoom timeline ---
  // Rebuilds every element's modelMatrix and the keys (single precision, as the data file holds
  // them), at the pace `playSettings` gives; an endless project's first and last keys carry the
  // seam's slopes. Leaves `dirty` alone.
  void BuildKeyframes();
  // The timeline drawing works from, rebuilt first when `dirty` (which it clears, along with
  // rebuilding the keys) or when `playSettings` changed since.
  const Timeline& CurrentTimeline();

  // --- window mappings through the edit view (positions in framebuffer pixels) ---
  // Mouse positions (X, Y) have the origin at the top-left of the view; they enter as
  // (X, H - Y - 1) for a viewport H pixels high.
  // A point of element c's frame, seen through the view transform and the element's placement,
  // to window coordinates with the origin at the bottom-left of the viewport.
  void ChildToWindow(const ViewGeometry& geometry, const Transform& viewTransform, int c, double x, double y,
                     double& wx, double& wy) const;
  // The mouse in element c's frame; with `withoutRotation`, in that frame before its rotation.
  void WindowToChild(const ViewGeometry& geometry, const Transform& viewTransform, int c, double X, double Y,
                     bool withoutRotation, double& x, double& y) const;

  // --- alignment editing: picture i selected, its child c = i + 1 is dragged ---
  // Each test is false unless 0 <= i and i + 1 < count(). A handle is hit strictly within
  // `handleHitRadius` pixels of its centre.
  bool HitScaleHandle(const ViewGeometry& geometry, double X, double Y, int i, const Transform& viewTransform) const;
  bool HitRotateHandle(const ViewGeometry& geometry, double X, double Y, int i, const Transform& viewTransform) const;
  bool HitChild(const ViewGeometry& geometry, double X, double Y, int i, const Transform& viewTransform) const;

  // One step of a drag of element c from (X0, Y0) to (X1, Y1); each sets `dirty`. Nothing happens
  // unless 0 <= c < count().
  // Scale by the ratio of the two points' x along the child's own axis. A step whose ratio is
  // not a finite positive number (from or onto the child's vertical centre line, or across it)
  // leaves the scale alone: the scale stays finite and above zero, which the zoom needs.
  void DragScale(const ViewGeometry& geometry, int c, const Transform& viewTransform, double X0, double Y0, double X1,
                 double Y1);
  // Turn by the angle the mouse moved around the child's centre.
  void DragRotate(const ViewGeometry& geometry, int c, const Transform& viewTransform, double X0, double Y0, double X1,
                  double Y1);
  // Move so that the child's centre follows the mouse in the selected picture's frame.
  void DragMove(const ViewGeometry& geometry, int c, const Transform& viewTransform, double X0, double Y0, double X1,
                double Y1);

  // --- web export ---
  // True when every picture lies in the same directory (the same `directory` text).
  bool SameDirectory() const;
  // Writes the page, the data file (with `page.duration`) and the copy of the applet archive
  // template, in this order, each only if the one before succeeded; every failure has shown its
  // message.
  bool WriteWebFiles(const std::string& pagePath, const std::string& dataPath, const std::string& archivePath,
                     const WebPageOptions& page, const std::string& templatePath);

  // The view's four channels at time t from the keys (single precision).
  struct View {
    float zoom, x, y, rotate;
  };
  View ViewValuesAtTime(float t) const;

 private:
  std::unique_ptr<Timeline> timeline_;
};

// A frame placed by `placement` whose pixel size changes from `from` to `to`: the placement that
// keeps its centre and rotation and fits the new frame inside the old one. A placement that
// cannot frame anything inside its parent (a scale that is not a number between 0 and 1) becomes
// half the parent's size, centred, upright.
Transform RefitFrame(const Transform& placement, int fromWidth, int fromHeight, int toWidth, int toHeight);

// Opens the project at `path` (absolute) in a new stack: the pictures are checked and the stack
// is `dirty`. On failure the message has been shown and the partly read stack, with every
// picture it had created, is gone: the result is null.
std::unique_ptr<ImageStack> OpenProject(const std::string& path);

// Replaces the pictures of `stack` by `list`, in list order (the image list dialog's Done).
// Every pointer in `list` is either an element of `stack` or one of `added`, which holds the
// pictures created since the dialog opened; `added` is emptied (pictures not in the list are
// destroyed). The target frame is made anew for a new project or when the stack has fewer than
// two elements, otherwise kept with its size and placement. A new project also gets a new stack
// (no path, duration 10). Elements that leave the stack are destroyed. An empty list changes
// nothing and returns false.
bool ReplacePictures(std::unique_ptr<ImageStack>& stack, const std::vector<Image*>& list,
                     std::vector<std::unique_ptr<Image>>& added, bool newProject);
