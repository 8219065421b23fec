// The main window's menus: File, Edit and Help, and the keys of the window that are in no menu.

#include "EditorMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QUndoStack>
#include <functional>
#include <utility>

#include "PlaybarController.h"
#include "ProjectController.h"
#include "ViewController.h"
#include "main.h"

EditorMenus::EditorMenus(TmainForm& form) : form_(form) {
  QMenuBar* bar = form.menuBar();
  BuildFileMenu(bar->addMenu(QStringLiteral("&File")));
  BuildEditMenu(bar->addMenu(QStringLiteral("&Edit")));
  BuildHelpMenu(bar->addMenu(QStringLiteral("&Help")));
  BuildWindowKeys();
  for (QAction* action : {Save, SaveAs, ExportToWeb, EditImageList}) action->setEnabled(false);
  NameActions();
}

void EditorMenus::EnableProjectCommands(bool on) {
  for (QAction* action : {Save, SaveAs, ExportToWeb, EditImageList}) action->setEnabled(on);
}

void EditorMenus::BuildFileMenu(QMenu* file) {
  TmainForm* form = &form_;
  FileNew = file->addAction(QStringLiteral("New..."), form, [form] { form->commands().FileNewClick(); });
  FileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  FileOpen = file->addAction(QStringLiteral("Open..."), form, [form] { form->commands().FileOpenClick(); });
  FileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  OpenRecent = file->addMenu(QStringLiteral("Open Recent"));
  OpenRecent->setObjectName(QStringLiteral("OpenRecent"));
  form->commands().ShowRecentProjects(OpenRecent);
  FileImportSequence =
      file->addAction(QStringLiteral("Import Sequence..."), form, [form] { form->commands().ImportSequenceClick(); });
  Save = file->addAction(QStringLiteral("Save"), form, [form] { form->commands().SaveClick(); });
  Save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  SaveAs = file->addAction(QStringLiteral("Save As..."), form, [form] { form->commands().SaveAsClick(); });
  ExportToWeb =
      file->addAction(QStringLiteral("Export to Web..."), form, [form] { form->commands().ExportToWebClick(); });
  ExportVideo =
      file->addAction(QStringLiteral("Export Video..."), form, [form] { form->commands().ExportVideoClick(); });
  // It needs what Export to Web needs: a project whose pictures have all been checked.
  ExportVideo->setEnabled(ExportToWeb->isEnabled());
  QObject::connect(ExportToWeb, &QAction::enabledChanged, ExportVideo, &QAction::setEnabled);
  file->addSeparator();
  // Exit sits on Ctrl+X; there is no cut command.
  Exit = file->addAction(QStringLiteral("Exit"), form, [form] { form->ExitClick(); });
  Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
}

void EditorMenus::BuildEditMenu(QMenu* edit) {
  TmainForm* form = &form_;
  EditUndo = edit->addAction(QStringLiteral("Undo"), form, [form] { form->commands().UndoClick(); });
  EditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  EditRedo = edit->addAction(QStringLiteral("Redo"), form, [form] { form->commands().RedoClick(); });
  EditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  FollowUndoStack();
  edit->addSeparator();
  EditImageList =
      edit->addAction(QStringLiteral("Image List..."), form, [form] { form->commands().EditImageListClick(); });
  EditPlacement =
      edit->addAction(QStringLiteral("Placement..."), form, [form] { form->commands().EditPlacementClick(); });
  // Shortcuts of a menu work while it is closed, so the state is also checked by the command.
  QUndoStack* undoStack = form_.project().undoStack();
  QObject::connect(edit, &QMenu::aboutToShow, form, [this, form, undoStack] {
    EditPlacement->setEnabled(form->view().EditedChild() >= 0 && !form->Opening());
    EditUndo->setEnabled(undoStack->canUndo() && !form->Opening());
    EditRedo->setEnabled(undoStack->canRedo() && !form->Opening());
    for (QAction* action : {EditAlign, EditAlignAll, EditMatchColours, EditMatchAllColours})
      action->setEnabled(!form->Opening());
  });
  // Their keys work while the menu is closed; the commands themselves say why they wait.
  QObject::connect(edit, &QMenu::aboutToHide, form, [this] {
    for (QAction* action : {EditAlign, EditAlignAll, EditMatchColours, EditMatchAllColours}) action->setEnabled(true);
  });
  BuildAlignActions(edit);
}

