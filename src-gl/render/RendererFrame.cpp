// The start and end of a view's frame, for windows that draw with the renderer in their own context.

#include "Renderer.h"

void Renderer::ClearView() {
  glMatrixMode(GL_MODELVIEW);
  // The view is opaque: alpha is cleared to 1 and never written afterwards, or the faded
  // borders would let the window behind the view show through when Qt composes it.
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
}

void Renderer::Flush() { glFlush(); }
