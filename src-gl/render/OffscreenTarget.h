#pragma once
// Drawing without any display: a desktop OpenGL context (compatibility profile) on Mesa's
// surfaceless EGL platform, drawing into a framebuffer object of the requested size.

#include <GL/gl.h>

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

  // Binds the framebuffer for drawing and clears its colour and depth (scissor test off).
  void BeginFrame();
  // Returns once GL has carried out every command given, so the frame is complete.
  void Finish();

  // Frames read back while the next ones are drawn (the video): `ring` pixel buffer objects,
  // used in turn, each holding one frame of frameWidth x frameHeight RGBA pixels. When the
  // framebuffer is larger (an exact multiple: antialiasing), each frame is first reduced to that
  // size with linear filtering. False, with `error` saying why, when GL cannot make them.
  bool CreateReadBack(int frameWidth, int frameHeight, int ring, std::string& error);
  size_t FrameBytes() const;
  // Starts reading the frame just drawn into buffer `slot` and returns without waiting for it.
  // False when GL ran out of memory drawing or reading the frame.
  bool StartReadBack(int slot);
  // Waits for buffer `slot` and copies its frame (bottom row first, as GL reads) into `rgba`,
  // FrameBytes() long. False when the buffer cannot be mapped.
  bool TakeReadBack(int slot, uint8_t* rgba);

 private:
  void* display_ = nullptr;
  void* context_ = nullptr;
  GLuint framebuffer_ = 0;
  GLuint colour_ = 0;
  GLuint depth_ = 0;
  int width_ = 0;
  int height_ = 0;
  // The read back's objects (CreateReadBack); the reduced framebuffer only when frames are reduced.
  GLuint reducedFramebuffer_ = 0;
  GLuint reducedColour_ = 0;
  std::vector<GLuint> readBuffers_;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
};
