// Playback: the play button, the timer step, the slider.

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>

#include "main.h"

void TmainForm::PlayButtonClick() {
  if (!Stack()) return;
  playView = true;
  lastTick = tickSource();  // a resumed playback goes on from where it paused
  playbar.playing = !playbar.playing;
  if (playbar.playing)
    Timer->start();
  else
    Timer->stop();
  Panel->update();
}

void TmainForm::NextFrame() {
  if (!Stack()) {
    playbar.playing = false;
    return;
  }
  const uint32_t now = tickSource();
  // Signed difference of two wrapping counts: right across the wrap-around.
  const int32_t dt = static_cast<int32_t>(now - lastTick);
  lastTick = now;
  // A duration that is not a positive number never reaches the division (a hand-edited file can
  // hold 0 or less); one second is the field's own lower limit.
  const float duration = std::isfinite(Stack()->duration) && Stack()->duration > 0.0f ? Stack()->duration : 1.0f;
  const float step = static_cast<float>(static_cast<long double>(dt) / (static_cast<long double>(duration) * 1000.0L));
  if (playbar.forward)
    playbar.position += step;
  else
    playbar.position -= step;
  if (playbar.forward && playbar.position >= 1.0f) {
    playbar.position = 1.0f;
    playbar.forward = false;
  } else if (!playbar.forward && playbar.position <= 0.0f) {
    playbar.position = 0.0f;
    playbar.forward = true;
  }
  PaintBoxControls->update();
  Panel->update();
}

void TmainForm::StopPlay() {
  playbar.playing = false;
  Timer->stop();
  PaintBoxControls->update();
}

void TmainForm::TrackBarChange() {
  if (!Stack()) return;
  playView = true;
  Panel->update();
}

void TmainForm::PaintBoxControlsMouseDown(int x) {
  if (MouseDown(PlaybarPictures(), playbar, x) == PlaybarAction::PlayButton) PlayButtonClick();
  PaintBoxControls->update();
}

void TmainForm::PaintBoxControlsMouseMove(int x) {
  if (MouseMove(PlaybarPictures(), playbar, x) == PlaybarAction::TrackChange) TrackBarChange();
  PaintBoxControls->update();
}

void TmainForm::PaintBoxControlsMouseUp() { MouseUp(playbar); }

// --- the play bar's paint box ---

TPlaybarBox::TPlaybarBox(TmainForm* form, QWidget* parent) : QWidget(parent), form_(form) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPlaybarBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(128, 128, 128));
  painter.drawImage(0, 0, ComposePlaybar(form_->PlaybarPictures(), form_->playbar, width()));
}

void TPlaybarBox::mousePressEvent(QMouseEvent* event) {
  form_->PaintBoxControlsMouseDown(static_cast<int>(event->position().x()));
}

void TPlaybarBox::mouseMoveEvent(QMouseEvent* event) {
  form_->PaintBoxControlsMouseMove(static_cast<int>(event->position().x()));
}

void TPlaybarBox::mouseReleaseEvent(QMouseEvent*) { form_->PaintBoxControlsMouseUp(); }
