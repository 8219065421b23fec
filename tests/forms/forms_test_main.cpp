// main() for tests of the editor's windows: one QApplication with the editor's OpenGL format,
// on the X server of the test run (xvfb-run). Listing the tests needs no display.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QSurfaceFormat>
#include <cstring>

#include "Startup.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();
  // The editor's data folder (recovery files of unsaved projects) is one of this process alone:
  // test programs run side by side, and one's unsaved project must not be offered to, or
  // removed under, another.
  QTemporaryDir data;
  if (data.isValid()) qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
  // The same for the settings (window sizes, recent projects): never the user's own.
  QTemporaryDir config;
  if (config.isValid()) qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  QSurfaceFormat::setDefaultFormat(EditorSurfaceFormat());
  // Kept until the process ends, as the editor's own is: closing the display would unload
  // Mesa's driver, and the leak checker could then no longer name (and so ignore) the driver's
  // one-time allocations.
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
  return RUN_ALL_TESTS();
}
