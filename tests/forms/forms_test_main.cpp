// main() for tests of the editor's windows: one QApplication with the editor's OpenGL format,
// on the X server of the test run (xvfb-run). Listing the tests needs no display.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>
#include <cstring>

#include "Startup.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();
  QSurfaceFormat::setDefaultFormat(EditorSurfaceFormat());
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
