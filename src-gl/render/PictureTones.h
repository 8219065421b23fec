#pragma once
// The fragment program every picture is drawn with: the texel's colour carried by the picture's
// colour correction (gain, offset, clamped) before the faded border's alpha blends it, then
// modulated by the current colour as fixed-function texturing would. The vertices still go
// through the fixed-function pipeline (matrices, texture coordinates). Make, use and destroy it
// with its context current.

#include <GL/gl.h>

#include <string>

#include "ColourCorrection.h"

class PictureTones {
 public:
  PictureTones();
  ~PictureTones();
  PictureTones(const PictureTones&) = delete;
  PictureTones& operator=(const PictureTones&) = delete;

  // Picture draws from now on take `colour`. Without the program (a GL without shaders) they
  // are drawn as the file has them, and `Missing` says so once a correction was asked for.
  void Use(const ColourCorrection& colour);
  // Back to fixed-function drawing (outlines, handles, other drawers of the context).
  void Stop();
  bool Missing() const { return missing_; }

 private:
  GLuint program_ = 0;
  int gain_ = -1, offset_ = -1;
  bool missing_ = false;
};
