#include "OffscreenTarget.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glext.h>

#include <cstring>
#include <vector>

OffscreenTarget::~OffscreenTarget() {
  if (!context_) return;
  EGLDisplay display = static_cast<EGLDisplay>(display_);
  if (!readBuffers_.empty()) glDeleteBuffers(static_cast<GLsizei>(readBuffers_.size()), readBuffers_.data());
  if (reducedFramebuffer_ != 0) glDeleteFramebuffers(1, &reducedFramebuffer_);
  if (reducedColour_ != 0) glDeleteRenderbuffers(1, &reducedColour_);
  if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
  if (colour_ != 0) glDeleteRenderbuffers(1, &colour_);
  if (depth_ != 0) glDeleteRenderbuffers(1, &depth_);
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(display, static_cast<EGLContext>(context_));
}

bool OffscreenTarget::Create(int width, int height, std::string& error) {
  if (width <= 0 || height <= 0) {
    error = "the picture size must be at least 1 x 1";
    return false;
  }
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) {
    error = "EGL cannot open a display-less platform (EGL_EXT_platform_base is missing)";
    return false;
  }
  EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major = 0, minor = 0;
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor) || !eglBindAPI(EGL_OPENGL_API)) {
    error = "no surfaceless EGL display with desktop OpenGL (EGL error " + std::to_string(eglGetError()) + ")";
    return false;
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                      EGL_NONE};
  EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    error = "cannot create an OpenGL context without a display (EGL error " + std::to_string(eglGetError()) + ")";
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    return false;
  }
  display_ = display;
  context_ = context;

  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
  if (width > maxSize || height > maxSize) {
    error = "the picture size " + std::to_string(width) + " x " + std::to_string(height) +
            " is beyond this OpenGL's limit of " + std::to_string(maxSize) + " pixels a side";
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  glGenFramebuffers(1, &framebuffer_);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glGenRenderbuffers(1, &colour_);
  glBindRenderbuffer(GL_RENDERBUFFER, colour_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  glGenRenderbuffers(1, &depth_);
  glBindRenderbuffer(GL_RENDERBUFFER, depth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  const GLenum glError = glGetError();
  if (status != GL_FRAMEBUFFER_COMPLETE || glError != GL_NO_ERROR) {
    error = glError == GL_OUT_OF_MEMORY
                ? "not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " picture"
                : "the OpenGL framebuffer could not be made";
    return false;
  }
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glViewport(0, 0, width, height);
  width_ = width;
  height_ = height;
  return true;
}

QImage OffscreenTarget::Read() const {
  QImage picture(width_, height_, QImage::Format_RGB888);
  if (picture.isNull()) return picture;
  std::vector<uint8_t> rows(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
  for (int y = 0; y < height_; ++y)
    std::copy_n(rows.data() + static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(width_) * 3,
                static_cast<size_t>(width_) * 3, picture.scanLine(y));
  return picture;
}

void OffscreenTarget::BeginFrame() {
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glDisable(GL_SCISSOR_TEST);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void OffscreenTarget::Finish() { glFinish(); }

bool OffscreenTarget::CreateReadBack(int frameWidth, int frameHeight, int ring, std::string& error) {
  if (!context_ || !readBuffers_.empty() || ring < 1 || frameWidth < 1 || frameHeight < 1 || frameWidth > width_ ||
      frameHeight > height_) {
    error = "the frames cannot be read back at " + std::to_string(frameWidth) + " x " + std::to_string(frameHeight);
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  if (frameWidth != width_ || frameHeight != height_) {
    glGenRenderbuffers(1, &reducedColour_);
    glBindRenderbuffer(GL_RENDERBUFFER, reducedColour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, frameWidth, frameHeight);
    glGenFramebuffers(1, &reducedFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, reducedFramebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, reducedColour_);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    if (!complete) {
      error = "the OpenGL framebuffer for antialiasing could not be made";
      return false;
    }
  }
  frameWidth_ = frameWidth;
  frameHeight_ = frameHeight;
  readBuffers_.assign(static_cast<size_t>(ring), 0);
  glGenBuffers(ring, readBuffers_.data());
  for (GLuint buffer : readBuffers_) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(FrameBytes()), nullptr, GL_STREAM_READ);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  if (glGetError() != GL_NO_ERROR) {
    error = "not enough memory to read back " + std::to_string(frameWidth) + " x " + std::to_string(frameHeight) +
            " frames";
    return false;
  }
  return true;
}

size_t OffscreenTarget::FrameBytes() const {
  return static_cast<size_t>(frameWidth_) * static_cast<size_t>(frameHeight_) * 4;
}

bool OffscreenTarget::StartReadBack(int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= readBuffers_.size()) return false;
  if (reducedFramebuffer_ != 0) {
    // Linear filtering: at exactly half the size each pixel is the mean of a 2 x 2 block. The
    // reduced framebuffer stays bound for reading; BeginFrame binds the drawing one again.
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, reducedFramebuffer_);
    glBlitFramebuffer(0, 0, width_, height_, 0, 0, frameWidth_, frameHeight_, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, reducedFramebuffer_);
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers_[static_cast<size_t>(slot)]);
  glReadPixels(0, 0, frameWidth_, frameHeight_, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  return glGetError() != GL_OUT_OF_MEMORY;
}

bool OffscreenTarget::TakeReadBack(int slot, uint8_t* rgba) {
  if (slot < 0 || static_cast<size_t>(slot) >= readBuffers_.size()) return false;
  const size_t bytes = FrameBytes();
  glBindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers_[static_cast<size_t>(slot)]);
  const void* pixels = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), GL_MAP_READ_BIT);
  if (pixels) {
    std::memcpy(rgba, pixels, bytes);
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  return pixels != nullptr;
}
