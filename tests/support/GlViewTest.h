#pragma once
// Tests that map or draw through the editor's view: `geometry_` is the view the main window fits
// to the first picture, and the shared GL context has the matching viewport and projection, in the
// state the view keeps, and is given back as it was found.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "GlTestContext.h"
#include "Imagestack.h"
#include "ViewGeometry.h"

class GlViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // The state the view draws in: no depth test or lighting, texturing on, the alpha blend
    // function, a grey clear colour.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
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

  // The view of a width x height viewport fitted to a first picture of firstWidth x firstHeight
  // pixels: `geometry_`, and the viewport and orthographic projection it stands for.
  void FitView(int width, int height, int firstWidth, int firstHeight) {
    geometry_ = ViewGeometry::Fitted(width, height, firstWidth, firstHeight);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-geometry_.span.halfWidth, geometry_.span.halfWidth, -geometry_.span.halfHeight, geometry_.span.halfHeight,
            -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }

  ViewGeometry geometry_ = ViewGeometry::Fitted(glTestWidth, glTestHeight, 0, 0);
};
