#pragma once
// Edit > Placement...: the placement of the picture being aligned as numbers that can be typed,
// and its colour correction (a gain and an offset for red, green and blue; Reset Colours sets it
// back to the file's own tones). The dialog only gathers the numbers; the main window applies
// each change as it is typed and makes the visit's changes undo steps (OK) or puts them back
// (Cancel).

#include <QDialog>
#include <functional>

#include "ColourCorrection.h"
#include "Transform.h"

class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TFormPlacement : public QDialog {
 public:
  explicit TFormPlacement(QWidget* parent);

  // Shows `placement` (of `caption`, such as "b.jpg in a.jpg") without reporting it as a change.
  void SetPlacement(const Transform& placement, const QString& caption);
  // The element's name, after the list changed.
  void SetCaption(const QString& caption);
  // Called with the placement as shown whenever the user changes one of the numbers.
  std::function<void(const Transform&)> changed;
  // Shows `colour` without reporting it; `shown` false hides the colours (the target frame has none).
  void SetColour(const ColourCorrection& colour, bool shown);
  // Called with the correction as shown whenever the user changes one of its numbers or resets it.
  std::function<void(const ColourCorrection&)> colourChanged;

  QLabel* LabelCaption;
  QDoubleSpinBox* EditScale;
  QDoubleSpinBox* EditOffsetX;
  QDoubleSpinBox* EditOffsetY;
  QDoubleSpinBox* EditRotation;
  QGroupBox* GroupColours;
  QDoubleSpinBox* EditGain[3];    // red, green, blue
  QDoubleSpinBox* EditOffset[3];  // in parts of the full level (0..1)
  QPushButton* ButtonResetColours;

 private:
  void FieldChanged(const QDoubleSpinBox* field);
  void ColourFieldChanged(const QDoubleSpinBox* field);
  void ShowColour();
  Transform placement_;
  ColourCorrection colour_;
  bool settingFields_ = false;
};
