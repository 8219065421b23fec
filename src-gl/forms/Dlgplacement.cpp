#include "Dlgplacement.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* NumberField(QWidget* parent, const char* name, double lowest, double highest, int decimals,
                            double step) {
  auto* field = new QDoubleSpinBox(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setRange(lowest, highest);
  field->setDecimals(decimals);
  field->setSingleStep(step);
  field->setAccelerated(true);
  return field;
}

}  // namespace

TFormPlacement::TFormPlacement(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormPlacement"));
  setWindowTitle(QStringLiteral("Placement"));
  LabelCaption = new QLabel(this);
  // Offsets are in the parent's units (its longer side is 1), the angle counter-clockwise.
  EditScale = NumberField(this, "EditScale", 1e-6, 1e6, 6, 0.001);
  EditOffsetX = NumberField(this, "EditOffsetX", -1e6, 1e6, 6, 0.001);
  EditOffsetY = NumberField(this, "EditOffsetY", -1e6, 1e6, 6, 0.001);
  EditRotation = NumberField(this, "EditRotation", -1e6, 1e6, 4, 0.1);
  EditScale->setToolTip(QStringLiteral("The picture's size as a part of the picture it lies in"));
  EditOffsetX->setToolTip(
      QStringLiteral("Where its centre lies, in lengths of the longer side of the picture it lies in"));
  EditOffsetY->setToolTip(EditOffsetX->toolTip());
  EditRotation->setToolTip(QStringLiteral("Degrees, counter-clockwise"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Scale:"), EditScale);
  form->addRow(QStringLiteral("Offset X:"), EditOffsetX);
  form->addRow(QStringLiteral("Offset Y:"), EditOffsetY);
  form->addRow(QStringLiteral("Rotation:"), EditRotation);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LabelCaption);
  layout->addLayout(form);
  layout->addWidget(buttons);
  for (QDoubleSpinBox* field : {EditScale, EditOffsetX, EditOffsetY, EditRotation})
    connect(field, &QDoubleSpinBox::valueChanged, this, [this, field] { FieldChanged(field); });
}

void TFormPlacement::SetPlacement(const Transform& placement, const QString& caption) {
  placement_ = placement;
  LabelCaption->setText(caption);
  settingFields_ = true;
  EditScale->setValue(placement.scale);
  EditOffsetX->setValue(placement.translateX);
  EditOffsetY->setValue(placement.translateY);
  EditRotation->setValue(placement.rotate);
  settingFields_ = false;
}

// Only the field the user changed is taken, so a value that a field could not show exactly (or
// at all, beyond its range) stays as it was in the others.
void TFormPlacement::FieldChanged(const QDoubleSpinBox* field) {
  if (settingFields_) return;
  if (field == EditScale) placement_.scale = static_cast<float>(EditScale->value());
  if (field == EditOffsetX) placement_.translateX = static_cast<float>(EditOffsetX->value());
  if (field == EditOffsetY) placement_.translateY = static_cast<float>(EditOffsetY->value());
  if (field == EditRotation) placement_.rotate = static_cast<float>(EditRotation->value());
  if (changed) changed(placement_);
}

void TFormPlacement::SetCaption(const QString& caption) { LabelCaption->setText(caption); }
