#pragma once
// Tests that draw or map through the view: each runs in the GL state the editor's view keeps and
// gives the shared context back as it found it.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "Imagestack.h"

class GlViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetViewGlState();
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
  }
  void TearDown() override {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
  }

  // Viewport and projection as the main window sets them for a first picture of firstWidth x
  // firstHeight pixels.
  void FitView(int width, int height, int firstWidth, int firstHeight) {
    Image first;
    first.width = firstWidth;
    first.height = firstHeight;
    LoadViewProjection(&first, width, height);
  }
};
