#pragma once
// Drawing without any display: a desktop OpenGL context (compatibility profile) on Mesa's
// surfaceless EGL platform, drawing into a framebuffer object of the requested size.

#include <GL/gl.h>

#include <QImage>
#include <string>

class OffscreenTarget {
 public:
  OffscreenTarget() = default;
  ~OffscreenTarget();
  OffscreenTarget(const OffscreenTarget&) = delete;
  OffscreenTarget& operator=(const OffscreenTarget&) = delete;

  // Creates the context, makes it current on this thread and binds a width x height framebuffer
  // (colour and depth). False, with `error` saying why, when there is no such GL or the size is
  // beyond its limits.
  bool Create(int width, int height, std::string& error);
  int width() const { return width_; }
  int height() const { return height_; }
  // The framebuffer as an upright picture (RGB888).
  QImage Read() const;

 private:
  void* display_ = nullptr;
  void* context_ = nullptr;
  GLuint framebuffer_ = 0;
  GLuint colour_ = 0;
  GLuint depth_ = 0;
  int width_ = 0;
  int height_ = 0;
};
