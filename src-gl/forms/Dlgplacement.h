#pragma once
// Edit > Placement...: the placement of the picture being aligned as numbers that can be typed.
// The dialog only gathers the numbers; the main window applies each change as it is typed and
// makes the whole visit one undo step (OK) or puts the placement back (Cancel).

#include <QDialog>
#include <functional>

#include "Transform.h"

class QDoubleSpinBox;
class QLabel;

class TFormPlacement : public QDialog {
 public:
  explicit TFormPlacement(QWidget* parent);

  // Shows `placement` (of `caption`, such as "b.jpg in a.jpg") without reporting it as a change.
  void SetPlacement(const Transform& placement, const QString& caption);
  // The element's name, after the list changed.
  void SetCaption(const QString& caption);
  // Called with the placement as shown whenever the user changes one of the numbers.
  std::function<void(const Transform&)> changed;

  QLabel* LabelCaption;
  QDoubleSpinBox* EditScale;
  QDoubleSpinBox* EditOffsetX;
  QDoubleSpinBox* EditOffsetY;
  QDoubleSpinBox* EditRotation;

 private:
  void FieldChanged(const QDoubleSpinBox* field);
  Transform placement_;
  bool settingFields_ = false;
};
