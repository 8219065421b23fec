#pragma once
// The main window's OpenGL view. It only forwards: initialisation, size changes, painting, the
// mouse, the wheel and the keys go to the view controller, which runs with this widget's context
// current.

#include <QOpenGLWidget>
#include <memory>

#include "Renderer.h"

class ViewController;

class TGLPanel : public QOpenGLWidget {
 public:
  TGLPanel(ViewController* controller, QWidget* parent);
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
  ViewController* controller_;
  std::unique_ptr<Renderer> renderer_;
};
