#include "Dlgplacement.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ColourMatch.h"

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
  GroupColours = new QGroupBox(QStringLiteral("Colours"), this);
  auto* grid = new QGridLayout(GroupColours);
  const char* channels[] = {"Red", "Green", "Blue"};
  grid->addWidget(new QLabel(QStringLiteral("Gain:"), GroupColours), 1, 0);
  grid->addWidget(new QLabel(QStringLiteral("Offset:"), GroupColours), 2, 0);
  for (int c = 0; c < 3; ++c) {
    grid->addWidget(new QLabel(QString::fromLatin1(channels[c]), GroupColours), 0, c + 1);
    const QString name = QString::fromLatin1(channels[c]);
    EditGain[c] = NumberField(GroupColours, "", minColourGain, maxColourGain, 4, 0.01);
    EditGain[c]->setObjectName(QStringLiteral("EditGain") + name);
    EditOffset[c] = NumberField(GroupColours, "", -maxColourOffset, maxColourOffset, 4, 0.005);
    EditOffset[c]->setObjectName(QStringLiteral("EditOffset") + name);
    grid->addWidget(EditGain[c], 1, c + 1);
    grid->addWidget(EditOffset[c], 2, c + 1);
    for (QDoubleSpinBox* field : {EditGain[c], EditOffset[c]})
      connect(field, &QDoubleSpinBox::valueChanged, this, [this, field] { ColourFieldChanged(field); });
  }
  GroupColours->setToolTip(QStringLiteral(
      "How the picture is drawn: each channel of its file, from 0 to 1, times the gain plus the offset"));
  ButtonResetColours = new QPushButton(QStringLiteral("Reset Colours"), GroupColours);
  ButtonResetColours->setObjectName(QStringLiteral("ButtonResetColours"));
  grid->addWidget(ButtonResetColours, 3, 1, 1, 3);
  connect(ButtonResetColours, &QPushButton::clicked, this, [this] {
    colour_ = ColourCorrection();
    ShowColour();
    if (colourChanged) colourChanged(colour_);
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LabelCaption);
  layout->addLayout(form);
  layout->addWidget(GroupColours);
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

void TFormPlacement::SetColour(const ColourCorrection& colour, bool shown) {
  colour_ = colour;
  GroupColours->setVisible(shown);
  ShowColour();
}

void TFormPlacement::ShowColour() {
  settingFields_ = true;
  for (size_t c = 0; c < 3; ++c) {
    EditGain[c]->setValue(colour_.gain[c]);
    EditOffset[c]->setValue(colour_.offset[c]);
  }
  settingFields_ = false;
}

// As with the placement, only the field changed is taken: the others keep their exact values.
void TFormPlacement::ColourFieldChanged(const QDoubleSpinBox* field) {
  if (settingFields_) return;
  for (size_t c = 0; c < 3; ++c) {
    if (field == EditGain[c]) colour_.gain[c] = static_cast<float>(EditGain[c]->value());
    if (field == EditOffset[c]) colour_.offset[c] = static_cast<float>(EditOffset[c]->value());
  }
  if (colourChanged) colourChanged(colour_);
}
