#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUndoStack>
#include <QUrl>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <functional>

#include "EditorFixture.h"
#include "Dlgplacement.h"
#include "Imageeditor.h"

namespace {

struct MainFormEditing : EditorFixture {
  ProjectFiles project{3};

  void Open() { Start({QString::fromStdString(project.path)}); }
  std::string Title() const { return form->windowTitle().toStdString(); }
  // Types a new duration over the field's text, key by key.
  void TypeDuration(const char* text) {
    form->EditTime->selectAll();
    QTest::keyClicks(form->EditTime, text);
  }
  // The selected picture's child dragged by its centre.
  void DragChild(QPoint by) {
    const QPoint from = form->Panel->rect().center();
    QTest::mousePress(form->Panel, Qt::LeftButton, {}, from);
    for (int k = 1; k <= 4; ++k) {
      const QPoint p = from + by * k / 4;
      QMouseEvent move(QEvent::MouseMove, QPointF(p), form->Panel->mapToGlobal(QPointF(p)), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(form->Panel, &move);
    }
    QTest::mouseRelease(form->Panel, Qt::LeftButton, {}, from + by);
  }
  Transform& Child() { return form->Stack()->images[1]->transform; }
  // The keys' actions. Other test processes share the X server and may hold the focus, so the
  // keys themselves are only checked to be bound.
  void Undo() { form->menus().EditUndo->trigger(); }
  void Redo() { form->menus().EditRedo->trigger(); }
};

TEST_F(MainFormEditing, TitleShowsTheProjectAndItsModifiedMark) {
  Start();
  EXPECT_EQ(Title(), "Tunnelvista Editor");
  form->menus().FileOpen->trigger();  // cancelled: still nothing
  EXPECT_EQ(Title(), "Tunnelvista Editor");
  dialogs.answers.push_back(QString::fromStdString(project.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  EXPECT_FALSE(form->project().Modified());
  TypeDuration("20");
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  form->menus().Save->trigger();
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  EXPECT_NE(ReadFileBytes(project.path).find("duration 20.0"), std::string::npos);
  // A new project has no name until saved.
  form->menus().FileNew->trigger();
  dialogs.fileLists.push_back({QString::fromStdString(project.dir.File("p0.jpg"))});
  QTest::mouseClick(windows.imageList->ButtonAddImage, Qt::LeftButton);
  WaitForPictures();
  QTest::mouseClick(windows.imageList->ButtonDone, Qt::LeftButton);
  EXPECT_EQ(Title(), "Untitled* - Tunnelvista Editor");
  EXPECT_FALSE(form->menus().EditUndo->isEnabled());  // nothing to undo in a new project
}

// Every way that would discard the project asks first, only when it has changed: Cancel stops
// it, Discard goes on, Save saves and goes on (or stops when the save does not happen).
TEST_F(MainFormEditing, DiscardingPathsAskToSave) {
  Open();
  ProjectFiles other(2, "44.0", "other.kx");
  struct Path {
    const char* name;
    std::function<void()> run;
    std::function<bool()> happened;
  };
  const Path paths[] = {
      {"New", [&] { form->menus().FileNew->trigger(); },
       [&] {
         const bool shown = windows.imageList->isVisible();
         if (shown) QTest::mouseClick(windows.imageList->ButtonCancel, Qt::LeftButton);
         return shown;
       }},
      {"Open",
       [&] {
         dialogs.answers.push_back(QString::fromStdString(other.path));
         form->menus().FileOpen->trigger();
         WaitForOpen();
       },
       [&] {
         const bool opened = form->Stack()->path == other.path;
         if (!opened) dialogs.answers.clear();
         return opened;
       }},
      {"Exit", [&] { form->menus().Exit->trigger(); }, [&] { return exitStatus.has_value(); }},
      {"close", [&] { form->close(); }, [&] { return exitStatus.has_value() && !form->isVisible(); }},
  };
  int seconds = 20;
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    if (!form->isVisible()) form->show();
    // The project as saved.
    reporter.answers = {MessageAnswer::Discard};
    dialogs.answers.push_back(QString::fromStdString(project.path));
    form->menus().FileOpen->trigger();
    WaitForOpen();
    reporter.answers.clear();
    exitStatus.reset();
    reporter.messages.clear();
    // Unchanged: nothing is asked.
    path.run();
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_TRUE(path.happened());
    for (MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Save, MessageAnswer::Discard}) {
      if (!form->isVisible()) form->show();
      if (form->Stack()->path != project.path) {
        dialogs.answers.push_back(QString::fromStdString(project.path));
        form->menus().FileOpen->trigger();
        WaitForOpen();
      }
      exitStatus.reset();
      reporter.messages.clear();
      const std::string typed = std::to_string(++seconds);
      TypeDuration(typed.c_str());
      reporter.answers.push_back(answer);
      path.run();
      ASSERT_EQ(reporter.messages.size(), 1u);
      EXPECT_EQ(reporter.messages[0].text, "Save changes to project.kx?");
      EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::SaveDiscardCancel);
      EXPECT_EQ(path.happened(), answer != MessageAnswer::Cancel);
      const bool saved = ReadFileBytes(project.path).find("duration " + typed + ".0") != std::string::npos;
      EXPECT_EQ(saved, answer == MessageAnswer::Save);
    }
  }
}

TEST_F(MainFormEditing, SaveThatDoesNotHappenKeepsTheProject) {
  Open();
  form->Stack()->path.clear();  // never saved
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  form->commands().UpdateTitle();
  EXPECT_EQ(Title(), "Untitled* - Tunnelvista Editor");
  reporter.answers.push_back(MessageAnswer::Save);
  form->menus().Exit->trigger();
  EXPECT_EQ(reporter.messages.at(0).text, "Save changes to Untitled?");
  EXPECT_EQ(dialogs.asked.back(), "Save Project|Tunnelvista (*.kx)|kx");  // cancelled
  EXPECT_FALSE(exitStatus.has_value());
  // Named, but the file cannot be written: the question comes again, the window stays.
  reporter.answers.push_back(MessageAnswer::Save);
  dialogs.answers.push_back(QString::fromStdString(project.dir.File("no/such/dir.kx")));
  form->close();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(exitStatus.has_value());
  EXPECT_EQ(Title(), "dir.kx* - Tunnelvista Editor");
}

TEST_F(MainFormEditing, UndoAndRedoOfADragTheDurationAndTheImageList) {
  Open();
  EXPECT_EQ(form->menus().EditUndo->shortcut(), QKeySequence("Ctrl+Z"));
  EXPECT_EQ(form->menus().EditRedo->shortcuts(),
            (QList<QKeySequence>{QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
  EXPECT_FALSE(form->menus().EditUndo->isEnabled());
  const Transform start = Child();
  DragChild({20, 10});
  const Transform dragged = Child();
  ASSERT_NE(dragged.translateX, start.translateX);
  EXPECT_EQ(form->menus().EditUndo->text(), "Undo Placement");
  TypeDuration("12.5");  // one step for the whole typing
  EXPECT_FLOAT_EQ(form->Stack()->duration, 12.5f);

  Undo();
  EXPECT_EQ(form->EditTime->text(), "10.0");
  EXPECT_FLOAT_EQ(form->Stack()->duration, 10.0f);
  EXPECT_EQ(Child().translateX, dragged.translateX);
  Undo();  // the whole drag in one step
  EXPECT_EQ(Child().translateX, start.translateX);
  EXPECT_EQ(Child().translateY, start.translateY);
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");  // back at the saved state
  Redo();
  EXPECT_EQ(Child().translateX, dragged.translateX);
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  Redo();
  EXPECT_EQ(form->EditTime->text(), "12.5");
  EXPECT_FLOAT_EQ(form->Stack()->duration, 12.5f);

  // Saved here: undoing is a change from the saved project, redoing returns to it.
  form->menus().Save->trigger();
  Undo();
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  Redo();
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");

  // The image list: the first picture removed, the others reordered, one step; undo brings back
  // the same pictures with their placements.
  std::vector<Image*> before;
  for (auto& e : form->Stack()->images) before.push_back(e.get());
  const Transform secondPlacement = before[1]->transform;
  form->menus().EditImageList->trigger();
  windows.imageList->ListBox->setCurrentRow(0);
  QTest::mouseClick(windows.imageList->ButtonRemoveImage, Qt::LeftButton);
  windows.imageList->ListBox->setCurrentRow(1);
  QTest::mouseClick(windows.imageList->ButtonMoveUp, Qt::LeftButton);
  QTest::mouseClick(windows.imageList->ButtonDone, Qt::LeftButton);
  const std::vector<Image*> after = {before[2], before[1], before[3]};
  ASSERT_EQ(form->Stack()->count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(form->Stack()->images[static_cast<size_t>(i)].get(), after[i]);
  EXPECT_EQ(form->menus().EditUndo->text(), "Undo Image List");
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  Undo();
  ASSERT_EQ(form->Stack()->count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(form->Stack()->images[static_cast<size_t>(i)].get(), before[i]);
  EXPECT_EQ(form->Stack()->images[1]->transform.scale, secondPlacement.scale);
  EXPECT_EQ(form->ListBox->count(), 3);
  EXPECT_EQ(form->ListBox->item(0)->text(), "p0.jpg");
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  EXPECT_FLOAT_EQ(form->Stack()->duration, 12.5f);  // the list's steps leave the duration alone
  Redo();
  ASSERT_EQ(form->Stack()->count(), 3);
  EXPECT_EQ(form->Stack()->images[0].get(), before[2]);
  EXPECT_EQ(form->ListBox->item(0)->text(), "p2.jpg");
  // A Done that changes nothing is no step; opening forgets the steps.
  form->menus().EditImageList->trigger();
  QTest::mouseClick(windows.imageList->ButtonDone, Qt::LeftButton);
  EXPECT_EQ(form->menus().EditUndo->text(), "Undo Image List");
  reporter.answers.push_back(MessageAnswer::Discard);
  dialogs.answers.push_back(QString::fromStdString(project.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_FALSE(form->menus().EditUndo->isEnabled());
  EXPECT_FALSE(form->menus().EditRedo->isEnabled());
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  // A reload replaces a picture in place, kept even when the dialog is cancelled: a change.
  form->menus().EditImageList->trigger();
  windows.imageList->ListBox->setCurrentRow(0);
  dialogs.answers.push_back(QString::fromStdString(project.dir.File("p2.jpg")));
  QTest::mouseClick(windows.imageList->ButtonReload, Qt::LeftButton);
  WaitForPictures();
  QTest::mouseClick(windows.imageList->ButtonCancel, Qt::LeftButton);
  EXPECT_EQ(form->Stack()->images[0]->baseName, "p2.jpg");
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
}

}  // namespace

namespace {

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A recovery file as a session that ended unexpectedly leaves it: newer than the project.
void LeaveRecovery(const std::string& recovery, const std::string& text, const std::string& project) {
  WriteFileBytes(recovery, text);
  std::filesystem::last_write_time(recovery, std::filesystem::last_write_time(project) + std::chrono::seconds(10));
}

TEST_F(MainFormEditing, ModifiedProjectIsWrittenToItsRecoveryFileAndRestored) {
  Open();
  const std::string recovery = project.path + ".recovery";
  EXPECT_EQ(form->project().recoveryTimer()->interval(), 30000);
  EXPECT_TRUE(form->project().recoveryTimer()->isActive());
  form->project().recoveryTimer()->setInterval(1);  // the ticks come at once
  QTest::qWait(20);
  EXPECT_FALSE(Exists(recovery));  // nothing to recover
  TypeDuration("33");
  QTRY_VERIFY(Exists(recovery));
  form->project().recoveryTimer()->stop();
  const std::string kept = ReadFileBytes(recovery);
  EXPECT_NE(kept.find("duration 33.0"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(project.path).find("duration 33.0"), std::string::npos);
  EXPECT_TRUE(reporter.messages.empty());

  // Changes discarded are not offered again.
  reporter.answers = {MessageAnswer::Discard};
  dialogs.answers.push_back(QString::fromStdString(project.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_FALSE(Exists(recovery));

  // After a crash the next opening offers them: No removes them, Yes restores them unsaved.
  for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
    LeaveRecovery(recovery, kept, project.path);
    reporter.messages.clear();
    reporter.answers = {answer};
    dialogs.answers.push_back(QString::fromStdString(project.path));
    form->menus().FileOpen->trigger();
    WaitForOpen();
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text,
              "Changes to project.kx that were not saved were found from an earlier session.\n\nRestore them?");
    EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::YesNo);
  }
  EXPECT_FLOAT_EQ(form->Stack()->duration, 33.0f);
  EXPECT_EQ(form->Stack()->path, project.path);
  EXPECT_EQ(form->Stack()->pictureCount(), 3);
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  EXPECT_TRUE(Exists(recovery));  // until saved or discarded
  form->menus().Save->trigger();
  EXPECT_FALSE(Exists(recovery));
  EXPECT_NE(ReadFileBytes(project.path).find("duration 33.0"), std::string::npos);

  // One older than the project is stale: not offered.
  WriteFileBytes(recovery, kept);
  std::filesystem::last_write_time(recovery, std::filesystem::last_write_time(project.path) - std::chrono::seconds(10));
  reporter.messages.clear();
  dialogs.answers.push_back(QString::fromStdString(project.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_FALSE(Exists(recovery));  // and removed
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
}

// A recovery file that cannot be read does not stand in the project's way: it is named, set
// aside, and the project opens from its own file; it is not offered again.
TEST_F(MainFormEditing, UnreadableRecoveryIsSetAsideAndTheProjectOpens) {
  const std::string recovery = project.path + ".recovery";
  Start();
  for (const char* text : {"", "#Tunnelvista v1.0\r\nduration 3", "\x01garbage"}) {
    LeaveRecovery(recovery, text, project.path);
    reporter.messages.clear();
    reporter.answers = {MessageAnswer::Yes};
    dialogs.answers.push_back(QString::fromStdString(project.path));
    form->menus().FileOpen->trigger();
    WaitForOpen();
    ASSERT_EQ(reporter.messages.size(), 2u) << text;
    EXPECT_EQ(reporter.messages[1].text.rfind("The recovery file project.kx.recovery cannot be read: ", 0), 0u)
        << reporter.messages[1].text;
    ASSERT_TRUE(form->Stack());
    EXPECT_EQ(form->Stack()->pictureCount(), 3);
    EXPECT_FALSE(form->project().Modified());
    EXPECT_FALSE(Exists(recovery));
    EXPECT_EQ(ReadFileBytes(recovery + ".unreadable"), text);
  }
  reporter.messages.clear();
  dialogs.answers.push_back(QString::fromStdString(project.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(MainFormEditing, UnsavedProjectIsRecoveredFromTheDataFolder) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  ASSERT_TRUE(QDir().mkpath(folder));
  const std::string recovery = QFile::encodeName(folder + "/Untitled.kx.recovery").toStdString();
  // Left behind, it would be offered to every later test that starts without a project.
  struct Cleanup {
    std::string path;
    ~Cleanup() { std::filesystem::remove(path); }
  } cleanup{recovery};
  std::string text = ReadFileBytes(project.path);
  std::string folderOfPictures = project.dir.File("x");
  folderOfPictures.pop_back();
  for (size_t at = text.find("filename "); at != std::string::npos; at = text.find("filename ", at + 1))
    text.insert(at + 9, folderOfPictures);
  WriteFileBytes(recovery, text);
  reporter.answers = {MessageAnswer::Yes};
  Start();
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.messages[0].text,
            "A project that was not saved was found from an earlier session.\n\nRestore it?");
  ASSERT_TRUE(form->Stack());
  EXPECT_TRUE(form->Stack()->path.empty());
  EXPECT_EQ(form->Stack()->pictureCount(), 3);
  EXPECT_TRUE(form->Stack()->images[0]->loaded);
  EXPECT_EQ(Title(), "Untitled* - Tunnelvista Editor");
  form->project().recoveryTimer()->setInterval(1);
  TypeDuration("55");
  QTRY_VERIFY(ReadFileBytes(recovery).find("duration 55.0") != std::string::npos);
  form->project().recoveryTimer()->stop();
  // Saved under a name, it has nothing left to recover.
  dialogs.answers.push_back(QString::fromStdString(project.dir.File("saved.kx")));
  form->menus().Save->trigger();
  EXPECT_FALSE(Exists(recovery));
  EXPECT_EQ(Title(), "saved.kx - Tunnelvista Editor");
}

// Keys in the view change the child a little at a time: a held key is one undo step.
TEST_F(MainFormEditing, KeysNudgeTheChildOneStepPerRun) {
  Open();
  WaitForOpen();
  const Transform start = Child();
  QTest::keyClick(form->Panel, Qt::Key_Right);
  const float onePixel = Child().translateX - start.translateX;
  ASSERT_GT(onePixel, 0.0f);
  QKeyEvent held(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier, QString(), true);
  QApplication::sendEvent(form->Panel, &held);
  EXPECT_NEAR(Child().translateX - start.translateX, 11 * onePixel, 1e-5);
  QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(form->Panel, &up);  // up on the screen is up in the picture
  EXPECT_NEAR(Child().translateY - start.translateY, onePixel, 1e-5);
  QTest::keyClick(form->Panel, Qt::Key_Plus);
  EXPECT_FLOAT_EQ(Child().scale, start.scale * 1.01f);
  QTest::keyClick(form->Panel, Qt::Key_Comma);
  EXPECT_FLOAT_EQ(Child().rotate, start.rotate + 0.1f);
  EXPECT_EQ(form->project().undoStack()->count(), 3);  // the moves, the scale, the turn
  for (int i = 0; i < 3; ++i) Undo();
  EXPECT_EQ(Child().translateX, start.translateX);
  EXPECT_EQ(Child().translateY, start.translateY);
  EXPECT_EQ(Child().scale, start.scale);
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
}

// Edit > Placement...: typed numbers show at once; OK keeps them as one step, Cancel puts the
// placement back.
TEST_F(MainFormEditing, PlacementDialogTypesTheNumbers) {
  Open();
  WaitForOpen();
  const Transform start = Child();
  const QString point = QLocale().decimalPoint();  // the fields show the user's own numbers
  auto typeInto = [](QDoubleSpinBox* field, const QString& text) {
    field->selectAll();
    QTest::keyClicks(field, text);
  };
  form->menus().EditPlacement->trigger();
  auto* dialog = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(dialog && dialog->isVisible());
  EXPECT_EQ(dialog->LabelCaption->text(), "p1.jpg in p0.jpg");
  typeInto(dialog->EditScale, "0" + point + "25");
  typeInto(dialog->EditRotation, "-12" + point + "5");
  EXPECT_FLOAT_EQ(Child().scale, 0.25f);  // live
  EXPECT_FLOAT_EQ(Child().rotate, -12.5f);
  EXPECT_EQ(Child().translateX, start.translateX);
  dialog->accept();
  EXPECT_EQ(form->project().undoStack()->count(), 1);
  Undo();
  EXPECT_EQ(Child().scale, start.scale);
  EXPECT_EQ(Child().rotate, start.rotate);

  form->menus().EditPlacement->trigger();
  dialog = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(dialog);
  typeInto(dialog->EditOffsetX, "0" + point + "3");
  EXPECT_FLOAT_EQ(Child().translateX, 0.3f);
  dialog->reject();
  EXPECT_EQ(Child().translateX, start.translateX);
  EXPECT_EQ(form->project().undoStack()->index(), 0);

  // The colours: typed live, a step on OK; Reset Colours gives the file's own tones, a step too.
  const ColourCorrection& colour = form->Stack()->images[1]->colour;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the dialog closed above
  form->menus().EditPlacement->trigger();
  dialog = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(dialog && dialog->GroupColours->isVisible());
  typeInto(dialog->EditGain[2], "1" + point + "25");
  typeInto(dialog->EditOffset[0], "0" + point + "05");
  EXPECT_FLOAT_EQ(colour.gain[2], 1.25f);
  EXPECT_FLOAT_EQ(colour.offset[0], 0.05f);
  dialog->accept();
  EXPECT_EQ(form->project().undoStack()->count(), 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  form->menus().EditPlacement->trigger();
  dialog = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(dialog);
  EXPECT_DOUBLE_EQ(dialog->EditGain[2]->value(), 1.25);
  dialog->ButtonResetColours->click();
  EXPECT_TRUE(colour.IsIdentity());
  dialog->accept();
  EXPECT_EQ(form->project().undoStack()->count(), 2);
  Undo();
  EXPECT_FLOAT_EQ(colour.gain[2], 1.25f);
}

// Play and pace beside the duration: each choice one step, shown back on undo and saved with the
// project. Endless shows the pace as steady and disabled, and the last picture's child, the
// target frame, is the first picture's place in it.
TEST_F(MainFormEditing, PlayAndPaceAreStepsSavedWithTheProject) {
  Open();
  EXPECT_FALSE(form->ComboPlay->toolTip().isEmpty());
  form->ComboPace->setCurrentIndex(1);
  form->ComboPlay->setCurrentIndex(1);
  EXPECT_EQ(form->Stack()->playSettings, (PlaySettings{PlayMode::Endless, Pace::Steady}));
  EXPECT_EQ(form->project().undoStack()->count(), 2);
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  Undo();
  EXPECT_EQ(form->ComboPlay->currentIndex(), 0);
  EXPECT_EQ(form->ComboPace->currentIndex(), 1);
  EXPECT_TRUE(form->ComboPace->isEnabled());
  form->ComboPace->setCurrentIndex(0);  // a new step in the redo's place
  form->ComboPlay->setCurrentIndex(1);
  EXPECT_EQ(form->ComboPace->currentIndex(), 1);  // endless plays steady
  EXPECT_FALSE(form->ComboPace->isEnabled());
  EXPECT_EQ(form->Stack()->playSettings.pace, Pace::Eased);  // kept for there and back
  EXPECT_EQ(form->LabelTarget->text(), "Target frame: first picture in the last");

  form->ListBox->setCurrentRow(2);
  form->menus().EditPlacement->trigger();
  auto* dialog = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(dialog && dialog->isVisible());
  EXPECT_EQ(dialog->LabelCaption->text(), "p0.jpg (the first picture) in p2.jpg");
  dialog->reject();

  ASSERT_TRUE(form->commands().SaveClick());
  EXPECT_NE(ReadFileBytes(project.path).find("\r\nplay endless\r\n"), std::string::npos);
  form->commands().OpenProjectFile(QString::fromStdString(project.path));
  WaitForOpen();
  EXPECT_EQ(form->ComboPlay->currentIndex(), 1);
  EXPECT_FALSE(form->ComboPace->isEnabled());
}

// The placement dialog belongs to one picture: the image list cannot change the stack under it
// (window-modal), and should the list change all the same, typing and Cancel follow the picture.
TEST_F(MainFormEditing, PlacementDialogFollowsItsPictureThroughAReorder) {
  Open();
  WaitForOpen();
  Image* p1 = form->Stack()->images[1].get();
  Image* p2 = form->Stack()->images[2].get();
  const Transform start1 = p1->transform, start2 = p2->transform;
  form->menus().EditImageList->trigger();
  ASSERT_TRUE(windows.imageList->isVisible());
  EXPECT_EQ(windows.imageList->parentWidget(), form);
  windows.imageList->ListBox->setCurrentRow(1);
  form->menus().EditPlacement->trigger();
  auto* dialog = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(dialog && dialog->isVisible());
  // Clicks through the window system do not reach the list while the dialog is open.
  auto click = [this](QWidget* button) {
    QTest::mouseClick(windows.imageList->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(windows.imageList.get(), button->rect().center()));
  };
  click(windows.imageList->ButtonMoveDown);
  EXPECT_EQ(windows.imageList->ListBox->currentRow(), 1);

  windows.imageList->ButtonMoveDownClick();  // p0, p2, p1
  windows.imageList->ButtonDoneClick();
  ASSERT_EQ(form->Stack()->images[2].get(), p1);
  EXPECT_EQ(dialog->LabelCaption->text(), "p1.jpg in p2.jpg");
  dialog->EditScale->selectAll();
  QTest::keyClicks(dialog->EditScale, "0" + QString(QLocale().decimalPoint()) + "25");
  EXPECT_FLOAT_EQ(p1->transform.scale, 0.25f);
  EXPECT_EQ(p2->transform.scale, start2.scale);
  dialog->reject();
  EXPECT_EQ(p1->transform.scale, start1.scale);
  EXPECT_EQ(p2->transform.scale, start2.scale);
  EXPECT_EQ(form->project().undoStack()->count(), 1);  // the list

  // With the dialog gone the list takes clicks again.
  form->menus().EditImageList->trigger();
  windows.imageList->ListBox->setCurrentRow(1);
  // The list's buttons wait while it checks its pictures, which takes a while under load.
  QTRY_VERIFY_WITH_TIMEOUT(windows.imageList->ButtonMoveDown->isEnabled(), 60000);
  click(windows.imageList->ButtonMoveDown);
  EXPECT_EQ(windows.imageList->ListBox->currentRow(), 2);
  windows.imageList->ButtonCancelClick();
}

// A recovery file that differs from the saved project only in a picture's colour correction is
// still a step to restore, and undo gives the saved tones back.
TEST_F(MainFormEditing, RestoringBringsBackColourCorrections) {
  const std::string recovery = project.path + ".recovery";
  LeaveRecovery(recovery, ReadFileBytes(project.path) + "\r\ncolour 2 1.25 1 1 0 0.5 0\r\n", project.path);
  reporter.answers = {MessageAnswer::Yes};
  Open();
  const ColourCorrection restored{{1.25f, 1, 1}, {0, 0.5f, 0}};
  EXPECT_TRUE(form->Stack()->images[1]->colour == restored);
  EXPECT_TRUE(form->project().Modified());
  Undo();
  EXPECT_TRUE(form->Stack()->images[1]->colour.IsIdentity());
  EXPECT_FALSE(form->project().Modified());
  Redo();
  EXPECT_TRUE(form->Stack()->images[1]->colour == restored);
}

// A restored recovery file is one step from the saved project; after it, discarding and opening
// another project leaves that one unmodified.
TEST_F(MainFormEditing, RestoreIsAnUndoStepAndItsMarkDoesNotOutliveIt) {
  ProjectFiles other;
  const std::string recovery = project.path + ".recovery";
  std::string text = ReadFileBytes(project.path);
  text.replace(text.find("duration 10.0"), 13, "duration 33.0");
  LeaveRecovery(recovery, text, project.path);
  reporter.answers = {MessageAnswer::Yes};
  Open();
  EXPECT_FLOAT_EQ(form->Stack()->duration, 33.0f);
  EXPECT_EQ(Title(), "project.kx* - Tunnelvista Editor");
  EXPECT_TRUE(form->menus().EditUndo->isEnabled());
  Undo();
  EXPECT_FLOAT_EQ(form->Stack()->duration, 10.0f);
  EXPECT_EQ(form->EditTime->text(), "10.0");
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  EXPECT_FALSE(Exists(recovery));  // back at the saved project: nothing to recover
  Redo();
  EXPECT_FLOAT_EQ(form->Stack()->duration, 33.0f);
  EXPECT_TRUE(form->project().Modified());

  reporter.answers = {MessageAnswer::Discard};
  dialogs.answers.push_back(QString::fromStdString(other.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_EQ(Title(), "project.kx - Tunnelvista Editor");
  EXPECT_FALSE(form->project().Modified());
  form->project().recoveryTimer()->setInterval(1);
  QTest::qWait(20);
  form->project().recoveryTimer()->stop();
  EXPECT_FALSE(Exists(other.path + ".recovery"));

  // Restored with a picture fewer: undo brings back the saved list, the picture read again.
  text = ReadFileBytes(project.path);
  text.replace(text.find("images 3"), 8, "images 2");
  text.erase(text.find("filename p2.jpg"), text.find("target") - text.find("filename p2.jpg"));
  LeaveRecovery(recovery, text, project.path);
  reporter.answers = {MessageAnswer::Yes};
  dialogs.answers.push_back(QString::fromStdString(project.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_EQ(form->Stack()->pictureCount(), 2);
  Undo();
  ASSERT_EQ(form->Stack()->pictureCount(), 3);
  EXPECT_TRUE(form->Stack()->images[2]->loaded);
  EXPECT_EQ(form->ListBox->count(), 3);
  EXPECT_FALSE(form->project().Modified());
}

// Files dropped from a file manager: a project opens after the question about unsaved changes;
// pictures go to the end of the image list; other files are refused.
TEST_F(MainFormEditing, DroppedFilesOpenOrAddPictures) {
  Open();
  WaitForOpen();
  ProjectFiles other(2, "44.0", "other.kx");
  auto drop = [this](const std::vector<std::string>& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& file : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file)));
    data.setUrls(urls);
    const QPoint at = form->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(form, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form, &dropped);
    return true;
  };
  EXPECT_FALSE(drop({other.dir.File("notes.txt")}));

  TypeDuration("21");
  reporter.answers = {MessageAnswer::Cancel};
  ASSERT_TRUE(drop({other.path}));
  QTRY_COMPARE(reporter.messages.size(), size_t{1});
  EXPECT_EQ(reporter.messages[0].text, "Save changes to project.kx?");
  EXPECT_EQ(form->Stack()->path, project.path);
  reporter.answers = {MessageAnswer::Discard};
  ASSERT_TRUE(drop({other.dir.File("p0.jpg"), other.path}));  // the project wins
  QTRY_COMPARE(form->Stack()->path, other.path);
  WaitForOpen();

  ASSERT_TRUE(drop({project.dir.File("p1.jpg"), project.dir.File("p2.jpg")}));
  QTRY_VERIFY(windows.imageList->isVisible());
  WaitForPictures();
  ASSERT_EQ(windows.imageList->ListBox->count(), 4);
  EXPECT_EQ(windows.imageList->ListBox->item(3)->text(), "p2.jpg");
  QTest::mouseClick(windows.imageList->ButtonDone, Qt::LeftButton);
  EXPECT_EQ(form->Stack()->pictureCount(), 4);
}

}  // namespace
