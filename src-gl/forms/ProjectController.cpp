// The project-wide commands on the window side: New, Open, dropped files, Save, Save As, the
// question before work is set aside, Undo and Redo, the image list, Help, About, the title.

#include "ProjectController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUndoStack>
#include <QUrl>

#include "Dialogs.h"
#include "Dlgabout.h"
#include "Dlgimportsequence.h"
#include "Dlgwebexport.h"
#include "ImageListBox.h"
#include "Imageeditor.h"
#include "Job.h"
#include "Messages.h"
#include "Paths.h"
#include "Project.h"
#include "RecentProjects.h"
#include "main.h"

namespace {

const QString projectFilter = QStringLiteral("Tunnelvista (*.kx)");

bool IsProjectFile(const QString& file) { return file.endsWith(QStringLiteral(".kx"), Qt::CaseInsensitive); }

// By name only to accept the drag; what a picture is, the loader tells from its first bytes.
bool IsPictureFile(const QString& file) { return IsPictureFileName(file); }

}  // namespace

// The local files a drag carries that the window takes: projects and pictures.
QStringList DroppableFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    const QString file = url.toLocalFile();
    if (!file.isEmpty() && (IsProjectFile(file) || IsPictureFile(file))) files.push_back(file);
  }
  return files;
}

ProjectController::ProjectController(TmainForm& form, Project& project)
    : QObject(&form), form_(form), project_(project) {
  connect(&project_, &Project::modifiedChanged, this, [this] { UpdateTitle(); });
  connect(&project_, &Project::jobStarted, this, [this](Job* job) { ShowProgress(job); });
  // The placement dialog's element went with the project (ids are never used again).
  connect(&project_, &Project::stackReplaced, this, [this] { PlacementFollowsList(); });
}

ProjectController::~ProjectController() = default;

void ProjectController::SetWindows(TFormImageList* imageList, TFormAbout* about, TFormWebExport* webExport) {
  imageList_ = imageList;
  about_ = about;
  webExport_ = webExport;
}

void ProjectController::FileNewClick() {
  form_.playback().StopPlay();
  if (!MaySetProjectAside()) return;
  CancelImageListEditing();
  if (imageList_) imageList_->OpenForNewProject();
}

void ProjectController::EditImageListClick() {
  // Its lines are the stack's pictures, which the opening's check is still filling in.
  if (!project_.stack() || project_.Opening()) return;
  form_.playback().StopPlay();
  CancelImageListEditing();
  if (imageList_) imageList_->OpenForEditing();
}

// The dialog's list points at the stack's own pictures: before anything replaces or discards
// the stack (or reopens the dialog), an open dialog is cancelled, releasing what it added.
void ProjectController::CancelImageListEditing() {
  if (imageList_ && imageList_->isVisible()) imageList_->ButtonCancelClick();
}

void ProjectController::FileOpenClick() {
  form_.playback().StopPlay();
  if (!MaySetProjectAside()) return;
  const QString chosen =
      Dialogs().OpenFileName(&form_, QStringLiteral("Open File"), projectFilter, QStringLiteral("kx"));
  if (!chosen.isEmpty()) OpenProjectFile(chosen);
}

void ProjectController::ImportSequenceClick() {
  form_.playback().StopPlay();
  if (!MaySetProjectAside()) return;
  TFormImportSequence dialog(&form_);
  if (Dialogs().Run(dialog) != QDialog::Accepted) return;
  const std::vector<std::string> paths = dialog.Paths();
  if (paths.empty()) return;
  CancelImageListEditing();
  form_.ClearPictureList();
  form_.EnableProjectCommands(false);
  // Shown as an opened project is; the alignment's progress shows as it starts (ShowProgress).
  project_.NewSequence(paths, dialog.Factor(), std::string(), true);
}

void ProjectController::ShowRecentProjects(QMenu* menu) {
  recent_ = std::make_unique<RecentProjects>(menu, [this](const QString& file) { OpenRecentClick(file); });
}

void ProjectController::OpenRecentClick(const QString& file) {
  form_.playback().StopPlay();
  if (MaySetProjectAside()) OpenProjectFile(file);
}

void ProjectController::OpenProjectFile(const QString& chosen) {
  CancelImageListEditing();
  OpenKX(QFile::encodeName(chosen).toStdString());
}

void ProjectController::OpenKX(const std::string& path) {
  // The lines of the project that was open name pictures that are gone.
  form_.ClearPictureList();
  form_.EnableProjectCommands(false);
  // The project shows once its text is read (Project::opened), its pictures as they arrive.
  if (!project_.Open(path)) {
    form_.Panel->update();  // no project now
    return;
  }
  if (recent_) recent_->Add(QFile::decodeName(QByteArray::fromStdString(path)));
}

