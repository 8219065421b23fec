// Align Automatically and Align All in the editor, on stacks cut from a corpus photograph.

#include <QAction>
#include <QProgressDialog>
#include <QUndoStack>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "AlignStack.h"
#include "AlignTestStacks.h"
#include "EditorFixture.h"
#include "Imageeditor.h"

namespace {

struct MainFormAlign : EditorFixture {
  TempDir dir;
  std::vector<AlignStackPicture> truth;

  // A stack of three whose placements were reset, or are exact.
  void OpenStack(bool reset = true) {
    truth = WriteCorpusStack(dir, "Wood.jpg", 5, 3, reset);
    ASSERT_EQ(truth.size(), 3u);
    Start({QString::fromStdString(dir.File("stack.kx"))});
  }
  void WaitForAlignment() { QTRY_VERIFY_WITH_TIMEOUT(form->project().Aligning() == nullptr, 120000); }
  const Transform& Placement(int e) { return form->Stack()->images[static_cast<size_t>(e)]->transform; }
  double Error(int e) {
    const AlignStackPicture& parent = truth[static_cast<size_t>(e - 1)];
    return CornerError(parent.width, parent.height, truth[static_cast<size_t>(e)], Placement(e));
  }
};

// Each picture found is one undo step; undoing puts the placements back.
TEST_F(MainFormAlign, AlignAllPlacesEveryPictureAsOneStepEach) {
  OpenStack();
  EXPECT_EQ(form->menus().EditAlign->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
  form->menus().EditAlignAll->trigger();
  WaitForAlignment();
  EXPECT_LT(Error(1), 1.0);
  EXPECT_LT(Error(2), 1.0);
  ASSERT_EQ(reporter.messages.size(), 1u);  // the offer to match colours, declined
  EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(form->project().MatchingColours(), nullptr);
  EXPECT_EQ(form->project().undoStack()->count(), 2);
  EXPECT_TRUE(form->project().Modified());
  form->menus().EditUndo->trigger();
  form->menus().EditUndo->trigger();
  EXPECT_TRUE(IsUnplaced(Placement(1)));
  EXPECT_TRUE(IsUnplaced(Placement(2)));
}

// A child of another scene is reported and keeps its placement; so does Cancel's remainder.
TEST_F(MainFormAlign, NoMatchAndCancelLeavePlacementsAlone) {
  TempDir other;
  ASSERT_EQ(WriteCorpusStack(other, "plasma-Path-2560x1600.jpg", 6, 2, true).size(), 2u);
  OpenStack();
  WriteFileBytes(dir.File("stack_3.jpg"), ReadFileBytes(other.File("stack_2.jpg")));
  form->Stack()->images[2]->LoadJpeg();

  form->ListBox->setCurrentRow(2);  // the last picture has no picture inside it
  form->menus().EditAlign->trigger();
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(form->project().Aligning(), nullptr);

  form->ListBox->setCurrentRow(1);
  form->menus().EditAlign->trigger();
  WaitForAlignment();
  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_NE(reporter.messages[1].text.find("3. stack_3.jpg: no reliable match"), std::string::npos)
      << reporter.messages[1].text;
  EXPECT_TRUE(IsUnplaced(Placement(2)));
  EXPECT_EQ(form->project().undoStack()->count(), 0);

  form->menus().EditAlignAll->trigger();
  auto* progress = form->findChild<QProgressDialog*>(QStringLiteral("AlignProgress"));
  ASSERT_NE(progress, nullptr);
  progress->cancel();
  WaitForAlignment();
  EXPECT_TRUE(IsUnplaced(Placement(2)));
  EXPECT_TRUE(IsUnplaced(Placement(1)) || Error(1) < 1.0);
}

// A placement already exact is not rewritten by what is found a fraction of a pixel away: the
// message names the picture that kept it, and there is nothing to undo.
TEST_F(MainFormAlign, AlignKeepsAnExactPlacementAndSaysSo) {
  OpenStack(false);
  const Transform before = Placement(1);
  form->ListBox->setCurrentRow(0);
  form->menus().EditAlign->trigger();
  WaitForAlignment();
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].text.find("keep the good placements they had:\n2. stack_2.jpg: the placement it "
                                           "had is as good"),
            std::string::npos)
      << reporter.messages[0].text;
  EXPECT_TRUE(SamePlacement(Placement(1), before));
  EXPECT_EQ(form->project().undoStack()->count(), 0);
}

// Results belong to the pair they were found for: a list reordered while the run works gives
// each result to its own picture, or drops it when its picture now lies in another.
TEST_F(MainFormAlign, AlignAllResultsFollowThePicturesThroughAReorder) {
  OpenStack();
  Image* a = form->Stack()->images[0].get();
  Image* c = form->Stack()->images[2].get();
  form->menus().EditImageList->trigger();
  form->menus().EditAlignAll->trigger();
  // The results come back as queued calls: the list changes before the first arrives.
  windows.imageList->ListBox->setCurrentRow(0);
  windows.imageList->ButtonMoveDownClick();
  windows.imageList->ButtonMoveDownClick();  // b, c, a
  windows.imageList->ButtonDoneClick();
  ASSERT_EQ(form->Stack()->images[2].get(), a);
  WaitForAlignment();
  // c still lies in b, so it takes its placement; a is now in c, which nothing was found for.
  const AlignStackPicture& b = truth[1];
  EXPECT_LT(CornerError(b.width, b.height, truth[2], c->transform), 1.0);
  EXPECT_TRUE(IsUnplaced(a->transform));
  ASSERT_EQ(reporter.messages.size(), 2u);  // and the offer to match colours
  EXPECT_NE(reporter.messages[0].text.find("1. stack_2.jpg: the list was changed"), std::string::npos)
      << reporter.messages[0].text;
}

