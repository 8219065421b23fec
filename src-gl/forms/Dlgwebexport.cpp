#include "Dlgwebexport.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "Dialogs.h"
#include "Paths.h"
#include "Project.h"
#include "main.h"

namespace {

QColor ToQColor(uint32_t colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }

uint32_t FromQColor(const QColor& colour) {
  return static_cast<uint32_t>(colour.red()) | (static_cast<uint32_t>(colour.green()) << 8) |
         (static_cast<uint32_t>(colour.blue()) << 16);
}

QLabel* LabelAt(const QString& text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->adjustSize();
  label->move(x, y);
  return label;
}

// With the desktop's font a caption can be wider than its designed place: the field beside it
// then starts after it and keeps its right edge.
void FitAfter(const QLabel* label, QLineEdit* edit) {
  const int right = edit->x() + edit->width();
  const int left = std::max(edit->x(), label->x() + label->width() + 4);
  edit->setGeometry(left, edit->y(), right - left, edit->height());
}

QLineEdit* EditAt(const char* name, QWidget* parent, int x, int y, int w, int h) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(x, y, w, h);
  return edit;
}

QPushButton* ButtonAt(const char* name, const QString& text, QWidget* parent, int x, int y, int w, int h) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(x, y, w, h);
  return button;
}

QCheckBox* CheckAt(const char* name, const QString& text, QWidget* parent, int x, int y) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->move(x, y);
  box->adjustSize();
  box->setChecked(true);
  return box;
}

QGroupBox* GroupAt(const char* name, const QString& title, QWidget* parent, int x, int y, int w, int h) {
  auto* group = new QGroupBox(title, parent);
  group->setObjectName(QString::fromLatin1(name));
  group->setGeometry(x, y, w, h);
  // Bold captions; the controls inside keep the normal font.
  group->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; } QGroupBox * { font-weight: normal; }"));
  return group;
}

}  // namespace

TFormWebExport::TFormWebExport(const Project& project, QWidget* parent)
    : QWidget(parent, dialogWindowFlags), project_(project) {
  connect(&project_, &Project::openingFinished, this, [this] {
    ButtonDefaultsClick();
    FollowProject();
  });
  connect(&project_, &Project::stackReplaced, this, [this] { FollowProject(); });
  connect(&project_, &Project::opened, this, [this] { FollowProject(); });
  setObjectName(QStringLiteral("FormWebExport"));
  setWindowTitle(QStringLiteral("Export to Web"));
  setFixedSize(514, 507);
  BuildFileFields();
  BuildDisplayOptions();
  BuildOutputChoices();
  BuildButtons();
  SetTabOrder();
  ConnectControls();
}

