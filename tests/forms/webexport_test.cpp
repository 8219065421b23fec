#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>

#include "Dlgwebexport.h"
#include "EditorFixture.h"

namespace {

namespace fs = std::filesystem;

// A project of pictures of a chosen size, all in one folder, and a template archive.
// The export runs as a job; its end comes through the event loop.
void WaitForWebExport(TmainForm* form) { QTRY_VERIFY_WITH_TIMEOUT(form->project().WebExporting() == nullptr, 60000); }

struct WebExport : EditorFixture {
  TempDir dir;
  std::string templatePath;

  void Open(std::vector<QSize> sizes, const char* duration = "10.0") {
    std::string text =
        std::string("#Tunnelvista v1.0\nduration ") + duration + "\nimages " + std::to_string(sizes.size()) + "\n";
    for (size_t i = 0; i < sizes.size(); ++i) {
      const std::string name = "pic" + std::to_string(i) + ".jpg";
      WriteJpeg(dir.File(name), sizes[i].width(), sizes[i].height(), [](int x, int y) {
        return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 77};
      });
      text += "filename " + name + "\nscale 0.5\ntranslate 0 0\nrotate 0\n";
    }
    text += "target\nscale 0.5\ntranslate 0 0\nrotate 0\n";
    WriteFileBytes(dir.File("project.kx"), text);
    templatePath = dir.File("template.jar");
    WriteFileBytes(templatePath, std::string("PK\x03\x04 a template archive", 24));
    editorFiles.appletTemplate = QString::fromStdString(templatePath);
    Start({QString::fromStdString(dir.File("project.kx"))});
    ASSERT_TRUE(form->Stack());
  }
  TFormWebExport& d() { return *windows.webExport.get(); }
  void WaitForExport() { WaitForWebExport(form); }
  bool html5 = false;  // the export's player
  void LeaveField(QLineEdit* edit) {
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
  }
  // Runs the export with `target` as directory, to its end, and returns the messages it showed.
  std::vector<std::string> Export(const std::string& target) {
    reporter.messages.clear();
    d().ComboPlayer->setCurrentIndex(html5 ? 0 : 1);
    d().EditDirectory->setText(QString::fromStdString(target));
    QTest::mouseClick(d().ButtonDone, Qt::LeftButton);
    WaitForExport();
    return reporter.Texts();
  }
};

TEST_F(WebExport, CommandFillsTheDialog) {
  Open({QSize(640, 480), QSize(300, 200)}, "12.3");
  form->menus().ExportToWeb->trigger();
  ASSERT_TRUE(d().isVisible());
  EXPECT_TRUE(d().windowFlags() & Qt::WindowStaysOnTopHint);
  // A new folder beside the project, apart from the pictures.
  EXPECT_EQ(d().EditDirectory->text().toStdString(), dir.File("project-web"));
  EXPECT_EQ(d().EditWebFilename->text(), "index.html");
  EXPECT_EQ(d().EditTitle->text(), "Tunnelvista");
  EXPECT_EQ(d().MemoCaption->toPlainText(), "This file was created automatically by the <i>Tunnelvista</i> Editor");
  EXPECT_EQ(d().EditDataFilename->text(), "default.kxo");
  EXPECT_EQ(d().EditAppletFilename->text(), "kx.jar");
  // The project's duration as single precision holds it, with up to 15 significant digits.
  EXPECT_EQ(d().EditDuration->text(), "12.3000001907349");
  EXPECT_EQ(d().EditWidth->text(), "320");
  EXPECT_EQ(d().EditHeight->text(), "240");
  EXPECT_TRUE(d().ButtonDone->isEnabled());
  EXPECT_TRUE(reporter.messages.empty());

  form->Stack()->duration = 10.0f;
  form->menus().ExportToWeb->trigger();
  EXPECT_EQ(d().EditDuration->text(), "10");
  form->Stack()->duration = 12.5f;
  form->menus().ExportToWeb->trigger();
  EXPECT_EQ(d().EditDuration->text(), "12.5");
}

TEST_F(WebExport, PicturesInTwoDirectoriesAreWarnedAbout) {
  Open({QSize(64, 48), QSize(64, 48)});
  form->Stack()->images[1]->directory = "/elsewhere";
  form->menus().ExportToWeb->trigger();
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{
                                  "Warning: Tunnelvista expects all images to be located\nin the same directory.  If "
                                  "you continue, the Web applet\nmay have difficulty locating the image files."});
  EXPECT_TRUE(d().isVisible());
}

