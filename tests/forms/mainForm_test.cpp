#include <GL/gl.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include <sys/stat.h>

#include "EditorFixture.h"
#include "TestFiles.h"

namespace {

QRgb Centre(const QImage& image) { return image.pixel(image.width() / 2, image.height() / 2); }

bool Near(QRgb a, int r, int g, int b, int tolerance = 12) {
  return std::abs(qRed(a) - r) <= tolerance && std::abs(qGreen(a) - g) <= tolerance &&
         std::abs(qBlue(a) - b) <= tolerance;
}

using MainForm = EditorFixture;

TEST_F(MainForm, StartsEmptyAndGrey) {
  Start();
  EXPECT_EQ(form->windowTitle(), "Tunnelvista Editor");
  EXPECT_EQ(form->ListBox->count(), 0);
  EXPECT_EQ(form->EditTime->text(), "10.0");
  for (QAction* action :
       {form->menus().Save, form->menus().SaveAs, form->menus().ExportToWeb, form->menus().EditImageList})
    EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
  for (QAction* action : {form->menus().FileNew, form->menus().FileOpen, form->menus().Exit, form->menus().HelpContents,
                          form->menus().About})
    EXPECT_TRUE(action->isEnabled());
  EXPECT_FALSE(form->Stack());
  const QImage view = ViewImage();
  EXPECT_TRUE(Near(Centre(view), 64, 64, 64, 1));
  EXPECT_TRUE(Near(view.pixel(2, 2), 64, 64, 64, 1));
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(MainForm, OpensTheProjectNamedOnTheCommandLine) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  ASSERT_TRUE(form->Stack());
  EXPECT_EQ(form->Stack()->path, project.path);
  EXPECT_EQ(form->ListBox->count(), 2);
  EXPECT_EQ(form->ListBox->item(0)->text(), "p0.jpg");
  EXPECT_EQ(form->SelectedPicture(), 0);
  EXPECT_TRUE(form->menus().Save->isEnabled());
  EXPECT_TRUE(form->menus().EditImageList->isEnabled());
  // The edit view of the first picture: red picture, its green child at 60 % in the middle.
  const QImage view = ViewImage();
  if (const char* shot = std::getenv("TV_SCREENSHOT")) form->grab().save(shot);
  QRgb centre = Centre(view);
  EXPECT_GT(qGreen(centre), 120);
  EXPECT_GT(qRed(centre), 60);
  EXPECT_TRUE(reporter.messages.empty()) << reporter.messages[0].text;
}

// Runs `body` in `directory` and comes back.
template <typename Body>
void InDirectory(const std::string& directory, Body body) {
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(directory)));
  body();
  QDir::setCurrent(previous);
}

TEST_F(MainForm, CommandLineRelativeAndBackslashedNames) {
  ProjectFiles project;
  std::filesystem::create_directory(project.dir.File("sub"));
  std::filesystem::rename(project.path, project.dir.File("sub/project.kx"));
  // Pictures named relative to the project resolve under its directory.
  for (const char* picture : {"p0.jpg", "p1.jpg"})
    std::filesystem::copy_file(project.dir.File(picture), project.dir.File(std::string("sub/") + picture));
  InDirectory(project.dir.path(), [&] { Start({"sub\\project.kx"}); });
  ASSERT_TRUE(form->Stack());
  EXPECT_EQ(form->Stack()->path, project.dir.File("sub/project.kx"));
  EXPECT_EQ(form->ListBox->count(), 2);
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(MainForm, CommandLineRelativeName) {
  ProjectFiles project;
  InDirectory(project.dir.path(), [&] { Start({"project.kx"}); });
  ASSERT_TRUE(form->Stack());
  EXPECT_EQ(form->Stack()->path, project.path);
}

TEST_F(MainForm, TwoArgumentsOpenNothing) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path), QString::fromStdString(project.path)});
  EXPECT_FALSE(form->Stack());
  EXPECT_EQ(form->ListBox->count(), 0);
}

