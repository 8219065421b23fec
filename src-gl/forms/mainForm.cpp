// The main window: construction, layout and wiring (the view: ViewController, the play bar:
// PlaybarController, the menus: EditorMenus, the project-wide commands: ProjectController).

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>

#include "EditorMenus.h"
#include "EditorSettings.h"
#include "Bitmaps.h"
#include "Dlgabout.h"
#include "Dlgwebexport.h"
#include "Imageeditor.h"
#include "Messages.h"
#include "ProjectController.h"
#include "main.h"

namespace {

// Design sizes: the client area below the menu bar and the fixed parts of the layout.
const int designWidth = 569;
const int designHeight = 369;
const int listWidth = 128;
const int barHeight = 30;
// The row of the play and pace fields, under the designed layout (which keeps its sizes).
const int playRowHeight = 30;
// Where the window's size and place are kept between runs.
const QString geometryKey = QStringLiteral("mainWindow/geometry");

const char* const playTip =
    "There and back: the zoom runs from the first picture to the target frame, which frames its end "
    "inside the last picture, and back out.\n"
    "Endless: the zoom dives inward forever; the target frame is where the first picture lies inside "
    "the last, and is placed like any picture (select the last picture).";
const char* const paceTip =
    "Eased: the zoom starts and stops smoothly.\n"
    "Steady: every doubling of the zoom takes the same time.\n"
    "An endless zoom always plays steady.";

QLabel* WhiteLabel(const QString& text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QPalette white = label->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  label->setPalette(white);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

}  // namespace

TmainForm::TmainForm(Project& project, TFormBitmap& bitmaps, const QStringList& arguments, EditorFiles files)
    : editorFiles(std::move(files)), project_(project), bitmaps_(bitmaps), arguments_(arguments) {
  setObjectName(QStringLiteral("mainForm"));
  setWindowTitle(QStringLiteral("Tunnelvista Editor"));
  // The event loop ends; the start-up then destroys the windows in their order (EditorWindows),
  // which cancels running jobs and joins their threads, and main returns the status.
  exitProcess = [](int status) { QCoreApplication::exit(status); };
  setAcceptDrops(true);  // projects and pictures dropped from a file manager

  mainPanel = new QWidget(this);
  mainPanel->setObjectName(QStringLiteral("mainPanel"));
  mainPanel->setAutoFillBackground(true);
  QPalette grey = mainPanel->palette();
  grey.setColor(QPalette::Window, QColor(128, 128, 128));
  mainPanel->setPalette(grey);
  setCentralWidget(mainPanel);

  ListBox = new QListWidget(mainPanel);
  ListBox->setObjectName(QStringLiteral("ListBox"));
  // A click, on the selected line too, and keyboard moves select a picture; lines set by the
  // program do not count as the user's choice (the signals are blocked then).
  connect(ListBox, &QListWidget::itemClicked, this, [this] { ListBoxClick(); });
  connect(ListBox, &QListWidget::currentRowChanged, this, [this] { ListBoxClick(); });

  // The play bar and the view are children made after the panel that holds their widgets, so
  // they go after those widgets.
  playback_ = new PlaybarController(project_, nullptr, bitmaps_.playbarGraphics, mainPanel, this);
  view_ = new ViewController(project_, *playback_, ListBox, mainPanel, editorFiles.textureBudget, bitmaps_.HandleImage,
                             this);
  Panel = view_->Panel();
  playback_->SetView(Panel);

  Label1 = new QLabel(QStringLiteral("Duration (sec)"), mainPanel);
  Label1->setObjectName(QStringLiteral("Label1"));
  QPalette white = Label1->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  Label1->setPalette(white);
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  EditTime = new QLineEdit(QStringLiteral("10.0"), mainPanel);
  EditTime->setObjectName(QStringLiteral("EditTime"));
  // Seconds only: digits with at most one decimal point (typing and pasting anything else is
  // refused; EditTimeChange puts back the duration when a program sets other text).
  EditTime->setValidator(new QRegularExpressionValidator(durationPattern, EditTime));
  connect(EditTime, &QLineEdit::textChanged, this, [this] { EditTimeChange(); });

  LabelPlay = WhiteLabel(QStringLiteral("Play"), QStringLiteral("LabelPlay"), mainPanel);
  ComboPlay = new QComboBox(mainPanel);
  ComboPlay->setObjectName(QStringLiteral("ComboPlay"));
  ComboPlay->addItems({QStringLiteral("There and back"), QStringLiteral("Endless")});
  LabelPace = WhiteLabel(QStringLiteral("Pace"), QStringLiteral("LabelPace"), mainPanel);
  ComboPace = new QComboBox(mainPanel);
  ComboPace->setObjectName(QStringLiteral("ComboPace"));
  ComboPace->addItems({QStringLiteral("Eased"), QStringLiteral("Steady")});
  for (QWidget* w : std::initializer_list<QWidget*>{LabelPlay, ComboPlay}) w->setToolTip(QString::fromUtf8(playTip));
  for (QWidget* w : std::initializer_list<QWidget*>{LabelPace, ComboPace}) w->setToolTip(QString::fromUtf8(paceTip));
  LabelTarget = WhiteLabel(QString(), QStringLiteral("LabelTarget"), mainPanel);
  LabelTarget->setToolTip(QString::fromUtf8(playTip));
  connect(ComboPlay, &QComboBox::currentIndexChanged, this, [this] { ComboPlayChange(); });
  connect(ComboPace, &QComboBox::currentIndexChanged, this, [this] { ComboPaceChange(); });
  ShowPlaySettings();

  PaintBoxControls = playback_->Bar();
  view_->contextReady = [this] { FormShow(); };
  commands_ = new ProjectController(*this, project_);
  menus_ = std::make_unique<EditorMenus>(*this);
  BuildOpeningStrip();
  mainPanel->resize(designWidth, designHeight + playRowHeight);
  LayoutControls();
  ConnectProject();
  commands_->UpdateTitle();
  resize(designWidth, designHeight + playRowHeight + menuBar()->sizeHint().height());
  // The designed minimum outer size (250 x 150) less the frame and caption around the client area,
  // and the play row.
  setMinimumSize(250 - 8, 150 - 27 + playRowHeight);
  RestoreWindowGeometry(*this, geometryKey, size());
}

TmainForm::~TmainForm() {
  // The view goes first, while the project still exists: its context's end releases the textures.
  playback_->Timer()->stop();
  // The project outlives this window: nothing it reports may reach the half-destroyed window.
  project_.disconnect(this);
  project_.disconnect(commands_);
  project_.undoStack()->disconnect(this);
  disconnect(ListBox, nullptr, this, nullptr);
  disconnect(EditTime, nullptr, this, nullptr);
  disconnect(ComboPlay, nullptr, this, nullptr);
  disconnect(ComboPace, nullptr, this, nullptr);
  delete Panel;
  Panel = nullptr;
}

void TmainForm::SetWindows(TFormImageList* imageList, TFormAbout* about, TFormWebExport* webExport) {
  commands_->SetWindows(imageList, about, webExport);
}

// The controls follow the window by their anchors, as laid out at the design size: the list
// keeps its width and stretches down, the view stretches both ways; the duration field and the
// play bar stay at the bottom, above the row of the play and pace fields.
void TmainForm::LayoutControls() {
  const int w = mainPanel->width();
  const int h = mainPanel->height() - playRowHeight;  // the designed layout above the play row
  ListBox->setGeometry(0, 0, listWidth, h - (designHeight - 339));
  Panel->setGeometry(listWidth, 0, w - listWidth, h - (designHeight - 338));
  // With the desktop's font the caption is wider than the designed 66 pixels; it wraps onto two
  // lines within the strip beside the duration field instead of being cut.
  Label1->setGeometry(7, h - (designHeight - 339), 68, 30);
  EditTime->setGeometry(78, h - (designHeight - 343), 41, 21);
  PaintBoxControls->setGeometry(listWidth, h - (designHeight - 338), w - listWidth, barHeight);
  OpeningStrip->setGeometry(0, h - (designHeight - 339), listWidth, barHeight);
  // Under the duration: "Play [There and back]  Pace [Eased]", each field as wide as its longest
  // choice.
  const int top = h + 3, fieldHeight = playRowHeight - 6;
  int x = 7;
  for (int row = 0; row < 2; ++row) {
    QLabel* label = row == 0 ? LabelPlay : LabelPace;
    QComboBox* field = row == 0 ? ComboPlay : ComboPace;
    const int labelWidth = label->sizeHint().width();
    label->setGeometry(x, top, labelWidth, fieldHeight);
    x += labelWidth + 6;
    const int fieldWidth = field->sizeHint().width();
    field->setGeometry(x, top, fieldWidth, fieldHeight);
    x += fieldWidth + 16;
  }
  LabelTarget->setGeometry(x, top, std::max(0, w - x - 4), fieldHeight);
}

void TmainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayoutControls();
}