TEST_F(WebExport, SizeFieldsFollowTheFirstPicture) {
  Open({QSize(640, 480)});
  form->menus().ExportToWeb->trigger();
  d().ComboPlayer->setCurrentIndex(1);  // the applet's box, of at most 800 x 600
  struct Case {
    QLineEdit* field;
    const char* typed;
    const char* width;
    const char* height;
  } cases[] = {
      {d().EditWidth, "320", "320", "240"},  {d().EditHeight, "600", "800", "600"},
      {d().EditWidth, "1000", "800", "600"}, {d().EditWidth, "-5", "0", "0"},
      {d().EditWidth, "abc", "abc", "0"},    {d().EditHeight, "700", "800", "600"},
  };
  for (const auto& c : cases) {
    c.field->setText(c.typed);
    LeaveField(c.field);
    EXPECT_EQ(d().EditWidth->text().toStdString(), c.width) << c.typed;
    EXPECT_EQ(d().EditHeight->text().toStdString(), c.height) << c.typed;
  }
  // An empty field left empty changes nothing.
  d().EditWidth->clear();
  LeaveField(d().EditWidth);
  EXPECT_EQ(d().EditHeight->text(), "600");
  // Without the constraint the other side stays; checking it again recomputes.
  QTest::mouseClick(d().CheckBoxConstrain, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_FALSE(d().CheckBoxConstrain->isChecked());
  d().EditWidth->setText("100");
  LeaveField(d().EditWidth);
  EXPECT_EQ(d().EditHeight->text(), "600");
  QTest::mouseClick(d().CheckBoxConstrain, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(d().EditHeight->text(), "75");
}

TEST_F(WebExport, PortraitFirstPicture) {
  Open({QSize(480, 640)});
  form->menus().ExportToWeb->trigger();
  EXPECT_EQ(d().EditHeight->text(), "320");
  EXPECT_EQ(d().EditWidth->text(), "240");
  d().EditWidth->setText("320");
  LeaveField(d().EditWidth);
  EXPECT_EQ(d().EditHeight->text(), "427");
  d().EditHeight->setText("999");
  QTest::mouseClick(d().ButtonDefaults, Qt::LeftButton);
  EXPECT_EQ(d().EditHeight->text(), "320");
  EXPECT_EQ(d().EditWidth->text(), "240");
}

TEST_F(WebExport, DurationFieldLimits) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  struct Case {
    const char* typed;
    const char* shown;
  } cases[] = {{"250", "200"}, {"-1", "0"}, {"abc", "abc"}, {"7.5", "7.5"}, {"", ""}};
  for (const auto& c : cases) {
    d().EditDuration->setText(c.typed);
    EXPECT_EQ(d().EditDuration->text().toStdString(), c.shown) << c.typed;
  }
}

TEST_F(WebExport, DoneNeedsAllFourNames) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  d().ComboPlayer->setCurrentIndex(1);  // the applet
  for (QLineEdit* field : {d().EditDirectory, d().EditWebFilename, d().EditDataFilename, d().EditAppletFilename}) {
    const QString kept = field->text();
    field->clear();
    EXPECT_FALSE(d().ButtonDone->isEnabled()) << field->objectName().toStdString();
    field->setText(kept);
    EXPECT_TRUE(d().ButtonDone->isEnabled());
  }
}

