// An installation into a fresh prefix, as `cmake --install build --prefix P` makes it: the program
// alone in P/bin, finding its data in P/share/tunnelvista; the desktop's files valid.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "Paths.h"
#include "TestFiles.h"
#include "WebExport.h"

namespace {

namespace fs = std::filesystem;

// Runs a shell command with no display; its exit status, its output in `output`.
int Shell(const std::string& command, std::string& output, const TempDir& scratch) {
  const std::string outputFile = scratch.File("output.txt");
  const int status = std::system(
      ("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + command + " >" + outputFile + " 2>&1").c_str());
  output = ReadFileBytes(outputFile);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Install, ProgramInBinFindsItsDataInShare) {
  TempDir prefix, project, out;
  std::string output;
  ASSERT_EQ(Shell(std::string(TV_CMAKE) + " --install " TV_BUILD_DIR " --prefix " + prefix.path(), output, out), 0)
      << output;

  std::vector<std::string> bin;
  for (const fs::directory_entry& entry : fs::directory_iterator(prefix.File("bin")))
    bin.push_back(entry.path().filename().string());
  EXPECT_EQ(bin, std::vector<std::string>{"tunnelvista"});
  const std::string data = prefix.File("share/tunnelvista");
  EXPECT_EQ(DataFilePath(prefix.File("bin"), "TUNNELVISTA.html"), data + "/TUNNELVISTA.html");
  EXPECT_TRUE(fs::is_regular_file(data + "/TUNNELVISTA.html"));
  const std::string help = ReadFileBytes(data + "/TUNNELVISTA.html");
  for (const char* part : {"id=\"welcome\"", "id=\"autoalign\"", "<kbd>Ctrl+L</kbd>"})
    EXPECT_NE(help.find(part), std::string::npos) << part;

  WriteJpeg(project.File("a.jpg"), 64, 48, [](int x, int) { return Rgb{static_cast<uint8_t>(x), 9, 9}; });
  WriteFileBytes(project.File("zoom.kx"),
                 "#Tunnelvista v1.0\nduration 8\nimages 1\nfilename a.jpg\nscale 1\ntranslate 0 0\nrotate 0\n"
                 "target\nscale 0.5\ntranslate 0 0\nrotate 0\n");
  const std::string program = prefix.File("bin/tunnelvista");
  ASSERT_EQ(Shell(program + " --export-web " + out.File("html5") + " " + project.File("zoom.kx"), output, out), 0)
      << output;
  for (const char* name : webPlayerFiles)
    EXPECT_EQ(ReadFileBytes(out.File("html5/tunnelvista-player/") + name), ReadFileBytes(data + "/web/player/" + name))
        << name;
  if (*TV_KX_JAR) {
    ASSERT_EQ(Shell(program + " --export-web " + out.File("applet") + " --player applet " + project.File("zoom.kx"),
                    output, out),
              0)
        << output;
    EXPECT_EQ(ReadFileBytes(out.File("applet/kx.jar")), ReadFileBytes(data + "/kx.jar"));
    EXPECT_EQ(ReadFileBytes(data + "/kx.jar"), ReadFileBytes(TV_KX_JAR));
  }

  for (int side : {16, 32, 48, 256}) {
    const std::string size = std::to_string(side) + "x" + std::to_string(side);
    EXPECT_EQ(
        QImage(QString::fromStdString(prefix.File("share/icons/hicolor/" + size + "/apps/tunnelvista.png"))).size(),
        QSize(side, side));
  }
  const std::string desktop = prefix.File("share/applications/tunnelvista.desktop");
  if (*TV_DESKTOP_FILE_VALIDATE) {
    EXPECT_EQ(Shell(std::string(TV_DESKTOP_FILE_VALIDATE) + " " + desktop, output, out), 0) << output;
    EXPECT_EQ(output, "");
  }
  // The project files' type is what the desktop file says the program opens.
  EXPECT_NE(ReadFileBytes(desktop).find("MimeType=application/x-tunnelvista-project;"), std::string::npos);
  if (*TV_UPDATE_MIME_DATABASE) {
    ASSERT_EQ(Shell(std::string(TV_UPDATE_MIME_DATABASE) + " " + prefix.File("share/mime"), output, out), 0) << output;
    EXPECT_NE(ReadFileBytes(prefix.File("share/mime/globs2")).find(":application/x-tunnelvista-project:*.kx"),
              std::string::npos);
    EXPECT_NE(ReadFileBytes(prefix.File("share/mime/magic")).find("#Tunnelvista"), std::string::npos);
  }
}

}  // namespace
