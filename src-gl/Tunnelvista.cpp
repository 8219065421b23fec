// The program: Tunnelvista Editor.

#include <QApplication>
#include <QSurfaceFormat>

#include "Startup.h"

int main(int argc, char** argv) {
  // The view's context needs the compatibility profile; it must be asked for before the
  // application object exists.
  QSurfaceFormat::setDefaultFormat(EditorSurfaceFormat());
  QApplication application(argc, argv);
  return RunEditor(application);
}
