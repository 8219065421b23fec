// The main window: construction, layout, menus and the repaint path (its OpenGL view: mainPanel.cpp).

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
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

#include "Bitmaps.h"
#include "Dlgabout.h"
#include "Dlgwebexport.h"
#include "Imageeditor.h"
#include "Messages.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"
#include "mainVideo.h"

namespace {

// Design sizes: the client area below the menu bar and the fixed parts of the layout.
const int designWidth = 569;
const int designHeight = 369;
const int listWidth = 128;
const int barHeight = 30;

uint32_t MonotonicTicks() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return static_cast<uint32_t>(clock.elapsed());
}

}  // namespace

TmainForm::TmainForm(Project& project, TFormBitmap& bitmaps, const QStringList& arguments, EditorFiles files)
    : editorFiles(std::move(files)), project_(project), bitmaps_(bitmaps), arguments_(arguments) {
  setObjectName(QStringLiteral("mainForm"));
  setWindowTitle(QStringLiteral("Tunnelvista Editor"));
  tickSource = MonotonicTicks;
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

  Panel = new TGLPanel(this, mainPanel);
  Panel->setObjectName(QStringLiteral("Panel"));

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

  PaintBoxControls = new TPlaybarBox(this, mainPanel);
  PaintBoxControls->setObjectName(QStringLiteral("PaintBoxControls"));

  Timer = new QTimer(this);
  Timer->setObjectName(QStringLiteral("Timer"));
  Timer->setInterval(10);
  connect(Timer, &QTimer::timeout, this, [this] { NextFrame(); });
  BuildMenus();
  BuildOpeningStrip();
  mainPanel->resize(designWidth, designHeight);
  LayoutControls();
  ConnectProject();
  UpdateTitle();
  resize(designWidth, designHeight + menuBar()->sizeHint().height());
  // The designed minimum outer size (250 x 150) less the frame and caption around the client area.
  setMinimumSize(250 - 8, 150 - 27);
}

TmainForm::~TmainForm() {
  // The view goes first, while the project still exists: its context's end releases the textures.
  Timer->stop();
  // The project outlives this window: nothing it reports may reach the half-destroyed window.
  project_.disconnect(this);
  project_.undoStack()->disconnect(this);
  disconnect(ListBox, nullptr, this, nullptr);
  disconnect(EditTime, nullptr, this, nullptr);
  delete Panel;
  Panel = nullptr;
}

void TmainForm::SetWindows(TFormImageList* imageList, TFormAbout* about, TFormWebExport* webExport) {
  imageList_ = imageList;
  about_ = about;
  webExport_ = webExport;
}

const QImage& TmainForm::HandleSprite() const { return bitmaps_.HandleImage; }

PlaybarGraphics& TmainForm::PlaybarPictures() const { return bitmaps_.playbarGraphics; }

void TmainForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  FileNew = file->addAction(QStringLiteral("New..."), this, [this] { FileNewClick(); });
  FileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  FileOpen = file->addAction(QStringLiteral("Open..."), this, [this] { FileOpenClick(); });
  FileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Save = file->addAction(QStringLiteral("Save"), this, [this] { SaveClick(); });
  Save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  SaveAs = file->addAction(QStringLiteral("Save As..."), this, [this] { SaveAsClick(); });
  ExportToWeb = file->addAction(QStringLiteral("Export to Web..."), this, [this] { ExportToWebClick(); });
  ExportVideo = AddExportVideoAction(*this, file);
  file->addSeparator();
  // Exit sits on Ctrl+X; there is no cut command.
  Exit = file->addAction(QStringLiteral("Exit"), this, [this] { ExitClick(); });
  Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  EditUndo = edit->addAction(QStringLiteral("Undo"), this, [this] { UndoClick(); });
  EditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  EditRedo = edit->addAction(QStringLiteral("Redo"), this, [this] { RedoClick(); });
  EditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  EditUndo->setEnabled(false);
  EditRedo->setEnabled(false);
  QUndoStack* undoStack = project_.undoStack();
  connect(undoStack, &QUndoStack::canUndoChanged, EditUndo, &QAction::setEnabled);
  connect(undoStack, &QUndoStack::canRedoChanged, EditRedo, &QAction::setEnabled);
  connect(undoStack, &QUndoStack::undoTextChanged, EditUndo, [this](const QString& step) {
    EditUndo->setText(step.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + step);
  });
  connect(undoStack, &QUndoStack::redoTextChanged, EditRedo, [this](const QString& step) {
    EditRedo->setText(step.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + step);
  });
  edit->addSeparator();
  EditImageList = edit->addAction(QStringLiteral("Image List..."), this, [this] { EditImageListClick(); });
  EditPlacement = edit->addAction(QStringLiteral("Placement..."), this, [this] { EditPlacementClick(); });
  // Shortcuts of a menu work while it is closed, so the state is also checked by the command.
  connect(edit, &QMenu::aboutToShow, this, [this, undoStack] {
    EditPlacement->setEnabled(EditedChild() >= 0 && !Opening());
    EditUndo->setEnabled(undoStack->canUndo() && !Opening());
    EditRedo->setEnabled(undoStack->canRedo() && !Opening());
  });
  BuildAlignActions(edit);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  HelpContents = help->addAction(QStringLiteral("Tunnelvista Help"), this, [this] { HelpContentsClick(); });
  HelpContents->setShortcut(QKeySequence(Qt::Key_F1));
  HelpGettingStarted = help->addAction(QStringLiteral("Getting Started"), this, [this] { HelpGettingStartedClick(); });
  help->addSeparator();
  About = help->addAction(QStringLiteral("About..."), this, [this] { AboutClick(); });

  // Keys of the window that are in no menu. Space goes to the duration field while it has the
  // focus (a line edit takes printable keys first).
  auto windowKey = [this](const QKeySequence& keys, const char* name, std::function<void()> run) {
    QAction* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this, std::move(run));
    addAction(action);
    return action;
  };
  PlayKey = windowKey(QKeySequence(Qt::Key_Space), "PlayKey", [this] { PlayButtonClick(); });
  ResetViewKey = windowKey(QKeySequence(Qt::CTRL | Qt::Key_0), "ResetViewKey", [this] {
    ResetView(viewTransform);
    Panel->update();
  });
  FullScreenKey = windowKey(QKeySequence(Qt::Key_F11), "FullScreenKey",
                            [this] { setWindowState(windowState() ^ Qt::WindowFullScreen); });

  for (QAction* action : {Save, SaveAs, ExportToWeb, EditImageList}) action->setEnabled(false);
  FileNew->setObjectName(QStringLiteral("FileNew"));
  FileOpen->setObjectName(QStringLiteral("FileOpen"));
  Save->setObjectName(QStringLiteral("Save"));
  SaveAs->setObjectName(QStringLiteral("SaveAs"));
  ExportToWeb->setObjectName(QStringLiteral("ExportToWeb"));
  Exit->setObjectName(QStringLiteral("Exit"));
  EditUndo->setObjectName(QStringLiteral("EditUndo"));
  EditRedo->setObjectName(QStringLiteral("EditRedo"));
  EditImageList->setObjectName(QStringLiteral("EditImageList"));
  EditPlacement->setObjectName(QStringLiteral("EditPlacement"));
  HelpContents->setObjectName(QStringLiteral("HelpContents"));
  HelpGettingStarted->setObjectName(QStringLiteral("HelpGettingStarted"));
  About->setObjectName(QStringLiteral("About"));
}

