#pragma once
// A form that is never shown: it carries the play bar's pictures and the handle sprite, read from
// the program's resources, and the sprite's texture.

#include <QImage>
#include <QWidget>

#include "image.h"

class TFormBitmap : public QWidget {
 public:
  TFormBitmap();
  ~TFormBitmap() override;

  QImage HandleImage;          // 32 x 16 with alpha: scale handle left, rotation handle right
  QImage ImageControlsPlay;    // 33 x 30
  QImage ImageControlsPause;   // 33 x 30
  QImage ImageControlsCenter;  // 1 x 30, one column of the track
  QImage ImageControlsRight;   // 12 x 30
  QImage ImageSlider;          // 8 x 15

  // The handle sprite's texture; made once the view's GL context exists (CreateHandleTexture).
  GLuint HandleTexture() const { return handleSprite.textureId; }
  void CreateHandleTexture();   // GL context required
  void ReleaseHandleTexture();  // GL context required

 private:
  Image handleSprite;
};

extern TFormBitmap* FormBitmap;
