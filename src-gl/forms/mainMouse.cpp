// The mouse and the keys in the view: aligning the selected picture's child, panning and zooming
// the view.

#include <cmath>

#include "main.h"

void TmainForm::PanelMouseDown(Qt::MouseButton button, int X, int Y) {
  if (playView) return;  // the view shows playback; a click in the list returns to editing
  RecordPlacement();     // a drag that another button's press ends
  panelDragMode = DragMode::Pan;
  if (Stack()) panelDragMode = ChooseDrag(Stack(), Panel->Geometry(), X, Y, SelectedPicture(), viewTransform);
  panelLastX = X;
  panelLastY = Y;
  panelDragging = true;
  panelButton = button;
  // A drag of the selected picture's child is one undo step, from this press to the release.
  panelDragElement_ = -1;
  const int c = EditedChild();
  if (button == Qt::LeftButton && panelDragMode != DragMode::Pan && c >= 1) {
    panelDragElement_ = c;
    panelDragStart = Stack()->images[static_cast<size_t>(c)]->transform;
  }
}

void TmainForm::PanelMouseMove(int X, int Y) {
  if (playView || !panelDragging) return;
  const ViewGeometry geometry = Panel->Geometry();
  if (panelButton == Qt::RightButton) {
    ZoomView(viewTransform, panelLastX, panelLastY, X, Y);
  } else if (panelButton == Qt::LeftButton) {
    const int c = SelectedPicture() + 1;  // read at every move
    switch (panelDragMode) {
      case DragMode::Scale:
        if (Stack()) Stack()->DragScale(geometry, c, viewTransform, panelLastX, panelLastY, X, Y);
        break;
      case DragMode::Rotate:
        if (Stack()) Stack()->DragRotate(geometry, c, viewTransform, panelLastX, panelLastY, X, Y);
        break;
      case DragMode::Move:
        if (Stack()) Stack()->DragMove(geometry, c, viewTransform, panelLastX, panelLastY, X, Y);
        break;
      case DragMode::Pan:
        PanView(geometry, viewTransform, panelLastX, panelLastY, X, Y);
        break;
    }
  }
  panelLastX = X;
  panelLastY = Y;
  if (SelectedPicture() >= 0) Panel->update();
}

void TmainForm::PanelMouseUp(Qt::MouseButton) {
  if (playView) return;
  panelDragging = false;
  RecordPlacement();
}

void TmainForm::PanelWheel(int X, int Y, double notches) {
  if (!Stack() || SelectedPicture() < 0 || notches == 0) return;
  if (playView) {
    // The wheel goes back to the edit view as it was left.
    StopPlay();
    playView = false;
  }
  ZoomViewAbout(Panel->Geometry(), viewTransform, X, Y, std::pow(1.1, notches));
  Panel->update();
}

int TmainForm::EditedChild() const {
  const int c = SelectedPicture() + 1;
  return Stack() && c >= 1 && c < Stack()->count() ? c : -1;
}

bool TmainForm::NudgeChild(Nudge kind, double a, double b, bool repeated) {
  const int c = EditedChild();
  if (playView || panelDragging || Opening() || c < 0) return false;
  Transform& t = Stack()->images[static_cast<size_t>(c)]->transform;
  const Transform before = t;
  switch (kind) {
    case Nudge::Move: {
      // From the view's centre by the step, as a drag of that length would move it.
      const ViewGeometry geometry = Panel->Geometry();
      const double X = geometry.width / 2.0, Y = geometry.height / 2.0, r = geometry.pixelRatio;
      Stack()->DragMove(geometry, c, viewTransform, X, Y, X + a * r, Y + b * r);
      break;
    }
    case Nudge::Scale: {
      const float scaled = static_cast<float>(t.scale * a);
      if (std::isfinite(scaled) && scaled > 0.0f) t.scale = scaled;
      break;
    }
    case Nudge::Rotate:
      t.rotate = static_cast<float>(t.rotate + a);
      break;
  }
  Stack()->dirty = true;
  RecordPlacementChange(c, before, &kind, repeated);
  Panel->update();
  return true;
}

void TmainForm::JumpTo(float position) {
  if (!Stack()) return;
  playbar.position = position;
  playView = true;
  PaintBoxControls->update();
  Panel->update();
}