TEST_F(WebExport, ChecksRunInOrderAndWriteNothing) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("site");
  struct Case {
    const char* page;
    const char* data;
    const char* applet;
    const char* message;
  } cases[] = {
      {"index.htm", "d.kxo", "kx.jar", "The webpage filename must have an .html extension"},
      {"html", "d.kxo", "kx.jar", "The webpage filename must have an .html extension"},
      {"a.html", "kxo", "kx.jar", "Datafile must have an .kxo extension"},
      {"a.html", "d.kxo", "kx.zip", "The Java applet must have a .jar extension"},
      {"sub/a.html", "d.kxo", "kx.jar", "The webpage file must be in the same directory as the images."},
      {"a.html", "sub/default.kxo", "kx.jar",
       "The Java applet datafile file must be in the same directory as the images."},
      {"a.html", "d.kxo", "sub/kx.jar",
       "Due to Java security constraints, the Applet (.jar) location should be in\nthe same directory or a higher "
       "directory than the images and datafile.\nTo move the .jar file to a higher directory, precede the filename "
       "with\ntwo dots and a backslash (..\\)"},
  };
  for (const auto& c : cases) {
    d().EditWebFilename->setText(c.page);
    d().EditDataFilename->setText(c.data);
    d().EditAppletFilename->setText(c.applet);
    EXPECT_EQ(Export(out), std::vector<std::string>{c.message}) << c.page << " " << c.data << " " << c.applet;
    EXPECT_TRUE(d().isVisible());
  }
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(dialogs.opened.empty());
}

TEST_F(WebExport, CancelOnTheCreateQuestionWritesNothing) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("new/site");
  reporter.answers.push_back(MessageAnswer::Cancel);
  const auto messages = Export(out);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "The target directory does not exist:\n\n    " + out + "\n\nWould you like to create it?");
  EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::OkCancel);
  EXPECT_FALSE(fs::exists(dir.File("new")));
}

TEST_F(WebExport, CancelOnTheOverwriteQuestionWritesNothing) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("site");
  fs::create_directory(out);
  WriteFileBytes(out + "/index.html", "old page");
  WriteFileBytes(out + "/pic0.jpg", "old picture");
  reporter.answers.push_back(MessageAnswer::Cancel);
  const auto messages = Export(out);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "The following files already exist and will be overwritten:\n\n    " + out +
                             "/index.html\n    " + out + "/pic0.jpg\n    \nWould you like to continue?");
  EXPECT_EQ(ReadFileBytes(out + "/index.html"), "old page");
  EXPECT_FALSE(fs::exists(out + "/default.kxo"));
}

TEST_F(WebExport, CreateThenCancelOverwriteLeavesTheDirectoryUncreated) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  // The archive one level up already exists, so the overwrite question comes after the create one.
  const std::string out = dir.File("made/site");
  fs::create_directory(dir.File("made"));
  WriteFileBytes(dir.File("made/kx.jar"), "old");
  d().EditAppletFilename->setText("..\\kx.jar");
  reporter.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
  EXPECT_EQ(Export(out).size(), 2u);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(WebExport, ExportWritesThePageDataArchiveAndPictures) {
  Open({QSize(640, 480), QSize(320, 240), QSize(200, 150)});
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("web/zoom");
  d().EditWebFilename->setText("INDEX.HTML");
  d().EditAppletFilename->setText("..\\kx.jar");
  d().EditDuration->setText("15");
  reporter.answers.push_back(MessageAnswer::Ok);  // create the directory
  const auto messages = Export(out);
  ASSERT_EQ(messages.size(), 1u);  // the create question only
  EXPECT_FALSE(d().isVisible());
  for (const char* name : {"INDEX.HTML", "default.kxo", "pic0.jpg", "pic1.jpg", "pic2.jpg"})
    EXPECT_TRUE(fs::exists(out + "/" + name)) << name;
  EXPECT_EQ(ReadFileBytes(dir.File("web/kx.jar")), ReadFileBytes(templatePath));  // one directory up
  EXPECT_EQ(ReadFileBytes(out + "/pic1.jpg"), ReadFileBytes(dir.File("pic1.jpg")));
  const std::string page = ReadFileBytes(out + "/INDEX.HTML");
  EXPECT_NE(page.find("ARCHIVE = \"../kx.jar\""), std::string::npos);
  EXPECT_NE(page.find("<PARAM NAME=filename VALUE=\"default.kxo\">"), std::string::npos);
  const std::string data = ReadFileBytes(out + "/default.kxo");
  EXPECT_EQ(data.substr(0, 30), "#Tunnelvista-optimized v1.0   ");
  EXPECT_EQ(data.substr(34, 4), std::string("\x41\x70\x00\x00", 4));  // the dialog's 15 s, not the project's 10
  ASSERT_EQ(dialogs.opened.size(), 1u);
  EXPECT_EQ(dialogs.opened[0].toLocalFile().toStdString(), out + "/INDEX.HTML");
}

