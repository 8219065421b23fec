#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>
#include <cmath>

#include "EditorFixture.h"
#include "Playbar.h"

namespace {

using PlaybarForm = EditorFixture;

void Press(TmainForm* form, int x) { QTest::mousePress(form->PaintBoxControls, Qt::LeftButton, {}, QPoint(x, 15)); }
void Release(TmainForm* form, int x) { QTest::mouseRelease(form->PaintBoxControls, Qt::LeftButton, {}, QPoint(x, 15)); }
void Drag(TmainForm* form, int x) {
  QMouseEvent move(QEvent::MouseMove, QPointF(x, 15), form->PaintBoxControls->mapToGlobal(QPointF(x, 15)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form->PaintBoxControls, &move);
}

TEST_F(PlaybarForm, HitGeometryAtTheDesignedWidth) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  ASSERT_EQ(form->PaintBoxControls->width(), 441);
  ComposePlaybar(windows.bitmap->playbarGraphics, form->playback().playbar(), 441);
  ASSERT_EQ(windows.bitmap->playbarGraphics.barWidth, 441);
  ASSERT_EQ(windows.bitmap->playbarGraphics.buttonWidth, 33);
  ASSERT_EQ(windows.bitmap->playbarGraphics.capWidth, 12);

  Press(form, 10);  // the button's live area
  Release(form, 10);
  EXPECT_TRUE(form->playback().playbar().playing);
  EXPECT_TRUE(form->playback().Timer()->isActive());
  Press(form, 10);
  Release(form, 10);
  EXPECT_FALSE(form->playback().playbar().playing);

  form->playback().playbar().position = 0.3f;
  Press(form, 30);  // on the button's picture but outside its live area
  EXPECT_FALSE(form->playback().playbar().playing);
  EXPECT_FALSE(form->playback().playbar().dragging);
  EXPECT_EQ(form->playback().playbar().position, 0.3f);
  Release(form, 30);

  struct Case {
    int x;
    float position;
  } track[] = {{33, 0.0f}, {231, 0.5f}, {429, 1.0f}};
  for (const auto& c : track) {
    Press(form, c.x);
    EXPECT_TRUE(form->playback().playbar().dragging) << c.x;
    EXPECT_FLOAT_EQ(form->playback().playbar().position, c.position) << c.x;
    Release(form, c.x);
    EXPECT_FALSE(form->playback().playbar().dragging);
  }
  Press(form, 435);  // on the cap: nothing, and no drag
  EXPECT_FALSE(form->playback().playbar().dragging);
  EXPECT_FLOAT_EQ(form->playback().playbar().position, 1.0f);
  Drag(form, 100);
  EXPECT_FLOAT_EQ(form->playback().playbar().position, 1.0f);
  Release(form, 435);
}

TEST_F(PlaybarForm, DraggingFollowsTheMouseWithinTheTrackAndShowsTheZoom) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  Press(form, 231);
  EXPECT_FALSE(form->playback().PlayView());  // the press alone does not redraw the zoom
  Drag(form, 5);
  EXPECT_EQ(form->playback().playbar().position, 0.0f);
  EXPECT_TRUE(form->playback().PlayView());
  Drag(form, 500);
  EXPECT_EQ(form->playback().playbar().position, 1.0f);
  Drag(form, 132);
  EXPECT_FLOAT_EQ(form->playback().playbar().position, 0.25f);
  Release(form, 132);
  Drag(form, 300);
  EXPECT_FLOAT_EQ(form->playback().playbar().position, 0.25f);
}

TEST_F(PlaybarForm, SliderSitsOnTheTrackScale) {
  Start();
  Playbar bar;
  bar.position = 0.5f;
  ComposePlaybar(windows.bitmap->playbarGraphics, bar, 441);
  EXPECT_EQ(SliderColumn(windows.bitmap->playbarGraphics, bar), 227);
  // The slider's columns 227 to 234 differ from the plain track; 226 and 235 are the track.
  const QImage track = ComposePlaybar(windows.bitmap->playbarGraphics, Playbar{0.0f, true, false, false}, 441).copy();
  const QImage slider = ComposePlaybar(windows.bitmap->playbarGraphics, bar, 441).copy();
  auto differs = [&](int x) {
    for (int y = 8; y < 23; ++y)
      if (track.pixel(x, y) != slider.pixel(x, y)) return true;
    return false;
  };
  EXPECT_FALSE(differs(226));
  for (int x = 227; x <= 234; ++x) EXPECT_TRUE(differs(x)) << x;
  EXPECT_FALSE(differs(235));
  bar.position = 0.0f;
  EXPECT_EQ(SliderColumn(windows.bitmap->playbarGraphics, bar) + 4, 33);
  bar.position = 1.0f;
  EXPECT_EQ(SliderColumn(windows.bitmap->playbarGraphics, bar) + 4, 441 - 12);
}

TEST_F(PlaybarForm, PlayingShowsThePausePicture) {
  Start();
  Playbar bar;
  // Columns 0 to 28: the slider at position 0 covers the rest of the button picture.
  const QImage stopped = ComposePlaybar(windows.bitmap->playbarGraphics, bar, 441).copy(0, 0, 29, 30);
  bar.playing = true;
  const QImage playing = ComposePlaybar(windows.bitmap->playbarGraphics, bar, 441).copy(0, 0, 29, 30);
  EXPECT_NE(stopped, playing);
  EXPECT_EQ(playing, windows.bitmap->ImageControlsPause.convertToFormat(QImage::Format_RGB888).copy(0, 0, 29, 30));
  EXPECT_EQ(stopped, windows.bitmap->ImageControlsPlay.convertToFormat(QImage::Format_RGB888).copy(0, 0, 29, 30));
}