TEST_F(MainForm, ProjectThatCannotBeReadLeavesNoProject) {
  ProjectFiles project;
  WriteFileBytes(project.path, "#Tunnelvista v2.0\r\n");
  Start({QString::fromStdString(project.path)});
  EXPECT_FALSE(form->Stack());
  EXPECT_EQ(form->ListBox->count(), 0);
  EXPECT_FALSE(form->menus().Save->isEnabled());
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Unexpected file type or version\nExpected #Tunnelvista v1.0"});
  form->FormPaint();
  form->commands().SaveClick();
  form->playback().PlayButtonClick();
  EXPECT_TRUE(Near(Centre(ViewImage()), 64, 64, 64, 1));
}

TEST_F(MainForm, OpenFromTheMenuReplacesTheProjectAndKeepsPlayback) {
  ProjectFiles first(2);
  ProjectFiles second(3, "12.34");
  Start({QString::fromStdString(first.path)});
  form->playback().PlayButtonClick();
  ASSERT_TRUE(form->playback().PlayView());
  dialogs.answers.push_back(QString::fromStdString(second.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_EQ(dialogs.asked.back(), "Open File|Tunnelvista (*.kx)|kx");
  ASSERT_TRUE(form->Stack());
  EXPECT_EQ(form->ListBox->count(), 3);
  EXPECT_FALSE(form->playback().playbar().playing);  // opening stops playback
  EXPECT_TRUE(form->playback().PlayView());          // but the view stays in play mode, at position 0
  EXPECT_EQ(form->playback().playbar().position, 0.0f);
  // A duration with two decimals is shown, and kept, with one.
  EXPECT_EQ(form->EditTime->text(), "12.3");
  EXPECT_FLOAT_EQ(form->Stack()->duration, 12.3f);
  // Cancelling the dialog changes nothing.
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_EQ(form->ListBox->count(), 3);
}

// A long project shows at once and its pictures arrive in the background: the list is there,
// the commands that need every picture wait, the strip counts; Cancel closes it with no message.
// Opened again to the end, the load message names the missing file as it always did.
TEST_F(MainForm, ALongProjectOpensInTheBackgroundAndCanBeCancelled) {
  TempDir dir;
  WriteJpeg(dir.File("p.jpg"), 640, 480, [](int x, int y) {
    return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 90};
  });
  const int pictures = 400;
  // Files of their own: a file named several times is checked once, and the check must take a while.
  const std::string bytes = ReadFileBytes(dir.File("p.jpg"));
  std::string text = "#Tunnelvista v1.0\r\nduration 10\r\nimages " + std::to_string(pictures) + "\r\n\r\n";
  for (int i = 0; i < pictures; ++i) {
    const std::string name = i == 200 ? "gone.jpg" : "p" + std::to_string(i) + ".jpg";
    if (i != 200) WriteFileBytes(dir.File(name), bytes);
    text += "filename " + name + "\r\nscale 0.9\r\ntranslate 0 0\r\nrotate 0\r\n";
  }
  text += "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  WriteFileBytes(dir.File("long.kx"), text);
  Start();
  for (bool cancel : {true, false}) {
    dialogs.answers.push_back(QString::fromStdString(dir.File("long.kx")));
    form->menus().FileOpen->trigger();
    ASSERT_TRUE(form->Opening());
    EXPECT_EQ(form->ListBox->count(), pictures);
    EXPECT_TRUE(form->OpeningStrip->isVisible());
    EXPECT_FALSE(form->menus().Save->isEnabled());
    EXPECT_FALSE(form->menus().EditImageList->isEnabled());
    if (cancel) {
      QTest::mouseClick(form->OpeningCancel, Qt::LeftButton);
      EXPECT_FALSE(form->Opening());
      EXPECT_FALSE(form->Stack());
      EXPECT_EQ(form->ListBox->count(), 0);
      QTest::qWait(100);
      EXPECT_TRUE(reporter.messages.empty());
    } else {
      EXPECT_TRUE(reporter.messages.empty());
      WaitForOpen();
      EXPECT_FALSE(form->OpeningStrip->isVisible());
      EXPECT_TRUE(form->menus().Save->isEnabled());
      EXPECT_TRUE(form->Stack()->images[pictures - 1]->loaded);
      EXPECT_EQ(reporter.Texts(),
                std::vector<std::string>{"There was an error loading the following files:\n\n    gone.jpg\n    \nThese "
                                         "files may not exist or may not be valid JPEG images.  You can\nreload these "
                                         "files by selecting \"Image List\" from the Edit menu."});
    }
  }
}

// The list marks a picture that did not load, and a moved one, which a note after the opening
// names with where it was found.
TEST_F(MainForm, TheListMarksMissingAndMovedPictures) {
  TempDir dir;
  WriteJpeg(dir.File("here.jpg"), 64, 48, [](int, int) { return Rgb{90, 90, 90}; });
  WriteFileBytes(dir.File("marks.kx"),
                 "#Tunnelvista v1.0\r\nduration 10\r\nimages 2\r\n\r\nfilename /no/such/place/here.jpg\r\n"
                 "scale 1\r\ntranslate 0 0\r\nrotate 0\r\n\r\nfilename gone.jpg\r\nscale 0.5\r\ntranslate 0 0\r\n"
                 "rotate 0\r\n\r\ntarget\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n");
  Start({QString::fromStdString(dir.File("marks.kx"))});
  ASSERT_EQ(form->ListBox->count(), 2);
  EXPECT_NE(form->ListBox->item(0)->foreground().color(), QColor(Qt::red));
  EXPECT_TRUE(form->ListBox->item(0)->toolTip().startsWith("found in"));
  EXPECT_EQ(form->ListBox->item(0)->text(), "here.jpg (found elsewhere)");
  EXPECT_TRUE(form->ListBox->item(0)->font().italic());
  EXPECT_EQ(form->ListBox->item(1)->foreground().color(), QColor(Qt::red));
  EXPECT_FALSE(form->ListBox->item(1)->font().italic());
  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_EQ(reporter.messages[0].text.find("here.jpg"), std::string::npos);  // the load message: the missing one
  EXPECT_NE(reporter.messages[1].text.find("/no/such/place/here.jpg:  found in " + dir.path()), std::string::npos)
      << reporter.messages[1].text;
  EXPECT_EQ(reporter.messages[1].text.find("gone.jpg"), std::string::npos);
  // The image list shows the mark too.
  form->menus().EditImageList->trigger();
  ASSERT_EQ(windows.imageList->ListBox->count(), 2);
  EXPECT_TRUE(windows.imageList->ListBox->item(0)->text().startsWith("here.jpg (found elsewhere)"));
  EXPECT_TRUE(windows.imageList->ListBox->item(0)->font().italic());
}

// A pipe named as a picture is not a picture: the opening ends with it failed and named, rather
// than waiting for a writer that never comes.
TEST_F(MainForm, APipeNamedAsAPictureFailsWithoutWaiting) {
  ProjectFiles project(2);
  std::filesystem::remove(project.dir.File("p1.jpg"));
  ASSERT_EQ(::mkfifo(project.dir.File("p1.jpg").c_str(), 0600), 0);
  Start({QString::fromStdString(project.path)});
  ASSERT_TRUE(form->Stack());
  EXPECT_FALSE(form->Stack()->images[1]->loaded);
  EXPECT_TRUE(form->Stack()->images[0]->loaded);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].text.find("p1.jpg"), std::string::npos) << reporter.messages[0].text;
}

