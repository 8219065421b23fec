// A project naming a picture that is not there, run through each command of the program without a
// display: the work is done as far as it can be, the picture is named, and the run fails.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

TEST(MissingPicture, EveryCommandFinishesWhatItCanAndFails) {
  TempDir dir;
  WriteJpeg(dir.File("a.jpg"), 320, 240, [](int x, int y) {
    return Rgb{static_cast<uint8_t>(x), 90, static_cast<uint8_t>(y)};
  });
  const std::string project = dir.File("zoom.kx");
  const std::string text =
      "#Tunnelvista v1.0\nduration 8\nimages 2\nfilename a.jpg\nscale 1\ntranslate 0 0\nrotate 0\n"
      "filename gone.jpg\nscale 0.5\ntranslate 0 0\nrotate 0\ntarget\nscale 0.5\ntranslate 0 0\nrotate 0\n";
  WriteFileBytes(project, text);
  // `written`: a file of the output. Progress, when there is any, goes to a file here: whole lines.
  struct Case {
    std::string arguments, written, progress;
  } cases[] = {
      {"--render-frame 0.5 " + dir.File("frame.png") + " --size 160x120", dir.File("frame.png"), ""},
      {"--export-video " + dir.File("f_%d.png") + " --size 160x120 --fps 2 --duration 1", dir.File("f_1.png"),
       "100 % (frame 2 of 2)\n"},
      {"--export-web " + dir.File("site"), "", ""},  // nothing is published without every picture
      {"--align", "", "100 % (picture 1 of 1)\n"},
  };
  for (const Case& c : cases) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " TV_PROGRAM " " + c.arguments +
                                " " + project + " >" + dir.File("out.txt") + " 2>" + dir.File("err.txt");
    const int status = std::system(command.c_str());
    const std::string out = ReadFileBytes(dir.File("out.txt")), errors = ReadFileBytes(dir.File("err.txt"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.arguments << ": " << status << "\n" << errors;
    EXPECT_NE(errors.find("gone.jpg"), std::string::npos) << c.arguments << ": " << errors;
    EXPECT_TRUE(c.written.empty() || (fs::exists(c.written) && fs::file_size(c.written) > 0)) << c.arguments;
    EXPECT_EQ(ReadFileBytes(project), text) << c.arguments;  // nothing found, nothing saved
    EXPECT_EQ((out + errors).find('\r'), std::string::npos) << c.arguments;
    EXPECT_TRUE(c.progress.empty() || (out + errors).find(c.progress) != std::string::npos) << out << errors;
  }
  EXPECT_FALSE(fs::exists(dir.File("site")));
  EXPECT_NE(ReadFileBytes(dir.File("out.txt")).find("picture 2 (gone.jpg): picture could not be read"),
            std::string::npos);
}

// A picture found elsewhere is said, one line each, and never taken from a web export's folder.
TEST(MissingPicture, PicturesFoundElsewhereAreSaidOneLineEach) {
  TempDir dir;
  const auto gradient = [](int x, int y) { return Rgb{static_cast<uint8_t>(x), 90, static_cast<uint8_t>(y)}; };
  WriteJpeg(dir.File("a.jpg"), 320, 240, gradient);
  fs::create_directories(dir.File("pics"));
  WriteJpeg(dir.File("pics/b.jpg"), 320, 240, gradient);
  fs::create_directories(dir.File("site"));  // the project's web export, with a reduced copy
  WriteJpeg(dir.File("site/c.jpg"), 160, 120, gradient);
  WriteFileBytes(dir.File("site/index.html"), "page");
  WriteFileBytes(dir.File("site/default.kxo"), "data");
  WriteFileBytes(dir.File("zoom.kx"),
                 "#Tunnelvista v1.0\nduration 8\nimages 3\nfilename /old/a.jpg\nscale 1\ntranslate 0 0\nrotate 0\n"
                 "filename /old/pics/b.jpg\nscale 0.5\ntranslate 0 0\nrotate 0\nfilename /old/c.jpg\nscale 0.5\n"
                 "translate 0 0\nrotate 0\ntarget\nscale 0.5\ntranslate 0 0\nrotate 0\n");
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " TV_PROGRAM " --render-frame 0.5 " +
      dir.File("frame.png") + " --size 160x120 " + dir.File("zoom.kx") + " 2>" + dir.File("err.txt");
  const int status = std::system(command.c_str());
  const std::string errors = ReadFileBytes(dir.File("err.txt"));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << "\n" << errors;  // c.jpg failed
  EXPECT_NE(
      errors.find("tunnelvista: picture 1 (/old/a.jpg) was not where the project says: found in " + dir.path() + "\n"),
      std::string::npos)
      << errors;
  EXPECT_NE(errors.find("tunnelvista: picture 2 (/old/pics/b.jpg) was not where the project says: found in " +
                        dir.File("pics") + "\n"),
            std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("found in " + dir.File("site")), std::string::npos) << errors;
  EXPECT_NE(errors.find("/old/c.jpg"), std::string::npos) << errors;
}

}  // namespace
