#pragma once
// The play bar under the view: a play/pause button at the left, a track with a slider that shows
// and sets the play position, a cap at the right. Composed pixel by pixel into one off-screen
// bitmap from five pictures that are read once at start.

#include <QImage>
#include <cstdint>
#include <vector>

struct Playbar {
  float position = 0.0f;  // normalised time of the zoom, 0..1
  bool forward = true;    // playback runs towards 1
  bool playing = false;
  bool dragging = false;  // the slider follows the mouse
};

// The pictures a play bar is composed from and the bar last composed; built by InitPlaybarGraphics
// (the bitmap holder keeps the editor's).
struct PlaybarGraphics {
  int barWidth = 1;
  int barHeight = 30;
  int buttonWidth = 0;  // the play picture's width, 33
  int capWidth = 0;     // the right cap's width, 12
  int sliderHeight = 0;
  int sliderWidth = 0;
  // RGB rows, top row first, width x height x 3 bytes each.
  std::vector<uint8_t> play, pause, center, right, slider;
  QImage barBitmap;  // 24-bit, barWidth x barHeight
};

void InitPlaybarGraphics(PlaybarGraphics& graphics, const QImage& play, const QImage& pause, const QImage& center,
                         const QImage& right, const QImage& slider);

// Composes the bar for a paint box `width` pixels wide into barBitmap and returns it.
const QImage& ComposePlaybar(PlaybarGraphics& graphics, const Playbar& playbar, int width);

// The slider's left column for the current bar width.
int SliderColumn(const PlaybarGraphics& graphics, const Playbar& playbar);

enum class PlaybarAction { None, PlayButton, TrackChange };

// A press at x: the 24-pixel live area of the button toggles play; the track sets the position
// and starts a drag; anything else ends a drag.
PlaybarAction MouseDown(const PlaybarGraphics& graphics, Playbar& playbar, int x);
// While dragging, the position follows x (limited to 0..1) and the zoom is to be shown there.
PlaybarAction MouseMove(const PlaybarGraphics& graphics, Playbar& playbar, int x);
void MouseUp(Playbar& playbar);
