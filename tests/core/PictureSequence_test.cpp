// Which files of a folder make a sequence, their order, and the stack they make.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "Imagestack.h"
#include "PictureSequence.h"
#include "TestFiles.h"

namespace {

std::vector<std::string> Names(const std::vector<SequenceFile>& files) {
  std::vector<std::string> names;
  for (const SequenceFile& file : files) names.push_back(file.name);
  return names;
}

std::vector<SequenceFile> Files(const std::vector<std::pair<std::string, int64_t>>& namesAndTimes) {
  std::vector<SequenceFile> files;
  for (const auto& [name, time] : namesAndTimes) files.push_back({"/pics/" + name, name, time});
  return files;
}

TEST(PictureSequence, OrdersByNumberedNameOrByDateEitherWay) {
  const auto files = Files({{"img10.png", 1},
                            {"img2b.png", 5},
                            {"img02.png", 2},
                            {"x100000000000000000000.png", 0},
                            {"IMG1.png", 3},
                            {"img2.png", 3},
                            {"a.png", 4},
                            {"x99999999999999999999.png", 0}});
  const std::vector<std::string> byName = {"a.png",
                                           "IMG1.png",
                                           "img2.png",
                                           "img02.png",
                                           "img2b.png",
                                           "img10.png",
                                           "x99999999999999999999.png",
                                           "x100000000000000000000.png"};
  EXPECT_EQ(Names(OrderSequence(files, SequenceOrder::Name, false)), byName);
  std::vector<std::string> reversed = byName;
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_EQ(Names(OrderSequence(files, SequenceOrder::Name, true)), reversed);
  // Equal times go by name.
  const std::vector<std::string> byDate = {"x99999999999999999999.png",
                                           "x100000000000000000000.png",
                                           "img10.png",
                                           "img02.png",
                                           "IMG1.png",
                                           "img2.png",
                                           "a.png",
                                           "img2b.png"};
  EXPECT_EQ(Names(OrderSequence(files, SequenceOrder::Date, false)), byDate);
  // No two different names are equal, so the order does not depend on the folder's.
  EXPECT_NE(NaturalCompare("a.png", "A.png"), 0);
  EXPECT_EQ(NaturalCompare("a1", "a1"), 0);
}

TEST(PictureSequence, FolderHoldsRegularPictureFilesByNameOrByTheirBytes) {
  TempDir dir;
  WriteFileBytes(dir.File("b.PNG"), "named as one is enough");
  WriteJpeg(dir.File("noname"), 8, 8, [](int, int) { return Rgb{1, 2, 3}; });
  WriteFileBytes(dir.File("notes.txt"), "text");
  ASSERT_EQ(mkdir(dir.File("sub.jpg").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir.File("pipe.webp").c_str(), 0644), 0);
  ASSERT_EQ(symlink(dir.File("noname").c_str(), dir.File("link.jpeg").c_str()), 0);
  ASSERT_EQ(symlink(dir.File("gone.jpg").c_str(), dir.File("dangling.jpg").c_str()), 0);
  std::vector<SequenceFile> files;
  std::string error;
  ASSERT_TRUE(SequenceFolder(dir.path(), files, error));
  EXPECT_EQ(Names(OrderSequence(files, SequenceOrder::Name, false)),
            (std::vector<std::string>{"b.PNG", "link.jpeg", "noname"}));
  EXPECT_EQ(files[0].path.substr(0, dir.path().size() + 1), dir.path() + "/");
  EXPECT_FALSE(SequenceFolder(dir.File("missing"), files, error));
  EXPECT_FALSE(error.empty());
}

TEST(PictureSequence, StackPlacesEachPictureAtOneOverTheFactorWithNamesBesideTheProject) {
  const auto stack = BuildSequenceStack({"/p/pics/a.png", "/p/b.jpg", "/q/c.webp"}, 2.5, "/p/zoom.kx");
  ASSERT_NE(stack, nullptr);
  ASSERT_EQ(stack->count(), 4);
  EXPECT_EQ(stack->images[0]->fileName, "pics/a.png");
  EXPECT_EQ(stack->images[1]->fileName, "b.jpg");
  EXPECT_EQ(stack->images[2]->fileName, "/q/c.webp");
  EXPECT_EQ(stack->images[0]->FullPath(), "/p/pics/a.png");
  EXPECT_FLOAT_EQ(stack->images[0]->transform.scale, 1.0f);
  for (int i : {1, 2}) {
    const Transform& t = stack->images[static_cast<size_t>(i)]->transform;
    EXPECT_FLOAT_EQ(t.scale, 0.4f);
    EXPECT_EQ(t.translateX, 0.0f);
    EXPECT_EQ(t.translateY, 0.0f);
    EXPECT_EQ(t.rotate, 0.0f);
  }
  EXPECT_FLOAT_EQ(stack->targetFrame()->transform.scale, 0.5f);
  // An untitled project keeps the names whole.
  EXPECT_EQ(BuildSequenceStack({"/p/a.png"}, 2, "")->images[0]->fileName, "/p/a.png");
  for (double factor : {1.0, 0.5, -2.0, std::numeric_limits<double>::infinity(), std::nan("")})
    EXPECT_EQ(BuildSequenceStack({"/p/a.png"}, factor, ""), nullptr) << factor;
  EXPECT_EQ(BuildSequenceStack({}, 2, ""), nullptr);
}

}  // namespace
