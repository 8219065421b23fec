#pragma once
// The editor's start: the OpenGL format, the five windows in their order, the message loop.

#include <QStringList>
#include <QSurfaceFormat>
#include <memory>
#include <string>

#include "EditorFiles.h"

class QApplication;
class Project;
class TmainForm;
class TFormBitmap;
class TFormImageList;
class TFormAbout;
class TFormWebExport;

// Double-buffered RGBA with a depth buffer, compatibility profile so that the fixed-function
// pipeline and GLU work. Set as the default before the application object exists.
QSurfaceFormat EditorSurfaceFormat();

// Tries to make a context of the editor's format; false with the reason when none can be had.
bool CheckOpenGL(std::string& reason);

// The open project and the five windows of a run. The project is made first and goes last: every
// window is given it when made, and the main window's view releases its textures while the
// pictures still exist. The bitmap holder comes before the main window, whose play bar and view
// are drawn from its pictures. The image list, About and the web export are the main window's own
// windows (a window-modal dialog of the main window blocks them too); they are destroyed first,
// then the main window, the bitmap holder and the project.
struct EditorWindows {
  EditorWindows();
  ~EditorWindows();
  void Destroy();  // the main window's own windows, the main window, the bitmap holder, the project
  std::unique_ptr<Project> project;
  std::unique_ptr<TFormBitmap> bitmap;
  std::unique_ptr<TmainForm> main;
  std::unique_ptr<TFormImageList> imageList;
  std::unique_ptr<TFormAbout> about;
  std::unique_ptr<TFormWebExport> webExport;
};

// `arguments`: the command line after the program's name.
// `files`: what the windows are given (the data files, the texture budget).
void CreateEditorWindows(EditorWindows& windows, const QStringList& arguments, const EditorFiles& files = {});

// The whole run after the application object exists; returns the process status.
// `arguments`: the command line after the program's name, the editor's own options taken out.
// `textureBudget`: bytes for the view's textures (0: the default).
int RunEditor(QApplication& application, const QStringList& arguments, size_t textureBudget = 0);
