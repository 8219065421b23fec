#include "Bitmaps.h"

#include "Playbar.h"

TFormBitmap* FormBitmap = nullptr;

TFormBitmap::TFormBitmap()
    : HandleImage(QStringLiteral(":/images/handle")),
      ImageControlsPlay(QStringLiteral(":/images/play")),
      ImageControlsPause(QStringLiteral(":/images/pause")),
      ImageControlsCenter(QStringLiteral(":/images/center")),
      ImageControlsRight(QStringLiteral(":/images/right")),
      ImageSlider(QStringLiteral(":/images/slider")) {
  setObjectName(QStringLiteral("FormBitmap"));
  InitPlaybarGraphics(ImageControlsPlay, ImageControlsPause, ImageControlsCenter, ImageControlsRight, ImageSlider);
  FormBitmap = this;
}

TFormBitmap::~TFormBitmap() {
  FreePlaybarGraphics();
  if (FormBitmap == this) FormBitmap = nullptr;
}
