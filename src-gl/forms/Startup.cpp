#include "Startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QOffscreenSurface>
#include <QOpenGLContext>

#include "Bitmaps.h"
#include "Dialogs.h"
#include "Dlgabout.h"
#include "Dlgwebexport.h"
#include "Imageeditor.h"
#include "Messages.h"
#include "Paths.h"
#include "Project.h"
#include "ProjectController.h"
#include "main.h"

QSurfaceFormat EditorSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  format.setDepthBufferSize(24);
  return format;
}

bool CheckOpenGL(std::string& reason) {
  QOpenGLContext context;
  context.setFormat(QSurfaceFormat::defaultFormat());
  if (!context.create()) {
    reason = "The display (" + QGuiApplication::platformName().toStdString() +
             ") could not create an OpenGL context with the fixed-function pipeline.";
    return false;
  }
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!context.makeCurrent(&surface)) {
    reason = "An OpenGL context was created but could not be made current.";
    return false;
  }
  const QSurfaceFormat got = context.format();
  const bool fixedFunction = got.profile() != QSurfaceFormat::CoreProfile;
  context.doneCurrent();
  if (!fixedFunction) {
    reason = "Only a core-profile OpenGL context is available; the editor needs the compatibility profile.";
    return false;
  }
  return true;
}

namespace {

QString ProgramDataFile(const QString& name) {
  const std::string programDirectory = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
  return QFile::decodeName(DataFilePath(programDirectory, QFile::encodeName(name).toStdString()).c_str());
}

// Every size of the program icon compiled in (icon_16 ... icon_256, as installed for the desktop).
QIcon ProgramIcon() {
  QIcon icon;
  const QDir images(QStringLiteral(":/images"));
  for (const QString& name : images.entryList({QStringLiteral("icon_*")})) icon.addFile(images.filePath(name));
  return icon;
}

}  // namespace

EditorWindows::EditorWindows() = default;

EditorWindows::~EditorWindows() { Destroy(); }

void EditorWindows::Destroy() {
  // The main window's own windows go before it, which would otherwise delete them as its children.
  webExport.reset();
  about.reset();
  imageList.reset();
  main.reset();
  bitmap.reset();
  project.reset();
}

void CreateEditorWindows(EditorWindows& windows, const QStringList& arguments, const EditorFiles& files) {
  windows.project = std::make_unique<Project>();
  windows.bitmap = std::make_unique<TFormBitmap>();
  windows.main = std::make_unique<TmainForm>(*windows.project, *windows.bitmap, arguments, files);
  TmainForm* main = windows.main.get();
  windows.imageList = std::make_unique<TFormImageList>(*windows.project, main);
  windows.about = std::make_unique<TFormAbout>(main);
  windows.webExport = std::make_unique<TFormWebExport>(*windows.project, main);
  main->SetWindows(windows.imageList.get(), windows.about.get(), windows.webExport.get());
  // What the main window's own windows report; the project reports to each window itself.
  QObject::connect(windows.imageList.get(), &TFormImageList::closed, main, &TmainForm::ImageListClosed);
  QObject::connect(windows.imageList.get(), &TFormImageList::newProjectMade, main, &TmainForm::EditFirstPicture);
  QObject::connect(windows.about.get(), &TFormAbout::closed, main, &TmainForm::FormPaint);
  QObject::connect(windows.webExport.get(), &TFormWebExport::closed, main, &TmainForm::FormPaint);
  ProjectController* commands = &main->commands();
  QObject::connect(windows.webExport.get(), &TFormWebExport::exportRequested, commands,
                   [commands] { commands->StartWebExport(); });
}

int RunEditor(QApplication& application, const QStringList& arguments, size_t textureBudget) {
  QApplication::setApplicationName(QStringLiteral("Tunnelvista"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tunnelvista"));
  QApplication::setWindowIcon(ProgramIcon());
  EditorFiles files;
  files.help = ProgramDataFile(QStringLiteral("TUNNELVISTA.html"));
  files.appletTemplate = ProgramDataFile(QStringLiteral("kx.jar"));
  files.webPlayer = ProgramDataFile(QStringLiteral("web/player"));
  files.textureBudget = textureBudget;
  InstallMessageBoxReporter();

  std::string reason;
  if (!CheckOpenGL(reason)) {
    ShowMessage(reason, "Error creating OpenGL context", MessageIcon::Information, MessageButtons::Ok);
    return 1;
  }

  EditorWindows windows;
  CreateEditorWindows(windows, arguments, files);
  windows.main->show();
  const int status = application.exec();
  // Exit and closing the window end the loop; the windows go now, in their order, while the
  // application object and the display connection still exist.
  windows.Destroy();
  return status;
}
