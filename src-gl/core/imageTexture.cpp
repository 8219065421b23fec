// From a decoded bitmap to an OpenGL texture whose border fades to transparent.

#include <GL/glu.h>

#include <algorithm>

#include "image.h"

namespace {

// Smallest power of two not below `size` (1 for sizes of 0 or 1).
int PowerOfTwoAtLeast(int size) {
  int p = 1;
  while (p < size) p *= 2;
  return p;
}

const uint8_t outsideTexel[4] = {128, 128, 128, 0};

// Sizes the image's texture for a width x height picture and fills the texels outside the
// picture, which occupies the lower-left width x height texels.
void StartTextureImage(Image& image, int width, int height) {
  image.width = width;
  image.height = height;
  image.texWidth = PowerOfTwoAtLeast(width);
  image.texHeight = PowerOfTwoAtLeast(height);
  const size_t texWidth = static_cast<size_t>(image.texWidth);
  image.pixels.assign(texWidth * static_cast<size_t>(image.texHeight) * 4, 0);
  for (int row = 0; row < image.texHeight; ++row) {
    uint8_t* texel = image.pixels.data() + (static_cast<size_t>(row) * texWidth + (row < height ? width : 0)) * 4;
    uint8_t* end = image.pixels.data() + (static_cast<size_t>(row) + 1) * texWidth * 4;
    for (; texel < end; texel += 4) std::copy(outsideTexel, outsideTexel + 4, texel);
  }
}

void Upload(GLuint& textureId, int texWidth, int texHeight, const std::vector<uint8_t>& pixels, bool mipmaps) {
  glGenTextures(1, &textureId);
  glBindTexture(GL_TEXTURE_2D, textureId);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  if (mipmaps) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, texWidth, texHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA16, texWidth, texHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texWidth, texHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  }
}

}  // namespace

void Image::Reduce(int limit) {
  int oldWidth = bitmap.width();
  int oldHeight = bitmap.height();
  if (oldWidth <= 0 || oldHeight <= 0 || limit <= 0) return;
  int newWidth, newHeight;
  if (oldWidth < oldHeight) {
    newHeight = limit;
    newWidth = static_cast<int>(static_cast<long long>(oldWidth) * limit / oldHeight);
  } else {
    newWidth = limit;
    newHeight = static_cast<int>(static_cast<long long>(oldHeight) * limit / oldWidth);
  }
  newWidth = std::max(newWidth, 1);
  newHeight = std::max(newHeight, 1);
  QImage reduced(newWidth, newHeight, QImage::Format_RGB888);
  if (reduced.isNull()) return;

  std::vector<int> sourceColumn(static_cast<size_t>(newWidth));
  for (int j = 0; j < newWidth; ++j)
    sourceColumn[static_cast<size_t>(j)] =
        std::min(static_cast<int>(static_cast<long long>(oldWidth) * j / newWidth), oldWidth - 1);
  for (int i = 0; i < newHeight; ++i) {
    int sourceRow = std::min(static_cast<int>(static_cast<long long>(oldHeight) * i / newHeight), oldHeight - 1);
    const uint8_t* from = bitmap.constScanLine(sourceRow);
    uint8_t* to = reduced.scanLine(i);
    for (int j = 0; j < newWidth; ++j) {
      const uint8_t* p = from + sourceColumn[static_cast<size_t>(j)] * 3;
      to[j * 3] = p[0];
      to[j * 3 + 1] = p[1];
      to[j * 3 + 2] = p[2];
    }
  }
  bitmap = std::move(reduced);
}

bool Image::PrepareTexture(int limit) {
  bool reduced = false;
  if (bitmap.width() > limit || bitmap.height() > limit) {
    Reduce(limit);
    reduced = true;
  }
  StartTextureImage(*this, bitmap.width(), bitmap.height());

  // Alpha rises linearly from 0 at the edge to 255 at a tenth of the shorter side. It is a
  // non-decreasing function of the distance to the nearest edge, so the alpha of a pixel is the
  // smaller of its column's and its row's values.
  const float t = static_cast<float>(std::min(width, height)) * 0.1f;
  std::vector<uint8_t> ramp(static_cast<size_t>(std::max(width, height)) + 1);
  for (size_t d = 0; d < ramp.size(); ++d) {
    float fd = static_cast<float>(d);
    ramp[d] = fd >= t ? 255 : static_cast<uint8_t>(static_cast<float>(d * 255) / t);
  }
  std::vector<uint8_t> columnAlpha(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    columnAlpha[static_cast<size_t>(x)] = ramp[static_cast<size_t>(std::min(x, width - x))];

  for (int y = 0; y < height; ++y) {
    const uint8_t rowAlpha = ramp[static_cast<size_t>(std::min(y, height - y))];
    const uint8_t* from = bitmap.constScanLine(y);
    uint8_t* to = pixels.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(texWidth) * 4;
    for (int x = 0; x < width; ++x, from += 3, to += 4) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      to[3] = std::min(columnAlpha[static_cast<size_t>(x)], rowAlpha);
    }
  }
  return reduced;
}

void Image::UploadTexture() { Upload(textureId, texWidth, texHeight, pixels, true); }

bool Image::CreateTexture(bool& reduced) {
  reduced = false;
  if (bitmap.isNull()) return false;
  reduced = PrepareTexture(TextureLimit());
  UploadTexture();
  return true;
}

void Image::CreateFromGraphic(const QImage& graphic) {
  QImage argb = graphic.convertToFormat(QImage::Format_ARGB32);
  StartTextureImage(*this, argb.width(), argb.height());
  for (int y = 0; y < height; ++y) {
    const QRgb* from = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    uint8_t* to = pixels.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(texWidth) * 4;
    for (int x = 0; x < width; ++x, to += 4) {
      to[0] = static_cast<uint8_t>(qRed(from[x]));
      to[1] = static_cast<uint8_t>(qGreen(from[x]));
      to[2] = static_cast<uint8_t>(qBlue(from[x]));
      to[3] = static_cast<uint8_t>(qAlpha(from[x]));
    }
  }
  Upload(textureId, texWidth, texHeight, pixels, false);
}

void Image::ReleaseTexture() {
  if (textureId != 0) glDeleteTextures(1, &textureId);
  textureId = 0;
  pixels.clear();
  pixels.shrink_to_fit();
  width = 0;
  height = 0;
}
