// What aligning a stack keeps: a placement someone set that nothing clearly beats, and a child
// that is the same picture as its parent, whose pixels cannot say where it lies in itself.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "AlignStack.h"
#include "AlignTestStacks.h"
#include "Imagestack.h"

namespace {

// One picture repeated, as one file, as a copy under another name and saved again: each keeps the
// placement it was given, to the last digit; without one there is nothing to keep, and an
// import's guess is not kept either.
TEST(AlignStackKeeps, SamePictureKeepsItsPlacement) {
  TempDir dir;
  ASSERT_EQ(WriteCorpusStack(dir, "Wood.jpg", 5, 1, true).size(), 1u);
  const std::string bytes = ReadFileBytes(dir.File("stack_1.jpg"));
  WriteFileBytes(dir.File("copy.jpg"), bytes);
  std::vector<uchar> again;
  ASSERT_TRUE(cv::imencode(".jpg", cv::imdecode(std::vector<uchar>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR),
                           again, {cv::IMWRITE_JPEG_QUALITY, 80}));
  WriteFileBytes(dir.File("again.jpg"), std::string(again.begin(), again.end()));
  const Transform half{0.5f, 0.1f, -0.05f, 3.0f};
  WriteProject(
      dir.File("same.kx"),
      {{"stack_1.jpg", {}}, {"stack_1.jpg", half}, {"copy.jpg", half}, {"again.jpg", half}, {"stack_1.jpg", {}}});
  std::unique_ptr<ImageStack> stack = OpenProject(dir.File("same.kx"));
  ASSERT_TRUE(stack);
  std::vector<AlignTask> tasks = AlignTasks(*stack);
  ASSERT_EQ(tasks.size(), 4u);
  EXPECT_TRUE(tasks[0].samePicture);
  EXPECT_FALSE(tasks[1].samePicture);  // found by its bytes when it runs
  const auto results = RunAlignTasks(tasks);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(results[i].status, AlignStatus::Kept) << i << ": " << results[i].why;
    EXPECT_STREQ(results[i].why, "same picture as its parent");
    EXPECT_TRUE(SamePlacement(results[i].transform, half));
  }
  EXPECT_EQ(results[3].status, AlignStatus::NoMatch);
  EXPECT_STREQ(results[3].why, "the same picture as its parent");

  tasks.resize(1);
  tasks[0].guessed = true;
  EXPECT_EQ(RunAlignTasks(tasks)[0].status, AlignStatus::NoMatch);
}

// Placements already exact stay exactly as they were; one two pixels off is replaced by what is
// found, and one a tenth of a pixel off is as good.
TEST(AlignStackKeeps, OnlyAClearlyBetterAnswerReplacesAPlacement) {
  TempDir dir;
  const auto truth = WriteCorpusStack(dir, "Wood.jpg", 5, 3, false);
  ASSERT_EQ(truth.size(), 3u);
  std::unique_ptr<ImageStack> stack = OpenProject(dir.File("stack.kx"));
  ASSERT_TRUE(stack);
  std::vector<AlignTask> tasks = AlignTasks(*stack);
  ASSERT_EQ(tasks.size(), 2u);
  for (const AlignResult& r : RunAlignTasks(tasks)) {
    EXPECT_EQ(r.status, AlignStatus::Kept) << r.why;
    EXPECT_STREQ(r.why, "the placement it had is as good");
  }

  tasks[0].current.translateX += 2.0f / std::max(truth[0].width, truth[0].height);
  tasks[1].current.translateY += 0.1f / std::max(truth[1].width, truth[1].height);
  const auto results = RunAlignTasks(tasks);
  ASSERT_EQ(results[0].status, AlignStatus::Aligned) << results[0].why;
  EXPECT_LT(CornerError(truth[0].width, truth[0].height, truth[1], results[0].transform), 0.25);
  EXPECT_EQ(results[1].status, AlignStatus::Kept) << results[1].why;
  EXPECT_TRUE(SamePlacement(results[1].transform, tasks[1].current));

  // Measured where they stand, on the same copies: the true placement holds, the one two
  // pixels off disagrees locally by about that much.
  bool readable = true;
  const auto m =
      MeasurePlacements(tasks[0].parent, tasks[0].child, {truth[1].placement, tasks[0].current}, nullptr, readable);
  ASSERT_TRUE(readable);
  EXPECT_TRUE(m[0].holds);
  EXPECT_LT(m[0].residual, 0.25);
  EXPECT_GT(m[1].residual, 1.0);
  EXPECT_LT(m[1].correlation, m[0].correlation);
}

}  // namespace
