#include <QLabel>
#include <QListWidget>

#include <cstdlib>
#include <filesystem>

#include "Dlgabout.h"
#include "Dlgwebexport.h"
#include "EditorFixture.h"
#include "Imageeditor.h"

namespace {

using Windows = EditorFixture;

TEST_F(Windows, FiveWindowsExistAndOnlyTheMainOneShows) {
  Start();
  EXPECT_EQ(mainForm, windows.main.get());
  EXPECT_EQ(FormBitmap, windows.bitmap.get());
  EXPECT_EQ(FormImageList, windows.imageList.get());
  EXPECT_EQ(FormAbout, windows.about.get());
  EXPECT_EQ(FormWebExport, windows.webExport.get());
  EXPECT_TRUE(form->isVisible());
  for (QWidget* w : std::initializer_list<QWidget*>{FormBitmap, FormImageList, FormAbout, FormWebExport})
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  // The bitmap holder's pictures, in the sizes the play bar and the handles are built from.
  EXPECT_EQ(FormBitmap->HandleImage.size(), QSize(32, 16));
  EXPECT_TRUE(FormBitmap->HandleImage.hasAlphaChannel());
  EXPECT_EQ(FormBitmap->ImageControlsPlay.size(), QSize(33, 30));
  EXPECT_EQ(FormBitmap->ImageControlsPause.size(), QSize(33, 30));
  EXPECT_EQ(FormBitmap->ImageControlsCenter.size(), QSize(1, 30));
  EXPECT_EQ(FormBitmap->ImageControlsRight.size(), QSize(12, 30));
  EXPECT_EQ(FormBitmap->ImageSlider.size(), QSize(8, 15));
  ASSERT_TRUE(mainForm);
  EXPECT_NE(mainForm->Panel->renderer(), nullptr);  // made once the view had its context
}

TEST_F(Windows, AboutBoxShowsOnTopAndHidesOnAClickOrClose) {
  Start();
  form->About->trigger();
  ASSERT_TRUE(FormAbout->isVisible());
  EXPECT_EQ(FormAbout->windowTitle(), "About Tunnelvista");
  EXPECT_TRUE(FormAbout->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(FormAbout->isModal());
  EXPECT_EQ(FormAbout->size(), QSize(338, 276));
  EXPECT_EQ(FormAbout->ImageLogo->pixmap().size(), QSize(338, 256));
  // Centred over the main window.
  const QPoint offset = FormAbout->frameGeometry().center() - form->frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 30);
  // Asked again while visible: stays visible.
  form->About->trigger();
  EXPECT_TRUE(FormAbout->isVisible());

  QTest::mouseClick(FormAbout->ImageLogo, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_FALSE(FormAbout->isVisible());
  EXPECT_EQ(FormAbout, windows.about.get());  // hidden, not destroyed

  form->About->trigger();
  ASSERT_TRUE(FormAbout->isVisible());
  FormAbout->close();
  EXPECT_FALSE(FormAbout->isVisible());
  form->About->trigger();
  EXPECT_TRUE(FormAbout->isVisible());
  QTest::keyClick(FormAbout, Qt::Key_Escape);
  EXPECT_FALSE(FormAbout->isVisible());
}

// A dialog taller than the main window, over a window at the top of the screen, still opens
// wholly on the screen.
TEST_F(Windows, DialogsOpenOnTheScreen) {
  Start();
  const QRect free = form->screen()->availableGeometry();
  form->move(free.topLeft());
  QTest::qWait(50);
  FormAbout->setFixedSize(338, free.height() - 20);  // hidden: the next showing places it
  form->About->trigger();
  ASSERT_TRUE(FormAbout->isVisible());
  EXPECT_GE(FormAbout->frameGeometry().top(), free.top());
  EXPECT_GE(FormAbout->frameGeometry().left(), free.left());
  FormAbout->close();
  FormAbout->setFixedSize(338, 276);
}

// The project the main-job command opens: eight fractal pictures rendered for their placements.
// CTest makes the demo once (TV_DEMO_DIR); it is copied, so that nothing the editor might write
// beside the project reaches the other tests' copy.
TEST_F(Windows, OpensTheDemoProject) {
  TempDir dir;
  const char* made = std::getenv("TV_DEMO_DIR");
  if (made && std::filesystem::exists(std::string(made) + "/demo.kx")) {
    std::filesystem::copy(made, dir.path(), std::filesystem::copy_options::recursive);
  } else {
    const std::string command = std::string(TV_MAKE_DEMO) + " " + dir.path() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  Start({QString::fromStdString(dir.File("demo.kx"))});
  ASSERT_TRUE(form->imageStack);
  EXPECT_EQ(form->ListBox->count(), 8);
  EXPECT_EQ(form->ListBox->item(0)->text(), "demo1.jpg");
  EXPECT_TRUE(reporter.messages.empty());
  // Playing through the zoom: every frame is a picture, never the bare background (but for the
  // thin bands above and below a 4:3 picture in this view).
  for (float t : {0.0f, 0.3f, 0.6f, 1.0f}) {
    form->playbar.position = t;
    form->TrackBarChange();
    const QImage view = ViewImage();
    int background = 0;
    for (int y = 8; y < view.height() - 8; y += 16)
      for (int x = 0; x < view.width(); x += 16)
        if (view.pixel(x, y) == qRgb(64, 64, 64)) ++background;
    EXPECT_LT(background, 10) << "t = " << t;
  }
}

}  // namespace
