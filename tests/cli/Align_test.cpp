// --align run as a child process without a display, on stacks whose placements were reset.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <memory>
#include <string>

#include "AlignTestStacks.h"
#include "Imagestack.h"

namespace {

// The exit status; standard output in `out`.
int RunAlign(const TempDir& dir, const std::string& arguments, std::string& out) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY LC_ALL=de_DE.UTF-8 " + std::string(TV_PROGRAM) +
                              " --align " + arguments + " >" + dir.File("out.txt") + " 2>/dev/null";
  const int status = std::system(command.c_str());
  out = ReadFileBytes(dir.File("out.txt"));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every picture found and saved (with decimal points, whatever the locale), then one picture
// alone; a picture that matches nothing fails the run and keeps its placement, and the project
// file is then left as it was.
TEST(AlignCommand, PlacesResetPicturesAndKeepsTheUnmatched) {
  TempDir dir;
  const auto truth = WriteCorpusStack(dir, "Wood.jpg", 5, 3, true);
  ASSERT_EQ(truth.size(), 3u);
  std::string out;
  ASSERT_EQ(RunAlign(dir, dir.File("stack.kx"), out), 0) << out;
  EXPECT_NE(out.find("picture 2 (stack_2.jpg): scale 0."), std::string::npos) << out;
  EXPECT_NE(out.find("picture 3 (stack_3.jpg): scale 0."), std::string::npos) << out;
  EXPECT_NE(out.find(" confidence "), std::string::npos);
  EXPECT_NE(out.find(" residual "), std::string::npos);
  EXPECT_EQ(out.find(','), std::string::npos) << out;
  std::unique_ptr<ImageStack> stack = OpenProject(dir.File("stack.kx"));
  ASSERT_TRUE(stack);
  for (size_t e = 1; e < 3; ++e)
    EXPECT_LT(CornerError(truth[e - 1].width, truth[e - 1].height, truth[e], stack->images[e]->transform), 1.0);

  // Picture 3 replaced by an unrelated scene.
  TempDir other;
  const auto stranger = WriteCorpusStack(other, "plasma-Path-2560x1600.jpg", 6, 2, true);
  ASSERT_EQ(stranger.size(), 2u);
  WriteFileBytes(dir.File("stack_3.jpg"), ReadFileBytes(other.File("stack_2.jpg")));
  const std::string before = ReadFileBytes(dir.File("stack.kx"));
  EXPECT_EQ(RunAlign(dir, "--picture 3 " + dir.File("stack.kx"), out), 1);
  EXPECT_NE(out.find("picture 3 (stack_3.jpg): no reliable match"), std::string::npos) << out;
  EXPECT_EQ(out.find("picture 2"), std::string::npos) << out;
  EXPECT_EQ(ReadFileBytes(dir.File("stack.kx")), before);
  EXPECT_EQ(RunAlign(dir, "--picture 1 " + dir.File("stack.kx"), out), 2);
  EXPECT_EQ(RunAlign(dir, "--picture 4 " + dir.File("stack.kx"), out), 2);
}

// A placement already exact and a picture repeated keep theirs and say so; the run succeeds and
// leaves the project file as it was.
TEST(AlignCommand, KeepsGoodPlacementsAndRepeatedPictures) {
  TempDir dir;
  const auto truth = WriteCorpusStack(dir, "Wood.jpg", 5, 2, false);
  ASSERT_EQ(truth.size(), 2u);
  WriteProject(dir.File("kept.kx"),
               {{"stack_1.jpg", {}}, {"stack_2.jpg", truth[1].placement}, {"stack_2.jpg", {0.5f, 0.1f, 0, 0}}});
  const std::string before = ReadFileBytes(dir.File("kept.kx"));
  std::string out;
  EXPECT_EQ(RunAlign(dir, dir.File("kept.kx"), out), 0) << out;
  EXPECT_NE(out.find("picture 2 (stack_2.jpg): kept: the placement it had is as good (confidence 0."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("picture 3 (stack_2.jpg): kept: same picture as its parent\n"), std::string::npos) << out;
  EXPECT_EQ(ReadFileBytes(dir.File("kept.kx")), before);
}

}  // namespace
