// The colour match on stacks cut from a photograph whose pictures were given known changes of
// tone: each correction must undo its picture's change, through the chain.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "AlignTestStacks.h"
#include "ColourStack.h"
#include "SafeFile.h"
#include "colour_stack.h"

namespace {

// Writes the pictures as tone_1.jpg ... into `dir`, and their tasks with exact placements.
std::vector<ColourTask> ToneTasks(const TempDir& dir, std::vector<AlignStackPicture>& stack) {
  std::vector<ColourTask> tasks;
  for (size_t k = 0; k < stack.size(); ++k) {
    const std::string name = "tone_" + std::to_string(k + 1) + ".jpg";
    const std::vector<uchar>& jpeg = stack[k].jpeg;
    EXPECT_TRUE(WriteFileReporting(dir.File(name), std::string(jpeg.begin(), jpeg.end())));
    if (k == 0) continue;
    ColourTask t;
    t.element = static_cast<int>(k);
    t.childId = k + 1;
    t.parentId = k;
    t.parent.path = dir.File("tone_" + std::to_string(k) + ".jpg");
    t.parent.width = stack[k - 1].width;
    t.parent.height = stack[k - 1].height;
    t.child.path = dir.File(name);
    t.child.width = stack[k].width;
    t.child.height = stack[k].height;
    t.placement = stack[k].placement;
    tasks.push_back(std::move(t));
  }
  return tasks;
}

// The correction carries the changed picture back to the unchanged one's values: over the
// picture's own pixels that the change left unclipped, the corrected values are within 2 % (of
// their mean) of the values before the change, channel by channel.
void ExpectUndoes(const ColourCorrection& correction, const ToneGains& change, const AlignStackPicture& picture) {
  const cv::Mat bgr = cv::imdecode(picture.jpeg, cv::IMREAD_COLOR);
  ASSERT_FALSE(bgr.empty());
  for (int c = 0; c < 3; ++c) {
    double error = 0, sum = 0;
    for (int y = 0; y < bgr.rows; ++y)
      for (int x = 0; x < bgr.cols; ++x) {
        const float v = bgr.at<cv::Vec3b>(y, x)[2 - c] / 255.0f;
        if (v >= 250 / 255.0f) continue;
        const double before = v / change[static_cast<size_t>(c)];
        error += std::fabs(correction.Apply(c, v) - before);
        sum += before;
      }
    EXPECT_LT(error / sum, 0.02) << "channel " << c << ": gain " << correction.gain[static_cast<size_t>(c)]
                                 << " offset " << correction.offset[static_cast<size_t>(c)];
  }
}

// Brighter by 30 %, a cast (red x 0.85, blue x 1.15) in the middle of the chain, darker by a
// quarter: each picture matched with its parent as corrected comes back to the first's tones, and
// the border's difference falls to a level or two.
TEST(ColourMatch, MatchAllUndoesEachChangeThroughTheChain) {
  TempDir dir;
  const std::vector<ToneGains> gains{{1, 1, 1}, {1.3, 1.3, 1.3}, {0.85, 1, 1.15}, {0.75, 0.75, 0.75}};
  std::mt19937 random(11);
  std::vector<AlignStackPicture> stack = CutToneStack(ReadPhoto(CorpusFile("photos/GreenMeadow.jpg")), gains, random);
  ASSERT_EQ(stack.size(), gains.size());
  const std::vector<ColourTask> tasks = ToneTasks(dir, stack);
  int reported = 0;
  const auto results = RunColourTasks(tasks, {}, [&](int, const ColourMatchResult&) { ++reported; });
  EXPECT_EQ(reported, 3);
  for (size_t k = 0; k < results.size(); ++k) {
    SCOPED_TRACE("picture " + std::to_string(k + 2));
    ASSERT_EQ(results[k].status, ColourMatchStatus::Matched);
    ExpectUndoes(results[k].correction, gains[k + 1], stack[k + 1]);
    for (size_t c = 0; c < 3; ++c) EXPECT_LT(results[k].bandAfter[c], 2.0);
    EXPECT_GT(results[k].bandBefore[0], 5.0);
  }
}

// A blown-out patch over a sixth of the child (and one in its parent) says nothing of the
// exposure: the correction is the same as without.
TEST(ColourMatch, ClippedHighlightsDoNotPullTheCorrection) {
  TempDir dir;
  const std::vector<ToneGains> gains{{1, 1, 1}, {0.8, 0.8, 0.8}};
  std::mt19937 random(5);
  std::vector<AlignStackPicture> stack = CutToneStack(ReadPhoto(CorpusFile("photos/Wood.jpg")), gains, random);
  ASSERT_EQ(stack.size(), 2u);
  ASSERT_TRUE(BlowOut(stack[1], 0.3, 0.3, 0.7, 0.7));
  ASSERT_TRUE(BlowOut(stack[0], 0.0, 0.0, 0.3, 0.2));
  const auto results = RunColourTasks(ToneTasks(dir, stack));
  ASSERT_EQ(results[0].status, ColourMatchStatus::Matched);
  ExpectUndoes(results[0].correction, gains[1], stack[1]);
}

// Pictures whose tones already match keep their corrections, the identity as well as one that
// already undoes a change; a correction that is clearly wrong is replaced.
TEST(ColourMatch, OnlyAClearlyBetterBorderChangesACorrection) {
  TempDir dir;
  std::mt19937 random(13);
  std::vector<AlignStackPicture> stack =
      CutToneStack(ReadPhoto(CorpusFile("photos/GreenMeadow.jpg")), {{1, 1, 1}, {1, 1, 1}, {1.2, 1.2, 1.2}}, random);
  ASSERT_EQ(stack.size(), 3u);
  std::vector<ColourTask> tasks = ToneTasks(dir, stack);
  const ColourCorrection undo{{1 / 1.2f, 1 / 1.2f, 1 / 1.2f}, {0, 0, 0}};
  tasks[1].childColour = undo;
  auto results = RunColourTasks(tasks);
  for (size_t k = 0; k < 2; ++k) {
    SCOPED_TRACE("picture " + std::to_string(k + 2));
    EXPECT_EQ(results[k].status, ColourMatchStatus::Kept);
    EXPECT_EQ(results[k].correction, tasks[k].childColour);
    EXPECT_EQ(results[k].bandAfter, results[k].bandBefore);
    EXPECT_NE(ColourKeptReason(results[k]).find("kept: the match found is not clearly better"), std::string::npos);
  }
  // Twice the gain it needs on the third: replaced by one that undoes the change.
  tasks[1].childColour = ColourCorrection{{1 / 0.6f, 1 / 0.6f, 1 / 0.6f}, {0, 0, 0}};
  results = RunColourTasks(tasks);
  ASSERT_EQ(results[1].status, ColourMatchStatus::Matched);
  ExpectUndoes(results[1].correction, {1.2, 1.2, 1.2}, stack[2]);
}

// A child cut from another photograph: its values follow its parent's by no line, so it keeps its
// colours whatever a fit clamped to the limits would give.
TEST(ColourMatch, UnrelatedPicturesAreNoReliableMatch) {
  TempDir dir;
  std::mt19937 random(21), other(21);
  std::vector<AlignStackPicture> stack =
      CutToneStack(ReadPhoto(CorpusFile("photos/Storm.jpg")), {{1, 1, 1}, {1, 1, 1}}, random);
  const std::vector<AlignStackPicture> wood =
      CutToneStack(ReadPhoto(CorpusFile("photos/Wood.jpg")), {{1, 1, 1}, {1, 1, 1}}, other);
  ASSERT_EQ(stack.size(), 2u);
  ASSERT_EQ(wood.size(), 2u);
  const Transform placement = stack[1].placement;
  stack[1] = wood[1];
  stack[1].placement = placement;
  std::vector<ColourTask> tasks = ToneTasks(dir, stack);
  tasks[0].childColour = ColourCorrection{{1.1f, 1, 1}, {0, 0, 0.02f}};
  const ColourMatchResult result = RunColourTasks(tasks)[0];
  EXPECT_EQ(result.status, ColourMatchStatus::Unreliable);
  EXPECT_EQ(result.correction, tasks[0].childColour);
  EXPECT_LT(result.explained, 0.5);
  EXPECT_NE(ColourKeptReason(result).find("no reliable match"), std::string::npos);
}

// A child that only touches its parent's edge leaves too few pairs: no match, nothing made up.
TEST(ColourMatch, TooLittleOverlapIsNoMatch) {
  TempDir dir;
  std::mt19937 random(3);
  std::vector<AlignStackPicture> stack =
      CutToneStack(ReadPhoto(CorpusFile("photos/Storm.jpg")), {{1, 1, 1}, {1.2, 1.2, 1.2}}, random);
  ASSERT_EQ(stack.size(), 2u);
  std::vector<ColourTask> tasks = ToneTasks(dir, stack);
  tasks[0].placement = Transform{0.3f, 0.64f, 0.0f, 0.0f};
  EXPECT_EQ(MatchColours(tasks[0].parent, {}, tasks[0].child, tasks[0].placement, {}).status,
            ColourMatchStatus::NoMatch);
  tasks[0].child.path = dir.File("missing.jpg");
  EXPECT_EQ(RunColourTasks(tasks)[0].status, ColourMatchStatus::Unreadable);
}

}  // namespace
