// Drawing the alignment view: the selected picture, its child over it, the child's outline and
// the handles that scale and turn it.

#include "Renderer.h"

#include <algorithm>
#include <cmath>

#include "EditView.h"
#include "Imagestack.h"

bool Renderer::DrawEditView(ImageStack& stack, int i, const Transform& viewTransform, const ViewGeometry& view) {
  if (i < 0 || i >= stack.count() - 1) return false;
  Track(stack);
  LoadProjection(view);
  const int c = i + 1;
  const Image& child = *stack.images[static_cast<size_t>(c)];
  const Affine frame = Affine::ViewTransform(viewTransform);
  const Affine childFrame = frame * Affine::Placement(child.transform);
  DrawEditPictures(stack, i, frame, childFrame, view);

  const Extents e = ElementExtents(child.width, child.height);
  DrawOutline(childFrame, e, view);
  double scaleX, scaleY, rotateX, rotateY;
  stack.ChildToWindow(view, viewTransform, c, e.ex / 2, e.ey / 2, scaleX, scaleY);
  stack.ChildToWindow(view, viewTransform, c, e.ex / 2, 0, rotateX, rotateY);
  DrawHandles(view, scaleX, scaleY, rotateX, rotateY);
  CheckDrawing();
  return true;
}

// The selected picture i through `frame`, whole with its faded border, and its child through
// `childFrame` at 60 % over it when the child is a picture. The target frame is no picture, but
// in an endless project it is where the first picture lies in the last: the first picture is
// shown there, to align it as any picture.
void Renderer::DrawEditPictures(const ImageStack& stack, int i, const Affine& frame, const Affine& childFrame,
                                const ViewGeometry& view) {
  const Image& picture = *stack.images[static_cast<size_t>(i)];
  const bool childIsTarget = i + 1 == stack.count() - 1;
  const bool endless = stack.playSettings.play == PlayMode::Endless;
  const Image& child = *stack.images[childIsTarget && endless ? size_t(0) : static_cast<size_t>(i + 1)];
  const bool childIsPicture = !childIsTarget || endless;
  const double pixelsPerUnit = view.PixelsPerUnit();

  cache_.Use(picture, frame.LengthScale() * pixelsPerUnit, true);
  if (childIsPicture) cache_.Use(child, childFrame.LengthScale() * pixelsPerUnit, true);
  if (waitForLevels_) cache_.WaitForUrgent();

  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  tones_.Use(picture.colour);
  if (BindPicture(picture, frame.LengthScale() * pixelsPerUnit, true)) DrawQuad(picture, frame);

  if (childIsPicture) {
    glEnable(GL_BLEND);
    glColor4f(1, 1, 1, 0.6f);
    tones_.Use(child.colour);
    if (BindPicture(child, childFrame.LengthScale() * pixelsPerUnit, true)) DrawQuad(child, childFrame);
  }
  tones_.Stop();
}

// The child's red outline, a screen pixel wide (times the pixel ratio). Leaves texturing and
// blending off.
void Renderer::DrawOutline(const Affine& childFrame, const Extents& e, const ViewGeometry& view) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor4f(1, 0, 0, 1);
  LoadMatrix(childFrame);
  glLineWidth(static_cast<float>(std::max(1.0, std::round(view.pixelRatio))));
  glBegin(GL_LINE_LOOP);
  glVertex2f(-e.ex / 2, -e.ey / 2);
  glVertex2f(-e.ex / 2, e.ey / 2);
  glVertex2f(e.ex / 2, e.ey / 2);
  glVertex2f(e.ex / 2, -e.ey / 2);
  glEnd();
  glLineWidth(1.0f);
}

// The scale and rotation handles centred on these window points, from the two halves of the
// sprite. Pixel overlay: one unit is one pixel, origin at the bottom-left, so the handles keep
// their size at any zoom of the edit view. Leaves texturing and blending off and both matrices
// as they were.
void Renderer::DrawHandles(const ViewGeometry& view, double scaleX, double scaleY, double rotateX, double rotateY) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, view.width, 0, view.height, 0, 1);
  if (handleTexture_ != 0) {
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, handleTexture_);
    const float half = static_cast<float>(handleSize * view.pixelRatio / 2.0);
    auto handle = [half](double px, double py, float s0, float s1) {
      const float x = static_cast<float>(px), y = static_cast<float>(py);
      glBegin(GL_QUADS);
      glTexCoord2f(s0, 0);
      glVertex2f(x - half, y - half);
      glTexCoord2f(s0, 1);
      glVertex2f(x - half, y + half);
      glTexCoord2f(s1, 1);
      glVertex2f(x + half, y + half);
      glTexCoord2f(s1, 0);
      glVertex2f(x + half, y - half);
      glEnd();
    };
    handle(scaleX, scaleY, 0.0f, 0.5f);
    handle(rotateX, rotateY, 0.5f, 1.0f);
  }
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}
