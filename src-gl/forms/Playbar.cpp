#include "Playbar.h"

#include <algorithm>
#include <cstring>

namespace {

std::vector<uint8_t> RowsOf(const QImage& picture) {
  QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  const size_t rowBytes = static_cast<size_t>(rgb.width()) * 3;
  std::vector<uint8_t> buffer(rowBytes * static_cast<size_t>(rgb.height()));
  for (int y = 0; y < rgb.height(); ++y) std::memcpy(buffer.data() + rowBytes * y, rgb.constScanLine(y), rowBytes);
  return buffer;
}

float TrackPosition(const PlaybarGraphics& g, int x) {
  const int length = g.barWidth - g.capWidth - g.buttonWidth;
  if (length <= 0) return 0.0f;
  return static_cast<float>(x - g.buttonWidth) / static_cast<float>(length);
}

}  // namespace

void InitPlaybarGraphics(PlaybarGraphics& g, const QImage& play, const QImage& pause, const QImage& center,
                         const QImage& right, const QImage& slider) {
  g.barWidth = 1;
  g.barHeight = 30;
  g.buttonWidth = play.width();
  g.capWidth = right.width();
  g.sliderHeight = slider.height();
  g.sliderWidth = slider.width();
  g.play = RowsOf(play);
  g.pause = RowsOf(pause.copy(0, 0, play.width(), play.height()));  // copied with the play picture's width
  g.center = RowsOf(center);
  g.right = RowsOf(right);
  g.slider = RowsOf(slider);
  g.barBitmap = QImage(g.barWidth, g.barHeight, QImage::Format_RGB888);
}

int SliderColumn(const PlaybarGraphics& g, const Playbar& playbar) {
  return static_cast<int>(static_cast<float>(g.barWidth - g.buttonWidth - g.capWidth) * playbar.position +
                          static_cast<float>(g.buttonWidth - 4));
}

const QImage& ComposePlaybar(PlaybarGraphics& g, const Playbar& playbar, int width) {
  // Narrower than the button and the cap, the bar cannot be laid out; the window's minimum size
  // keeps it far wider, but a bar is never composed out of bounds.
  width = std::max(width, g.buttonWidth + g.capWidth);
  if (g.barBitmap.width() != width || g.barBitmap.height() != g.barHeight) {
    g.barWidth = width;
    g.barBitmap = QImage(g.barWidth, g.barHeight, QImage::Format_RGB888);
  }
  if (g.play.empty()) {  // no pictures: a plain bar
    g.barBitmap.fill(QColor(128, 128, 128));
    return g.barBitmap;
  }

  const std::vector<uint8_t>& left = playbar.playing ? g.pause : g.play;
  const size_t buttonRow = static_cast<size_t>(g.buttonWidth) * 3;
  const size_t capRow = static_cast<size_t>(g.capWidth) * 3;
  for (int r = 0; r < g.barHeight; ++r) {
    uint8_t* row = g.barBitmap.scanLine(r);
    std::memcpy(row, left.data() + buttonRow * r, buttonRow);
    const uint8_t* track = g.center.data() + 3 * r;
    for (int x = g.buttonWidth; x < g.barWidth - g.capWidth; ++x) std::memcpy(row + 3 * x, track, 3);
    std::memcpy(row + 3 * (g.barWidth - g.capWidth), g.right.data() + capRow * r, capRow);
  }

  const int x0 = SliderColumn(g, playbar);
  const size_t sliderRow = static_cast<size_t>(g.sliderWidth) * 3;
  for (int r = 0; r < g.sliderHeight && 8 + r < g.barHeight; ++r) {
    uint8_t* row = g.barBitmap.scanLine(8 + r);
    for (int c = 0; c < g.sliderWidth; ++c) {
      const int x = x0 + c;
      if (x >= 0 && x < g.barWidth) std::memcpy(row + 3 * x, g.slider.data() + sliderRow * r + 3 * c, 3);
    }
  }
  return g.barBitmap;
}

PlaybarAction MouseDown(const PlaybarGraphics& g, Playbar& playbar, int x) {
  if (x < 24) {
    playbar.dragging = false;
    return PlaybarAction::PlayButton;
  }
  if (g.buttonWidth <= x && x <= g.barWidth - g.capWidth) {
    playbar.position = TrackPosition(g, x);
    playbar.dragging = true;
    return PlaybarAction::None;  // the first move, or the next repaint, shows the zoom there
  }
  playbar.dragging = false;
  return PlaybarAction::None;
}

PlaybarAction MouseMove(const PlaybarGraphics& g, Playbar& playbar, int x) {
  if (!playbar.dragging) return PlaybarAction::None;
  playbar.position = std::clamp(TrackPosition(g, x), 0.0f, 1.0f);
  return PlaybarAction::TrackChange;
}

void MouseUp(Playbar& playbar) { playbar.dragging = false; }
