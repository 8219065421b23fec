// The program: Tunnelvista Editor, or work without a window when the command line asks for it.

#include <QApplication>
#include <QCoreApplication>
#include <QSurfaceFormat>

#include "CommandLine.h"
#include "SafeFile.h"
#include "Startup.h"
#include "main.h"

int main(int argc, char** argv) {
  IgnoreFileSizeSignal();  // a save past the file size limit fails and says so
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (IsCommandLineWork(arguments)) {
    // No display is needed, so no GUI platform is loaded.
    QCoreApplication application(argc, argv);
    return RunCommandLine(arguments);
  }
  size_t textureBudget = 0;
  if (!TakeEditorOptions(arguments, textureBudget)) return 2;
  // The view's context needs the compatibility profile; it must be asked for before the
  // application object exists.
  QSurfaceFormat::setDefaultFormat(EditorSurfaceFormat());
  // Made once and deliberately never destroyed: its destructor unloads the graphics libraries
  // (the platform plugin, GLX, Mesa's driver) that the view's context loaded. Their one-time
  // allocations are theirs to keep until the process ends, and once they are unloaded the leak
  // checker can no longer tell whose they were. The windows are destroyed before main returns
  // (RunEditor); what is left is freed with the process, as at any exit. `applicationArgc`
  // outlives main because the object keeps a reference to it.
  static int applicationArgc = argc;
  QApplication* application = new QApplication(applicationArgc, argv);
  return RunEditor(*application, arguments, textureBudget);
}