void ProjectController::FilesDropped(const QStringList& files) {
  for (const QString& file : files) {
    if (!IsProjectFile(file)) continue;
    form_.playback().StopPlay();
    if (MaySetProjectAside()) OpenProjectFile(file);
    return;
  }
  QStringList pictures;
  for (const QString& file : files)
    if (IsPictureFile(file)) pictures.push_back(file);
  if (pictures.isEmpty() || !imageList_ || project_.Opening()) return;
  form_.playback().StopPlay();
  if (!imageList_->isVisible()) {
    if (project_.stack())
      EditImageListClick();
    else
      imageList_->OpenForNewProject();
  }
  imageList_->AddFiles(pictures);
}

void ProjectController::OpenStartProject(const QStringList& arguments) {
  if (arguments.size() != 1) {
    // A project that was never saved, kept from a session that ended unexpectedly.
    if (!project_.OpenUntitledRecovery()) form_.Panel->update();
    return;
  }
  const std::string path = CommandLineProjectPath(QFile::encodeName(arguments.first()).toStdString(),
                                                  QFile::encodeName(QDir::currentPath()).toStdString());
  CancelImageListEditing();
  OpenKX(path);
}

bool ProjectController::SaveClick() {
  if (!project_.stack()) return false;
  if (project_.stack()->path.empty()) return SaveAsClick();
  if (!project_.Save()) return false;
  if (recent_) recent_->Add(QFile::decodeName(QByteArray::fromStdString(project_.stack()->path)));
  return true;
}

bool ProjectController::SaveAsClick() {
  if (!project_.stack()) return false;
  form_.playback().StopPlay();
  const QString chosen =
      Dialogs().SaveFileName(&form_, QStringLiteral("Save Project"), projectFilter, QStringLiteral("kx"));
  if (chosen.isEmpty()) return false;
  if (!project_.SaveAs(QFile::encodeName(chosen).toStdString())) return false;
  if (recent_) recent_->Add(QFile::decodeName(QByteArray::fromStdString(project_.stack()->path)));
  return true;
}

void ProjectController::UpdateTitle() {
  const ImageStack* imageStack = project_.stack();
  const QString application = QStringLiteral("Tunnelvista Editor");
  if (!imageStack) {
    form_.setWindowTitle(application);
    return;
  }
  const QString name = imageStack->path.empty()
                           ? QStringLiteral("Untitled")
                           : QFileInfo(QFile::decodeName(QByteArray::fromStdString(imageStack->path))).fileName();
  form_.setWindowTitle(name + (project_.Modified() ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") +
                       application);
}

bool ProjectController::MaySetProjectAside() {
  if (!project_.Modified()) {
    project_.RemoveRecovery();
    return true;
  }
  form_.playback().StopPlay();
  const ImageStack* imageStack = project_.stack();
  const std::string name =
      imageStack->path.empty()
          ? std::string("Untitled")
          : QFile::encodeName(QFileInfo(QFile::decodeName(QByteArray::fromStdString(imageStack->path))).fileName())
                .toStdString();
  switch (AskSaveDiscardCancel("Save changes to " + name + "?", AppTitle)) {
    case MessageAnswer::Save:
      return SaveClick();
    case MessageAnswer::Discard:
      project_.RemoveRecovery();
      return true;
    default:
      return false;
  }
}

void ProjectController::UndoClick() {
  QUndoStack* undoStack = project_.undoStack();
  // While a project opens, its check fills the pictures by their places in the stack.
  if (form_.view().Dragging() || project_.Opening() || !undoStack->canUndo()) return;
  form_.playback().StopPlay();
  CancelImageListEditing();  // its list points at the pictures the step may take away
  undoStack->undo();
}

void ProjectController::RedoClick() {
  QUndoStack* undoStack = project_.undoStack();
  if (form_.view().Dragging() || project_.Opening() || !undoStack->canRedo()) return;
  form_.playback().StopPlay();
  CancelImageListEditing();
  undoStack->redo();
}

void ProjectController::HelpContentsClick() {
  const QString& help = form_.editorFiles.help;
  OpenDocument(QUrl::fromLocalFile(help), QFile::encodeName(help).toStdString());
}

void ProjectController::HelpGettingStartedClick() {
  const QString& help = form_.editorFiles.help;
  QUrl url = QUrl::fromLocalFile(help);
  url.setFragment(QStringLiteral("welcome"));
  OpenDocument(url, QFile::encodeName(help).toStdString());
}

void ProjectController::AboutClick() {
  if (about_) about_->ShowAbout();
}
