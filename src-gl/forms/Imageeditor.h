#pragma once
// The image list editor: adds, removes, reorders and reloads the pictures of a project. It works
// on the stack's own pictures while it is open; nothing reaches the stack until Done.

#include <QWidget>
#include <memory>
#include <vector>

#include "ImageListBox.h"
#include "image.h"

class Project;

struct CheckedPicture;
class QLabel;
class QProgressBar;
class QLineEdit;
class QPushButton;
class QToolButton;

// The preview box: the selected picture, centred, filling the box along its longer side.
class TPreviewBox : public QWidget {
 public:
  explicit TPreviewBox(QWidget* parent);
  const Image* image = nullptr;
  // Where the picture is drawn in a box of this size.
  static QRect PreviewRect(const Image& image, int boxWidth, int boxHeight);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TFormImageList : public QWidget {
  Q_OBJECT

 public:
  // `project`: the open project, whose pictures the list shows and which takes the list on Done.
  // `parent`: the main window, over which it stays and whose window-modal dialogs block it.
  explicit TFormImageList(Project& project, QWidget* parent = nullptr);
  ~TFormImageList() override;

  bool newProject = false;
  // A picture of the stack was reloaded (in place, so kept even when the dialog is cancelled).
  bool reloadedStackPicture = false;

  QLabel* Label1;
  TImageListBox* ListBox;  // grows with the dialog; lines are dragged to reorder, files dropped
  QLabel* Label2;
  QToolButton* ButtonMoveUp;
  QToolButton* ButtonMoveDown;
  QPushButton* ButtonAddImage;
  QPushButton* ButtonReload;
  QPushButton* ButtonRemoveImage;
  QLabel* Label3;
  TPreviewBox* PaintBox;
  QLabel* Label4;
  QLineEdit* EditFilename;
  QPushButton* ButtonCancel;
  QPushButton* ButtonDone;
  // Over the file name while pictures are being checked: the picture in hand, the count, Cancel.
  QWidget* CheckingStrip;
  QLabel* CheckingLabel;
  QProgressBar* CheckingProgress;
  QPushButton* CheckingCancel;

  void OpenForNewProject();  // File > New...
  void OpenForEditing();     // Edit > Image List...
  // Another project (or none) took the open one's place: an open list is cancelled, as its lines
  // and a Done were meant for the project that went.
  void ProjectReplaced();

  void ListBoxClick();
  void ButtonAddImageClick();
  void ButtonReloadClick();
  void ButtonRemoveImageClick();
  void ButtonMoveUpClick();
  void ButtonMoveDownClick();
  void ButtonDoneClick();
  void ButtonCancelClick();
  // Adds JPEG files at the end of the list once each is checked (on worker threads, in the given
  // order); files that fail are named in one message at the end. Files given while a check runs
  // wait for it.
  void AddFiles(const QStringList& files);
  // Dropped on the list: picture files (a folder's in natural name order) and the folders that
  // held no pictures, which a message names.
  void FilesDropped(const QStringList& pictures, const QStringList& emptyFolders);
  // The lines of the pictures `ids` dragged to `row` (the line before which they go), as Move
  // Up and Move Down would move them.
  void MoveLines(const std::vector<uint64_t>& ids, int row);
  bool Checking() const { return checking_ != nullptr; }
  void CheckingStep();    // takes the results the workers finished
  void CancelChecking();  // the strip's Cancel: the pictures not yet checked are not added

  // The pictures of the list, top to bottom.
  std::vector<Image*> Pictures() const;
  // Pictures added since the dialog opened, owned here until Done hands them to the stack.
  std::vector<std::unique_ptr<Image>> added;

 signals:
  // Done (after the project took the list), Cancel or the close box.
  void closed();
  // Done made a new project of the list (File > New): before `closed`.
  void newProjectMade();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void hideEvent(QHideEvent* event) override;  // the size is kept for the next run

 private:
  // The constructor's steps, in this order.
  void BuildControls();       // the list, its buttons, the preview and the file name field
  void BuildCheckingStrip();  // over the file name while added pictures are checked
  void ConnectControls();     // the tab order and the controls' signals
  void LayoutControls();      // the list takes what the dialog grows; the rest keeps its size
  // Every line's name, thumbnail and tooltip; pictures of one name in several folders get the
  // folder after the name.
  void ShowEntries();
  Image* ImageAt(int row) const;
  Image* Find(uint64_t id) const;
  Image* SelectedImage() const;
  void AddEntry(Image* image);
  void Move(int by);
  void ShowNear();
  void ReleaseAdded();
  struct PictureBatch;
  void StartChecking(const QStringList& files, Image* reloading);
  void StopChecking();
  void ApplyChecked(std::unique_ptr<Image> image, CheckedPicture& result);
  void EnableButtons();

  void Cancelled();

  Project& project_;
  std::unique_ptr<PictureBatch> checking_;
  std::vector<QStringList> waiting_;  // files given while a check ran
};
