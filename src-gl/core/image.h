#pragma once
// One element of the image stack: a picture (JPEG, PNG or WebP) with its placement, or the target frame (no
// file; only `transform`, `width` and `height` are used). Plain data: the pictures' textures
// belong to each GL context's renderer, which decodes the file at the size it needs.

#include <QImage>
#include <cstdint>
#include <string>

#include "ColourCorrection.h"
#include "PictureDecode.h"
#include "PictureKey.h"
#include "Transform.h"

struct Affine;
struct CheckedPicture;
struct ViewGeometry;

class Image {
 public:
  Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // Names this element for as long as the program runs, whatever its place in the stack: edits,
  // results of work on other threads and the windows refer to elements by it, so a reordered
  // list never sends a change to another element. Never 0; never given to another element.
  const uint64_t id;

  int width = 0;  // the picture's full size in pixels (32 x 20 for the placeholder); 0 until loaded
  int height = 0;
  bool loaded = false;  // the last load found a whole, undamaged picture
  // The last load refused the file as larger than the program decodes (not as damaged).
  bool tooLarge = false;
  PictureKind kind = PictureKind::None;     // what the last load found the file to be
  PictureFault fault = PictureFault::None;  // why the last load failed
  // A small copy, longer side at most `thumbnailSide` (RGB888): the image list's preview and a
  // renderer's first texture. Null until loaded.
  QImage bitmap;
  // A picture made in memory rather than read from a file: its full pixels (RGB888).
  QImage source;
  // Changes whenever the pixels change (a load, a reload). Renderers know a picture without a
  // known file by it (Key), so they rebuild its textures.
  uint64_t revision = 0;
  // The file the pixels were read from, as it was when checked (unknown for pictures made in
  // memory, placeholders, and a file that changed while it was checked).
  FileIdentity file;

  Transform transform;  // placement inside the previous element
  // How the picture is drawn in tone (identity: as the file has it). The target frame has none.
  ColourCorrection colour;
  std::string fileName;    // as the user or the project file gave it; empty: none
  std::string directory;   // where the file lies, no trailing separator; '/' separators unless a drive name
  std::string baseName;    // the name without its directory
  bool inUse = true;       // mark used while the picture list is replaced
  double modelMatrix[16];  // cumulative placement as the keyframe table composes it, column-major
  // The name led nowhere when the project opened, and the file was found under the project's
  // directory instead (the project was moved with its pictures): `directory` and `baseName`
  // name the file found, `fileName` is still the project's name for it.
  bool foundElsewhere = false;

  // Splits `fileName` into `directory` and `baseName`. Both '/' and '\' separate; a name that
  // starts with '/' or a drive ("C:") is absolute, any other is relative to the directory of
  // `projectPath` (empty when the name comes from a file dialog). Clears `foundElsewhere`.
  void ResolvePath(const std::string& projectPath);

  // The file to read: `directory` and `baseName` joined.
  std::string FullPath() const;

  // How a message about pictures that did not load names this one: its file name, and what is
  // wrong unless it is missing ("not a picture", "damaged", "unsupported kind", too large).
  std::string FailedName() const;

  // The name the project at `projectPath` stores: `fileName`, or for a picture found elsewhere
  // the file found, relative to the project's directory when it lies inside it, else in full.
  std::string ProjectName(const std::string& projectPath) const;
  // A short note for the image list: "found in <directory>" for a picture found elsewhere,
  // else empty.
  std::string FoundNote() const;

  // Copies the picture's file to `destination` (replacing it only once the copy is complete);
  // shows its own message and returns false on failure.
  bool CopyTo(const std::string& destination) const;

  // Checks the file once: its header for the size, and a decode at the smallest DCT scale that
  // still gives the thumbnail's size, which reads all of its data and so finds damage, into
  // `bitmap`. On any failure the picture becomes the white 32 x 20 placeholder and the result is
  // false. Without a file name nothing happens (false); otherwise `revision` changes.
  bool LoadJpeg();
  // Takes the outcome of checking the file (on another thread): as LoadJpeg after its check.
  void Apply(CheckedPicture checked);

  // Makes this a picture held in memory (RGB888 or anything QImage converts): `source`, the
  // size, the thumbnail; `loaded` true.
  void SetPicture(const QImage& picture);

  // Back to the unloaded state (Reload): no size, no thumbnail, a new revision.
  void Unload();
  // Shows what `other` shows (its size, thumbnail, pixels in memory, revision and file): a copy
  // for another thread to draw, which shares the other's textures wherever both are drawn.
  void SharePicture(const Image& other);
  // What names the pixels: elements with equal keys show the same picture (see PictureKey.h).
  PictureKey Key() const;

  void ResetMatrix();
  void SetMatrix(const double matrix[16]);

  // Half the sides of the opaque core (the extents less the faded band, a tenth of the shorter
  // side at each edge), in the element's own frame.
  void OpaqueCore(double& halfX, double& halfY) const;
  // True when that core covers the whole view, with the element's frame carried into view
  // units by `toView`.
  bool CoversView(const Affine& toView, const ViewGeometry& view) const;
};

// Longer side of an Image's thumbnail.
constexpr int thumbnailSide = 256;

// "Your graphics hardware supports images of size M by M pixels..." in its own box.
void ShowMaxImageSizeMessage(int limit);