// Undo and Redo follow the project's undo stack: enabled when there is a step, named after it.
void EditorMenus::FollowUndoStack() {
  EditUndo->setEnabled(false);
  EditRedo->setEnabled(false);
  QUndoStack* undoStack = form_.project().undoStack();
  QObject::connect(undoStack, &QUndoStack::canUndoChanged, EditUndo, &QAction::setEnabled);
  QObject::connect(undoStack, &QUndoStack::canRedoChanged, EditRedo, &QAction::setEnabled);
  QObject::connect(undoStack, &QUndoStack::undoTextChanged, EditUndo, [this](const QString& step) {
    EditUndo->setText(step.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + step);
  });
  QObject::connect(undoStack, &QUndoStack::redoTextChanged, EditRedo, [this](const QString& step) {
    EditRedo->setText(step.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + step);
  });
}

void EditorMenus::BuildAlignActions(QMenu* edit) {
  TmainForm* form = &form_;
  EditAlign = edit->addAction(QStringLiteral("Align Automatically"), form, [form] { form->commands().AlignClick(); });
  EditAlign->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  EditAlignAll = edit->addAction(QStringLiteral("Align All"), form, [form] { form->commands().AlignAllClick(); });
  EditMatchColours =
      edit->addAction(QStringLiteral("Match Colours"), form, [form] { form->commands().MatchColoursClick(); });
  EditMatchAllColours =
      edit->addAction(QStringLiteral("Match All Colours"), form, [form] { form->commands().MatchAllColoursClick(); });
}

void EditorMenus::BuildHelpMenu(QMenu* help) {
  TmainForm* form = &form_;
  HelpContents =
      help->addAction(QStringLiteral("Tunnelvista Help"), form, [form] { form->commands().HelpContentsClick(); });
  HelpContents->setShortcut(QKeySequence(Qt::Key_F1));
  HelpGettingStarted =
      help->addAction(QStringLiteral("Getting Started"), form, [form] { form->commands().HelpGettingStartedClick(); });
  help->addSeparator();
  About = help->addAction(QStringLiteral("About..."), form, [form] { form->commands().AboutClick(); });
}

// Keys of the window that are in no menu. Space goes to the duration field while it has the focus
// (a line edit takes printable keys first).
void EditorMenus::BuildWindowKeys() {
  TmainForm* form = &form_;
  auto windowKey = [form](const QKeySequence& keys, const char* name, std::function<void()> run) {
    QAction* action = new QAction(form);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    QObject::connect(action, &QAction::triggered, form, std::move(run));
    form->addAction(action);
    return action;
  };
  PlayKey = windowKey(QKeySequence(Qt::Key_Space), "PlayKey", [form] { form->playback().PlayButtonClick(); });
  ResetViewKey =
      windowKey(QKeySequence(Qt::CTRL | Qt::Key_0), "ResetViewKey", [form] { form->view().ResetEditView(); });
  FullScreenKey = windowKey(QKeySequence(Qt::Key_F11), "FullScreenKey",
                            [form] { form->setWindowState(form->windowState() ^ Qt::WindowFullScreen); });
}

void EditorMenus::NameActions() {
  const std::pair<QAction*, const char*> names[] = {
      {FileNew, "FileNew"},
      {FileOpen, "FileOpen"},
      {FileImportSequence, "FileImportSequence"},
      {Save, "Save"},
      {SaveAs, "SaveAs"},
      {ExportToWeb, "ExportToWeb"},
      {ExportVideo, "ExportVideo"},
      {Exit, "Exit"},
      {EditUndo, "EditUndo"},
      {EditRedo, "EditRedo"},
      {EditImageList, "EditImageList"},
      {EditPlacement, "EditPlacement"},
      {EditAlign, "EditAlign"},
      {EditAlignAll, "EditAlignAll"},
      {EditMatchColours, "EditMatchColours"},
      {EditMatchAllColours, "EditMatchAllColours"},
      {HelpContents, "HelpContents"},
      {HelpGettingStarted, "HelpGettingStarted"},
      {About, "About"},
  };
  for (const auto& [action, name] : names) action->setObjectName(QString::fromLatin1(name));
}
