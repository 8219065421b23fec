// --match-colours run as a child process without a display, on a stack whose pictures were given
// known changes of tone.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>

#include "AlignTestStacks.h"
#include "colour_stack.h"

namespace {

int RunMatch(const TempDir& dir, const std::string& arguments, std::string& out) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY LC_ALL=de_DE.UTF-8 " + std::string(TV_PROGRAM) +
                              " --match-colours " + arguments + " >" + dir.File("out.txt") + " 2>/dev/null";
  const int status = std::system(command.c_str());
  out = ReadFileBytes(dir.File("out.txt"));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Each correction printed (points whatever the locale) and the project written anew; one
// picture alone, which keeps the correction just found; a picture that is not there is refused
// before any work.
TEST(MatchColoursCommand, PrintsEachCorrectionAndSaves) {
  TempDir dir;
  std::mt19937 random(4);
  const auto pictures = CutToneStack(ReadPhoto(CorpusFile("photos/Wood.jpg")),
                                     {{1, 1, 1}, {0.8, 0.8, 0.8}, {1.1, 1, 0.9}}, random, 600, 800);
  ASSERT_EQ(pictures.size(), 3u);
  ASSERT_TRUE(WriteAlignStack(pictures, dir.path(), "tones", false));
  const std::string project = dir.File("tones.kx");
  const ino_t before = Inode(project);
  std::string out;
  ASSERT_EQ(RunMatch(dir, project, out), 0) << out;
  EXPECT_NE(out.find("picture 2 (tones_2.jpg): gain 1.2"), std::string::npos) << out;
  EXPECT_NE(out.find("picture 3 (tones_3.jpg): gain 0."), std::string::npos) << out;
  EXPECT_NE(out.find(" border "), std::string::npos) << out;
  EXPECT_EQ(out.find(','), std::string::npos) << out;
  EXPECT_NE(Inode(project), before);  // replaced whole, not written over

  EXPECT_EQ(RunMatch(dir, "--picture 3 " + project, out), 0) << out;
  EXPECT_EQ(out.find("picture 2"), std::string::npos) << out;
  // Matched already: nothing clearly better to be found.
  EXPECT_NE(out.find("picture 3 (tones_3.jpg): kept"), std::string::npos) << out;
  EXPECT_EQ(RunMatch(dir, "--picture 4 " + project, out), 2);
  EXPECT_EQ(RunMatch(dir, "--picture 1 " + project, out), 2);
}

// A stack whose tones already match keeps its colours ("kept", and why; exit 0); a child cut
// from another photograph is no reliable match (exit 1). Neither writes the project.
TEST(MatchColoursCommand, KeepsMatchedTonesAndRefusesUnrelatedPictures) {
  TempDir dir;
  std::mt19937 random(6), other(6);
  auto pictures =
      CutToneStack(ReadPhoto(CorpusFile("photos/Storm.jpg")), {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, random, 600, 800);
  ASSERT_EQ(pictures.size(), 3u);
  ASSERT_TRUE(WriteAlignStack(pictures, dir.path(), "same", false));
  const std::string same = dir.File("same.kx");
  const std::string bytes = ReadFileBytes(same);
  const ino_t before = Inode(same);
  std::string out;
  EXPECT_EQ(RunMatch(dir, same, out), 0) << out;
  EXPECT_NE(out.find("picture 2 (same_2.jpg): kept: the match found is not clearly better at the border ("),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("picture 3 (same_3.jpg): kept"), std::string::npos) << out;
  EXPECT_EQ(Inode(same), before);
  EXPECT_EQ(ReadFileBytes(same), bytes);

  const auto wood = CutToneStack(ReadPhoto(CorpusFile("photos/Wood.jpg")), {{1, 1, 1}, {1, 1, 1}}, other, 600, 800);
  ASSERT_EQ(wood.size(), 2u);
  pictures.resize(2);
  const Transform placement = pictures[1].placement;
  pictures[1] = wood[1];
  pictures[1].placement = placement;
  ASSERT_TRUE(WriteAlignStack(pictures, dir.path(), "unrelated", false));
  const std::string unrelated = dir.File("unrelated.kx");
  const std::string unrelatedBytes = ReadFileBytes(unrelated);
  EXPECT_EQ(RunMatch(dir, unrelated, out), 1) << out;
  EXPECT_NE(out.find("picture 2 (unrelated_2.jpg): no reliable match"), std::string::npos) << out;
  EXPECT_NE(out.find("; colours kept"), std::string::npos) << out;
  EXPECT_EQ(ReadFileBytes(unrelated), unrelatedBytes);
}

}  // namespace
