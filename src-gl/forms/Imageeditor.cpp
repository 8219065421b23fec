#include "Imageeditor.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <optional>

#include "Dialogs.h"
#include "EditorSettings.h"
#include "ImageListBox.h"
#include "Messages.h"
#include "PictureCheckJob.h"
#include "Project.h"
#include "main.h"

namespace {

const QString pictureFilter = QStringLiteral("Pictures (*.jpg *.jpeg *.png *.webp)");
// The designed size, the smallest the dialog takes; it grows (the list with it) from there.
const QSize designSize(428, 274);
const QString sizeKey = QStringLiteral("imageList/size");

}  // namespace

TPreviewBox::TPreviewBox(QWidget* parent) : QWidget(parent) {}

QRect TPreviewBox::PreviewRect(const Image& image, int boxWidth, int boxHeight) {
  const float W = static_cast<float>(boxWidth);
  const int w = image.bitmap.width(), h = image.bitmap.height();
  int left = 0, top = 0, right = static_cast<int>(W), bottom = static_cast<int>(W);
  if (w > h) {
    const int margin = static_cast<int>((1.0f - static_cast<float>(h) / static_cast<float>(w)) * W * 0.5f);
    top = margin;
    bottom = boxHeight - margin;
  } else if (h > 0) {
    const int margin = static_cast<int>((1.0f - static_cast<float>(w) / static_cast<float>(h)) * W * 0.5f);
    left = margin;
    right = boxWidth - margin;
  }
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));  // right and bottom exclusive
}

void TPreviewBox::paintEvent(QPaintEvent*) {
  if (!image || image->bitmap.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(PreviewRect(*image, width(), height()), image->bitmap);
}

TFormImageList::TFormImageList(Project& project, QWidget* parent)
    : QWidget(parent, dialogWindowFlags & ~Qt::MSWindowsFixedSizeDialogHint), project_(project) {
  setObjectName(QStringLiteral("FormImageList"));
  connect(&project_, &Project::stackReplaced, this, [this] { ProjectReplaced(); });
  setWindowTitle(QStringLiteral("Image List Editor"));
  setMinimumSize(designSize);
  resize(designSize);
  BuildControls();
  BuildCheckingStrip();
  ConnectControls();
  // The size the user gave it last, within the screen.
  QSize stored = EditorSettings().value(sizeKey).toSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    stored = stored.boundedTo(screen->availableGeometry().size());
  if (stored.isValid()) resize(stored.expandedTo(designSize));
  LayoutControls();
}

// Anchored as designed: the list grows both ways; the buttons and the preview keep to its
// right, the file name and the dialog's buttons to the bottom (the latter centred).
void TFormImageList::LayoutControls() {
  const int dw = width() - designSize.width(), dh = height() - designSize.height();
  Label1->move(75 + dw / 2, 16);
  ListBox->setGeometry(40, 32, 129 + dw, 129 + dh);
  Label2->move(80 + dw / 2, 166 + dh);
  ButtonAddImage->move(184 + dw, 56);
  ButtonReload->move(184 + dw, 88);
  ButtonRemoveImage->move(184 + dw, 120);
  Label3->move(315 + dw, 16);
  PaintBox->move(288 + dw, 32);
  Label4->move(8, 198 + dh);
  const int fieldLeft = std::max(56, 8 + Label4->width() + 4);
  EditFilename->setGeometry(fieldLeft, 195 + dh, 417 + dw - fieldLeft, 21);
  CheckingStrip->setGeometry(8, 190 + dh, 409 + dw, 31);
  ButtonCancel->move(144 + dw / 2, 232 + dh);
  ButtonDone->move(224 + dw / 2, 232 + dh);
}

void TFormImageList::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (CheckingStrip) LayoutControls();
}

void TFormImageList::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) EditorSettings().setValue(sizeKey, size());
}

