#include <GL/gl.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <filesystem>

#include "EditorFixture.h"
#include "TestFiles.h"

namespace {

// A small project in a temporary folder: pictures of 400 x 300 in plain colours, each half the
// size of the one before and centred, and the target frame half the size of the last.
struct Project {
  TempDir dir;
  std::string path;

  explicit Project(int pictures = 2, const char* duration = "10.0") {
    const Rgb colours[] = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {200, 200, 40}};
    std::string text = std::string("#Tunnelvista v1.0\r\nduration ") + duration + "\r\nimages " +
                       std::to_string(pictures) + "\r\n\r\n";
    for (int i = 0; i < pictures; ++i) {
      const std::string name = "p" + std::to_string(i) + ".jpg";
      const Rgb c = colours[i % 4];
      WriteJpeg(dir.File(name), 400, 300, [c](int, int) { return c; });
      text += "filename " + name + "\r\nscale " + (i == 0 ? "1" : "0.5") + "\r\ntranslate 0 0\r\nrotate 0\r\n\r\n";
    }
    text += "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
    path = dir.File("project.kx");
    WriteFileBytes(path, text);
  }
};

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
  for (QAction* action : {form->Save, form->SaveAs, form->ExportToWeb, form->EditImageList})
    EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
  for (QAction* action : {form->FileNew, form->FileOpen, form->Exit, form->HelpContents, form->About})
    EXPECT_TRUE(action->isEnabled());
  EXPECT_FALSE(form->imageStack);
  const QImage view = ViewImage();
  EXPECT_TRUE(Near(Centre(view), 64, 64, 64, 1));
  EXPECT_TRUE(Near(view.pixel(2, 2), 64, 64, 64, 1));
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(MainForm, OpensTheProjectNamedOnTheCommandLine) {
  Project project;
  Start({QString::fromStdString(project.path)});
  ASSERT_TRUE(form->imageStack);
  EXPECT_EQ(form->imageStack->path, project.path);
  EXPECT_EQ(form->ListBox->count(), 2);
  EXPECT_EQ(form->ListBox->item(0)->text(), "p0.jpg");
  EXPECT_EQ(form->SelectedPicture(), 0);
  EXPECT_TRUE(form->Save->isEnabled());
  EXPECT_TRUE(form->EditImageList->isEnabled());
  // The edit view of the first picture: red picture, its green child at 60 % in the middle.
  const QImage view = ViewImage();
  if (const char* shot = std::getenv("TV_SCREENSHOT")) form->grab().save(shot);
  QRgb centre = Centre(view);
  EXPECT_GT(qGreen(centre), 120);
  EXPECT_GT(qRed(centre), 60);
  EXPECT_TRUE(reporter.messages.empty()) << reporter.messages[0].text;
}

}  // namespace