TEST_F(WebExport, DisplayValuesAreLimitedSilently) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  struct Case {
    const char* width;
    const char* height;
    bool controls;
    const char* duration;
    const char* expectWidth;
    const char* expectHeight;
    const char* expectDuration;
  } cases[] = {
      {"30", "700", false, "0", "50", "600", "1.000000"},
      {"30", "700", true, "abc", "50", "620", "1.000000"},
      {"", "10", false, "", "50", "50", "1.000000"},
      {"900", "100", true, "500", "800", "120", "200.000000"},
  };
  int run = 0;
  for (const auto& c : cases) {
    d().CheckBoxConstrain->setChecked(false);
    d().EditWidth->setText(c.width);
    d().EditHeight->setText(c.height);
    d().CheckBoxShowControls->setChecked(c.controls);
    d().EditDuration->setText(c.duration);
    const std::string out = dir.File("out" + std::to_string(run++));
    fs::create_directory(out);
    Export(out);
    const std::string page = ReadFileBytes(out + "/index.html");
    EXPECT_NE(page.find(std::string("<tr><td width=") + c.expectWidth + " height=" + c.expectHeight + " "),
              std::string::npos)
        << c.width << "x" << c.height;
    EXPECT_NE(page.find(std::string("duration =\"") + c.expectDuration + "\""), std::string::npos) << c.duration;
    form->menus().ExportToWeb->trigger();
  }
}

TEST_F(WebExport, PicturesAlreadyInTheTargetAreNeitherListedNorCopied) {
  Open({QSize(64, 48), QSize(64, 48)});
  const std::string original = ReadFileBytes(dir.File("pic0.jpg"));
  fs::create_directory_symlink(dir.path(), dir.File("link"));
  const std::string spellings[] = {dir.path(), dir.path() + "/", dir.path() + "/.", dir.File("link"),
                                   dir.File("link/../") + fs::path(dir.path()).filename().string()};
  for (const std::string& target : spellings) {
    form->menus().ExportToWeb->trigger();
    reporter.answers.push_back(MessageAnswer::Ok);  // the page and data of the run before
    const auto messages = Export(target);
    for (const auto& m : messages) EXPECT_EQ(m.find("pic0.jpg"), std::string::npos) << target << ": " << m;
    EXPECT_EQ(ReadFileBytes(dir.File("pic0.jpg")), original) << target;
    EXPECT_EQ(ReadFileBytes(dir.File("pic1.jpg")).size(), fs::file_size(dir.File("pic1.jpg")));
  }
}

TEST_F(WebExport, MissingTemplateIsReportedAndThePageStillOpens) {
  Open({QSize(64, 48)});
  form->editorFiles.appletTemplate = QString::fromStdString(dir.File("no-such.jar"));
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("site");
  fs::create_directory(out);
  const auto messages = Export(out);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "The Java Archive (.jar) template could not be found at its expected location\nand may "
            "have been deleted.\n\n    " +
                dir.File("no-such.jar") + "\n\nUnable to create new .jar file.");
  EXPECT_TRUE(fs::exists(out + "/index.html"));
  EXPECT_TRUE(fs::exists(out + "/pic0.jpg"));
  EXPECT_EQ(dialogs.opened.size(), 1u);
}

TEST_F(WebExport, CancelAndCloseHideTheDialogAndKeepTheSettings) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  d().EditTitle->setText("My zoom");
  QTest::mouseClick(d().ButtonCancel, Qt::LeftButton);
  EXPECT_FALSE(d().isVisible());
  form->menus().ExportToWeb->trigger();
  EXPECT_EQ(d().EditTitle->text(), "My zoom");
  d().close();
  EXPECT_FALSE(d().isVisible());
  // Opening a project restores the defaults.
  dialogs.answers.push_back(QString::fromStdString(dir.File("project.kx")));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  EXPECT_EQ(d().EditTitle->text(), "Tunnelvista");
}

// The HTML5 choice, the default: a player folder with every file stands in for the real one.
struct Html5WebExport : WebExport {
  TempDir player;
  Html5WebExport() {
    html5 = true;
    for (const char* name : webPlayerFiles) WriteFileBytes(player.File(name), name);
    editorFiles.webPlayer = QString::fromStdString(player.path());
  }
};