void TFormImageList::BuildControls() {
  Label1 = new QLabel(QStringLiteral("Wide Angle"), this);
  Label1->move(75, 16);
  ListBox = new TImageListBox(this);
  ListBox->setObjectName(QStringLiteral("ListBox"));
  ListBox->setGeometry(40, 32, 129, 129);
  Label2 = new QLabel(QStringLiteral("Telephoto"), this);
  Label2->move(80, 166);
  ButtonMoveUp = new QToolButton(this);
  ButtonMoveUp->setObjectName(QStringLiteral("ButtonMoveUp"));
  ButtonMoveUp->setArrowType(Qt::UpArrow);
  ButtonMoveUp->setAutoRaise(true);
  ButtonMoveUp->setGeometry(8, 64, 25, 25);
  ButtonMoveDown = new QToolButton(this);
  ButtonMoveDown->setObjectName(QStringLiteral("ButtonMoveDown"));
  ButtonMoveDown->setArrowType(Qt::DownArrow);
  ButtonMoveDown->setAutoRaise(true);
  ButtonMoveDown->setGeometry(8, 104, 25, 25);
  ButtonAddImage = new QPushButton(QStringLiteral("Add Image..."), this);
  ButtonAddImage->setObjectName(QStringLiteral("ButtonAddImage"));
  ButtonAddImage->setGeometry(184, 56, 89, 25);
  ButtonReload = new QPushButton(QStringLiteral("Reload Image..."), this);
  ButtonReload->setObjectName(QStringLiteral("ButtonReload"));
  ButtonReload->setGeometry(184, 88, 89, 25);
  ButtonRemoveImage = new QPushButton(QStringLiteral("Remove Image"), this);
  ButtonRemoveImage->setObjectName(QStringLiteral("ButtonRemoveImage"));
  ButtonRemoveImage->setGeometry(184, 120, 89, 25);
  Label3 = new QLabel(QStringLiteral("Image Preview"), this);
  Label3->move(315, 16);
  PaintBox = new TPreviewBox(this);
  PaintBox->setObjectName(QStringLiteral("PaintBox"));
  PaintBox->setGeometry(288, 32, 129, 129);
  Label4 = new QLabel(QStringLiteral("Filename"), this);
  Label4->move(8, 198);
  EditFilename = new QLineEdit(this);
  EditFilename->setObjectName(QStringLiteral("EditFilename"));
  EditFilename->setGeometry(56, 195, 361, 21);
  EditFilename->setEnabled(false);
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
  ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
  ButtonCancel->setGeometry(144, 232, 65, 25);
  ButtonDone = new QPushButton(QStringLiteral("Done"), this);
  ButtonDone->setObjectName(QStringLiteral("ButtonDone"));
  ButtonDone->setGeometry(224, 232, 65, 25);

  // With the desktop's font some captions are wider than the designed sizes: the buttons may
  // grow into the gap before the preview, and the file name field starts after its label.
  for (QPushButton* button : {ButtonAddImage, ButtonReload, ButtonRemoveImage})
    button->resize(std::clamp(button->sizeHint().width(), 89, 100), 25);
  Label4->adjustSize();
}

void TFormImageList::BuildCheckingStrip() {
  CheckingStrip = new QWidget(this);
  CheckingStrip->setObjectName(QStringLiteral("CheckingStrip"));
  CheckingStrip->setAutoFillBackground(true);
  CheckingStrip->setGeometry(8, 190, 409, 31);
  auto* row = new QHBoxLayout(CheckingStrip);
  row->setContentsMargins(0, 0, 0, 0);
  CheckingLabel = new QLabel(CheckingStrip);
  CheckingLabel->setObjectName(QStringLiteral("CheckingLabel"));
  CheckingProgress = new QProgressBar(CheckingStrip);
  CheckingProgress->setObjectName(QStringLiteral("CheckingProgress"));
  CheckingProgress->setFormat(QStringLiteral("%v / %m"));
  CheckingCancel = new QPushButton(QStringLiteral("Cancel"), CheckingStrip);
  CheckingCancel->setObjectName(QStringLiteral("CheckingCancel"));
  CheckingCancel->setToolTip(QStringLiteral("Stop adding pictures"));
  row->addWidget(CheckingLabel, 1);
  row->addWidget(CheckingProgress);
  row->addWidget(CheckingCancel);
  connect(CheckingCancel, &QPushButton::clicked, this, [this] { CancelChecking(); });
  CheckingStrip->hide();
}

