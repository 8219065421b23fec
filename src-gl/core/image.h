#pragma once
// One element of the image stack: a JPEG picture with its decoded bitmap, its faded-border RGBA
// texture and its placement, or the target frame (no file, no texture; only `transform`,
// `width` and `height` are used).
//
// Anything that creates, deletes or queries a texture needs the view's OpenGL context current;
// that includes destroying an Image that has a texture.

#include <GL/gl.h>

#include <QImage>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Transform.h"

class Image {
 public:
  Image();
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  QImage bitmap;  // decoded picture, QImage::Format_RGB888; null when none
  int width = 0;  // pixels, set when the texture is built (after any reduction)
  int height = 0;
  std::vector<uint8_t> pixels;  // RGBA texture image, texWidth x texHeight, bottom row first
  int texWidth = 0;             // powers of two
  int texHeight = 0;
  GLuint textureId = 0;    // 0: no texture
  Transform transform;     // placement inside the previous element
  std::string fileName;    // as the user or the project file gave it; empty: none
  std::string directory;   // where the file lies, no trailing separator; '/' separators unless a drive name
  std::string baseName;    // the name without its directory
  bool inUse = true;       // mark used while the picture list is replaced
  double modelMatrix[16];  // cumulative placement, column-major; written by the timeline

  // Splits `fileName` into `directory` and `baseName`. Both '/' and '\' separate; a name that
  // starts with '/' or a drive ("C:") is absolute, any other is relative to the directory of
  // `projectPath` (empty when the name comes from a file dialog).
  void ResolvePath(const std::string& projectPath);

  // The file to read: `directory` and `baseName` joined.
  std::string FullPath() const;

  // Copies the picture's file to `destination` (replacing it only once the copy is complete);
  // shows its own message and returns false on failure.
  bool CopyTo(const std::string& destination) const;

  // Decodes the file into `bitmap`. On any failure `bitmap` becomes a 32 x 20 white placeholder
  // and the result is false. `width`, `height` and the texture are not touched.
  bool LoadJpeg();

  // Builds and uploads the texture from `bitmap`, reducing it to the texture limit first.
  // Returns false (reduced cleared) when there is no bitmap. GL context required.
  bool CreateTexture(bool& reduced);

  // The CPU half of CreateTexture: reduction and the RGBA image. Needs no GL context, so it may
  // run on a worker thread; `limit` is TextureLimit() read beforehand. Returns whether reduced.
  bool PrepareTexture(int limit);
  // The GL half: uploads `pixels` with mipmaps into a new texture.
  void UploadTexture();

  // Texture from an in-memory picture that carries its own alpha (the handle sprite):
  // no reduction, no fade, nearest filtering, no mipmaps.
  void CreateFromGraphic(const QImage& graphic);

  // Takes the picture back to the decoded state (Reload): texture and `pixels` freed,
  // `textureId`, `width` and `height` 0. GL context required when there is a texture.
  void ReleaseTexture();

  // Nearest-neighbour reduction so that the longer side is `limit`.
  void Reduce(int limit);

  void ResetMatrix();
  void SetMatrix(const double matrix[16]);

  // True when the picture's opaque core (its extents less the faded band) covers all four
  // corners of the current viewport under view * modelMatrix, with the current projection.
  bool CoversView(const double view[16]) const;
};

// The largest texture side: GL_MAX_TEXTURE_SIZE of the current context, unless a limit was set
// with SetTextureLimit (tests use small limits to exercise reduction).
int TextureLimit();
void SetTextureLimit(int limit);  // 0 returns to the GL value

// Runs job(0) .. job(count - 1) on up to as many threads as the machine has cores and returns
// when all are done. Used to decode pictures side by side; jobs must not touch OpenGL.
void ForEachParallel(size_t count, const std::function<void(size_t)>& job);

// "Your graphics hardware supports images of size M by M pixels..." in its own box.
void ShowMaxImageSizeMessage();
