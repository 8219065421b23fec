#include "Bitmaps.h"

TFormBitmap::TFormBitmap()
    : HandleImage(QStringLiteral(":/images/handle")),
      ImageControlsPlay(QStringLiteral(":/images/play")),
      ImageControlsPause(QStringLiteral(":/images/pause")),
      ImageControlsCenter(QStringLiteral(":/images/center")),
      ImageControlsRight(QStringLiteral(":/images/right")),
      ImageSlider(QStringLiteral(":/images/slider")) {
  setObjectName(QStringLiteral("FormBitmap"));
  InitPlaybarGraphics(playbarGraphics, ImageControlsPlay, ImageControlsPause, ImageControlsCenter, ImageControlsRight,
                      ImageSlider);
}

TFormBitmap::~TFormBitmap() = default;