TEST_F(Html5WebExport, ChoicesEnableTheirFields) {
  Open({QSize(640, 480)});
  form->menus().ExportToWeb->trigger();
  EXPECT_EQ(d().Player(), WebPlayer::Html5);
  EXPECT_EQ(d().PictureSide(), 0);
  EXPECT_FALSE(d().EditAppletFilename->isEnabled());
  EXPECT_TRUE(d().ComboPictureSize->isEnabled());
  EXPECT_TRUE(d().LabelWeight->text().contains("MB"));
  d().ComboPictureSize->setCurrentIndex(2);
  EXPECT_EQ(d().PictureSide(), 2048);
  d().ComboPlayer->setCurrentIndex(1);
  EXPECT_TRUE(d().EditAppletFilename->isEnabled());
  EXPECT_FALSE(d().ComboPictureSize->isEnabled());
  EXPECT_EQ(d().PictureSide(), 0);  // the applet shows the original files
  QTest::mouseClick(d().ButtonDefaults, Qt::LeftButton);
  EXPECT_EQ(d().Player(), WebPlayer::Html5);
  EXPECT_EQ(d().ComboPictureSize->currentIndex(), 0);
}

// The HTML5 page fills the window unless a fixed size is chosen; only then do the size fields
// count, named for the page and limited to its 7680 x 4320. The applet keeps its box and names.
TEST_F(Html5WebExport, PageSizeChoiceAndItsFields) {
  Open({QSize(640, 480)});
  form->menus().ExportToWeb->trigger();
  const auto label = [this](const char* text) {
    for (QLabel* l : d().GroupBox1->findChildren<QLabel*>())
      if (l->text() == QLatin1String(text)) return l->isVisible();
    return false;
  };
  EXPECT_EQ(d().Request().pageSize, WebPageSize::FillWindow);
  EXPECT_TRUE(d().ComboPageSize->isEnabled());
  EXPECT_FALSE(d().EditWidth->isEnabled());
  EXPECT_TRUE(label("Page Width") && label("Page Height"));
  d().ComboPageSize->setCurrentIndex(1);
  EXPECT_EQ(d().Request().pageSize, WebPageSize::Fixed);
  EXPECT_TRUE(d().EditWidth->isEnabled() && d().EditHeight->isEnabled());
  d().EditWidth->setText("1920");
  LeaveField(d().EditWidth);
  EXPECT_EQ(d().EditHeight->text(), "1440");
  d().EditWidth->setText("9000");
  LeaveField(d().EditWidth);
  EXPECT_EQ(d().EditWidth->text(), "7680");
  d().ComboPlayer->setCurrentIndex(1);
  EXPECT_FALSE(d().ComboPageSize->isEnabled());
  EXPECT_TRUE(d().EditWidth->isEnabled());
  EXPECT_TRUE(label("Applet Width") && label("Applet Height"));
  EXPECT_EQ(d().EditWidth->text(), "800");
  EXPECT_EQ(d().EditHeight->text(), "600");

  d().ComboPlayer->setCurrentIndex(0);
  d().ComboPageSize->setCurrentIndex(0);
  const std::string out = dir.File("site");
  fs::create_directory(out);
  Export(out);
  EXPECT_NE(ReadFileBytes(out + "/index.html").find("<html class=\"tv-fill\">"), std::string::npos);
}

TEST_F(Html5WebExport, ExportOpensThePageOrSaysWhyNot) {
  Open({QSize(64, 48), QSize(32, 24)});
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("site");
  fs::create_directory(out);
  dialogs.openSucceeds = false;
  EXPECT_EQ(Export(out),
            std::vector<std::string>{"No browser could be opened to show the file:\n\n    " + out + "/index.html"});
  EXPECT_FALSE(d().isVisible());
  for (const char* name : {"default.kxo.js", "pic1.jpg", "pic1.jpg.js", "tunnelvista-player/player.css"})
    EXPECT_TRUE(fs::exists(out + "/" + name)) << name;
  EXPECT_NE(ReadFileBytes(out + "/index.html").find("\"sizes\": [[64, 48], [32, 24]]"), std::string::npos);

  reporter.messages.clear();
  form->menus().HelpContents->trigger();
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].text.find(form->editorFiles.help.toStdString()), std::string::npos);
}