void ShowOverMainWindow(QWidget* dialog) {
  const QWidget* over = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
  if (!dialog->isVisible() && over) {
    const QRect main = over->frameGeometry();
    QPoint at = main.center() - QPoint(dialog->width() / 2, dialog->height() / 2);
    // Never partly off the screen (a tall dialog over a small window would start above it).
    if (const QScreen* screen = over->screen()) {
      const QRect free = screen->availableGeometry();
      at.setX(std::max(free.left(), std::min(at.x(), free.right() + 1 - dialog->frameGeometry().width())));
      at.setY(std::max(free.top(), std::min(at.y(), free.bottom() + 1 - dialog->frameGeometry().height())));
    }
    dialog->move(at);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

int TmainForm::SelectedPicture() const { return ListBox->currentRow(); }

void TmainForm::FormPaint() {
  if (SelectedPicture() < 0) return;
  PaintBoxControls->update();
  Panel->update();
}

void TmainForm::ListBoxClick() {
  playback_->StopPlay();
  playback_->SetPlayView(false);
  if (SelectedPicture() < 0) return;
  view_->ResetEditView();
}

void TmainForm::FormShow() {
  if (shown_) return;
  shown_ = true;
  commands_->OpenStartProject(arguments_);
}

void TmainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppableFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TmainForm::dropEvent(QDropEvent* event) {
  const QStringList files = DroppableFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  // Questions and messages come after the drop has ended, not while the source still waits.
  QTimer::singleShot(0, this, [this, files] { commands_->FilesDropped(files); });
}

void TmainForm::ExitClick() {
  if (!commands_->MaySetProjectAside()) return;
  FormClose();
}

void TmainForm::closeEvent(QCloseEvent* event) {
  if (!commands_->MaySetProjectAside()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TmainForm::FormClose() {
  playback_->StopPlay();
  SaveWindowGeometry(*this, geometryKey);
  project_.RemoveRecovery();
  exitProcess(0);
}
