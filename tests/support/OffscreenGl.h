#pragma once
// A desktop OpenGL context (compatibility profile) without any window: Mesa's surfaceless EGL
// platform with a pbuffer. Made current on the calling thread until the process ends.

#include <string>

bool MakeOffscreenGlCurrent(int width, int height, std::string& error);
