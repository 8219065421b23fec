#include "Dlgimportsequence.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "Messages.h"
#include "SequenceSurvey.h"

namespace {

const QString caption = QStringLiteral("Import Sequence");
constexpr int listIconSide = 64;

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
  // Which end is the outermost picture is the order's direction: tools number their pictures
  // either way, so by default the pictures decide; the list below shows the result.
  CheckBoxFind = new QCheckBox(QStringLiteral("The widest view outermost, as the pictures show it"), this);
  CheckBoxFind->setObjectName(QStringLiteral("CheckBoxFind"));
  CheckBoxFind->setChecked(true);
  CheckBoxFind->setToolTip(
      QStringLiteral("Compares the pictures at both ends of the order; when they do not tell, the first in order "
                     "is the outermost picture"));
  CheckBoxReversed = new QCheckBox(QStringLiteral("Reversed (the last in order is the outermost picture)"), this);
  CheckBoxReversed->setObjectName(QStringLiteral("CheckBoxReversed"));
  LabelOutermost = new QLabel(this);
  LabelOutermost->setObjectName(QStringLiteral("LabelOutermost"));
  LabelOutermost->setWordWrap(true);
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
  ListOrder->setIconSize(QSize(listIconSide, listIconSide));
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* choose = new QHBoxLayout;
  choose->addWidget(ButtonFolder);
  choose->addWidget(ButtonFiles);
  choose->addStretch();
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Order by:"), ComboBoxOrder);
  form->addRow(QStringLiteral("Outermost:"), CheckBoxFind);
  form->addRow(QString(), CheckBoxReversed);
  form->addRow(QStringLiteral("Zoom factor:"), EditFactor);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choose);
  layout->addWidget(LabelSource);
  layout->addLayout(form);
  layout->addWidget(new QLabel(QStringLiteral("The stack, outermost picture first:"), this));
  layout->addWidget(ListOrder, 1);
  layout->addWidget(LabelOutermost);
  layout->addWidget(Buttons);
  resize(520, 520);

  connect(ButtonFolder, &QPushButton::clicked, this, [this] { ButtonFolderClick(); });
  connect(ButtonFiles, &QPushButton::clicked, this, [this] { ButtonFilesClick(); });
  connect(ComboBoxOrder, &QComboBox::currentIndexChanged, this, [this] { Survey(); });
  connect(CheckBoxFind, &QCheckBox::toggled, this, [this] { ShowOrder(); });
  connect(CheckBoxReversed, &QCheckBox::toggled, this, [this](bool reversed) {
    CheckBoxFind->setEnabled(!reversed);
    ShowOrder();
  });
  ShowOrder();
}

// The survey's thread is joined while the dialog is still whole: it posts calls to it.
TFormImportSequence::~TFormImportSequence() { survey_.reset(); }

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
  Survey();
}

void TFormImportSequence::ButtonFilesClick() {
  const QStringList chosen =
      Dialogs().OpenFileNames(this, caption, QStringLiteral("Pictures (*.jpg *.jpeg *.png *.webp)"));
  if (chosen.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& file : chosen) paths.push_back(QFile::encodeName(file).toStdString());
  found_ = SequenceFiles(paths);
  LabelSource->setText(QStringLiteral("%1 pictures chosen").arg(found_.size()));
  Survey();
}

SequenceOrder TFormImportSequence::Order() const {
  return static_cast<SequenceOrder>(ComboBoxOrder->currentData().toInt());
}

OutermostChoice TFormImportSequence::Choice() const {
  if (CheckBoxReversed->isChecked()) return OutermostChoice::Last;
  return CheckBoxFind->isChecked() ? OutermostChoice::Found : OutermostChoice::First;
}

void TFormImportSequence::Survey() {
  survey_.reset();
  widest_ = WidestView();
  widestKnown_ = found_.size() < 2;
  if (found_.empty()) return ShowOrder();
  std::vector<std::string> ordered, thumbnails;
  for (const SequenceFile& file : OrderSequence(found_, Order(), false)) {
    ordered.push_back(file.path);
    if (!thumbnails_.count(file.path)) thumbnails.push_back(file.path);
  }
  if (widestKnown_) ordered.clear();  // a single picture has no direction to find
  survey_ = std::make_unique<SequenceSurvey>(
      this, std::move(ordered), std::move(thumbnails), listIconSide,
      [this](const WidestView& widest) {
        widest_ = widest;
        widestKnown_ = true;
        ShowOrder();
      },
      [this](const std::string& path, const QImage& thumbnail) { Thumbnail(path, thumbnail); });
  ShowOrder();
}

void TFormImportSequence::Thumbnail(const std::string& path, const QImage& thumbnail) {
  thumbnails_[path] = thumbnail;
  const QIcon icon(QPixmap::fromImage(thumbnail));
  for (int i = 0; i < ListOrder->count(); ++i)
    if (ListOrder->item(i)->toolTip() == Decoded(path)) ListOrder->item(i)->setIcon(icon);
}

void TFormImportSequence::ShowOrder() {
  const OutermostChoice choice = Choice();
  const bool waiting = choice == OutermostChoice::Found && !widestKnown_;
  // Until the pictures have told, the list shows the order as it stands.
  ordered_ = OrderSequence(found_, Order(), !waiting && OutermostIsLast(choice, widest_));
  ListOrder->clear();
  for (size_t i = 0; i < ordered_.size(); ++i) {
    auto* line = new QListWidgetItem(QStringLiteral("%1. %2").arg(i + 1).arg(Decoded(ordered_[i].name)), ListOrder);
    line->setToolTip(Decoded(ordered_[i].path));
    const auto known = thumbnails_.find(ordered_[i].path);
    if (known != thumbnails_.end()) line->setIcon(QIcon(QPixmap::fromImage(known->second)));
  }
  if (ordered_.size() < 2)
    LabelOutermost->clear();
  else if (waiting)
    LabelOutermost->setText(QStringLiteral("Looking at the pictures for the widest view..."));
  else
    LabelOutermost->setText(
        QStringLiteral("Outermost picture: %1, %2.")
            .arg(Decoded(ordered_.front().name), QString::fromStdString(OutermostReason(choice, widest_, Order()))));
  Buttons->button(QDialogButtonBox::Ok)->setEnabled(!ordered_.empty());
}

std::vector<std::string> TFormImportSequence::Paths() const {
  const OutermostChoice choice = Choice();
  WidestView widest = widest_;
  if (choice == OutermostChoice::Found && !widestKnown_ && survey_) widest = survey_->Widest();
  std::vector<std::string> paths;
  for (const SequenceFile& file : OrderSequence(found_, Order(), OutermostIsLast(choice, widest)))
    paths.push_back(file.path);
  return paths;
}

bool TFormImportSequence::Finding() const { return !widestKnown_; }

double TFormImportSequence::Factor() const { return EditFactor->value(); }
