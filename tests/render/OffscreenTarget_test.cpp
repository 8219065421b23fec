// The offscreen target's frames read back through its ring of pixel buffers, reduced or not.

#include "OffscreenTarget.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Clears the target's framebuffer to the colour `top` above row `split` (from the bottom) and
// `bottom` below it.
void DrawBands(OffscreenTarget& target, int split, const uint8_t top[3], const uint8_t bottom[3]) {
  glClearColor(bottom[0] / 255.0f, bottom[1] / 255.0f, bottom[2] / 255.0f, 1);
  target.BeginFrame();
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, split, target.width(), target.height() - split);
  glClearColor(top[0] / 255.0f, top[1] / 255.0f, top[2] / 255.0f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

void ExpectPixel(const std::vector<uint8_t>& rgba, int width, int x, int y, const uint8_t colour[3]) {
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
  for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(rgba[at + c] - colour[c]), 1) << "pixel " << x << ", " << y;
}

// Its own thread: the target's context becomes current there, leaving the test's context alone.
template <typename Work>
void OnOwnThread(Work work) {
  std::thread thread(work);
  thread.join();
}

const uint8_t red[3] = {230, 30, 30};
const uint8_t blue[3] = {20, 40, 220};
const uint8_t green[3] = {30, 200, 40};

TEST(OffscreenTarget, ReadsFramesBackInTurnFullSizeAndReduced) {
  for (const int factor : {1, 2}) {
    OnOwnThread([factor] {
      SCOPED_TRACE(factor);
      OffscreenTarget target;
      std::string error;
      ASSERT_TRUE(target.Create(8 * factor, 6 * factor, error)) << error;
      ASSERT_TRUE(target.CreateReadBack(8, 6, 2, error)) << error;
      ASSERT_EQ(target.FrameBytes(), 8u * 6u * 4u);
      // Two frames in flight before either is taken, as the video draws the next meanwhile.
      DrawBands(target, 2 * factor, red, blue);
      ASSERT_TRUE(target.StartReadBack(0));
      DrawBands(target, 4 * factor, green, red);
      ASSERT_TRUE(target.StartReadBack(1));
      std::vector<uint8_t> first(target.FrameBytes()), second(target.FrameBytes());
      ASSERT_TRUE(target.TakeReadBack(0, first.data()));
      ASSERT_TRUE(target.TakeReadBack(1, second.data()));
      // Bottom row first, as GL reads.
      ExpectPixel(first, 8, 0, 1, blue);
      ExpectPixel(first, 8, 7, 2, red);
      ExpectPixel(second, 8, 3, 3, red);
      ExpectPixel(second, 8, 3, 4, green);
      EXPECT_FALSE(target.StartReadBack(2));
      EXPECT_FALSE(target.TakeReadBack(-1, first.data()));
    });
  }
}

TEST(OffscreenTarget, RefusesFramesLargerThanItsFramebuffer) {
  OnOwnThread([] {
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(target.Create(4, 4, error)) << error;
    EXPECT_FALSE(target.CreateReadBack(8, 4, 3, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(target.CreateReadBack(4, 4, 0, error));
  });
}

}  // namespace
