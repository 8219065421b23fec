// Commands on the project as a whole: New, Open, Save, Save As, Exit, the command line, Help, About.

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include "EditorMenus.h"
#include "Dialogs.h"
#include "Dlgabout.h"
#include "Imageeditor.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"

namespace {

const QString projectFilter = QStringLiteral("Tunnelvista (*.kx)");

}  // namespace

void TmainForm::EnableProjectCommands() { menus_->EnableProjectCommands(true); }

void TmainForm::FileNewClick() {
  playback_->StopPlay();
  if (!MaySetProjectAside()) return;
  CancelImageListEditing();
  if (imageList_) imageList_->OpenForNewProject();
}

void TmainForm::EditImageListClick() {
  if (!project_.stack()) return;
  playback_->StopPlay();
  CancelImageListEditing();
  if (imageList_) imageList_->OpenForEditing();
}

// The dialog's list points at the stack's own pictures: before anything replaces or discards
// the stack (or reopens the dialog), an open dialog is cancelled, releasing what it added.
void TmainForm::CancelImageListEditing() {
  if (imageList_ && imageList_->isVisible()) imageList_->ButtonCancelClick();
}

// The project has taken the list (or kept its own, on a cancel): the view shows what it holds now.
void TmainForm::ImageListClosed() {
  FormPaint();
  Panel->update();
}

void TmainForm::FileOpenClick() {
  playback_->StopPlay();
  if (!MaySetProjectAside()) return;
  const QString chosen = Dialogs().OpenFileName(this, QStringLiteral("Open File"), projectFilter, QStringLiteral("kx"));
  if (!chosen.isEmpty()) OpenProjectFile(chosen);
}

void TmainForm::OpenProjectFile(const QString& chosen) {
  CancelImageListEditing();
  OpenKX(QFile::encodeName(chosen).toStdString());
}

namespace {

bool IsProjectFile(const QString& file) { return file.endsWith(QStringLiteral(".kx"), Qt::CaseInsensitive); }

// By name only to accept the drag; what a picture is, the loader tells from its first bytes.
bool IsPictureFile(const QString& file) {
  for (const char* extension : {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".webp"})
    if (file.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) return true;
  return false;
}

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

}  // namespace

void TmainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppableFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TmainForm::dropEvent(QDropEvent* event) {
  const QStringList files = DroppableFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  // Questions and messages come after the drop has ended, not while the source still waits.
  QTimer::singleShot(0, this, [this, files] { FilesDropped(files); });
}

void TmainForm::FilesDropped(const QStringList& files) {
  for (const QString& file : files) {
    if (!IsProjectFile(file)) continue;
    playback_->StopPlay();
    if (MaySetProjectAside()) OpenProjectFile(file);
    return;
  }
  QStringList pictures;
  for (const QString& file : files)
    if (IsPictureFile(file)) pictures.push_back(file);
  if (pictures.isEmpty() || !imageList_ || Opening()) return;
  playback_->StopPlay();
  if (!imageList_->isVisible()) {
    if (project_.stack())
      EditImageListClick();
    else
      imageList_->OpenForNewProject();
  }
  imageList_->AddFiles(pictures);
}

void TmainForm::InitValues() {
  const ImageStack* imageStack = project_.stack();
  {
    // Lines set here are not the user's choice of a picture.
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
    if (imageStack) {
      for (int i = 0; i < imageStack->pictureCount(); ++i) {
        const Image& picture = *imageStack->images[static_cast<size_t>(i)];
        ListBox->addItem(QFile::decodeName(QByteArray::fromStdString(picture.baseName)));
        MarkEntry(ListBox->item(i), picture);
      }
      if (ListBox->count() > 0) ListBox->setCurrentRow(0);
    }
  }
  if (imageStack) {
    // A changed text runs EditTimeChange, which stores the value as shown: one decimal.
    programSetsFields_ = true;
    EditTime->setText(QString::fromStdString(FormatFixed(imageStack->duration, 1)));
    programSetsFields_ = false;
    ResetView(view_->viewTransform());
  }
  view_->Resized();
  playback_->playbar().position = 0.0f;
  FormPaint();
  Panel->update();
}

bool TmainForm::SaveClick() {
  if (!project_.stack()) return false;
  if (project_.stack()->path.empty()) return SaveAsClick();
  return project_.Save();
}

bool TmainForm::SaveAsClick() {
  if (!project_.stack()) return false;
  playback_->StopPlay();
  const QString chosen =
      Dialogs().SaveFileName(this, QStringLiteral("Save Project"), projectFilter, QStringLiteral("kx"));
  if (chosen.isEmpty()) return false;
  return project_.SaveAs(QFile::encodeName(chosen).toStdString());
}

void TmainForm::ExitClick() {
  if (!MaySetProjectAside()) return;
  FormClose();
}

void TmainForm::HelpContentsClick() {
  OpenDocument(QUrl::fromLocalFile(editorFiles.help), QFile::encodeName(editorFiles.help).toStdString());
}

void TmainForm::HelpGettingStartedClick() {
  QUrl url = QUrl::fromLocalFile(editorFiles.help);
  url.setFragment(QStringLiteral("welcome"));
  OpenDocument(url, QFile::encodeName(editorFiles.help).toStdString());
}

void TmainForm::AboutClick() {
  if (about_) about_->ShowAbout();
}

void TmainForm::FormShow() {
  if (shown_) return;
  shown_ = true;
  if (arguments_.size() != 1) {
    // A project that was never saved, kept from a session that ended unexpectedly.
    if (!project_.OpenUntitledRecovery()) Panel->update();
    return;
  }
  const std::string path = CommandLineProjectPath(QFile::encodeName(arguments_.first()).toStdString(),
                                                  QFile::encodeName(QDir::currentPath()).toStdString());
  CancelImageListEditing();
  OpenKX(path);
}
