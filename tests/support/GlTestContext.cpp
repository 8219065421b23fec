#include "GlTestContext.h"

#include <GL/gl.h>

#include "OffscreenGl.h"

void GlTestEnvironment::SetUp() {
  std::string error;
  ASSERT_TRUE(MakeOffscreenGlCurrent(glTestWidth, glTestHeight, error)) << error;
}

void GlTestEnvironment::TearDown() {}

std::vector<uint8_t> ReadPixels(int x, int y, int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}
