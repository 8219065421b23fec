#pragma once
// File > Import Sequence...: a folder of pictures (or files chosen one by one), each the one
// before zoomed out about its centre, as a new project. The dialog gathers where the pictures
// are, their order, which end is the outermost picture (by default the widest view, which the
// pictures show) and the zoom factor between neighbours, and shows the stack it will make, a
// thumbnail for each picture; the project is built by `Project::NewSequence`.

#include <QDialog>
#include <QImage>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PictureSequence.h"
#include "WidestView.h"

class SequenceSurvey;
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
  ~TFormImportSequence() override;

  // The pictures as the stack will hold them, the outermost first (waiting for the widest view
  // when it is still being looked for).
  std::vector<std::string> Paths() const;
  // Whether the pictures are still being looked at for the widest view.
  bool Finding() const;
  // How many times each picture's view is larger than the next one's (above 1).
  double Factor() const;

  // The controls, public for the tests as the other forms' are.
  QPushButton* ButtonFolder;
  QPushButton* ButtonFiles;
  QLabel* LabelSource;          // the folder, or how many files were chosen
  QComboBox* ComboBoxOrder;     // Name, Date
  QCheckBox* CheckBoxFind;      // the widest view outermost, as the pictures show it
  QCheckBox* CheckBoxReversed;  // the last in order outermost, whatever the pictures show
  QLabel* LabelOutermost;       // which end was taken, and why
  QDoubleSpinBox* EditFactor;
  QListWidget* ListOrder;  // the resulting order, outermost first, with thumbnails
  QDialogButtonBox* Buttons;

 private:
  void ButtonFolderClick();
  void ButtonFilesClick();
  SequenceOrder Order() const;
  OutermostChoice Choice() const;
  // Starts looking at the pictures again after they or their order changed.
  void Survey();
  void Thumbnail(const std::string& path, const QImage& thumbnail);
  // The list, the outermost picture's reason and OK after any change of the pictures or their order.
  void ShowOrder();

  std::vector<SequenceFile> found_;    // in the folder's own order
  std::vector<SequenceFile> ordered_;  // as the stack will hold them
  QString folder_;                     // the last folder chosen, where the next choice starts
  std::unique_ptr<SequenceSurvey> survey_;
  bool widestKnown_ = true;
  WidestView widest_;
  std::map<std::string, QImage> thumbnails_;  // by path, kept while the dialog lives
};
