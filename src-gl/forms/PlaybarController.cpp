// Playback: the play button, the timer step, the slider, and the play bar's paint box.

#include "PlaybarController.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>

namespace {

uint32_t MonotonicTicks() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return static_cast<uint32_t>(clock.elapsed());
}

// The play bar's paint box: shows the composed bar and passes the mouse to the controller.
class TPlaybarBox : public QWidget {
 public:
  TPlaybarBox(PlaybarController* controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(128, 128, 128));
    painter.drawImage(0, 0, ComposePlaybar(controller_->Pictures(), controller_->playbar(), width()));
  }
  void mousePressEvent(QMouseEvent* event) override {
    controller_->BarMouseDown(static_cast<int>(event->position().x()));
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    controller_->BarMouseMove(static_cast<int>(event->position().x()));
  }
  void mouseReleaseEvent(QMouseEvent*) override { controller_->BarMouseUp(); }

 private:
  PlaybarController* controller_;
};

}  // namespace

PlaybarController::PlaybarController(Project& project, QWidget* view, PlaybarGraphics& pictures, QWidget* barParent,
                                     QObject* parent)
    : QObject(parent), tickSource(MonotonicTicks), project_(project), view_(view), pictures_(pictures) {
  bar_ = new TPlaybarBox(this, barParent);
  bar_->setObjectName(QStringLiteral("PaintBoxControls"));
  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("Timer"));
  timer_->setInterval(10);
  connect(timer_, &QTimer::timeout, this, [this] { NextFrame(); });
}

void PlaybarController::PlayButtonClick() {
  if (!project_.stack()) return;
  playView_ = true;
  lastTick_ = tickSource();  // a resumed playback goes on from where it paused
  playbar_.playing = !playbar_.playing;
  if (playbar_.playing)
    timer_->start();
  else
    timer_->stop();
  view_->update();
}

void PlaybarController::NextFrame() {
  const ImageStack* stack = project_.stack();
  if (!stack) {
    playbar_.playing = false;
    return;
  }
  const uint32_t now = tickSource();
  // Signed difference of two wrapping counts: right across the wrap-around.
  const int32_t dt = static_cast<int32_t>(now - lastTick_);
  lastTick_ = now;
  // A duration that is not a positive number never reaches the division (a hand-edited file can
  // hold 0 or less); one second is the field's own lower limit.
  const float duration = std::isfinite(stack->duration) && stack->duration > 0.0f ? stack->duration : 1.0f;
  const float step = static_cast<float>(static_cast<long double>(dt) / (static_cast<long double>(duration) * 1000.0L));
  if (playbar_.forward)
    playbar_.position += step;
  else
    playbar_.position -= step;
  if (stack->playSettings.play == PlayMode::Endless) {
    // One pass after another, with no pause at the seam: the position is the time within the
    // pass, and the direction never turns. The frame at 1 is the frame at 0.
    playbar_.position -= std::floor(playbar_.position);
    if (!(playbar_.position >= 0.0f && playbar_.position < 1.0f)) playbar_.position = 0.0f;
  } else if (playbar_.forward && playbar_.position >= 1.0f) {
    playbar_.position = 1.0f;
    playbar_.forward = false;
  } else if (!playbar_.forward && playbar_.position <= 0.0f) {
    playbar_.position = 0.0f;
    playbar_.forward = true;
  }
  bar_->update();
  view_->update();
}

void PlaybarController::StopPlay() {
  playbar_.playing = false;
  timer_->stop();
  bar_->update();
}

void PlaybarController::TrackBarChange() {
  if (!project_.stack()) return;
  playView_ = true;
  view_->update();
}

void PlaybarController::JumpTo(float position) {
  if (!project_.stack()) return;
  playbar_.position = position;
  playView_ = true;
  bar_->update();
  view_->update();
}

void PlaybarController::BarMouseDown(int x) {
  if (MouseDown(pictures_, playbar_, x) == PlaybarAction::PlayButton) PlayButtonClick();
  bar_->update();
}

void PlaybarController::BarMouseMove(int x) {
  const float before = playbar_.position;
  if (MouseMove(pictures_, playbar_, x) == PlaybarAction::TrackChange) {
    // An endless zoom has no ends to turn at: the slider's last move sets the direction, inward
    // to the right, outward to the left.
    const ImageStack* stack = project_.stack();
    if (stack && stack->playSettings.play == PlayMode::Endless && playbar_.position != before)
      playbar_.forward = playbar_.position > before;
    TrackBarChange();
  }
  bar_->update();
}

void PlaybarController::BarMouseUp() { MouseUp(playbar_); }
