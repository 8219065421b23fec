// The windows that work on the open project while another takes its place (File > Open, a
// dropped project, the opening's Cancel): each closes or follows the new project by itself, and
// nothing that reads the pictures starts before they are all checked.

#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include "Dlgplacement.h"
#include "Dlgvideoexport.h"
#include "Dlgwebexport.h"
#include "EditorFixture.h"

namespace {

struct ReplacedProject : EditorFixture {
  ProjectFiles first{2, "10.0", "first.kx"};
  ProjectFiles second{3, "7.5", "second.kx"};

  // The second project opens in the first's place the way File > Open opens it, without the
  // windows being told first; its pictures are still being checked afterwards.
  void OpenSecond() {
    ASSERT_TRUE(form->project().Open(second.path));
    ASSERT_TRUE(form->Opening());
  }
  bool StillOpeningSaid() const {
    for (const std::string& text : reporter.Texts())
      if (text.find("still opening") != std::string::npos) return true;
    return false;
  }
};

TEST_F(ReplacedProject, WebExportFollowsTheNewProjectAndWaitsForItsPictures) {
  Start({QString::fromStdString(first.path)});
  TFormWebExport& d = *windows.webExport;
  form->menus().ExportToWeb->trigger();
  ASSERT_TRUE(d.isVisible());
  EXPECT_EQ(d.EditDirectory->text().toStdString(), first.dir.File("first-web"));

  OpenSecond();
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(d.EditDirectory->text().toStdString(), second.dir.File("second-web"));
  EXPECT_EQ(d.EditDuration->text(), "7.5");
  // Its pictures would count as unloadable: Done waits, and asking anyway is refused.
  EXPECT_FALSE(d.ButtonDone->isEnabled());
  form->commands().StartWebExport();
  EXPECT_TRUE(StillOpeningSaid());
  EXPECT_EQ(form->project().WebExporting(), nullptr);

  WaitForOpen();
  EXPECT_TRUE(d.ButtonDone->isEnabled());
  EXPECT_EQ(d.EditDirectory->text().toStdString(), second.dir.File("second-web"));
  EXPECT_EQ(d.EditDuration->text(), "7.5");
  EXPECT_EQ(d.EditWidth->text(), "320");  // the new first picture's shape

  // With no project left there is nothing to export.
  form->project().SetStack(nullptr);
  EXPECT_FALSE(d.isVisible());
}

TEST_F(ReplacedProject, PlacementImageListAndVideoDialogsClose) {
  Start({QString::fromStdString(first.path)});
  form->EditFirstPicture();
  form->menus().EditPlacement->trigger();
  QPointer<TFormPlacement> placement = form->findChild<TFormPlacement*>();
  ASSERT_TRUE(placement && placement->isVisible());
  OpenSecond();
  EXPECT_TRUE(!placement || !placement->isVisible());
  WaitForOpen();

  form->menus().EditImageList->trigger();
  ASSERT_TRUE(windows.imageList->isVisible());
  OpenSecond();
  EXPECT_FALSE(windows.imageList->isVisible());
  WaitForOpen();
  // Its Done can no longer hand the old list to the new project.
  EXPECT_EQ(form->Stack()->pictureCount(), 3);
  EXPECT_FALSE(form->project().Modified());

  form->menus().ExportVideo->trigger();
  auto* video = form->findChild<TFormVideoExport*>();
  ASSERT_TRUE(video && video->isVisible());
  OpenSecond();
  EXPECT_FALSE(video->isVisible());
  WaitForOpen();
}

TEST_F(ReplacedProject, AligningMatchingAndTheImageListWaitForTheOpening) {
  Start({QString::fromStdString(first.path)});
  OpenSecond();
  QMenu* edit = form->menus().EditAlign->associatedObjects().isEmpty()
                    ? nullptr
                    : qobject_cast<QMenu*>(form->menus().EditAlign->associatedObjects().first());
  ASSERT_NE(edit, nullptr);
  emit edit->aboutToShow();
  EXPECT_FALSE(form->menus().EditAlign->isEnabled());
  EXPECT_FALSE(form->menus().EditMatchAllColours->isEnabled());
  emit edit->aboutToHide();
  // The keys still reach the commands, which say why nothing happens.
  form->commands().AlignAllClick();
  EXPECT_TRUE(StillOpeningSaid());
  EXPECT_EQ(form->project().Aligning(), nullptr);
  reporter.messages.clear();
  form->commands().MatchAllColoursClick();
  EXPECT_TRUE(StillOpeningSaid());
  // The image list's lines would be pictures the check is still filling in.
  form->commands().EditImageListClick();
  EXPECT_FALSE(windows.imageList->isVisible());
  WaitForOpen();
}

}  // namespace
