// Which end of a folder's pictures is the widest view, told from the pictures.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AlignTestStacks.h"
#include "PictureFiles.h"
#include "TestFiles.h"
#include "WidestView.h"

namespace {

std::vector<std::string> Reversed(std::vector<std::string> paths) {
  std::reverse(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> Zoom(const TempDir& dir, const std::string& photo, const std::string& name, int pictures,
                              double factor) {
  std::vector<std::string> paths;
  for (int i = 1; i <= pictures; ++i) paths.push_back(dir.File(name + std::to_string(i) + ".png"));
  EXPECT_TRUE(WriteZoomSequence(CorpusFile("photos/" + photo), paths, 800, 600, factor));
  return paths;
}

TEST(WidestView, FindsTheWidestEndOfAZoomInEitherNaming) {
  TempDir dir;
  for (const auto& [photo, factor] : {std::pair{"Storm.jpg", 1.5}, {"GreenMeadow.jpg", 3.0}}) {
    const std::vector<std::string> paths = Zoom(dir, photo, photo, 3, factor);
    const WidestView widest = FindWidestView(paths);
    EXPECT_EQ(widest.end, WidestEnd::First) << photo << ": " << widest.why;
    EXPECT_NEAR(widest.scale, 1 / factor, 0.05) << photo;
    EXPECT_EQ(FindWidestView(Reversed(paths)).end, WidestEnd::Last) << photo;
  }
}

// Cut as a camera sees them: turned, off centre, at other exposures, of several sizes.
TEST(WidestView, FindsTheWidestEndOfPhotographsInEitherNaming) {
  TempDir dir;
  ASSERT_EQ(WriteCorpusStack(dir, "Wood.jpg", 3, 3, true, "cut").size(), 3u);
  const std::vector<std::string> paths = {dir.File("cut_1.jpg"), dir.File("cut_2.jpg"), dir.File("cut_3.jpg")};
  EXPECT_EQ(FindWidestView(paths).end, WidestEnd::First);
  EXPECT_EQ(FindWidestView(Reversed(paths)).end, WidestEnd::Last);
}

TEST(WidestView, SaysNothingWhenThePicturesDoNotTell) {
  TempDir dir;
  const std::vector<std::string> wood = Zoom(dir, "Wood.jpg", "wood", 2, 2.0);
  const std::vector<std::string> storm = Zoom(dir, "Storm.jpg", "storm", 2, 2.0);
  WriteJpeg(dir.File("flat1.jpg"), 640, 480, [](int, int) { return Rgb{90, 120, 200}; });
  WriteJpeg(dir.File("flat2.jpg"), 640, 480, [](int x, int) { return Rgb{90, 120, static_cast<uint8_t>(x / 4)}; });
  WriteFileBytes(dir.File("broken.jpg"), "not a picture");
  const std::vector<std::vector<std::string>> folders = {
      {wood[0], wood[0], wood[0]},                        // one view repeated
      {wood[0], storm[0]},                                // unrelated
      {dir.File("flat1.jpg"), dir.File("flat2.jpg")},     // nothing to match
      {wood[0], wood[1], storm[1], storm[0]},             // the ends disagree
      {dir.File("broken.jpg"), dir.File("missing.jpg")},  // unreadable
      {wood[0]},
  };
  for (const auto& paths : folders) {
    const WidestView widest = FindWidestView(paths);
    EXPECT_EQ(widest.end, WidestEnd::Unknown) << paths.size() << " " << paths[0] << ": " << widest.why;
    EXPECT_FALSE(widest.why.empty());
  }
  const std::atomic<bool> cancelled{true};
  EXPECT_EQ(FindWidestView(wood, &cancelled).end, WidestEnd::Unknown);
}

}  // namespace
