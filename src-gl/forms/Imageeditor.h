#pragma once
// The image list editor: adds, removes, reorders and reloads the pictures of a project. It works
// on the stack's own pictures while it is open; nothing reaches the stack until Done.

#include <QWidget>
#include <memory>
#include <vector>

#include "image.h"

class QLabel;
class QLineEdit;
class QListWidget;
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
 public:
  TFormImageList();
  ~TFormImageList() override;

  bool newProject = false;
  // A picture of the stack was reloaded (in place, so kept even when the dialog is cancelled).
  bool reloadedStackPicture = false;

  QLabel* Label1;
  QListWidget* ListBox;
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

  void OpenForNewProject();  // File > New...
  void OpenForEditing();     // Edit > Image List...

  void ListBoxClick();
  void ButtonAddImageClick();
  void ButtonReloadClick();
  void ButtonRemoveImageClick();
  void ButtonMoveUpClick();
  void ButtonMoveDownClick();
  void ButtonDoneClick();
  void ButtonCancelClick();

  // The pictures of the list, top to bottom.
  std::vector<Image*> Pictures() const;
  // Pictures added since the dialog opened, owned here until Done hands them to the stack.
  std::vector<std::unique_ptr<Image>> added;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Image* ImageAt(int row) const;
  Image* SelectedImage() const;
  void AddEntry(Image* image);
  void Move(int by);
  void ShowNear();
  void ReleaseAdded();
};

extern TFormImageList* FormImageList;

class QListWidgetItem;
// Colours a list line of `image` red when it did not load; its tooltip gives the file, or where a
// moved picture was found.
void MarkEntry(QListWidgetItem* item, const Image& image);
