// main() for tests of the editor's windows: one QApplication with the editor's OpenGL format,
// on the X server of the test run (xvfb-run). Listing the tests needs no display.

#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <QSurfaceFormat>
#include <cstring>

#include "Startup.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();
  QSurfaceFormat::setDefaultFormat(EditorSurfaceFormat());
  // Kept until the process ends, as the editor's own is: closing the display would unload
  // Mesa's driver, and the leak checker could then no longer name (and so ignore) the driver's
  // one-time allocations.
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
  // The editor's data folder (recovery files of unsaved projects) is a test one, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  return RUN_ALL_TESTS();
}
