#pragma once
// A form that is never shown: it carries the play bar's pictures and the handle sprite, read from
// the program's resources. The view's renderer makes the sprite's texture; the main window's play
// bar is composed from `playbarGraphics`.

#include <QImage>
#include <QWidget>

#include "Playbar.h"

class TFormBitmap : public QWidget {
 public:
  TFormBitmap();
  ~TFormBitmap() override;

  QImage HandleImage;               // 32 x 16 with alpha: scale handle left, rotation handle right
  QImage ImageControlsPlay;         // 33 x 30
  QImage ImageControlsPause;        // 33 x 30
  QImage ImageControlsCenter;       // 1 x 30, one column of the track
  QImage ImageControlsRight;        // 12 x 30
  QImage ImageSlider;               // 8 x 15
  PlaybarGraphics playbarGraphics;  // built from the pictures above
};
