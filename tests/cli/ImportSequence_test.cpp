// --import-sequence: a folder of generated pictures, each the one before zoomed out by 2 about its
// centre, made into an aligned project by the real program.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "PictureFiles.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

struct Placed {
  std::string name;
  double scale = 1, x = 0, y = 0, rotate = 0;
};

// The pictures of a project file, in order, with their placements.
std::vector<Placed> ReadPlacements(const std::string& path) {
  std::istringstream in(ReadFileBytes(path));
  std::vector<Placed> pictures;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "target") break;
    if (keyword == "filename") pictures.push_back({line.substr(9)});
    if (pictures.empty()) continue;
    if (keyword == "scale") words >> pictures.back().scale;
    if (keyword == "translate") words >> pictures.back().x >> pictures.back().y;
    if (keyword == "rotate") words >> pictures.back().rotate;
  }
  return pictures;
}

// The largest distance in the parent's pixels (`side` its longer side) between the child's corners
// placed at `found` and at half size in the middle, for pictures of 4:3.
double CornerError(const Placed& found, int side) {
  const double angle = found.rotate * M_PI / 180, c = std::cos(angle), s = std::sin(angle);
  double worst = 0;
  for (double cx : {-0.5, 0.5})
    for (double cy : {-0.375, 0.375}) {
      const double x = found.scale * (c * cx - s * cy) + found.x, y = found.scale * (s * cx + c * cy) + found.y;
      worst = std::max(worst, std::hypot(x - 0.5 * cx, y - 0.5 * cy) * side);
    }
  return worst;
}

struct ImportSequenceCommand : ::testing::Test {
  TempDir dir;

  int Run(const std::string& arguments, std::string& output, std::string& errors) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " TV_PROGRAM " " + arguments +
                                " >" + dir.File("out.txt") + " 2>" + dir.File("err.txt");
    const int status = std::system(command.c_str());
    output = ReadFileBytes(dir.File("out.txt"));
    errors = ReadFileBytes(dir.File("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

// Numbered as a generator numbers them: by name alone step10 would come second.
TEST_F(ImportSequenceCommand, AlignsAFolderOfZoomedOutPicturesInTheirNumberedOrder) {
  fs::create_directory(dir.File("pics"));
  const std::vector<std::string> names = {"step1.png", "step2.png", "step3.png", "step10.png"};
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(dir.File("pics/" + name));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Wood.jpg"), paths, 800, 600, 2.0));
  WriteFileBytes(dir.File("pics/notes.txt"), "not a picture");

  std::string output, errors;
  ASSERT_EQ(Run("--import-sequence " + dir.File("pics") + " --factor 2 " + dir.File("zoom.kx"), output, errors), 0)
      << errors << output;
  const std::vector<Placed> placed = ReadPlacements(dir.File("zoom.kx"));
  ASSERT_EQ(placed.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(placed[i].name, "pics/" + names[i]);  // relative: they lie under the project's folder
    if (i > 0) {
      EXPECT_LT(CornerError(placed[i], 800), 0.25) << names[i] << "\n" << output;
    }
  }
  EXPECT_NE(output.find("picture 4 (pics/step10.png): scale "), std::string::npos) << output;
}

// Numbered closest first, as outpainting tools number them: the widest view, the last by name,
// becomes the outermost picture; --reverse and --outermost still decide when given.
TEST_F(ImportSequenceCommand, TakesTheWidestViewAsTheOutermostPictureInEitherNaming) {
  fs::create_directory(dir.File("pics"));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Storm.jpg"),
                                {dir.File("pics/out3.png"), dir.File("pics/out2.png"), dir.File("pics/out1.png")}, 800,
                                600, 2.0));
  std::string output, errors;
  ASSERT_EQ(Run("--import-sequence " + dir.File("pics") + " " + dir.File("zoom.kx"), output, errors), 0)
      << errors << output;
  std::vector<Placed> placed = ReadPlacements(dir.File("zoom.kx"));
  ASSERT_EQ(placed.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(placed[i].name, "pics/out" + std::to_string(3 - i) + ".png");
    if (i > 0) {
      EXPECT_LT(CornerError(placed[i], 800), 0.25) << i << "\n" << output;
    }
  }
  EXPECT_NE(errors.find("outermost picture: out3.png, the last by name, the widest view"), std::string::npos) << errors;

  // The override is taken as given, whatever the alignment then makes of it.
  const int status = Run("--import-sequence " + dir.File("pics") + " --outermost first --force " + dir.File("zoom.kx"),
                         output, errors);
  EXPECT_TRUE(status == 0 || status == 1) << status << errors;
  placed = ReadPlacements(dir.File("zoom.kx"));
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_EQ(placed[0].name, "pics/out1.png");
  EXPECT_NE(errors.find("outermost picture: out1.png, the first by name, as asked"), std::string::npos) << errors;
  EXPECT_EQ(Run("--import-sequence " + dir.File("pics") + " --reverse --outermost first --force " + dir.File("zoom.kx"),
                output, errors),
            2);
  EXPECT_NE(errors.find("--reverse"), std::string::npos) << errors;
}

// Pictures that do not show one inside the other keep their order, and the run says so.
TEST_F(ImportSequenceCommand, KeepsTheNamesOrderWhenThePicturesDoNotTell) {
  fs::create_directory(dir.File("pics"));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Storm.jpg"), {dir.File("pics/b.png")}, 400, 300, 2.0));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Wood.jpg"), {dir.File("pics/a.png")}, 400, 300, 2.0));
  std::string output, errors;
  Run("--import-sequence " + dir.File("pics") + " " + dir.File("zoom.kx"), output, errors);
  const std::vector<Placed> placed = ReadPlacements(dir.File("zoom.kx"));
  ASSERT_EQ(placed.size(), 2u) << errors;
  EXPECT_EQ(placed[0].name, "pics/a.png");
  EXPECT_NE(errors.find("outermost picture: a.png, the first by name, as the files are ordered: the pictures do not "
                        "tell which is the widest view"),
            std::string::npos)
      << errors;
}

TEST_F(ImportSequenceCommand, RefusesUnusableOptionsAndReplacesOnlyWhenForced) {
  fs::create_directory(dir.File("pics"));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Wood.jpg"), {dir.File("pics/only.png")}, 400, 300, 2.0));
  const std::string project = dir.File("zoom.kx");
  WriteFileBytes(project, "kept\r\n");
  const std::string folder = dir.File("pics");
  std::string output, errors;
  EXPECT_EQ(Run("--import-sequence " + folder + " " + project, output, errors), 2);
  EXPECT_NE(errors.find(project), std::string::npos) << errors;
  EXPECT_EQ(Run("--import-sequence " + folder + " --factor 0.5 --force " + project, output, errors), 2);
  EXPECT_NE(errors.find("--factor"), std::string::npos) << errors;
  EXPECT_EQ(Run("--import-sequence " + folder + " --order size --force " + project, output, errors), 2);
  EXPECT_EQ(Run("--import-sequence " + folder + " --outermost middle --force " + project, output, errors), 2);
  EXPECT_EQ(Run("--import-sequence " + dir.File("none") + " --force " + project, output, errors), 2);
  EXPECT_EQ(ReadFileBytes(project), "kept\r\n");

  ASSERT_EQ(Run("--import-sequence " + folder + " --force " + project, output, errors), 0) << errors;
  const std::vector<Placed> placed = ReadPlacements(project);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].name, "pics/only.png");
}

}  // namespace