// Keys of the window: Space plays and pauses, Ctrl+0 fits the edit view again, F11 fills the
// screen and comes back, F1 opens the help. (The actions are fired: a key sent under a test X
// server without a window manager may find another window active.)
TEST_F(MainForm, WindowKeys) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  EXPECT_EQ(form->menus().PlayKey->shortcut(), QKeySequence(Qt::Key_Space));
  EXPECT_EQ(form->menus().ResetViewKey->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
  EXPECT_EQ(form->menus().FullScreenKey->shortcut(), QKeySequence(Qt::Key_F11));
  EXPECT_EQ(form->menus().HelpContents->shortcut(), QKeySequence(Qt::Key_F1));
  form->menus().PlayKey->trigger();
  EXPECT_TRUE(form->playback().playbar().playing);
  form->menus().PlayKey->trigger();
  EXPECT_FALSE(form->playback().playbar().playing);
  form->view().viewTransform().scale = 3.0f;
  form->view().viewTransform().translateX = 0.2f;
  form->menus().ResetViewKey->trigger();
  EXPECT_EQ(form->view().viewTransform().scale, 1.0f);
  EXPECT_EQ(form->view().viewTransform().translateX, 0.0f);
  form->menus().FullScreenKey->trigger();
  EXPECT_TRUE(form->windowState() & Qt::WindowFullScreen);
  form->menus().FullScreenKey->trigger();
  EXPECT_FALSE(form->windowState() & Qt::WindowFullScreen);
}