TEST_F(Html5WebExport, FailedPageWriteStopsTheExport) {
  Open({QSize(64, 48)});
  form->menus().ExportToWeb->trigger();
  const std::string out = dir.File("site");
  fs::create_directories(out + "/index.html");    // a directory where the page would go
  reporter.answers.push_back(MessageAnswer::Ok);  // replace it
  const auto messages = Export(out);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], "Error opening file " + out + "/index.html for writing\n");
  EXPECT_FALSE(fs::exists(out + "/pic0.jpg"));
  EXPECT_FALSE(fs::exists(out + "/default.kxo"));
  EXPECT_TRUE(dialogs.opened.empty());
  EXPECT_TRUE(d().isVisible());
}

// The command line's applet export, with the dialog's defaults, writes the very files the dialog
// writes.
TEST_F(WebExport, TheCommandLineWritesWhatTheDialogWrites) {
  if (std::string(TV_KX_JAR).empty()) GTEST_SKIP() << "built without a Java development kit";
  Open({QSize(640, 480), QSize(300, 200)}, "12.3");
  form->editorFiles.appletTemplate = TV_KX_JAR;
  form->menus().ExportToWeb->trigger();
  const std::string fromDialog = dir.File("dialog"), fromCommand = dir.File("command");
  fs::create_directory(fromDialog);
  const std::vector<std::string> shown = Export(fromDialog);
  ASSERT_TRUE(shown.empty()) << shown[0];
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(TV_PROGRAM) + " --export-web " +
                              fromCommand + " --player applet " + dir.File("project.kx");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fromDialog)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names.size(), static_cast<size_t>(std::distance(fs::directory_iterator(fromCommand), {})));
  EXPECT_GE(names.size(), 5u);  // page, data file, archive, two pictures
  for (const std::string& name : names)
    EXPECT_EQ(ReadFileBytes(fromDialog + "/" + name), ReadFileBytes(fromCommand + "/" + name)) << name;
}

// The exported zoom, played by the real web player from the exported files: its first frame is
// the first picture (red, with its green child in the middle), its last the target frame (green).
struct ExportedZoomFixture : EditorFixture {};

TEST_F(ExportedZoomFixture, FirstAndLastFramesInTheWebPlayer) {
  if (std::string(TV_KX_JAR).empty()) GTEST_SKIP() << "built without a Java development kit";
  ProjectFiles project(2);
  editorFiles.appletTemplate = TV_KX_JAR;
  Start({QString::fromStdString(project.path)});
  form->menus().ExportToWeb->trigger();
  const std::string out = project.dir.File("site");
  fs::create_directory(out);
  windows.webExport->EditDirectory->setText(QString::fromStdString(out));
  windows.webExport->ComboPlayer->setCurrentIndex(1);
  QTest::mouseClick(windows.webExport->ButtonDone, Qt::LeftButton);
  WaitForWebExport(form);
  ASSERT_TRUE(reporter.messages.empty()) << reporter.messages[0].text;
  ASSERT_EQ(ReadFileBytes(out + "/kx.jar"), ReadFileBytes(TV_KX_JAR));

  auto render = [&](const char* t) {
    const std::string png = out + "/frame" + t + ".png";
    const std::string command = std::string(TV_JAVA) + " -Djava.awt.headless=true -jar " + out + "/kx.jar --render " +
                                t + " 400 300 " + png + " " + out + "/default.kxo";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
  };
  auto near = [](QRgb p, int r, int g, int b) {
    return std::abs(qRed(p) - r) < 30 && std::abs(qGreen(p) - g) < 30 && std::abs(qBlue(p) - b) < 30;
  };
  const QImage first = render("0");
  ASSERT_EQ(first.size(), QSize(400, 300));
  EXPECT_TRUE(near(first.pixel(200, 150), 40, 200, 40));
  EXPECT_TRUE(near(first.pixel(80, 150), 200, 40, 40));
  EXPECT_TRUE(near(first.pixel(200, 40), 200, 40, 40));
  const QImage last = render("1");
  for (QPoint p : {QPoint(200, 150), QPoint(10, 10), QPoint(390, 290)})
    EXPECT_TRUE(near(last.pixel(p), 40, 200, 40)) << p.x() << "," << p.y();
}

}  // namespace
