// The mouse and the keys in the view: aligning the selected picture's child, panning and zooming
// the view; and its painting.

#include "ViewController.h"

#include <QListWidget>
#include <QTimer>
#include <cmath>

#include "GLPanel.h"
#include "Messages.h"
#include "PlaybarController.h"

ViewController::ViewController(Project& project, PlaybarController& playback, QListWidget* list, QWidget* panelParent,
                               size_t textureBudget, const QImage& handleSprite, QObject* parent)
    : QObject(parent),
      project_(project),
      playback_(playback),
      list_(list),
      panel_(new TGLPanel(this, panelParent)),
      textureBudget_(textureBudget),
      handleSprite_(handleSprite) {
  panel_->setObjectName(QStringLiteral("Panel"));
}

int ViewController::SelectedPicture() const { return list_->currentRow(); }

void ViewController::PanelMouseDown(Qt::MouseButton button, int X, int Y) {
  if (playback_.PlayView()) return;  // the view shows playback; a click in the list returns to editing
  RecordDrag();                      // a drag that another button's press ends
  dragMode_ = DragMode::Pan;
  if (Stack()) dragMode_ = ChooseDrag(Stack(), panel_->Geometry(), X, Y, SelectedPicture(), viewTransform_);
  lastX_ = X;
  lastY_ = Y;
  dragging_ = true;
  button_ = button;
  // A drag of the selected picture's child is one undo step, from this press to the release.
  dragElement_ = -1;
  const int c = EditedChild();
  if (button == Qt::LeftButton && dragMode_ != DragMode::Pan && c >= 1) {
    dragElement_ = c;
    dragStart_ = Stack()->images[static_cast<size_t>(c)]->transform;
  }
}

void ViewController::PanelMouseMove(int X, int Y) {
  if (playback_.PlayView() || !dragging_) return;
  const ViewGeometry geometry = panel_->Geometry();
  if (button_ == Qt::RightButton) {
    ZoomView(viewTransform_, lastX_, lastY_, X, Y);
  } else if (button_ == Qt::LeftButton) {
    const int c = SelectedPicture() + 1;  // read at every move
    switch (dragMode_) {
      case DragMode::Scale:
        if (Stack()) Stack()->DragScale(geometry, c, viewTransform_, lastX_, lastY_, X, Y);
        break;
      case DragMode::Rotate:
        if (Stack()) Stack()->DragRotate(geometry, c, viewTransform_, lastX_, lastY_, X, Y);
        break;
      case DragMode::Move:
        if (Stack()) Stack()->DragMove(geometry, c, viewTransform_, lastX_, lastY_, X, Y);
        break;
      case DragMode::Pan:
        PanView(geometry, viewTransform_, lastX_, lastY_, X, Y);
        break;
    }
  }
  lastX_ = X;
  lastY_ = Y;
  if (SelectedPicture() >= 0) panel_->update();
}

void ViewController::PanelMouseUp(Qt::MouseButton) {
  if (playback_.PlayView()) return;
  dragging_ = false;
  RecordDrag();
}

void ViewController::RecordDrag() {
  const int element = dragElement_;
  dragElement_ = -1;
  project_.RecordPlacementChange(element, dragStart_);
}

void ViewController::PanelWheel(int X, int Y, double notches) {
  if (!Stack() || SelectedPicture() < 0 || notches == 0) return;
  if (playback_.PlayView()) {
    // The wheel goes back to the edit view as it was left.
    playback_.StopPlay();
    playback_.SetPlayView(false);
  }
  ZoomViewAbout(panel_->Geometry(), viewTransform_, X, Y, std::pow(1.1, notches));
  panel_->update();
}

void ViewController::JumpTo(float position) { playback_.JumpTo(position); }

int ViewController::EditedChild() const {
  const int c = SelectedPicture() + 1;
  return Stack() && c >= 1 && c < Stack()->count() ? c : -1;
}

bool ViewController::NudgeChild(Nudge kind, double a, double b, bool repeated) {
  const int c = EditedChild();
  if (playback_.PlayView() || dragging_ || project_.Opening() || c < 0) return false;
  Transform& t = Stack()->images[static_cast<size_t>(c)]->transform;
  const Transform before = t;
  switch (kind) {
    case Nudge::Move: {
      // From the view's centre by the step, as a drag of that length would move it.
      const ViewGeometry geometry = panel_->Geometry();
      const double X = geometry.width / 2.0, Y = geometry.height / 2.0, r = geometry.pixelRatio;
      Stack()->DragMove(geometry, c, viewTransform_, X, Y, X + a * r, Y + b * r);
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
  project_.RecordPlacementChange(c, before, &kind, repeated);
  panel_->update();
  return true;
}

void ViewController::ResetEditView() {
  ResetView(viewTransform_);
  panel_->update();
}

// --- the GL side ---

void ViewController::ContextMade() {
  Resized();
  // The project named on the command line is opened once the view can take its textures.
  QTimer::singleShot(0, this, [this] {
    if (contextReady) contextReady();
  });
}

void ViewController::Resized() {
  if (SelectedPicture() < 0) return;
  playback_.Bar()->update();
  panel_->update();
}

bool ViewController::MakeViewCurrent() {
  if (!panel_->isValid()) return false;
  panel_->makeCurrent();
  return true;
}

void ViewController::CheckTextureLimit() {
  Renderer* renderer = panel_->renderer();
  ImageStack* imageStack = project_.stack();
  if (renderer && imageStack && renderer->ExceedsLimit(*imageStack)) ShowMaxImageSizeMessage(renderer->TextureLimit());
}

void ViewController::ShowRendererMessage() {
  Renderer* renderer = panel_->renderer();
  if (!renderer) return;
  const std::string message = renderer->TakeMessage();
  // Not from inside the paint: the box runs an event loop of its own.
  if (!message.empty()) QTimer::singleShot(0, this, [message] { ShowPlainMessage(message); });
}

void ViewController::Paint() {
  Renderer* renderer = panel_->renderer();
  Renderer::ClearView();
  const int selected = SelectedPicture();
  ImageStack* imageStack = project_.stack();
  if (!renderer || selected < 0 || !imageStack) return;
  renderer->Pump();
  const ViewGeometry geometry = panel_->Geometry();
  const Playbar& playbar = playback_.playbar();
  if (playback_.PlayView()) {
    if (imageStack->count() >= 2) renderer->DrawZoom(*imageStack, playbar.position, geometry, playbar.forward ? 1 : -1);
  } else {
    renderer->DrawEditView(*imageStack, selected, viewTransform_, geometry);
  }
  Renderer::Flush();
  // Levels the upload budget of this paint left behind come in the next one.
  if (renderer->LevelsWaiting()) panel_->update();
  ShowRendererMessage();
}
