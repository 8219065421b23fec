// The two drawings of the stack: the zoom at a time, and the alignment view of one picture.

#include <GL/gl.h>
#include <GL/glu.h>

#include "Imagestack.h"

void SetViewGlState() {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
}

void LoadViewProjection(const Image* first, int width, int height) {
  ViewSpan span{0.5, 0.5};
  if (first && width > 0 && height > 0) span = FittedViewSpan(first->width, first->height, width, height);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-span.halfWidth, span.halfWidth, -span.halfHeight, span.halfHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void ResetView(Transform& viewTransform) {
  viewTransform.scale = 1.0f;
  viewTransform.translateX = 0.0f;
  viewTransform.translateY = 0.0f;
}

void DrawElementQuad(const Image& image) {
  const Extents e = ElementExtents(image.width, image.height);
  const float s = image.texWidth > 0 ? static_cast<float>(image.width) / static_cast<float>(image.texWidth) : 0.0f;
  const float t = image.texHeight > 0 ? static_cast<float>(image.height) / static_cast<float>(image.texHeight) : 0.0f;
  glBindTexture(GL_TEXTURE_2D, image.textureId);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(-e.ex / 2, -e.ey / 2);
  glTexCoord2f(0, t);
  glVertex2f(-e.ex / 2, e.ey / 2);
  glTexCoord2f(s, t);
  glVertex2f(e.ex / 2, e.ey / 2);
  glTexCoord2f(s, 0);
  glVertex2f(e.ex / 2, -e.ey / 2);
  glEnd();
}

bool ImageStack::DrawAtTime(float t) {
  if (dirty) {
    BuildKeyframes();
    dirty = false;
  }
  ViewAtTime(t);
  double view[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, view);

  glColor4f(1, 1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const int pictures = count() - 1;
  for (int j = 0; j < pictures; ++j) {
    const Image& picture = *images[static_cast<size_t>(j)];
    if (j == 0) {
      glDisable(GL_BLEND);
    } else {
      glEnable(GL_BLEND);
      ApplyPlacement(picture.transform);  // stays applied for the pictures inside this one
    }
    // Hidden when the next picture's fully opaque part already fills the view. The innermost
    // picture has no successor and is always drawn.
    if (j + 1 < pictures && images[static_cast<size_t>(j + 1)]->CoversView(view)) continue;
    DrawElementQuad(picture);
  }
  return true;
}

bool ImageStack::DrawEditView(int i, const Transform& viewTransform, GLuint handleTexture) const {
  if (i < 0 || i >= count() - 1) return false;
  const Image& picture = *images[static_cast<size_t>(i)];
  const int c = i + 1;
  const Image& child = *images[static_cast<size_t>(c)];

  glLoadIdentity();
  ApplyViewTransform(viewTransform);
  // The selected picture is drawn whole, its faded border included, whatever blending the last
  // drawing left on.
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  DrawElementQuad(picture);

  ApplyPlacement(child.transform);
  const Extents e = ElementExtents(child.width, child.height);
  if (c < count() - 1) {
    glEnable(GL_BLEND);
    glColor4f(1, 1, 1, 0.6f);
    DrawElementQuad(child);
  }

  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor4f(1, 0, 0, 1);
  glBegin(GL_LINE_LOOP);
  glVertex2f(-e.ex / 2, -e.ey / 2);
  glVertex2f(-e.ex / 2, e.ey / 2);
  glVertex2f(e.ex / 2, e.ey / 2);
  glVertex2f(e.ex / 2, -e.ey / 2);
  glEnd();

  double scaleX, scaleY, rotateX, rotateY;
  ChildToWindow(viewTransform, c, e.ex / 2, e.ey / 2, scaleX, scaleY);
  ChildToWindow(viewTransform, c, e.ex / 2, 0, rotateX, rotateY);

  // Pixel overlay: one unit is one pixel, origin at the bottom-left, so the handles keep their
  // size at any zoom of the edit view.
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, viewport[2] - viewport[0], 0, viewport[3] - viewport[1], 0, 1);
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glBindTexture(GL_TEXTURE_2D, handleTexture);
  auto handle = [](double px, double py, float s0, float s1) {
    const float x = static_cast<float>(px), y = static_cast<float>(py);
    glBegin(GL_QUADS);
    glTexCoord2f(s0, 0);
    glVertex2f(x - 8, y - 8);
    glTexCoord2f(s0, 1);
    glVertex2f(x - 8, y + 8);
    glTexCoord2f(s1, 1);
    glVertex2f(x + 8, y + 8);
    glTexCoord2f(s1, 0);
    glVertex2f(x + 8, y - 8);
    glEnd();
  };
  handle(scaleX, scaleY, 0.0f, 0.5f);
  handle(rotateX, rotateY, 0.5f, 1.0f);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  return true;
}
