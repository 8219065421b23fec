#pragma once
// The main window's OpenGL view. It only forwards: initialisation, size changes, painting, the
// mouse, the wheel and the keys go to the view controller, which runs with this widget's context
// current.

#include <QImage>
#include <QOpenGLWidget>
#include <cstddef>
#include <memory>

#include "ProjectCommands.h"
#include "Renderer.h"

class ImageStack;

// What the view forwards to (the view controller), with the view's context current.
class GLPanelClient {
 public:
  virtual ~GLPanelClient() = default;
  virtual ImageStack* Stack() const = 0;
  virtual size_t TextureBudget() const = 0;
  virtual const QImage& HandleSprite() const = 0;
  virtual void ContextMade() = 0;
  virtual void Resized() = 0;
  virtual void Paint() = 0;
  virtual void PanelMouseDown(Qt::MouseButton button, int X, int Y) = 0;
  virtual void PanelMouseMove(int X, int Y) = 0;
  virtual void PanelMouseUp(Qt::MouseButton button) = 0;
  virtual void PanelWheel(int X, int Y, double notches) = 0;
  virtual void JumpTo(float position) = 0;
  virtual bool NudgeChild(Nudge kind, double a, double b, bool repeated) = 0;
};

class TGLPanel : public QOpenGLWidget {
 public:
  TGLPanel(GLPanelClient* controller, QWidget* parent);
  ~TGLPanel() override;
  // Framebuffer pixels per logical pixel (mouse positions and sizes are scaled by it).
  double PixelRatio() const { return devicePixelRatioF(); }
  // The view's size in framebuffer pixels with the span fitted to the first picture.
  ViewGeometry Geometry() const;
  // Draws with this view's context; null until the context exists and after it has gone.
  Renderer* renderer() const { return renderer_.get(); }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CleanUpGL();
  GLPanelClient* controller_;
  std::unique_ptr<Renderer> renderer_;
};
