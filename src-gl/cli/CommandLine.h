#pragma once
// The program's command line: work done without a window (--render-frame, --export-web,
// --export-video, --align), --help, --version, and the options the editor takes besides the
// project to open.

#include <QStringList>
#include <cstddef>

// True when the arguments (after the program's name) hold any option but the editor's own
// (--texture-budget, Qt's): work without a window, help, the version, or a mistake, which
// RunCommandLine does or refuses without a display. Otherwise the editor starts.
bool IsCommandLineWork(const QStringList& arguments);

// Does that work (a QCoreApplication exists) and returns the exit status: 0 only on success;
// 1 when the work failed or was done without a picture of the project that could not be loaded;
// 2 for options that cannot be used. Messages go to standard error.
int RunCommandLine(const QStringList& arguments);

// Takes the editor's own options out of `arguments` (--texture-budget MiB, Qt's, a "--" before
// the file names), leaving the project to open. False, with a message on standard error, for an
// option it cannot use.
bool TakeEditorOptions(QStringList& arguments, size_t& textureBudget);