TEST_F(PlaybarForm, StepsFollowTheClock) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  ticks = 5000;
  form->playback().PlayButtonClick();
  ticks += 500;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.05, 1e-6);  // 500 ms of 10 s
  ticks += 20;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.052, 1e-6);

  // Pause, wait, resume: no jump.
  form->playback().PlayButtonClick();
  EXPECT_FALSE(form->playback().Timer()->isActive());
  ticks += 60000;
  form->playback().PlayButtonClick();
  ticks += 100;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.062, 1e-6);
}

TEST_F(PlaybarForm, TurnsAtBothEndsAndDropsTheOvershoot) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->playback().PlayButtonClick();
  form->playback().playbar().position = 0.99f;
  ticks += 300;
  form->playback().NextFrame();
  EXPECT_EQ(form->playback().playbar().position, 1.0f);
  EXPECT_FALSE(form->playback().playbar().forward);
  ticks += 1000;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.9, 1e-6);
  form->playback().playbar().position = 0.01f;
  ticks += 500;
  form->playback().NextFrame();
  EXPECT_EQ(form->playback().playbar().position, 0.0f);
  EXPECT_TRUE(form->playback().playbar().forward);
  // At the end and still heading forward (after a drag to the end): the first tick turns.
  form->playback().playbar().position = 1.0f;
  form->playback().playbar().forward = true;
  ticks += 10;
  form->playback().NextFrame();
  EXPECT_EQ(form->playback().playbar().position, 1.0f);
  EXPECT_FALSE(form->playback().playbar().forward);
}

TEST_F(PlaybarForm, TickCountWrapsAround) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  ticks = 0xFFFFFF00u;
  form->playback().PlayButtonClick();
  ticks = 0x000000F4u;  // 500 ms later, across the wrap
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.05, 1e-6);
}

TEST_F(PlaybarForm, DurationOfZeroOrLessNeverDividesByZero) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->playback().PlayButtonClick();
  for (float duration : {0.0f, -5.0f, std::nanf("")}) {
    form->Stack()->duration = duration;
    form->playback().playbar().position = 0.2f;
    form->playback().playbar().forward = true;
    ticks += 100;
    form->playback().NextFrame();
    EXPECT_TRUE(std::isfinite(form->playback().playbar().position)) << duration;
    EXPECT_NEAR(form->playback().playbar().position, 0.3, 1e-6) << duration;
  }
}

TEST_F(PlaybarForm, WithoutProjectPlayingDoesNothing) {
  Start();
  Press(form, 10);
  EXPECT_FALSE(form->playback().playbar().playing);
  EXPECT_FALSE(form->playback().Timer()->isActive());
  EXPECT_FALSE(form->playback().PlayView());
  form->playback().playbar().playing = true;
  form->playback().NextFrame();
  EXPECT_FALSE(form->playback().playbar().playing);
}

TEST_F(PlaybarForm, TimerDrivesPlaybackInRealTime) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->playback().tickSource = [] {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return static_cast<uint32_t>(clock.elapsed());
  };
  form->playback().PlayButtonClick();
  QTRY_VERIFY_WITH_TIMEOUT(form->playback().playbar().position > 0.02f, 20000);  // 200 ms of a 10 s pass
  form->playback().StopPlay();
  EXPECT_FALSE(form->playback().Timer()->isActive());
}

// The mean difference of two grabbed views, in levels of a channel.
double MeanDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 255;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * a.width() * a.height());
}

// An endless project plays on through the seam without turning or pausing: the position wraps
// into the next pass, the frame just before the seam looks like the one just after it, and the
// slider's last move sets the direction.
TEST_F(PlaybarForm, EndlessPlaybackPassesTheSeam) {
  ProjectFiles project(3);
  Start({QString::fromStdString(project.path)});
  form->playback().playbar().forward = false;  // as a there-and-back zoom may have left it
  form->ComboPlay->setCurrentIndex(1);
  ASSERT_EQ(form->Stack()->playSettings.play, PlayMode::Endless);
  form->playback().PlayButtonClick();
  EXPECT_TRUE(form->playback().playbar().forward);  // an endless zoom dives inward
  ticks += 9990;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.999, 1e-5);
  const QImage before = ViewImage();
  ticks += 20;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.001, 1e-5);
  EXPECT_TRUE(form->playback().playbar().forward);
  EXPECT_TRUE(form->playback().Timer()->isActive());
  const QImage after = ViewImage();
  EXPECT_LE(MeanDifference(before, after), 4.0);
  form->playback().JumpTo(0.5f);
  EXPECT_GT(MeanDifference(before, ViewImage()), 20.0);  // the comparison can tell frames apart

  // Many passes later, and backwards through the seam once the slider was moved to the left.
  ticks += 123456;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.8456, 1e-4);
  Press(form, 240);
  Drag(form, 200);
  Release(form, 200);
  EXPECT_FALSE(form->playback().playbar().forward);
  form->playback().playbar().position = 0.002f;
  ticks += 40;
  form->playback().NextFrame();
  EXPECT_NEAR(form->playback().playbar().position, 0.998, 1e-5);

  // There and back again: the ends turn as before.
  form->ComboPlay->setCurrentIndex(0);
  form->playback().playbar().forward = true;
  form->playback().playbar().position = 0.999f;
  ticks += 100;
  form->playback().NextFrame();
  EXPECT_EQ(form->playback().playbar().position, 1.0f);
  EXPECT_FALSE(form->playback().playbar().forward);
}

}  // namespace
