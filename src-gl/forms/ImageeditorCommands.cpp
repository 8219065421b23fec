// The image list's commands on its lines: how they show, remove, move (by the buttons or a drag),
// dropped files, Done, Cancel, and which buttons work.

#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <map>

#include "ImageListBox.h"
#include "Imageeditor.h"
#include "Messages.h"
#include "Project.h"
#include "main.h"

// While pictures are checked the list stays as it is; afterwards Reload and Remove need a line.
void TFormImageList::EnableButtons() {
  const bool idle = !checking_;
  const bool selected = idle && ListBox->currentRow() >= 0;
  ButtonAddImage->setEnabled(idle);
  ButtonMoveUp->setEnabled(idle);
  ButtonMoveDown->setEnabled(idle);
  ListBox->setDragEnabled(idle);
  ButtonReload->setEnabled(selected);
  ButtonRemoveImage->setEnabled(selected);
  ButtonDone->setEnabled(idle && ListBox->count() > 0);
}

void TFormImageList::ShowEntries() {
  std::map<std::string, std::vector<int>> rowsByName;
  for (int row = 0; row < ListBox->count(); ++row)
    if (const Image* image = ImageAt(row)) rowsByName[image->baseName].push_back(row);
  for (const auto& [name, rows] : rowsByName) {
    std::vector<std::string> directories;
    for (int row : rows) directories.push_back(ImageAt(row)->directory);
    const std::vector<QString> hints = rows.size() > 1 ? FolderHints(directories) : std::vector<QString>(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
      TImageListBox::ShowEntry(ListBox->item(rows[i]), *ImageAt(rows[i]), hints[i]);
  }
}

void TFormImageList::ButtonRemoveImageClick() {
  Image* image = SelectedImage();
  if (!image || checking_) return;
  const int row = ListBox->currentRow();
  {
    const QSignalBlocker quiet(ListBox);
    delete ListBox->takeItem(row);
    ListBox->setCurrentRow(-1);
  }
  // A picture added here goes at once; one of the stack's goes only when the list is applied.
  auto it = std::find_if(added.begin(), added.end(), [image](const auto& owned) { return owned.get() == image; });
  if (it != added.end()) added.erase(it);
  ShowEntries();  // a name it shared may stand alone now
  ButtonReload->setEnabled(false);
  ButtonRemoveImage->setEnabled(false);
  if (ListBox->count() == 0) ButtonDone->setEnabled(false);
  EditFilename->clear();
  PaintBox->image = nullptr;
  PaintBox->update();
}

void TFormImageList::Move(int by) {
  const int row = ListBox->currentRow();
  const int to = row + by;
  if (row < 0 || to < 0 || to >= ListBox->count() || checking_) return;
  const QSignalBlocker quiet(ListBox);
  QListWidgetItem* item = ListBox->takeItem(row);
  ListBox->insertItem(to, item);
  ListBox->setCurrentRow(to);
}

void TFormImageList::MoveLines(const std::vector<uint64_t>& ids, int row) {
  if (checking_) return;
  std::vector<QListWidgetItem*> moved;
  {
    const QSignalBlocker quiet(ListBox);
    for (const uint64_t id : ids) {
      for (int r = 0; r < ListBox->count(); ++r) {
        if (ListBox->item(r)->data(Qt::UserRole).toULongLong() != id) continue;
        if (r < row) --row;  // the lines below move up as it leaves
        moved.push_back(ListBox->takeItem(r));
        break;
      }
    }
    row = std::clamp(row, 0, ListBox->count());
    for (size_t i = 0; i < moved.size(); ++i) ListBox->insertItem(row + static_cast<int>(i), moved[i]);
    if (!moved.empty()) ListBox->setCurrentRow(row);
  }
  ListBoxClick();
}

void TFormImageList::FilesDropped(const QStringList& pictures, const QStringList& emptyFolders) {
  if (!emptyFolders.isEmpty()) {
    std::string names;
    for (const QString& folder : emptyFolders) names += "\n    " + QFile::encodeName(folder).toStdString();
    ShowPlainMessage("There are no pictures (JPEG, PNG or WebP) in the following folders:\n" + names);
  }
  AddFiles(pictures);
}

void TFormImageList::ButtonMoveUpClick() { Move(-1); }

void TFormImageList::ButtonMoveDownClick() { Move(+1); }

void TFormImageList::ButtonDoneClick() {
  if (checking_) return;
  hide();
  const bool made = newProject && ListBox->count() > 0;
  project_.ApplyImageList(Pictures(), added, newProject, reloadedStackPicture && !newProject);
  reloadedStackPicture = false;
  if (made) emit newProjectMade();
  emit closed();
  // The pictures now belong to the stack (or are gone): the list must not keep pointing at them.
  const QSignalBlocker quiet(ListBox);
  ListBox->clear();
  PaintBox->image = nullptr;
  added.clear();
}

// Pictures of the stack reloaded before a cancel keep their new files.
void TFormImageList::Cancelled() {
  project_.ImageListCancelled(reloadedStackPicture && !newProject);
  reloadedStackPicture = false;
  emit closed();
}

void TFormImageList::ReleaseAdded() {
  {
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
  }
  PaintBox->image = nullptr;
  added.clear();
}

void TFormImageList::ProjectReplaced() {
  if (!isVisible()) return;      // Done hides the list before it hands it over
  reloadedStackPicture = false;  // a reload of the project that went changes nothing of this one
  ButtonCancelClick();
}

void TFormImageList::ButtonCancelClick() {
  hide();
  waiting_.clear();
  StopChecking();
  ReleaseAdded();
  Cancelled();
}

void TFormImageList::closeEvent(QCloseEvent* event) {
  event->accept();
  waiting_.clear();
  StopChecking();
  ReleaseAdded();
  Cancelled();
}
