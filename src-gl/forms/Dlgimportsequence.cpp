#include "Dlgimportsequence.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "Messages.h"

namespace {

const QString caption = QStringLiteral("Import Sequence");

QString Decoded(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

}  // namespace

TFormImportSequence::TFormImportSequence(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormImportSequence"));
  setWindowTitle(caption);
  ButtonFolder = new QPushButton(QStringLiteral("Folder..."), this);
  ButtonFolder->setObjectName(QStringLiteral("ButtonFolder"));
  ButtonFiles = new QPushButton(QStringLiteral("Files..."), this);
  ButtonFiles->setObjectName(QStringLiteral("ButtonFiles"));
  LabelSource = new QLabel(QStringLiteral("Choose a folder of pictures, or the pictures themselves."), this);
  LabelSource->setWordWrap(true);
  ComboBoxOrder = new QComboBox(this);
  ComboBoxOrder->setObjectName(QStringLiteral("ComboBoxOrder"));
  ComboBoxOrder->addItem(QStringLiteral("Name"), static_cast<int>(SequenceOrder::Name));
  ComboBoxOrder->addItem(QStringLiteral("Date"), static_cast<int>(SequenceOrder::Date));
  ComboBoxOrder->setToolTip(
      QStringLiteral("Name: numbers in names compare as numbers (img2 before img10). Date: oldest first."));
  // Which end is the outermost picture is the order's direction: the list below shows the result.
  CheckBoxReversed = new QCheckBox(QStringLiteral("Reversed (the last in order is the outermost picture)"), this);
  CheckBoxReversed->setObjectName(QStringLiteral("CheckBoxReversed"));
  EditFactor = new QDoubleSpinBox(this);
  EditFactor->setObjectName(QStringLiteral("EditFactor"));
  EditFactor->setRange(1.01, 1000.0);
  EditFactor->setDecimals(3);
  EditFactor->setSingleStep(0.1);
  EditFactor->setValue(2.0);
  EditFactor->setToolTip(
      QStringLiteral("How many times larger each picture's view is than the next one's: 2 when each picture is "
                     "the one before at half its size (a tool's zoom-out of 0.5)"));
  ListOrder = new QListWidget(this);
  ListOrder->setObjectName(QStringLiteral("ListOrder"));
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* choose = new QHBoxLayout;
  choose->addWidget(ButtonFolder);
  choose->addWidget(ButtonFiles);
  choose->addStretch();
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Order by:"), ComboBoxOrder);
  form->addRow(QString(), CheckBoxReversed);
  form->addRow(QStringLiteral("Zoom factor:"), EditFactor);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choose);
  layout->addWidget(LabelSource);
  layout->addLayout(form);
  layout->addWidget(new QLabel(QStringLiteral("The stack, outermost picture first:"), this));
  layout->addWidget(ListOrder, 1);
  layout->addWidget(Buttons);
  resize(480, 420);

  connect(ButtonFolder, &QPushButton::clicked, this, [this] { ButtonFolderClick(); });
  connect(ButtonFiles, &QPushButton::clicked, this, [this] { ButtonFilesClick(); });
  connect(ComboBoxOrder, &QComboBox::currentIndexChanged, this, [this] { ShowOrder(); });
  connect(CheckBoxReversed, &QCheckBox::toggled, this, [this] { ShowOrder(); });
  ShowOrder();
}

void TFormImportSequence::ButtonFolderClick() {
  const QString folder = Dialogs().ExistingDirectory(this, caption, folder_);
  if (folder.isEmpty()) return;
  std::vector<SequenceFile> found;
  std::string error;
  if (!SequenceFolder(QFile::encodeName(folder).toStdString(), found, error)) {
    ShowMessage("The folder " + QFile::encodeName(folder).toStdString() + " cannot be read: " + error,
                "Import Sequence", MessageIcon::Error, MessageButtons::Ok);
    return;
  }
  folder_ = folder;
  found_ = std::move(found);
  LabelSource->setText(found_.empty()
                           ? QStringLiteral("%1 holds no pictures (*.jpg, *.jpeg, *.png, *.webp).").arg(folder)
                           : QStringLiteral("%1 pictures in %2").arg(found_.size()).arg(folder));
  ShowOrder();
}

void TFormImportSequence::ButtonFilesClick() {
  const QStringList chosen =
      Dialogs().OpenFileNames(this, caption, QStringLiteral("Pictures (*.jpg *.jpeg *.png *.webp)"));
  if (chosen.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& file : chosen) paths.push_back(QFile::encodeName(file).toStdString());
  found_ = SequenceFiles(paths);
  LabelSource->setText(QStringLiteral("%1 pictures chosen").arg(found_.size()));
  ShowOrder();
}

void TFormImportSequence::ShowOrder() {
  const auto order = static_cast<SequenceOrder>(ComboBoxOrder->currentData().toInt());
  ordered_ = OrderSequence(found_, order, CheckBoxReversed->isChecked());
  ListOrder->clear();
  for (size_t i = 0; i < ordered_.size(); ++i) {
    auto* line = new QListWidgetItem(QStringLiteral("%1. %2").arg(i + 1).arg(Decoded(ordered_[i].name)), ListOrder);
    line->setToolTip(Decoded(ordered_[i].path));
  }
  Buttons->button(QDialogButtonBox::Ok)->setEnabled(!ordered_.empty());
}

std::vector<std::string> TFormImportSequence::Paths() const {
  std::vector<std::string> paths;
  paths.reserve(ordered_.size());
  for (const SequenceFile& file : ordered_) paths.push_back(file.path);
  return paths;
}

double TFormImportSequence::Factor() const { return EditFactor->value(); }
