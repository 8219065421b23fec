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
#include <QUndoStack>
#include <QUrl>

#include "Dialogs.h"
#include "Dlgabout.h"
#include "Dlgwebexport.h"
#include "Imageeditor.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"

namespace {

const QString projectFilter = QStringLiteral("Tunnelvista (*.kx)");

}  // namespace

void TmainForm::EnableProjectCommands() {
  for (QAction* action : {Save, SaveAs, ExportToWeb, EditImageList}) action->setEnabled(true);
}

void TmainForm::FileNewClick() {
  StopPlay();
  if (!MaySetProjectAside()) return;
  CancelImageListEditing();
  if (FormImageList) FormImageList->OpenForNewProject();
}

void TmainForm::EditImageListClick() {
  if (!imageStack) return;
  StopPlay();
  CancelImageListEditing();
  if (FormImageList) FormImageList->OpenForEditing();
}

// The dialog's list points at the stack's own pictures: before anything replaces or discards
// the stack (or reopens the dialog), an open dialog is cancelled, releasing what it added.
void TmainForm::CancelImageListEditing() {
  if (FormImageList && FormImageList->isVisible()) FormImageList->ButtonCancelClick();
}

void TmainForm::EditImageListDone() {
  if (!FormImageList) return;
  const std::vector<Image*> pictures = FormImageList->Pictures();
  if (pictures.empty()) {
    FormImageList->added.clear();
    FormPaint();
    return;
  }
  if (FormImageList->newProject || !imageStack) {
    // A new project replaces one that may still be opening.
    StopOpening();
    ReplacePictures(imageStack, pictures, FormImageList->added, true);
    ForgetEdits();
  } else {
    ReplacePicturesUndoably(pictures, FormImageList->added);
  }
  ReloadsAreChanges();
  ShowChangedPictures();
  EnableProjectCommands();
}

// A reload changes a picture of the project in place, with no undo step: the saved state can
// no longer be reached by undoing.
void TmainForm::ReloadsAreChanges() {
  if (!FormImageList || !FormImageList->reloadedStackPicture || FormImageList->newProject) return;
  FormImageList->reloadedStackPicture = false;
  undoStack->resetClean();
  UpdateTitle();
}

void TmainForm::ImageListCancelled() {
  // Reloads made before the cancel stay: the view shows them at once.
  if (imageStack) imageStack->dirty = true;
  ReloadsAreChanges();
  FormPaint();
  Panel->update();
}

void TmainForm::FileOpenClick() {
  StopPlay();
  if (!MaySetProjectAside()) return;
  const QString chosen = Dialogs().OpenFileName(this, QStringLiteral("Open File"), projectFilter, QStringLiteral("kx"));
  if (!chosen.isEmpty()) OpenProjectFile(chosen);
}

void TmainForm::OpenProjectFile(const QString& chosen) {
  CancelImageListEditing();
  SetImageStack(nullptr);
  auto stack = std::make_unique<ImageStack>();
  stack->path = QFile::encodeName(chosen).toStdString();
  imageStack = std::move(stack);
  OpenKX();
}

namespace {

bool IsProjectFile(const QString& file) { return file.endsWith(QStringLiteral(".kx"), Qt::CaseInsensitive); }

bool IsJpegFile(const QString& file) {
  for (const char* extension : {".jpg", ".jpeg", ".jpe", ".jfif"})
    if (file.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) return true;
  return false;
}

// The local files a drag carries that the window takes: projects and JPEG pictures.
QStringList DroppableFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    const QString file = url.toLocalFile();
    if (!file.isEmpty() && (IsProjectFile(file) || IsJpegFile(file))) files.push_back(file);
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
    StopPlay();
    if (MaySetProjectAside()) OpenProjectFile(file);
    return;
  }
  QStringList pictures;
  for (const QString& file : files)
    if (IsJpegFile(file)) pictures.push_back(file);
  if (pictures.isEmpty() || !FormImageList || Opening()) return;
  StopPlay();
  if (!FormImageList->isVisible()) {
    if (imageStack)
      EditImageListClick();
    else
      FormImageList->OpenForNewProject();
  }
  FormImageList->AddFiles(pictures);
}

void TmainForm::InitValues() {
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
    ResetView(viewTransform);
  }
  PanelResize();
  playbar.position = 0.0f;
  FormPaint();
  Panel->update();
}

bool TmainForm::SaveClick() {
  if (!imageStack) return false;
  if (imageStack->path.empty()) return SaveAsClick();
  if (!imageStack->SaveProject()) return false;
  undoStack->setClean();
  RemoveRecovery();
  UpdateTitle();
  return true;
}

bool TmainForm::SaveAsClick() {
  if (!imageStack) return false;
  StopPlay();
  const QString chosen =
      Dialogs().SaveFileName(this, QStringLiteral("Save Project"), projectFilter, QStringLiteral("kx"));
  if (chosen.isEmpty()) return false;
  imageStack->path = QFile::encodeName(chosen).toStdString();  // kept even if the write fails
  const bool saved = imageStack->SaveProject();
  if (saved) {
    undoStack->setClean();
    RemoveRecovery();
  } else {
    // The new name holds no copy of this project: nothing undoes back to a saved state now.
    undoStack->resetClean();
  }
  UpdateTitle();
  return saved;
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
  if (FormAbout) FormAbout->ShowAbout();
}

void TmainForm::FormShow() {
  if (shown_) return;
  shown_ = true;
  if (arguments_.size() != 1) {
    // A project that was never saved, kept from a session that ended unexpectedly.
    const std::string recovery = OfferRecovery(std::string());
    if (recovery.empty() || !RecoveryReadable(recovery, std::string())) return;
    SetImageStack(std::make_unique<ImageStack>());
    imageStack->path = recovery;
    OpenKX();
    if (!imageStack) return;
    imageStack->path.clear();
    recoveryWritten_ = recovery;
    UpdateTitle();
    return;
  }
  const std::string path = CommandLineProjectPath(QFile::encodeName(arguments_.first()).toStdString(),
                                                  QFile::encodeName(QDir::currentPath()).toStdString());
  CancelImageListEditing();
  SetImageStack(std::make_unique<ImageStack>());
  imageStack->path = path;
  OpenKX();
}
