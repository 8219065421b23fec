#include "GlTestContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLContext context = EGL_NO_CONTEXT;
EGLSurface surface = EGL_NO_SURFACE;

}  // namespace

void GlTestEnvironment::SetUp() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  ASSERT_NE(getPlatformDisplay, nullptr) << "EGL_EXT_platform_base missing";
  display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  ASSERT_NE(display, EGL_NO_DISPLAY);
  EGLint major = 0, minor = 0;
  ASSERT_TRUE(eglInitialize(display, &major, &minor)) << "eglInitialize failed: " << eglGetError();
  ASSERT_TRUE(eglBindAPI(EGL_OPENGL_API));
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_ALPHA_SIZE,
                                     8,
                                     EGL_DEPTH_SIZE,
                                     24,
                                     EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  ASSERT_TRUE(eglChooseConfig(display, configAttributes, &config, 1, &configs));
  ASSERT_EQ(configs, 1);
  const EGLint surfaceAttributes[] = {EGL_WIDTH, glTestWidth, EGL_HEIGHT, glTestHeight, EGL_NONE};
  surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
  ASSERT_NE(surface, EGL_NO_SURFACE);
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                      EGL_NONE};
  context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
  ASSERT_NE(context, EGL_NO_CONTEXT) << "eglCreateContext failed: " << eglGetError();
  ASSERT_TRUE(eglMakeCurrent(display, surface, surface, context));
  glViewport(0, 0, glTestWidth, glTestHeight);
}

void GlTestEnvironment::TearDown() {
  if (display == EGL_NO_DISPLAY) return;
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
  if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
  eglTerminate(display);
  eglReleaseThread();
  display = EGL_NO_DISPLAY;
}

std::vector<uint8_t> ReadPixels(int x, int y, int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}