TEST_F(MainForm, DurationField) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  struct Case {
    const char* typed;
    const char* shown;
    float duration;
  } cases[] = {
      {"250", "10.0", 10.0f}, {"-1", "10.0", 10.0f}, {"7.25", "7.25", 7.25f}, {"0", "0", 1.0f},
      {"0.5", "0.5", 1.0f},   {"12", "12", 12.0f},   {"abc", "12.0", 12.0f},  {"12x", "12.0", 12.0f},
      {"nan", "12.0", 12.0f}, {".", ".", 12.0f},
  };
  // Each text arrives whole, as when a program sets it; only seconds are taken, anything else
  // puts the duration back.
  for (const auto& c : cases) {
    form->EditTime->setText(c.typed);
    EXPECT_EQ(form->EditTime->text().toStdString(), c.shown) << c.typed;
    EXPECT_FLOAT_EQ(form->Stack()->duration, c.duration) << c.typed;
  }
  // An empty field keeps the duration.
  form->EditTime->clear();
  EXPECT_FLOAT_EQ(form->Stack()->duration, 12.0f);
  // Typed key by key, every intermediate text counts; letters are refused as they are typed.
  QTest::keyClicks(form->EditTime, "1x5");
  EXPECT_EQ(form->EditTime->text(), "15");
  EXPECT_FLOAT_EQ(form->Stack()->duration, 15.0f);
}

TEST_F(MainForm, DurationFieldWithoutProjectDoesNothing) {
  Start();
  form->EditTime->setText("250");
  EXPECT_EQ(form->EditTime->text(), "250");
}

TEST_F(MainForm, ZoomIsDrawnFromTheFirstPictureToTheTargetFrame) {
  ProjectFiles project;  // red, then green at half size; target at half of green
  Start({QString::fromStdString(project.path)});
  form->playback().playbar().position = 0.0f;
  form->playback().TrackBarChange();
  ASSERT_TRUE(form->playback().PlayView());
  QImage view = ViewImage();
  // The 4:3 picture fills the 441 x 338 view across; a thin grey band remains above and below.
  const int w = view.width(), h = view.height();
  EXPECT_TRUE(Near(view.pixel(w / 2, h / 2), 40, 200, 40, 20));  // the green child, drawn over red
  EXPECT_TRUE(Near(view.pixel(w / 2, h / 8), 200, 40, 40, 20));
  EXPECT_TRUE(Near(view.pixel(w / 2, 0), 64, 64, 64, 2));
  EXPECT_TRUE(Near(view.pixel(w / 2, h - 1), 64, 64, 64, 2));
  EXPECT_FALSE(Near(view.pixel(3, h / 2), 64, 64, 64, 8));  // the picture reaches the sides

  form->playback().playbar().position = 1.0f;
  form->playback().TrackBarChange();
  view = ViewImage();
  // The target frame (the middle half of the green picture) fills the view: green everywhere.
  for (QPoint p : {QPoint(w / 2, h / 2), QPoint(5, h / 2), QPoint(w - 5, h / 2), QPoint(w / 2, 10)})
    EXPECT_TRUE(Near(view.pixel(p), 40, 200, 40, 20)) << p.x() << "," << p.y();
}

