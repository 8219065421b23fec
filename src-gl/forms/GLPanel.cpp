// The OpenGL view: it forwards initialisation, painting, the mouse, the wheel and the keys to the
// view controller, and owns the renderer of its context.

#include "PostCall.h"
#include "GLPanel.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPointer>
#include <QWheelEvent>

TGLPanel::TGLPanel(GLPanelClient* controller, QWidget* parent) : QOpenGLWidget(parent), controller_(controller) {
  setAutoFillBackground(false);
  setFocusPolicy(Qt::ClickFocus);  // Home and End go to the view once it was clicked
}

ViewGeometry TGLPanel::Geometry() const {
  const double ratio = PixelRatio();
  const ImageStack* stack = controller_->Stack();
  const Image* first = stack && stack->count() >= 1 ? stack->images[0].get() : nullptr;
  ViewGeometry geometry = ViewGeometry::Fitted(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio),
                                               first ? first->width : 0, first ? first->height : 0);
  geometry.pixelRatio = ratio;
  return geometry;
}

void TGLPanel::initializeGL() {
  connect(
      context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { CleanUpGL(); }, Qt::DirectConnection);
  Renderer::SetViewGlState();
  // A new context (the first, or one that replaced a lost one) gets a new renderer, which builds
  // its textures from the pictures as it draws them.
  RendererOptions options;
  options.textureBudget = controller_->TextureBudget();
  options.handleSprite = controller_->HandleSprite();
  renderer_ = std::make_unique<Renderer>(options);
  QPointer<TGLPanel> self(this);
  renderer_->SetWakeUp([self] {
    PostCall(QCoreApplication::instance(), [self] {
      if (self) self->update();
    });
  });
  controller_->ContextMade();
}

TGLPanel::~TGLPanel() {
  // The textures go while this object is whole; by the time QOpenGLWidget's destructor ends the
  // context, the connection below would call into a half-destroyed view.
  if (isValid()) {
    disconnect(context(), nullptr, this, nullptr);
    CleanUpGL();
  }
}

// The context goes: its textures go with it, the document stays.
void TGLPanel::CleanUpGL() {
  if (!isValid() || !renderer_) return;
  makeCurrent();
  renderer_.reset();
  doneCurrent();
}

void TGLPanel::resizeGL(int, int) { controller_->Resized(); }

void TGLPanel::paintGL() { controller_->Paint(); }

// Mouse positions go on in framebuffer pixels, the unit of the viewport and of the handles.
void TGLPanel::mousePressEvent(QMouseEvent* event) {
  const QPointF p = event->position() * PixelRatio();
  controller_->PanelMouseDown(event->button(), static_cast<int>(p.x()), static_cast<int>(p.y()));
}

void TGLPanel::wheelEvent(QWheelEvent* event) {
  const QPointF p = event->position() * PixelRatio();
  controller_->PanelWheel(static_cast<int>(p.x()), static_cast<int>(p.y()), event->angleDelta().y() / 120.0);
  event->accept();
}

void TGLPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
    controller_->JumpTo(event->key() == Qt::Key_Home ? 0.0f : 1.0f);
    return;
  }
  // The selected picture's child, in small steps: arrows move it a pixel of the screen (ten with
  // Shift), + and - scale it by 1 %, comma and period turn it by a tenth of a degree.
  const double step = event->modifiers() & Qt::ShiftModifier ? 10.0 : 1.0;
  const bool repeated = event->isAutoRepeat();
  bool used = true;
  switch (event->key()) {
    case Qt::Key_Left:
      used = controller_->NudgeChild(Nudge::Move, -step, 0, repeated);
      break;
    case Qt::Key_Right:
      used = controller_->NudgeChild(Nudge::Move, step, 0, repeated);
      break;
    case Qt::Key_Up:
      used = controller_->NudgeChild(Nudge::Move, 0, -step, repeated);
      break;
    case Qt::Key_Down:
      used = controller_->NudgeChild(Nudge::Move, 0, step, repeated);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      used = controller_->NudgeChild(Nudge::Scale, 1.01, 0, repeated);
      break;
    case Qt::Key_Minus:
      used = controller_->NudgeChild(Nudge::Scale, 1 / 1.01, 0, repeated);
      break;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      used = controller_->NudgeChild(Nudge::Rotate, 0.1, 0, repeated);
      break;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      used = controller_->NudgeChild(Nudge::Rotate, -0.1, 0, repeated);
      break;
    default:
      used = false;
  }
  if (!used) QOpenGLWidget::keyPressEvent(event);
}

void TGLPanel::mouseMoveEvent(QMouseEvent* event) {
  const QPointF p = event->position() * PixelRatio();
  controller_->PanelMouseMove(static_cast<int>(p.x()), static_cast<int>(p.y()));
}

void TGLPanel::mouseReleaseEvent(QMouseEvent* event) { controller_->PanelMouseUp(event->button()); }
