// File > Export Video...: the dialog, the progress dialog and its Cancel, the message at the end,
// on a real project.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <filesystem>

#include "Dlgvideoexport.h"
#include "EditorFixture.h"

namespace {

namespace fs = std::filesystem;

struct VideoExport : EditorFixture {
  ProjectFiles project{3, "4.0"};
  TFormVideoExport* d = nullptr;

  void OpenDialog() {
    Start({QString::fromStdString(project.path)});
    ASSERT_TRUE(form->menus().ExportVideo->isEnabled());
    form->menus().ExportVideo->trigger();
    d = form->findChild<TFormVideoExport*>();
    ASSERT_TRUE(d && d->isVisible());
    d->ComboSize->setCurrentIndex(d->ComboSize->count() - 1);  // custom
    d->EditWidth->setValue(160);
    d->EditHeight->setValue(120);
  }
  int FilesBesideProject() {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(project.dir.path()))
      n += entry.path().extension() != ".jpg" && entry.path().extension() != ".kx";
    return n;
  }
};

TEST_F(VideoExport, MakesTheVideoOrCancelsLeavingNoFile) {
  OpenDialog();
  EXPECT_EQ(d->EditDuration->text(), "4");
  EXPECT_EQ(d->EditFileName->text().toStdString(), project.dir.File("project.mp4"));
  for (bool cancel : {true, false}) {
    reporter.messages.clear();
    reporter.answers = {MessageAnswer::Folder};
    d->EditDuration->setText(cancel ? "600" : "1");
    QTest::mouseClick(d->ButtonExport, Qt::LeftButton);
    ASSERT_TRUE(d->Running());
    EXPECT_FALSE(d->isVisible());
    ASSERT_TRUE(d->Progress && d->Progress->isVisible());
    if (cancel) {
      QTRY_VERIFY_WITH_TIMEOUT(d->Progress->value() >= 2, 60000);
      QPushButton* cancelButton = d->Progress->findChild<QPushButton*>();
      ASSERT_TRUE(cancelButton);
      QTest::mouseClick(cancelButton, Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!d->Running(), 60000);
    EXPECT_FALSE(d->Progress->isVisible());
    if (cancel) {
      EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"The video export was cancelled; no file was written."});
      EXPECT_EQ(FilesBesideProject(), 0);
      form->menus().ExportVideo->trigger();
    } else {
      // Where the video is, with the offer to open it or its folder.
      ASSERT_EQ(reporter.messages.size(), 1u);
      EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::OpenFolderClose);
      EXPECT_NE(reporter.messages[0].text.find(project.dir.File("project.mp4")), std::string::npos);
      EXPECT_EQ(dialogs.opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(project.dir.path()))});
      EXPECT_GT(fs::file_size(project.dir.File("project.mp4")), 0u);
      EXPECT_EQ(FilesBesideProject(), 1);
    }
  }
}

TEST_F(VideoExport, PreviewFollowsTheSliderAndTheSettings) {
  OpenDialog();
  QTRY_VERIFY_WITH_TIMEOUT(!d->PreviewImage->pixmap().isNull(), 60000);
  EXPECT_EQ(d->PreviewImage->pixmap().size(), QSize(160, 120));
  EXPECT_EQ(d->LabelResult->text(), "160 x 120, 4.0 s, 120 frames");
  const QImage first = d->PreviewImage->pixmap().toImage();
  d->ComboDirection->setCurrentIndex(static_cast<int>(VideoDirection::InOut));
  d->SliderPreview->setValue(d->SliderPreview->maximum() / 2);  // the turn: the target frame
  EXPECT_EQ(d->LabelResult->text(), "160 x 120, 7.9 s, 238 frames");
  // The red first picture at the corner gives way to the blue last one about the target frame.
  EXPECT_GT(first.pixelColor(4, 4).red(), 150);
  QTRY_VERIFY_WITH_TIMEOUT(d->PreviewImage->pixmap().toImage().pixelColor(4, 4).blue() > 150, 60000);
  d->hide();
  EXPECT_TRUE(reporter.Texts().empty());
}

TEST_F(VideoExport, SettingsThatCannotBeMadeAreSaidBeforeAnythingStarts) {
  OpenDialog();
  d->EditWidth->setValue(161);
  QTest::mouseClick(d->ButtonExport, Qt::LeftButton);
  d->EditWidth->setValue(160);
  d->EditFileName->setText(QString::fromStdString(project.dir.File("zoom.avi")));
  QTest::mouseClick(d->ButtonExport, Qt::LeftButton);
  const std::vector<std::string> said = reporter.Texts();
  ASSERT_EQ(said.size(), 2u);
  EXPECT_NE(said[0].find("even"), std::string::npos) << said[0];
  EXPECT_NE(said[1].find(".mp4"), std::string::npos) << said[1];
  EXPECT_FALSE(d->Running());
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(FilesBesideProject(), 0);
}

}  // namespace