TEST_F(MainForm, EditViewOfTheLastPictureShowsTheTargetFrameOutline) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->ListBox->setCurrentRow(1);
  ASSERT_FALSE(form->playback().PlayView());
  const QImage view = ViewImage();
  const int w = view.width(), h = view.height();
  // Green picture; the target frame is an outline only: inside it the picture is unchanged.
  EXPECT_TRUE(Near(view.pixel(w / 2, h / 2), 40, 200, 40, 20));
  int red = 0;
  for (int x = 0; x < w; ++x) {
    const QRgb p = view.pixel(x, h / 2);
    if (qRed(p) > 180 && qGreen(p) < 80) ++red;
  }
  EXPECT_GE(red, 2);  // the outline's left and right sides cross the middle row
  // Both handles: white discs at the top-right corner and the middle of the right edge.
  double sx = 0, sy = 0, rx = 0, ry = 0;
  form->view().MakeViewCurrent();
  const Extents e = ElementExtents(400, 300);
  form->Stack()->ChildToWindow(form->Panel->Geometry(), form->view().viewTransform(), 2, e.ex / 2, e.ey / 2, sx, sy);
  form->Stack()->ChildToWindow(form->Panel->Geometry(), form->view().viewTransform(), 2, e.ex / 2, 0, rx, ry);
  form->Panel->doneCurrent();
  // White disc pixels within 8 pixels of each handle's centre (window y grows upwards).
  auto whiteAround = [&](double cx, double cy) {
    int white = 0;
    for (int dy = -7; dy <= 7; ++dy)
      for (int dx = -7; dx <= 7; ++dx) {
        const QRgb p = view.pixel(static_cast<int>(cx) + dx, h - 1 - static_cast<int>(cy) + dy);
        if (qRed(p) > 220 && qGreen(p) > 220 && qBlue(p) > 220) ++white;
      }
    return white;
  };
  EXPECT_GT(whiteAround(sx, sy), 40);
  EXPECT_GT(whiteAround(rx, ry), 40);
  EXPECT_EQ(whiteAround(w / 4.0, h / 2.0), 0);
}

TEST_F(MainForm, ClickingALineStopsPlaybackAndShowsItsEditView) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->playback().PlayButtonClick();
  ASSERT_TRUE(form->playback().playbar().playing);
  form->view().viewTransform().scale = 3.0f;
  QListWidgetItem* line = form->ListBox->item(1);
  QTest::mouseClick(form->ListBox->viewport(), Qt::LeftButton, {}, form->ListBox->visualItemRect(line).center());
  EXPECT_FALSE(form->playback().playbar().playing);
  EXPECT_FALSE(form->playback().Timer()->isActive());
  EXPECT_FALSE(form->playback().PlayView());
  EXPECT_EQ(form->SelectedPicture(), 1);
  EXPECT_EQ(form->view().viewTransform().scale, 1.0f);
  // A click on the line already selected does the same.
  form->playback().PlayButtonClick();
  QTest::mouseClick(form->ListBox->viewport(), Qt::LeftButton, {}, form->ListBox->visualItemRect(line).center());
  EXPECT_FALSE(form->playback().playbar().playing);
  EXPECT_FALSE(form->playback().PlayView());
}

TEST_F(MainForm, ProjectionFitsTheFirstPicture) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->resize(700, 530);  // the view about 572 x 445: narrower than the picture
  QTRY_COMPARE(form->Panel->width(), 700 - 128);
  form->view().MakeViewCurrent();
  double projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  form->Panel->doneCurrent();
  const double W = form->Panel->width(), H = form->Panel->height();
  ASSERT_LT(W / H, 4.0 / 3.0);  // narrower than the picture: it fills the width
  EXPECT_NEAR(2.0 / projection[0], 1.0, 1e-6);
  EXPECT_NEAR(2.0 / projection[5], H / W, 1e-6);
  form->resize(1000, 400);
  QTRY_COMPARE(form->Panel->width(), 1000 - 128);
  form->view().MakeViewCurrent();
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  form->Panel->doneCurrent();
  const double W2 = form->Panel->width(), H2 = form->Panel->height();
  ASSERT_GT(W2 / H2, 4.0 / 3.0);  // wider: it fills the height
  EXPECT_NEAR(2.0 / projection[5], 0.75, 1e-6);
  EXPECT_NEAR(2.0 / projection[0], 0.75 * W2 / H2, 1e-6);
}

