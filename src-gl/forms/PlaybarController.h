#pragma once
// Playback in the main window: the timer, the play position and direction, whether the view shows
// the zoom at that position, and the play bar's paint box (its mouse and its painting).

#include <QObject>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "Playbar.h"
#include "Project.h"

class QTimer;

class PlaybarController : public QObject {
 public:
  // `view`: the widget that shows the zoom (repainted as the position moves; it may come later,
  // through SetView, before anything plays). `pictures`: the
  // play bar's artwork. `barParent`: where the play bar's paint box goes (the window lays it out).
  PlaybarController(Project& project, QWidget* view, PlaybarGraphics& pictures, QWidget* barParent, QObject* parent);

  Playbar& playbar() { return playbar_; }
  const Playbar& playbar() const { return playbar_; }
  // The view shows the zoom at the play position, not the edit view.
  bool PlayView() const { return playView_; }
  void SetPlayView(bool on) { playView_ = on; }
  void SetView(QWidget* view) { view_ = view; }
  QTimer* Timer() const { return timer_; }
  QWidget* Bar() const { return bar_; }  // the play bar's paint box
  PlaybarGraphics& Pictures() const { return pictures_; }

  void PlayButtonClick();
  void NextFrame();  // the timer's step
  void StopPlay();
  void TrackBarChange();
  // Home and End in the view: the zoom at the start or the end of the pass.
  void JumpTo(float position);
  void BarMouseDown(int x);
  void BarMouseMove(int x);
  void BarMouseUp();

  // --- seam for tests ---
  std::function<uint32_t()> tickSource;  // 32-bit milliseconds, wrapping

 private:
  Project& project_;
  QWidget* view_;
  PlaybarGraphics& pictures_;
  QWidget* bar_;
  QTimer* timer_;
  Playbar playbar_;
  uint32_t lastTick_ = 0;  // tick count at the last playback step
  bool playView_ = false;
};
