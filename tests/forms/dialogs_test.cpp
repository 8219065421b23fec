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
  EXPECT_EQ(form, windows.main.get());
  EXPECT_TRUE(windows.bitmap);
  EXPECT_TRUE(windows.imageList);
  EXPECT_TRUE(windows.about);
  EXPECT_TRUE(windows.webExport);
  EXPECT_TRUE(form->isVisible());
  for (QWidget* w : std::initializer_list<QWidget*>{windows.bitmap.get(), windows.imageList.get(), windows.about.get(),
                                                    windows.webExport.get()})
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  // The bitmap holder's pictures, in the sizes the play bar and the handles are built from.
  EXPECT_EQ(windows.bitmap->HandleImage.size(), QSize(32, 16));
  EXPECT_TRUE(windows.bitmap->HandleImage.hasAlphaChannel());
  EXPECT_EQ(windows.bitmap->ImageControlsPlay.size(), QSize(33, 30));
  EXPECT_EQ(windows.bitmap->ImageControlsPause.size(), QSize(33, 30));
  EXPECT_EQ(windows.bitmap->ImageControlsCenter.size(), QSize(1, 30));
  EXPECT_EQ(windows.bitmap->ImageControlsRight.size(), QSize(12, 30));
  EXPECT_EQ(windows.bitmap->ImageSlider.size(), QSize(8, 15));
  ASSERT_TRUE(form);
  EXPECT_NE(form->Panel->renderer(), nullptr);  // made once the view had its context
}

TEST_F(Windows, AboutBoxShowsOnTopAndHidesOnAClickOrClose) {
  Start();
  form->menus().About->trigger();
  ASSERT_TRUE(windows.about->isVisible());
  EXPECT_EQ(windows.about->windowTitle(), "About Tunnelvista");
  EXPECT_TRUE(windows.about->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(windows.about->isModal());
  EXPECT_EQ(windows.about->size(), QSize(338, 276));
  EXPECT_EQ(windows.about->ImageLogo->pixmap().size(), QSize(338, 256));
  // Centred over the main window.
  const QPoint offset = windows.about->frameGeometry().center() - form->frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 30);
  // Asked again while visible: stays visible.
  form->menus().About->trigger();
  EXPECT_TRUE(windows.about->isVisible());

  QTest::mouseClick(windows.about->ImageLogo, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_FALSE(windows.about->isVisible());
  EXPECT_TRUE(windows.about);  // hidden, not destroyed

  form->menus().About->trigger();
  ASSERT_TRUE(windows.about->isVisible());
  windows.about->close();
  EXPECT_FALSE(windows.about->isVisible());
  form->menus().About->trigger();
  EXPECT_TRUE(windows.about->isVisible());
  QTest::keyClick(windows.about.get(), Qt::Key_Escape);
  EXPECT_FALSE(windows.about->isVisible());
}

// A dialog taller than the main window, over a window at the top of the screen, still opens
// wholly on the screen.
TEST_F(Windows, DialogsOpenOnTheScreen) {
  Start();
  const QRect free = form->screen()->availableGeometry();
  form->move(free.topLeft());
  QTest::qWait(50);
  windows.about->setFixedSize(338, free.height() - 20);  // hidden: the next showing places it
  form->menus().About->trigger();
  ASSERT_TRUE(windows.about->isVisible());
  EXPECT_GE(windows.about->frameGeometry().top(), free.top());
  EXPECT_GE(windows.about->frameGeometry().left(), free.left());
  windows.about->close();
  windows.about->setFixedSize(338, 276);
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
  ASSERT_TRUE(form->Stack());
  EXPECT_EQ(form->ListBox->count(), 8);
  EXPECT_EQ(form->ListBox->item(0)->text(), "demo1.jpg");
  EXPECT_TRUE(reporter.messages.empty());
  // Playing through the zoom: every frame is a picture, never the bare background (but for the
  // thin bands above and below a 4:3 picture in this view).
  for (float t : {0.0f, 0.3f, 0.6f, 1.0f}) {
    form->playback().playbar().position = t;
    form->playback().TrackBarChange();
    const QImage view = ViewImage();
    int background = 0;
    for (int y = 8; y < view.height() - 8; y += 16)
      for (int x = 0; x < view.width(); x += 16)
        if (view.pixel(x, y) == qRgb(64, 64, 64)) ++background;
    EXPECT_LT(background, 10) << "t = " << t;
  }
}

}  // namespace
