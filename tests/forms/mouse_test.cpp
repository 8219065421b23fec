#include <cmath>
#include <utility>

#include "EditorFixture.h"

namespace {

struct ViewMouse : EditorFixture {
  ProjectFiles project{2};

  void SetUp() override { Start({QString::fromStdString(project.path)}); }

  // Where a point of the selected picture's child is, in the view's logical pixels (top-left).
  QPoint ChildPoint(double x, double y) {
    const int c = form->SelectedPicture() + 1;
    double wx = 0, wy = 0;
    form->view().MakeViewCurrent();
    form->Stack()->ChildToWindow(form->Panel->Geometry(), form->view().viewTransform(), c, x, y, wx, wy);
    const double ratio = form->Panel->PixelRatio();
    const double H = form->Panel->height() * ratio;
    return QPoint(static_cast<int>(std::lround(wx / ratio)), static_cast<int>(std::lround((H - 1 - wy) / ratio)));
  }
  Extents ChildExtents() {
    const Image& child = *form->Stack()->images[static_cast<size_t>(form->SelectedPicture() + 1)];
    return ElementExtents(child.width, child.height);
  }
  Transform& Child() { return form->Stack()->images[static_cast<size_t>(form->SelectedPicture() + 1)]->transform; }

  void Drag(Qt::MouseButton button, QPoint from, QPoint to, int steps = 4) {
    QTest::mousePress(form->Panel, button, {}, from);
    for (int k = 1; k <= steps; ++k) {
      const QPoint p = from + (to - from) * k / steps;
      QMouseEvent move(QEvent::MouseMove, QPointF(p), form->Panel->mapToGlobal(QPointF(p)), Qt::NoButton, button,
                       Qt::NoModifier);
      QApplication::sendEvent(form->Panel, &move);
    }
    QTest::mouseRelease(form->Panel, button, {}, to);
  }
};

TEST_F(ViewMouse, ScaleHandleChangesOnlyTheScale) {
  const Extents e = ChildExtents();
  const Transform before = Child();
  form->Stack()->dirty = false;
  const QPoint handle = ChildPoint(e.ex / 2, e.ey / 2);
  Drag(Qt::LeftButton, handle, handle + QPoint(30, -10));
  EXPECT_GT(Child().scale, before.scale);
  EXPECT_EQ(Child().translateX, before.translateX);
  EXPECT_EQ(Child().translateY, before.translateY);
  EXPECT_EQ(Child().rotate, before.rotate);
  EXPECT_TRUE(form->Stack()->dirty);
}

TEST_F(ViewMouse, ScaleDragAcrossTheCentreLineKeepsAPositiveScale) {
  const Extents e = ChildExtents();
  const QPoint handle = ChildPoint(e.ex / 2, e.ey / 2);
  const QPoint centre = ChildPoint(0, 0);
  Drag(Qt::LeftButton, handle, QPoint(centre.x() - 40, handle.y()), 7);
  EXPECT_TRUE(std::isfinite(Child().scale));
  EXPECT_GT(Child().scale, 0.0f);
}

TEST_F(ViewMouse, RotationHandleFollowsTheMouseAroundTheCentre) {
  const Extents e = ChildExtents();
  const Transform before = Child();
  const QPoint centre = ChildPoint(0, 0);
  const QPoint handle = ChildPoint(e.ex / 2, 0);
  // A quarter turn counter-clockwise on screen: from the right of the centre to above it.
  const int r = handle.x() - centre.x();
  Drag(Qt::LeftButton, handle, centre + QPoint(0, -r), 12);
  EXPECT_NEAR(Child().rotate, before.rotate + 90.0f, 4.0f);
  EXPECT_EQ(Child().scale, before.scale);
  EXPECT_EQ(Child().translateX, before.translateX);
  // The handle is where the mouse let go.
  const QPoint now = ChildPoint(e.ex / 2, 0);
  EXPECT_LE((now - (centre + QPoint(0, -r))).manhattanLength(), 6);
}

TEST_F(ViewMouse, DragInsideTheChildMovesItsCentreWithTheMouse) {
  const Transform before = Child();
  const QPoint centre = ChildPoint(0, 0);
  Drag(Qt::LeftButton, centre + QPoint(10, 5), centre + QPoint(40, -15));
  EXPECT_EQ(Child().scale, before.scale);
  EXPECT_EQ(Child().rotate, before.rotate);
  const QPoint moved = ChildPoint(0, 0);
  EXPECT_LE((moved - (centre + QPoint(30, -20))).manhattanLength(), 2);
}

TEST_F(ViewMouse, TargetFrameMovesTheSameWay) {
  form->ListBox->setCurrentRow(1);  // the last picture: its child is the target frame
  const QPoint centre = ChildPoint(0, 0);
  Drag(Qt::LeftButton, centre, centre + QPoint(-25, 20));
  EXPECT_LE((ChildPoint(0, 0) - (centre + QPoint(-25, 20))).manhattanLength(), 2);
  EXPECT_NE(form->Stack()->targetFrame()->transform.translateX, 0.0f);
}

TEST_F(ViewMouse, DragOutsideTheChildPansTheView) {
  const Transform child = Child();
  form->Stack()->dirty = false;
  Drag(Qt::LeftButton, QPoint(20, 20), QPoint(60, 40));
  EXPECT_NE(form->view().viewTransform().translateX, 0.0f);
  EXPECT_NE(form->view().viewTransform().translateY, 0.0f);
  EXPECT_EQ(Child().translateX, child.translateX);
  EXPECT_FALSE(form->Stack()->dirty);
}

TEST_F(ViewMouse, RightDragZoomsTheView) {
  struct Case {
    QPoint by;
    double factor;
  } cases[] = {
      {QPoint(100, 0), std::pow(1.005, 100)}, {QPoint(-100, 0), std::pow(1.005, -100)}, {QPoint(50, -50), 1.0}};
  const QPoint centre = ChildPoint(0, 0);  // a right drag on the child zooms all the same
  for (const auto& c : cases) {
    form->view().viewTransform() = Transform();
    const Transform child = Child();
    Drag(Qt::RightButton, centre, centre + c.by);
    EXPECT_NEAR(form->view().viewTransform().scale, c.factor, 1e-4 * c.factor);
    EXPECT_EQ(Child().translateX, child.translateX);
  }
}

TEST_F(ViewMouse, NothingHappensWhilePlaybackIsShown) {
  form->playback().playbar().position = 0.4f;
  form->playback().TrackBarChange();
  ASSERT_TRUE(form->playback().PlayView());
  const Transform child = Child();
  const Transform view = form->view().viewTransform();
  const QPoint centre = ChildPoint(0, 0);
  Drag(Qt::LeftButton, centre, centre + QPoint(30, 30));
  Drag(Qt::RightButton, centre, centre + QPoint(30, 30));
  EXPECT_EQ(Child().translateX, child.translateX);
  EXPECT_EQ(form->view().viewTransform().scale, view.scale);
  EXPECT_EQ(form->view().viewTransform().translateX, view.translateX);
  EXPECT_FALSE(form->view().Dragging());
}

TEST_F(ViewMouse, MovesWithoutAPressChangeNothing) {
  const Transform view = form->view().viewTransform();
  QMouseEvent move(QEvent::MouseMove, QPointF(50, 50), form->Panel->mapToGlobal(QPointF(50, 50)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(form->Panel, &move);
  EXPECT_EQ(form->view().viewTransform().translateX, view.translateX);
  EXPECT_FALSE(form->view().Dragging());
}

TEST_F(ViewMouse, ASecondButtonStartsANewDrag) {
  const QPoint centre = ChildPoint(0, 0);
  QTest::mousePress(form->Panel, Qt::LeftButton, {}, centre);
  EXPECT_EQ(form->view().DragModeNow(), DragMode::Move);
  QTest::mousePress(form->Panel, Qt::RightButton, {}, QPoint(5, 5));
  EXPECT_EQ(form->view().DragButton(), Qt::RightButton);
  EXPECT_EQ(form->view().DragModeNow(), DragMode::Pan);
  QTest::mouseRelease(form->Panel, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(form->view().Dragging());
  QTest::mouseRelease(form->Panel, Qt::RightButton, {}, QPoint(5, 5));
}

using EmptyView = EditorFixture;

TEST_F(EmptyView, WithoutAProjectLeftDragPansAndRightDragZooms) {
  Start();
  QTest::mousePress(form->Panel, Qt::LeftButton, {}, QPoint(10, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(50, 30), form->Panel->mapToGlobal(QPointF(50, 30)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form->Panel, &move);
  QTest::mouseRelease(form->Panel, Qt::LeftButton, {}, QPoint(50, 30));
  EXPECT_NE(form->view().viewTransform().translateX, 0.0f);
  QTest::mousePress(form->Panel, Qt::RightButton, {}, QPoint(10, 10));
  QMouseEvent zoom(QEvent::MouseMove, QPointF(30, 10), form->Panel->mapToGlobal(QPointF(30, 10)), Qt::NoButton,
                   Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(form->Panel, &zoom);
  EXPECT_NEAR(form->view().viewTransform().scale, std::pow(1.005, 20), 1e-5);
}

// The wheel zooms the edit view about the mouse: the picture's point under it stays there. Home
// and End in the view go to the start and the end of the zoom.
TEST_F(ViewMouse, WheelZoomsAboutTheMouseAndHomeEndJump) {
  const double ratio = form->Panel->PixelRatio();
  const QPoint at(90, 70);
  auto under = [&] {
    double x = 0, y = 0;
    WindowToView(form->Panel->Geometry(), form->view().viewTransform(), at.x() * ratio, at.y() * ratio, x, y);
    return std::make_pair(x, y);
  };
  const auto before = under();
  QWheelEvent wheel(QPointF(at), form->Panel->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(form->Panel, &wheel);
  EXPECT_NEAR(form->view().viewTransform().scale, 1.21f, 1e-5);
  const auto after = under();
  EXPECT_NEAR(after.first, before.first, 1e-4);
  EXPECT_NEAR(after.second, before.second, 1e-4);

  QTest::keyClick(form->Panel, Qt::Key_End);
  EXPECT_TRUE(form->playback().PlayView());
  EXPECT_EQ(form->playback().playbar().position, 1.0f);
  QTest::keyClick(form->Panel, Qt::Key_Home);
  EXPECT_EQ(form->playback().playbar().position, 0.0f);
}

}  // namespace