void TFormWebExport::BuildFileFields() {
  Label1 = LabelAt(QStringLiteral("Target Directory"), this, 15, 16);
  EditDirectory = EditAt("EditDirectory", this, 96, 13, 329, 21);
  FitAfter(Label1, EditDirectory);
  ButtonBrowse = ButtonAt("ButtonBrowse", QStringLiteral("Browse..."), this, 432, 11, 75, 25);

  GroupBox2 = GroupAt("GroupBox2", QStringLiteral("Webpage Options"), this, 8, 44, 497, 137);
  LabelAt(QStringLiteral("Filename"), GroupBox2, 16, 24);
  EditWebFilename = EditAt("EditWebFilename", GroupBox2, 88, 21, 393, 21);
  LabelAt(QStringLiteral("Title"), GroupBox2, 16, 48);
  EditTitle = EditAt("EditTitle", GroupBox2, 88, 45, 393, 21);
  for (auto [text, y] : {std::pair{"Caption", 72}, std::pair{"(may include", 88}, std::pair{"HTML tags)", 104}}) {
    QLabel* label = LabelAt(QString::fromLatin1(text), GroupBox2, 2, y);
    label->setGeometry(2, y, 82, label->height());  // right-aligned against the memo
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  MemoCaption = new QPlainTextEdit(GroupBox2);
  MemoCaption->setObjectName(QStringLiteral("MemoCaption"));
  MemoCaption->setGeometry(88, 69, 393, 60);

  GroupBox3 = GroupAt("GroupBox3", QStringLiteral("Java Applet Options"), this, 8, 188, 497, 81);
  LabelAt(QStringLiteral("Datafile"), GroupBox3, 16, 23);
  EditDataFilename = EditAt("EditDataFilename", GroupBox3, 88, 20, 393, 21);
  QLabel* appletLabel = LabelAt(QStringLiteral("Applet Location"), GroupBox3, 8, 47);
  EditAppletFilename = EditAt("EditAppletFilename", GroupBox3, 88, 44, 393, 21);
  FitAfter(appletLabel, EditAppletFilename);
}

void TFormWebExport::BuildDisplayOptions() {
  GroupBox1 = GroupAt("GroupBox1", QStringLiteral("Display Options"), this, 8, 276, 305, 121);
  LabelAt(QStringLiteral("Duration (s)"), GroupBox1, 8, 25);
  EditDuration = EditAt("EditDuration", GroupBox1, 81, 22, 41, 21);
  CheckBoxShowControls = CheckAt("CheckBoxShowControls", QStringLiteral("Show controls"), GroupBox1, 24, 48);
  CheckBoxAutoplay = CheckAt("CheckBoxAutoplay", QStringLiteral("Autoplay on load"), GroupBox1, 24, 67);
  CheckBoxPlayForward = CheckAt("CheckBoxPlayForward", QStringLiteral("Play forward"), GroupBox1, 24, 86);
  LabelAt(QStringLiteral("Applet Width"), GroupBox1, 152, 25);
  EditWidth = EditAt("EditWidth", GroupBox1, 233, 22, 41, 21);
  QLabel* heightLabel = LabelAt(QStringLiteral("Applet Height"), GroupBox1, 152, 49);
  EditHeight = EditAt("EditHeight", GroupBox1, 233, 46, 41, 21);
  FitAfter(heightLabel, EditHeight);
  EditWidth->setGeometry(EditHeight->geometry().translated(0, -24));
  CheckBoxConstrain = CheckAt("CheckBoxConstrain", QStringLiteral("Constrain aspect ratio"), GroupBox1, 150, 73);
  LabelAt(QStringLiteral("to match first image"), GroupBox1, 168, 92);

  GroupBox4 = GroupAt("GroupBox4", QStringLiteral("Webpage Colors"), this, 320, 276, 185, 121);
  LabelAt(QStringLiteral("Example:"), GroupBox4, 32, 25);
  PanelColor = new QLabel(QStringLiteral("T e x t"), GroupBox4);
  PanelColor->setObjectName(QStringLiteral("PanelColor"));
  PanelColor->setGeometry(88, 20, 57, 25);
  PanelColor->setAlignment(Qt::AlignCenter);
  PanelColor->setAutoFillBackground(true);
  QFont bold = PanelColor->font();
  bold.setBold(true);
  PanelColor->setFont(bold);
  ButtonPageColor = ButtonAt("ButtonPageColor", QStringLiteral("Change Page Color"), GroupBox4, 40, 52, 105, 25);
  ButtonTextColor = ButtonAt("ButtonTextColor", QStringLiteral("Change Text Color"), GroupBox4, 40, 84, 105, 25);
  for (QPushButton* b : {ButtonPageColor, ButtonTextColor}) b->resize(std::max(105, b->sizeHint().width()), 25);
}

void TFormWebExport::BuildOutputChoices() {
  QLabel* playerLabel = LabelAt(QStringLiteral("Page plays with"), this, 15, 409);
  ComboPlayer = new QComboBox(this);
  ComboPlayer->setObjectName(QStringLiteral("ComboPlayer"));
  ComboPlayer->addItems({QStringLiteral("HTML5 (every current browser)"), QStringLiteral("Java applet")});
  ComboPlayer->setGeometry(std::max(140, playerLabel->x() + playerLabel->width() + 6), 405,
                           std::max(200, ComboPlayer->sizeHint().width()), 24);
  QLabel* sizeLabel = LabelAt(QStringLiteral("Picture size on the web"), this, 15, 439);
  ComboPictureSize = new QComboBox(this);
  ComboPictureSize->setObjectName(QStringLiteral("ComboPictureSize"));
  ComboPictureSize->addItems({QStringLiteral("Original files"), QStringLiteral("4096 pixels"),
                              QStringLiteral("2048 pixels"), QStringLiteral("1024 pixels")});
  ComboPictureSize->setGeometry(std::max(140, sizeLabel->x() + sizeLabel->width() + 6), 435, 200, 24);
  ComboPictureSize->setToolTip(QStringLiteral("The longest side of the pictures the page shows"));
  LabelWeight = new QLabel(this);
  LabelWeight->setObjectName(QStringLiteral("LabelWeight"));
  const int weightLeft = ComboPictureSize->x() + ComboPictureSize->width() + 8;
  LabelWeight->setGeometry(weightLeft, 431, width() - weightLeft - 8, 32);
  LabelWeight->setWordWrap(true);
}

void TFormWebExport::BuildButtons() {
  ButtonDefaults = ButtonAt("ButtonDefaults", QStringLiteral("Restore Defaults"), this, 104, 470, 91, 25);
  ButtonDefaults->resize(std::max(91, ButtonDefaults->sizeHint().width()), 25);
  ButtonCancel = ButtonAt("ButtonCancel", QStringLiteral("Cancel"), this, 216, 470, 91, 25);
  ButtonDone = ButtonAt("ButtonDone", QStringLiteral("Done"), this, 328, 470, 91, 25);
  SetColours(0x404040, 0xFFFFFF);
  ButtonDone->setEnabled(false);
}

void TFormWebExport::SetTabOrder() {
  setTabOrder(EditDirectory, ButtonDone);
  setTabOrder(ButtonDone, ButtonCancel);
  setTabOrder(ButtonCancel, GroupBox1);
  setTabOrder(GroupBox1, GroupBox2);
  setTabOrder(GroupBox2, GroupBox3);
  setTabOrder(GroupBox3, ButtonDefaults);
  setTabOrder(ButtonDefaults, GroupBox4);
  setTabOrder(GroupBox4, ComboPlayer);
  setTabOrder(ComboPlayer, ComboPictureSize);
  setTabOrder(ComboPictureSize, ButtonBrowse);
}

void TFormWebExport::ConnectControls() {
  for (QLineEdit* edit : {EditDirectory, EditWebFilename, EditDataFilename, EditAppletFilename})
    connect(edit, &QLineEdit::textChanged, this, [this] { EditChange(); });
  connect(EditDuration, &QLineEdit::textChanged, this, [this] { EditDurationChange(); });
  // The size fields act when the user leaves them, not at every key.
  EditWidth->installEventFilter(this);
  EditHeight->installEventFilter(this);
  for (QComboBox* combo : {ComboPlayer, ComboPictureSize})
    connect(combo, &QComboBox::currentIndexChanged, this, [this] { PlayerChange(); });
  connect(CheckBoxConstrain, &QCheckBox::clicked, this, [this] { CheckBoxConstrainClick(); });
  connect(ButtonPageColor, &QPushButton::clicked, this, [this] { ButtonPageColorClick(); });
  connect(ButtonTextColor, &QPushButton::clicked, this, [this] { ButtonTextColorClick(); });
  connect(ButtonBrowse, &QPushButton::clicked, this, [this] { ButtonBrowseClick(); });
  connect(ButtonDefaults, &QPushButton::clicked, this, [this] { ButtonDefaultsClick(); });
  connect(ButtonDone, &QPushButton::clicked, this, [this] { ButtonDoneClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
  AddPageSizeControls();
}

// The HTML5 page's size beside the player's choice; the size fields' captions, named again for
// the player whenever it changes.
void TFormWebExport::AddPageSizeControls() {
  for (QLabel* label : GroupBox1->findChildren<QLabel*>()) {
    if (label->text() == QLatin1String("Applet Width")) labelWidth_ = label;
    if (label->text() == QLatin1String("Applet Height")) labelHeight_ = label;
  }
  ComboPageSize = new QComboBox(this);
  ComboPageSize->setObjectName(QStringLiteral("ComboPageSize"));
  ComboPageSize->addItems({QStringLiteral("Page fills the window"), QStringLiteral("Page of fixed size")});
  const int left = ComboPlayer->x() + ComboPlayer->width() + 8;
  ComboPageSize->setGeometry(left, 405, width() - left - 8, 24);
  ComboPageSize->setToolTip(
      QStringLiteral("The HTML5 page's size: the whole browser window, or the width and height of Display Options"));
  setTabOrder(ComboPlayer, ComboPageSize);
  setTabOrder(ComboPageSize, ComboPictureSize);
  connect(ComboPageSize, &QComboBox::currentIndexChanged, this, [this] { PlayerChange(); });
}

TFormWebExport::~TFormWebExport() = default;

bool TFormWebExport::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    if (watched == EditWidth) EditWidthChange();
    if (watched == EditHeight) EditHeightChange();
  }
  return QWidget::eventFilter(watched, event);
}

void TFormWebExport::SetColours(uint32_t page, uint32_t text) {
  pageColour_ = page & 0xFFFFFF;
  textColour_ = text & 0xFFFFFF;
  QPalette palette = PanelColor->palette();
  palette.setColor(QPalette::Window, ToQColor(pageColour_));
  palette.setColor(QPalette::WindowText, ToQColor(textColour_));
  PanelColor->setPalette(palette);
}

WebPlayer TFormWebExport::Player() const {
  return ComboPlayer->currentIndex() == 1 ? WebPlayer::Applet : WebPlayer::Html5;
}

int TFormWebExport::PictureSide() const {
  const int i = ComboPictureSize->currentIndex();
  return Player() == WebPlayer::Html5 && i > 0 && i < 4 ? webPictureSides[i] : 0;
}

void TFormWebExport::PlayerChange() {
  const bool applet = Player() == WebPlayer::Applet;
  EditAppletFilename->setEnabled(applet);
  ComboPictureSize->setEnabled(!applet);
  ComboPageSize->setEnabled(!applet);
  const bool fixed = applet || ComboPageSize->currentIndex() == 1;
  EditWidth->setEnabled(fixed);
  EditHeight->setEnabled(fixed);
  CheckBoxConstrain->setEnabled(fixed);
  if (labelWidth_ && labelHeight_) {
    labelWidth_->setText(applet ? QStringLiteral("Applet Width") : QStringLiteral("Page Width"));
    labelHeight_->setText(applet ? QStringLiteral("Applet Height") : QStringLiteral("Page Height"));
  }
  // A smaller limit now (the applet's box) takes effect on a field beyond it at once.
  if (LeadingInteger(EditWidth->text().toStdString()) > WebMaxWidth(Player())) EditWidthChange();
  if (LeadingInteger(EditHeight->text().toStdString()) > WebMaxHeight(Player())) EditHeightChange();
  EditChange();
  LabelWeight->clear();
  if (!project_.stack()) return;
  WebExportOptions options;
  options.player = Player();
  options.pictureSide = PictureSide();
  const double megabytes = static_cast<double>(EstimateWebExportBytes(*project_.stack(), options)) / 1e6;
  LabelWeight->setText(QStringLiteral("About %1 MB in all").arg(megabytes, 0, 'f', megabytes < 10 ? 1 : 0));
}

bool TFormWebExport::FirstPictureSize(int& width, int& height) const {
  const ImageStack* stack = project_.stack();
  if (!stack || stack->count() < 1) return false;
  const Image& first = *stack->images[0];
  width = first.width;
  height = first.height;
  return true;
}

void TFormWebExport::EditChange() {
  // A project still opening would name the pictures not yet checked as unloadable.
  ButtonDone->setEnabled(project_.stack() && !project_.Opening() && !EditDirectory->text().isEmpty() &&
                         !EditWebFilename->text().isEmpty() && !EditDataFilename->text().isEmpty() &&
                         (Player() == WebPlayer::Html5 || !EditAppletFilename->text().isEmpty()));
}

void TFormWebExport::EditDurationChange() {
  const QString text = EditDuration->text();
  if (text.isEmpty()) return;
  const float v = static_cast<float>(LeadingNumber(text.toStdString()));
  if (!(v >= 0.0f))
    EditDuration->setText(QStringLiteral("0"));
  else if (v > static_cast<float>(webMaxDuration))
    EditDuration->setText(QString::number(webMaxDuration));
}

void TFormWebExport::EditWidthChange() {
  if (EditWidth->text().isEmpty()) return;
  long w = LeadingInteger(EditWidth->text().toStdString());
  if (w < 0) {
    EditWidth->setText(QStringLiteral("0"));
    w = 0;
  } else if (w > WebMaxWidth(Player())) {
    w = WebMaxWidth(Player());
    EditWidth->setText(QString::number(w));
  }
  int W = 0, H = 0;
  if (CheckBoxConstrain->isChecked() && FirstPictureSize(W, H) && W > 0)
    EditHeight->setText(QString::number(static_cast<long>(static_cast<double>(w) * H / W + 0.5)));
}

void TFormWebExport::EditHeightChange() {
  if (EditHeight->text().isEmpty()) return;
  long h = LeadingInteger(EditHeight->text().toStdString());
  if (h < 0) {
    EditHeight->setText(QStringLiteral("0"));
    h = 0;
  } else if (h > WebMaxHeight(Player())) {
    h = WebMaxHeight(Player());
    EditHeight->setText(QString::number(h));
  }
  int W = 0, H = 0;
  if (CheckBoxConstrain->isChecked() && FirstPictureSize(W, H) && H > 0)
    EditWidth->setText(QString::number(static_cast<long>(static_cast<double>(h) * W / H + 0.5)));
}

void TFormWebExport::CheckBoxConstrainClick() {
  if (CheckBoxConstrain->isChecked()) EditWidthChange();
}

void TFormWebExport::ButtonPageColorClick() {
  const QColor chosen = Dialogs().Colour(this, ToQColor(pageColour_));
  if (chosen.isValid()) SetColours(FromQColor(chosen), textColour_);
}

void TFormWebExport::ButtonTextColorClick() {
  const QColor chosen = Dialogs().Colour(this, ToQColor(textColour_));
  if (chosen.isValid()) SetColours(pageColour_, FromQColor(chosen));
}

void TFormWebExport::ButtonBrowseClick() {
  const QString chosen = Dialogs().ExistingDirectory(this, QStringLiteral("Target Directory"), EditDirectory->text());
  if (!chosen.isEmpty()) EditDirectory->setText(chosen);
}

void TFormWebExport::DefaultSize() {
  int W = 0, H = 0;
  if (!FirstPictureSize(W, H)) return;
  if (H < W) {
    EditWidth->setText(QStringLiteral("320"));
    EditWidthChange();
  } else {
    EditHeight->setText(QStringLiteral("320"));
    EditHeightChange();
  }
}

void TFormWebExport::ButtonDefaultsClick() {
  // Everything but the directory and the size, which follows the first picture.
  WebExportRequest defaults;
  const WebExportRequest now = Request();
  defaults.directory = now.directory;
  defaults.width = now.width;
  defaults.height = now.height;
  SetRequest(defaults);
  CheckBoxConstrain->setChecked(true);
  DefaultSize();
}

void TFormWebExport::ButtonDoneClick() { emit exportRequested(); }

void TFormWebExport::ButtonCancelClick() {
  hide();
  emit closed();
}

void TFormWebExport::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}