// Align All's offer taken: every picture's colours matched after, one step each, behind a
// progress; Match Colours on the first picture says why it cannot; matching a picture again
// keeps its colours and says so.
TEST_F(MainFormAlign, AlignAllOffersToMatchColours) {
  OpenStack();
  reporter.answers = {MessageAnswer::Yes};
  form->menus().EditAlignAll->trigger();
  WaitForAlignment();
  // The offer comes once the project has taken the alignment's end; the matching runs after it.
  QTRY_VERIFY_WITH_TIMEOUT(form->project().undoStack()->count() == 4 && form->project().MatchingColours() == nullptr,
                           60000);
  EXPECT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(form->project().undoStack()->count(), 4);
  EXPECT_TRUE(form->Stack()->images[0]->colour.IsIdentity());
  EXPECT_FALSE(form->Stack()->images[1]->colour.IsIdentity());
  EXPECT_FALSE(form->Stack()->images[2]->colour.IsIdentity());

  form->ListBox->setCurrentRow(0);
  form->menus().EditMatchColours->trigger();
  EXPECT_EQ(form->project().MatchingColours(), nullptr);
  EXPECT_EQ(reporter.messages.size(), 2u);
  form->ListBox->setCurrentRow(2);
  form->menus().EditMatchColours->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(form->project().MatchingColours() == nullptr, 60000);
  ASSERT_EQ(reporter.messages.size(), 3u);
  EXPECT_NE(reporter.messages[2].text.find("keep their colours:\n3. stack_3.jpg: kept: "), std::string::npos)
      << reporter.messages[2].text;
  EXPECT_EQ(form->project().undoStack()->count(), 4);
}

// A picture that holds itself, placed by `placement`, in a photograph: the photograph with the
// picture pasted in where the placement puts it, again and again until the copies nested inside
// are too small to matter.
cv::Mat SelfSimilar(const cv::Mat& photo, const Transform& placement) {
  const int w = photo.cols, h = photo.rows;
  // Pixel centres (y down) into the element's frame (y up, its width 1), and the pasted copy's
  // pixels back to its own.
  const Affine pixelToElement{1.0 / w, 0, 0, -1.0 / w, (0.5 - w / 2.0) / w, (h / 2.0 - 0.5) / w};
  const Affine map = pixelToElement.Inverse() * Affine::Placement(placement).Inverse() * pixelToElement;
  const cv::Mat toCopy = (cv::Mat_<double>(2, 3) << map.a, map.c, map.tx, map.b, map.d, map.ty);
  cv::Mat inside;
  cv::warpAffine(cv::Mat(photo.size(), CV_8U, cv::Scalar(255)), inside, toCopy, photo.size(),
                 cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
  inside = inside > 128;
  cv::Mat picture = photo.clone();
  for (int k = 0; k < 8; ++k) {
    cv::Mat copy;
    cv::warpAffine(picture, copy, toCopy, photo.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
    picture = photo.clone();
    copy.copyTo(picture, inside);
  }
  return picture;
}

// An endless project of one picture that lies in itself. Unplaced, the seam finds only the
// picture matching itself whole, which leads nowhere: reported, and nothing changes. Placed
// roughly, as the user would drag it, Align Automatically on the last picture (here also the
// first) finds the first picture's place in it, as one undo step.
TEST_F(MainFormAlign, AlignAutomaticallyFindsAnEndlessSeam) {
  cv::Mat photo;
  cv::resize(ReadPhoto(CorpusFile("photos/Wood.jpg")), photo, cv::Size(960, 720), 0, 0, cv::INTER_AREA);
  ASSERT_FALSE(photo.empty());
  AlignStackPicture seam;
  seam.width = 960;
  seam.height = 720;
  seam.exactScale = 0.45;
  seam.exactRotate = 8;
  seam.exactX = 0.1;
  seam.exactY = -0.05;
  const Transform exact{0.45f, 0.1f, -0.05f, 8.0f};
  std::vector<uchar> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", SelfSimilar(photo, exact), jpeg, {cv::IMWRITE_JPEG_QUALITY, 92}));
  WriteFileBytes(dir.File("self.jpg"), std::string(jpeg.begin(), jpeg.end()));
  WriteFileBytes(dir.File("self.kx"),
                 "#Tunnelvista v1.0\r\nduration 10.0\r\nimages 1\r\n\r\n"
                 "filename self.jpg\r\nscale 1\r\ntranslate 0 0\r\nrotate 0\r\n\r\n"
                 "target\r\nscale 1\r\ntranslate 0 0\r\nrotate 0\r\n\r\nplay endless\r\n");
  Start({QString::fromStdString(dir.File("self.kx"))});
  ASSERT_EQ(form->Stack()->playSettings.play, PlayMode::Endless);
  form->ListBox->setCurrentRow(0);

  form->menus().EditAlign->trigger();
  WaitForAlignment();
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].text.find("1. self.jpg in the last picture: no reliable match"), std::string::npos)
      << reporter.messages[0].text;
  EXPECT_TRUE(IsUnplaced(Placement(1)));
  EXPECT_EQ(form->project().undoStack()->count(), 0);

  form->project().SetPlacement(form->Stack()->targetFrame()->id, Transform{0.43f, 0.09f, -0.04f, 6.0f});
  form->menus().EditAlign->trigger();
  WaitForAlignment();
  EXPECT_EQ(reporter.messages.size(), 1u);
  EXPECT_LT(CornerError(960, 720, seam, Placement(1)), 1.5);
  EXPECT_EQ(form->project().undoStack()->count(), 1);
}

}  // namespace
