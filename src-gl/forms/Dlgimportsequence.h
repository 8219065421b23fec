#pragma once
// File > Import Sequence...: a folder of pictures (or files chosen one by one), each the one
// before zoomed out about its centre, as a new project. The dialog gathers where the pictures
// are, their order and the zoom factor between neighbours, and shows the order the stack will
// have; the project is built by `Project::NewSequence`.

#include <QDialog>
#include <string>
#include <vector>

#include "PictureSequence.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;

class TFormImportSequence : public QDialog {
 public:
  explicit TFormImportSequence(QWidget* parent);

  // The pictures as the stack will hold them, the outermost first.
  std::vector<std::string> Paths() const;
  // How many times each picture's view is larger than the next one's (above 1).
  double Factor() const;

  // The controls, public for the tests as the other forms' are.
  QPushButton* ButtonFolder;
  QPushButton* ButtonFiles;
  QLabel* LabelSource;       // the folder, or how many files were chosen
  QComboBox* ComboBoxOrder;  // Name, Date
  QCheckBox* CheckBoxReversed;
  QDoubleSpinBox* EditFactor;
  QListWidget* ListOrder;  // the resulting order, outermost first
  QDialogButtonBox* Buttons;

 private:
  void ButtonFolderClick();
  void ButtonFilesClick();
  // The list and OK after any change of the pictures or their order.
  void ShowOrder();

  std::vector<SequenceFile> found_;    // in the folder's own order
  std::vector<SequenceFile> ordered_;  // as the stack will hold them
  QString folder_;                     // the last folder chosen, where the next choice starts
};