// The controls follow the window by their anchors, as laid out at the design size: the list
// keeps its width and stretches down, the view stretches both ways, the duration field and the
// play bar stay at the bottom.
void TmainForm::LayoutControls() {
  const int w = mainPanel->width();
  const int h = mainPanel->height();
  ListBox->setGeometry(0, 0, listWidth, h - (designHeight - 339));
  Panel->setGeometry(listWidth, 0, w - listWidth, h - (designHeight - 338));
  // With the desktop's font the caption is wider than the designed 66 pixels; it wraps onto two
  // lines within the strip beside the duration field instead of being cut.
  Label1->setGeometry(7, h - (designHeight - 339), 68, 30);
  EditTime->setGeometry(78, h - (designHeight - 343), 41, 21);
  PaintBoxControls->setGeometry(listWidth, h - (designHeight - 338), w - listWidth, barHeight);
  OpeningStrip->setGeometry(0, h - (designHeight - 339), listWidth, barHeight);
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

bool TmainForm::MakeViewCurrent() {
  if (!Panel->isValid()) return false;
  Panel->makeCurrent();
  return true;
}

void TmainForm::FormPaint() {
  if (SelectedPicture() < 0) return;
  PaintBoxControls->update();
  Panel->update();
}

void TmainForm::PanelResize() { FormPaint(); }

void TmainForm::OpenGLSetupParams() { Renderer::SetViewGlState(); }

void TmainForm::CheckTextureLimit() {
  Renderer* renderer = Panel->renderer();
  ImageStack* imageStack = project_.stack();
  if (renderer && imageStack && renderer->ExceedsLimit(*imageStack)) ShowMaxImageSizeMessage(renderer->TextureLimit());
}

void TmainForm::ShowRendererMessage() {
  Renderer* renderer = Panel->renderer();
  if (!renderer) return;
  const std::string message = renderer->TakeMessage();
  // Not from inside the paint: the box runs an event loop of its own.
  if (!message.empty()) QTimer::singleShot(0, this, [message] { ShowPlainMessage(message); });
}

void TmainForm::PaintView() {
  Renderer* renderer = Panel->renderer();
  Renderer::ClearView();
  const int selected = SelectedPicture();
  ImageStack* imageStack = project_.stack();
  if (!renderer || selected < 0 || !imageStack) return;
  renderer->Pump();
  const ViewGeometry geometry = Panel->Geometry();
  if (playView) {
    if (imageStack->count() >= 2) renderer->DrawZoom(*imageStack, playbar.position, geometry, playbar.forward ? 1 : -1);
  } else {
    renderer->DrawEditView(*imageStack, selected, viewTransform, geometry);
  }
  Renderer::Flush();
  // Levels the upload budget of this paint left behind come in the next one.
  if (renderer->LevelsWaiting()) Panel->update();
  ShowRendererMessage();
}

void TmainForm::ListBoxClick() {
  StopPlay();
  playView = false;
  if (SelectedPicture() < 0) return;
  ResetView(viewTransform);
  Panel->update();
}

void TmainForm::closeEvent(QCloseEvent* event) {
  if (!MaySetProjectAside()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TmainForm::FormClose() {
  StopPlay();
  project_.RemoveRecovery();
  exitProcess(0);
}