void TFormImageList::ConnectControls() {
  setTabOrder(ListBox, ButtonAddImage);
  setTabOrder(ButtonAddImage, ButtonRemoveImage);
  setTabOrder(ButtonRemoveImage, EditFilename);
  setTabOrder(EditFilename, ButtonCancel);
  setTabOrder(ButtonCancel, ButtonDone);
  setTabOrder(ButtonDone, ButtonReload);

  connect(ListBox, &QListWidget::itemClicked, this, [this] { ListBoxClick(); });
  connect(ListBox, &QListWidget::currentRowChanged, this, [this] { ListBoxClick(); });
  connect(ButtonAddImage, &QPushButton::clicked, this, [this] { ButtonAddImageClick(); });
  connect(ButtonReload, &QPushButton::clicked, this, [this] { ButtonReloadClick(); });
  connect(ButtonRemoveImage, &QPushButton::clicked, this, [this] { ButtonRemoveImageClick(); });
  connect(ButtonMoveUp, &QToolButton::clicked, this, [this] { ButtonMoveUpClick(); });
  connect(ButtonMoveDown, &QToolButton::clicked, this, [this] { ButtonMoveDownClick(); });
  connect(ButtonDone, &QPushButton::clicked, this, [this] { ButtonDoneClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
  ListBox->linesMoved = [this](const std::vector<uint64_t>& ids, int row) { MoveLines(ids, row); };
  ListBox->filesDropped = [this](const QStringList& pictures, const QStringList& emptyFolders) {
    FilesDropped(pictures, emptyFolders);
  };
}

TFormImageList::~TFormImageList() {
  if (checking_) StopChecking();
  disconnect(ListBox, nullptr, this, nullptr);
  added.clear();
}

Image* TFormImageList::ImageAt(int row) const {
  const QListWidgetItem* item = ListBox->item(row);
  return item ? Find(item->data(Qt::UserRole).toULongLong()) : nullptr;
}

// A line names its picture by identity: one added here, or one of the open project's.
Image* TFormImageList::Find(uint64_t id) const {
  for (const auto& a : added)
    if (a->id == id) return a.get();
  if (const ImageStack* open = project_.stack()) {
    const ImageStack& stack = *open;
    const int i = stack.IndexOf(id);
    if (i >= 0 && i < stack.pictureCount()) return stack.images[static_cast<size_t>(i)].get();
  }
  return nullptr;
}

Image* TFormImageList::SelectedImage() const { return ImageAt(ListBox->currentRow()); }

std::vector<Image*> TFormImageList::Pictures() const {
  std::vector<Image*> pictures;
  for (int row = 0; row < ListBox->count(); ++row)
    if (Image* image = ImageAt(row)) pictures.push_back(image);
  return pictures;
}

void TFormImageList::AddEntry(Image* image) {
  auto* item = new QListWidgetItem(DisplayName(image->baseName));
  item->setData(Qt::UserRole, QVariant::fromValue(static_cast<qulonglong>(image->id)));
  TImageListBox::ShowEntry(item, *image, QString());
  ListBox->addItem(item);
}

void TFormImageList::ShowNear() { ShowOverMainWindow(this); }

void TFormImageList::OpenForNewProject() {
  newProject = true;
  reloadedStackPicture = false;
  {
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
  }
  EditFilename->clear();
  PaintBox->image = nullptr;
  ButtonReload->setEnabled(false);
  ButtonRemoveImage->setEnabled(false);
  ButtonDone->setEnabled(false);
  ShowNear();
}

void TFormImageList::OpenForEditing() {
  newProject = false;
  reloadedStackPicture = false;
  {
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
    if (const ImageStack* open = project_.stack()) {
      const ImageStack& stack = *open;
      for (int i = 0; i < stack.pictureCount(); ++i) AddEntry(stack.images[static_cast<size_t>(i)].get());
    }
    if (ListBox->count() > 0) ListBox->setCurrentRow(0);
  }
  ListBoxClick();
  ShowNear();
}

void TFormImageList::ListBoxClick() {
  Image* image = SelectedImage();
  if (!image) return;
  EditFilename->setText(DisplayName(image->fileName));
  EnableButtons();
  PaintBox->image = image;
  PaintBox->update();
}

void TFormImageList::ButtonAddImageClick() {
  const QStringList chosen = Dialogs().OpenFileNames(this, QStringLiteral("Open"), pictureFilter);
  if (!chosen.isEmpty()) AddFiles(chosen);
}

// The files of one Add or Reload: checked on worker threads (a job of the project's), taken in
// the order given.
struct TFormImageList::PictureBatch {
  std::vector<std::unique_ptr<Image>> images;
  std::vector<std::optional<CheckedPicture>> results;
  size_t next = 0;         // the first not yet taken
  uint64_t reloading = 0;  // Reload: the list's picture that gets the one file
  std::string failed;      // the names of the files that did not load
  QPointer<PictureCheckJob> job;
};

void TFormImageList::AddFiles(const QStringList& files) {
  if (files.isEmpty()) return;
  if (checking_)
    waiting_.push_back(files);
  else
    StartChecking(files, nullptr);
}

void TFormImageList::StartChecking(const QStringList& files, Image* reloading) {
  checking_ = std::make_unique<PictureBatch>();
  checking_->reloading = reloading ? reloading->id : 0;
  std::vector<std::string> paths;
  for (const QString& file : files) {
    auto image = std::make_unique<Image>();
    image->fileName = QFile::encodeName(file).toStdString();
    image->ResolvePath("");
    image->transform.scale = 0.5f;
    paths.push_back(image->FullPath());
    checking_->images.push_back(std::move(image));
  }
  checking_->results.resize(paths.size());
  checking_->job = project_.CheckPictures(std::move(paths));
  connect(checking_->job, &PictureCheckJob::resultsWaiting, this, [this] { CheckingStep(); });
  CheckingProgress->setRange(0, static_cast<int>(files.size()));
  CheckingProgress->setValue(0);
  CheckingLabel->clear();
  CheckingStrip->show();
  CheckingStrip->raise();
  EnableButtons();
  CheckingStep();
}

void TFormImageList::CheckingStep() {
  if (!checking_) return;
  PictureBatch& c = *checking_;
  if (c.job)
    for (auto& [index, result] : c.job->Take()) c.results[index] = std::move(result);
  {
    const QSignalBlocker quiet(ListBox);
    for (; c.next < c.images.size() && c.results[c.next]; ++c.next)
      ApplyChecked(std::move(c.images[c.next]), *c.results[c.next]);
  }
  ShowEntries();
  CheckingProgress->setValue(static_cast<int>(c.job ? c.job->Checked() : c.next));
  if (c.next < c.images.size()) {
    const QString name = DisplayName(c.images[c.next]->baseName);
    CheckingLabel->setText(CheckingLabel->fontMetrics().elidedText(name, Qt::ElideMiddle, CheckingLabel->width()));
    CheckingLabel->setToolTip(DisplayName(c.images[c.next]->FullPath()));
    return;
  }
  const std::string failed = c.failed;
  const bool reloaded = c.reloading != 0;
  StopChecking();
  if (!failed.empty()) {
    if (reloaded)
      ShowPlainMessage("There was an error loading the following file:\n\n    " + failed +
                       "\n\nThe file may not exist or may not be a valid JPEG image");
    else
      ShowPlainMessage("There was an error loading the following files:\n\n    " + failed +
                       "\nThese files may not exist or may not be valid JPEG images");
  }
  if (!reloaded) {
    const QSignalBlocker quiet(ListBox);
    ListBox->setCurrentRow(ListBox->count() - 1);
  }
  ListBoxClick();
  PaintBox->update();
  if (!waiting_.empty()) {
    const QStringList next = waiting_.front();
    waiting_.erase(waiting_.begin());
    StartChecking(next, nullptr);
  }
}

void TFormImageList::ApplyChecked(std::unique_ptr<Image> image, CheckedPicture& result) {
  if (checking_->reloading) {
    Image* target = Find(checking_->reloading);
    if (!target) return;  // it left the list (the project was replaced) while the file was checked
    // The picture's own object changes, also when it belongs to the stack: its placement stays,
    // the view draws the new picture from the next repaint on.
    const bool addedHere =
        std::any_of(added.begin(), added.end(), [target](const auto& a) { return a.get() == target; });
    if (!addedHere) reloadedStackPicture = true;
    target->fileName = image->fileName;
    target->ResolvePath("");
    target->Apply(std::move(result));
    if (!target->loaded) checking_->failed = target->FailedName();
    return;  // its line shows the new file with the others (ShowEntries)
  }
  image->Apply(std::move(result));
  if (image->loaded) {
    AddEntry(image.get());
    added.push_back(std::move(image));
  } else {
    checking_->failed += image->FailedName() + "\n    ";
  }
}

void TFormImageList::StopChecking() {
  // A job with files left stops at once (a decode in hand too); one whose files were all taken
  // ends by itself. The project deletes it after its end.
  if (checking_ && checking_->job) {
    checking_->job->disconnect(this);
    if (checking_->next < checking_->images.size()) checking_->job->Cancel();
  }
  checking_.reset();
  CheckingStrip->hide();
  EnableButtons();
}

void TFormImageList::CancelChecking() {
  if (!checking_) return;
  waiting_.clear();
  StopChecking();
  ListBoxClick();
}

void TFormImageList::ButtonReloadClick() {
  if (!SelectedImage() || checking_) return;
  const QString chosen = Dialogs().OpenFileName(this, QStringLiteral("Open"), pictureFilter, QString());
  if (Image* image = SelectedImage(); image && !chosen.isEmpty()) StartChecking({chosen}, image);
}