TEST_F(MainForm, SaveRunsSaveAsForANewProjectAndSaveAsRenames) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  const std::string saved = project.dir.File("copy.kx");
  dialogs.answers.push_back(QString::fromStdString(saved));
  form->menus().SaveAs->trigger();
  EXPECT_EQ(dialogs.asked.back(), "Save Project|Tunnelvista (*.kx)|kx");
  EXPECT_EQ(form->Stack()->path, saved);
  EXPECT_EQ(ReadFileBytes(saved).substr(0, 19), "#Tunnelvista v1.0\r\n");

  // A project that was never saved: Save asks for a name; a cancel changes nothing.
  form->Stack()->path.clear();
  form->menus().Save->trigger();
  EXPECT_EQ(dialogs.asked.size(), 2u);
  EXPECT_TRUE(form->Stack()->path.empty());
  dialogs.answers.push_back(QString::fromStdString(project.dir.File("named.kx")));
  form->menus().Save->trigger();
  EXPECT_EQ(form->Stack()->path, project.dir.File("named.kx"));
  EXPECT_TRUE(std::filesystem::exists(project.dir.File("named.kx")));
  // With a name, Save asks nothing.
  form->menus().Save->trigger();
  EXPECT_EQ(dialogs.asked.size(), 3u);
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(MainForm, ExitAndClosingEndWithStatusZero) {
  ProjectFiles project;
  Start({QString::fromStdString(project.path)});
  form->playback().PlayButtonClick();
  form->menus().Exit->trigger();
  EXPECT_EQ(exitStatus, 0);
  EXPECT_FALSE(form->playback().playbar().playing);
  exitStatus.reset();
  form->close();
  EXPECT_EQ(exitStatus, 0);
  EXPECT_TRUE(reporter.messages.empty());  // nothing is asked
}

TEST_F(MainForm, HelpOpensTheDocumentAndItsWelcomeTopic) {
  Start();
  form->editorFiles.help = "/opt/tv/TUNNELVISTA.html";
  form->menus().HelpContents->trigger();
  form->menus().HelpGettingStarted->trigger();
  ASSERT_EQ(dialogs.opened.size(), 2u);
  EXPECT_EQ(dialogs.opened[0], QUrl::fromLocalFile("/opt/tv/TUNNELVISTA.html"));
  EXPECT_EQ(dialogs.opened[1].toLocalFile(), "/opt/tv/TUNNELVISTA.html");
  EXPECT_EQ(dialogs.opened[1].fragment(), "welcome");
}

TEST_F(MainForm, MenusCaptionsAndShortcuts) {
  Start();
  EXPECT_EQ(form->menus().FileNew->text(), "New...");
  EXPECT_EQ(form->menus().FileNew->shortcut(), QKeySequence("Ctrl+N"));
  EXPECT_EQ(form->menus().FileOpen->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_EQ(form->menus().Save->shortcut(), QKeySequence("Ctrl+S"));
  EXPECT_EQ(form->menus().Exit->shortcut(), QKeySequence("Ctrl+X"));
  EXPECT_EQ(form->menus().SaveAs->text(), "Save As...");
  EXPECT_EQ(form->menus().ExportToWeb->text(), "Export to Web...");
  EXPECT_EQ(form->menus().EditImageList->text(), "Image List...");
  EXPECT_EQ(form->menus().HelpContents->text(), "Tunnelvista Help");
  EXPECT_EQ(form->menus().HelpGettingStarted->text(), "Getting Started");
  EXPECT_EQ(form->menus().About->text(), "About...");
  EXPECT_EQ(form->Panel->size(), QSize(441, 338));
  EXPECT_EQ(form->PaintBoxControls->geometry(), QRect(128, 338, 441, 30));
  EXPECT_EQ(form->ListBox->geometry(), QRect(0, 0, 128, 339));
  // The play and pace fields in a row of their own below, whole.
  EXPECT_GE(form->ComboPlay->y(), 369);
  EXPECT_GE(form->ComboPlay->width(), form->ComboPlay->sizeHint().width());
}

}  // namespace
