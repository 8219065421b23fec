#include "WebExport.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <sys/stat.h>

#include <clocale>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "Imagestack.h"
#include "JpegDecode.h"
#include "PictureDecode.h"
#include "PictureFiles.h"
#include "RecordingReporter.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

// The argument `index` (0 or 1) of a one-line "Tunnelvista.f("name", "value");" wrapper.
std::string WrapperArgument(const std::string& script, int index) {
  size_t start = 0;
  for (int i = 0; i <= index; ++i) start = script.find('"', i ? script.find('"', start + 1) + 1 : 0);
  return script.substr(start + 1, script.find('"', start + 1) - start - 1);
}

std::string Decoded(const std::string& base64) {
  return QByteArray::fromBase64(QByteArray::fromStdString(base64)).toStdString();
}

std::set<std::string> FilesUnder(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(directory))
    if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), directory).string());
  return names;
}

// Every entry under `directory` (hidden ones, links and folders too) with what a file holds.
std::map<std::string, std::string> Everything(const std::string& directory) {
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    const std::string name = fs::relative(entry.path(), directory).string();
    found[name] = entry.is_symlink()        ? "-> " + fs::read_symlink(entry.path()).string()
                  : entry.is_regular_file() ? ReadFileBytes(entry.path().string())
                                            : "folder";
  }
  return found;
}

// A project of pictures of chosen sizes, a player folder with every file, an empty target.
struct WebExportFixture : ::testing::Test {
  TempDir dir, player, target;
  RecordingReporter reporter;
  std::unique_ptr<ImageStack> stack;
  WebExportOptions options;

  // The project's pictures replaced by those `names` give (relative to its folder or absolute).
  void Reopen(const std::vector<std::string>& names) {
    std::string text = "#Tunnelvista v1.0\nduration 12.5\nimages " + std::to_string(names.size()) + "\n";
    for (const std::string& name : names) text += "filename " + name + "\nscale 0.5\ntranslate 0 0\nrotate 0\n";
    WriteFileBytes(dir.File("project.kx"), text + "target\nscale 0.5\ntranslate 0 0\nrotate 0\n");
    stack = OpenProject(dir.File("project.kx"));
    ASSERT_TRUE(stack);
    reporter.messages.clear();
  }

  void Open(const std::vector<std::pair<int, int>>& sizes) {
    std::string text = "#Tunnelvista v1.0\nduration 12.5\nimages " + std::to_string(sizes.size()) + "\n";
    for (size_t i = 0; i < sizes.size(); ++i) {
      const std::string name = "pic" + std::to_string(i) + ".jpg";
      WriteJpeg(dir.File(name), sizes[i].first, sizes[i].second, [](int x, int y) {
        return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 90};
      });
      text += "filename " + name + "\nscale 0.5\ntranslate 0 0\nrotate 0\n";
    }
    text += "target\nscale 0.5\ntranslate 0.25 -0.125\nrotate 10\n";
    WriteFileBytes(dir.File("project.kx"), text);
    stack = OpenProject(dir.File("project.kx"));
    ASSERT_TRUE(stack);
    for (const char* name : webPlayerFiles) WriteFileBytes(player.File(name), std::string("// ") + name);
    options.directory = target.path();
    options.pageName = "index.html";
    options.playerDirectory = player.path();
    options.page.dataUrl = "default.kxo";
    options.page.title = "A <b>&\"zoom\"</b>";
    options.page.caption = "Made <i>here</i>";
    options.page.duration = 12.5f;
  }
};

TEST(WebExportText, EscapingAndBase64) {
  EXPECT_EQ(JsonString("a\"b\\c\nd\x01</script>"), "\"a\\\"b\\\\c\\nd\\u0001\\u003c/script\\u003e\"");
  EXPECT_EQ(JsonString("caf\xC3\xA9 \xE2\x80\xA8"), "\"caf\xC3\xA9 \\u2028\"");
  EXPECT_EQ(HtmlEscape("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
  for (const char* text : {"", "f", "fo", "foo", "foob", "fooba", "foobar", "\xFF\x00\x80"})
    EXPECT_EQ(Base64(text), QByteArray(text).toBase64().toStdString()) << text;
  EXPECT_EQ(Base64(std::string("\0\xFE", 2)), "AP4=");
}

TEST(WebExportText, ExportedAndDefaultSizes) {
  EXPECT_EQ(ExportedSize(4000, 3000, 1024), std::make_pair(1024, 768));
  EXPECT_EQ(ExportedSize(3000, 4001, 2048), std::make_pair(1536, 2048));
  EXPECT_EQ(ExportedSize(800, 600, 1024), std::make_pair(800, 600));  // never upscaled
  EXPECT_EQ(ExportedSize(5000, 2, 1024), std::make_pair(1024, 1));
  EXPECT_EQ(ExportedSize(5000, 3000, 0), std::make_pair(5000, 3000));
  EXPECT_EQ(DefaultWebSize(640, 480), std::make_pair(320, 240));
  EXPECT_EQ(DefaultWebSize(480, 640), std::make_pair(240, 320));
  EXPECT_EQ(DefaultWebSize(500, 500), std::make_pair(320, 320));
}

// The page's newer settings appear only when chosen (a default page is the one always written),
// and the start script they go into still runs under the page's policy (its hash).
TEST(WebExportText, Html5PageSettingsBeyondTheDefaults) {
  const auto page = [](const WebPageOptions& o) {
    std::ostringstream out;
    WriteHtml5Page(out, o, {{640, 480}}, nullptr);
    return out.str();
  };
  const auto startScript = [](const std::string& text) {
    const size_t at = text.find("<script>Tunnelvista.start(") + 8;
    return text.substr(at, text.find("</script>", at) - at);
  };
  WebPageOptions o;
  const std::string plain = page(o);
  EXPECT_EQ(plain.rfind("<!DOCTYPE html>\n<html>\n", 0), 0u);
  EXPECT_NE(startScript(plain).find("\"sizes\": [[640, 480]]});"), std::string::npos) << startScript(plain);

  o.pageSize = WebPageSize::FillWindow;
  o.endless = o.steady = true;
  o.width = 9000;  // beyond the largest box: the largest box
  o.height = 4320;
  const std::string chosen = page(o);
  EXPECT_EQ(chosen.rfind("<!DOCTYPE html>\n<html class=\"tv-fill\">\n", 0), 0u);
  const std::string script = startScript(chosen);
  EXPECT_NE(script.find("\"width\": 7680, \"height\": 4320,"), std::string::npos) << script;
  EXPECT_NE(script.find("\"sizes\": [[640, 480]], \"fill\": true, \"play\": \"endless\", \"pace\": \"steady\"});"),
            std::string::npos)
      << script;
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(script), QCryptographicHash::Sha256);
  EXPECT_NE(chosen.find("'sha256-" + hash.toBase64().toStdString() + "'"), std::string::npos);
}

// The pictures' colour corrections reach the page only when one is set; a picture without one
// is null there.
TEST(WebExportText, Html5PageColoursOnlyWhenAPictureIsCorrected) {
  const auto page = [](const std::vector<ColourCorrection>& colours) {
    std::ostringstream out;
    WriteHtml5Page(out, WebPageOptions(), {{640, 480}, {640, 480}}, nullptr, colours);
    return out.str();
  };
  const std::string plain = page({});
  EXPECT_EQ(page({ColourCorrection(), ColourCorrection()}), plain);
  const std::string coloured = page({ColourCorrection(), ColourCorrection{{0.75f, 1, 2}, {0, -0.25f, 0.5f}}});
  EXPECT_NE(coloured.find("[640, 480]], \"colours\": [null, [0.75, 1, 2, 0, -0.25, 0.5]]});"), std::string::npos)
      << coloured;
}

TEST_F(WebExportFixture, Html5WritesEveryFileWithItsContents) {
  Open({{640, 480}, {300, 200}});
  std::setlocale(LC_ALL, "de_DE.UTF-8");  // a decimal comma, where the locale is installed
  const WebExportResult result = ExportWeb(*stack, options);
  std::setlocale(LC_ALL, "C");
  ASSERT_EQ(result, WebExportResult::Ok) << (reporter.messages.empty() ? "" : reporter.messages[0].text);
  EXPECT_TRUE(reporter.messages.empty());

  std::set<std::string> expected = {"index.html",  "default.kxo", "default.kxo.js", "pic0.jpg",
                                    "pic0.jpg.js", "pic1.jpg",    "pic1.jpg.js"};
  for (const char* name : webPlayerFiles) expected.insert(std::string("tunnelvista-player/") + name);
  EXPECT_EQ(FilesUnder(target.path()), expected);
  EXPECT_EQ(ReadFileBytes(target.File("tunnelvista-player/timeline.js")), "// timeline.js");

  const std::string page = ReadFileBytes(target.File("index.html"));
  EXPECT_NE(page.find("<title>A &lt;b&gt;&amp;&quot;zoom&quot;&lt;/b&gt;</title>"), std::string::npos);
  EXPECT_NE(page.find("\nMade <i>here</i>\n"), std::string::npos);
  EXPECT_NE(page.find("<link rel=\"stylesheet\" href=\"tunnelvista-player/player.css\">"), std::string::npos);
  EXPECT_NE(page.find("<link rel=\"icon\" href=\"data:,\">"), std::string::npos);
  size_t last = 0;
  for (const char* script :
       {"kxo.js", "timeline.js", "render-webgl.js", "render-canvas.js", "controls.js", "player.js"}) {
    const size_t at = page.find(std::string("<script src=\"tunnelvista-player/") + script + "\"></script>");
    ASSERT_NE(at, std::string::npos) << script;
    EXPECT_GT(at, last) << script;
    last = at;
  }
  EXPECT_NE(page.find("<script>Tunnelvista.start(document.getElementById(\"kx-player\"), {\"data\": "
                      "\"default.kxo\", \"width\": 320, \"height\": 240, \"duration\": 12.5, \"controls\": true, "
                      "\"autoplay\": true, \"forward\": true, \"background\": \"#404040\", \"text\": \"#FFFFFF\", "
                      "\"sizes\": [[640, 480], [300, 200]], \"target\": [0.5, 0.25, -0.125, 10]});</script>"),
            std::string::npos)
      << page;

  const std::string data = ReadFileBytes(target.File("default.kxo"));
  const std::string dataScript = ReadFileBytes(target.File("default.kxo.js"));
  EXPECT_EQ(dataScript.rfind("Tunnelvista.provideData(\"default.kxo\", \"", 0), 0u);
  EXPECT_EQ(Decoded(WrapperArgument(dataScript, 1)), data);
  EXPECT_EQ(data.substr(0, 30), "#Tunnelvista-optimized v1.0   ");

  const std::string pictureScript = ReadFileBytes(target.File("pic1.jpg.js"));
  EXPECT_EQ(WrapperArgument(pictureScript, 0), "pic1.jpg");
  const std::string url = WrapperArgument(pictureScript, 1);
  ASSERT_EQ(url.rfind("data:image/jpeg;base64,", 0), 0u);
  EXPECT_EQ(Decoded(url.substr(23)), ReadFileBytes(dir.File("pic1.jpg")));
  EXPECT_EQ(ReadFileBytes(target.File("pic1.jpg")), ReadFileBytes(dir.File("pic1.jpg")));
}

TEST_F(WebExportFixture, ReencodedPicturesHaveTheLongestSideAndAreNeverUpscaled) {
  Open({{2000, 1000}, {600, 900}});
  options.pictureSide = 1024;
  ASSERT_EQ(ExportWeb(*stack, options), WebExportResult::Ok);
  JpegInfo info;
  ASSERT_TRUE(ReadJpegInfo(target.File("pic0.jpg"), info));
  EXPECT_EQ(info.width, 1024);
  EXPECT_EQ(info.height, 512);
  EXPECT_EQ(ReadFileBytes(target.File("pic1.jpg")), ReadFileBytes(dir.File("pic1.jpg")));
  const std::string wrapped = WrapperArgument(ReadFileBytes(target.File("pic0.jpg.js")), 1);
  EXPECT_EQ(Decoded(wrapped.substr(23)), ReadFileBytes(target.File("pic0.jpg")));
  EXPECT_NE(ReadFileBytes(target.File("index.html")).find("\"sizes\": [[1024, 512], [600, 900]]"), std::string::npos);

  // Reduced copies may not replace the originals in their own folder.
  reporter.messages.clear();
  const std::string before = ReadFileBytes(dir.File("pic0.jpg"));
  options.directory = dir.path();
  EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed);
  EXPECT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(ReadFileBytes(dir.File("pic0.jpg")), before);
  EXPECT_FALSE(fs::exists(dir.File("index.html")));
}

TEST_F(WebExportFixture, FailuresStopAtTheFirstWithOneMessage) {
  Open({{64, 48}});
  // A player folder without all of its files: nothing is written.
  fs::remove(player.File("controls.js"));
  EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].text.find(player.path()), std::string::npos);
  EXPECT_TRUE(FilesUnder(target.path()).empty());

  // A page that cannot be written stops everything, for both players.
  fs::create_directory(target.File("page.html"));
  options.pageName = "page.html";
  for (WebPlayer choice : {WebPlayer::Html5, WebPlayer::Applet}) {
    reporter.messages.clear();
    fs::remove(target.File("default.kxo"));
    options.player = choice;
    EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed);
    EXPECT_EQ(reporter.messages.size(), 1u);
    EXPECT_FALSE(fs::exists(target.File("default.kxo")));
    EXPECT_FALSE(fs::exists(target.File("pic0.jpg")));
  }
}

// Only the JPEG pictures the project loaded are published: never other files its names reach.
TEST_F(WebExportFixture, OnlyTheLoadedPicturesArePublished) {
  Open({{64, 48}});
  TempDir secret;
  WriteFileBytes(secret.File("passwd"), "root:x:0:0\n");
  WriteFileBytes(secret.File("private.txt"), "my secret");
  std::string climb;
  for (size_t i = 0; i < 12; ++i) climb += "../";  // past the root, as "../../../../etc/passwd" goes
  Reopen({"pic0.jpg", climb + secret.File("passwd").substr(1), secret.File("private.txt")});
  EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].text.find("passwd"), std::string::npos) << reporter.messages[0].text;
  EXPECT_NE(reporter.messages[0].text.find(secret.File("private.txt")), std::string::npos);
  EXPECT_TRUE(Everything(target.path()).empty());

  // A picture replaced by another file after the project loaded it.
  for (const char* replacement : {"text", "fifo"}) {
    Reopen({"pic0.jpg", "pic1.jpg"});
    WriteJpeg(dir.File("pic1.jpg"), 32, 24, [](int, int) { return Rgb{1, 2, 3}; });
    Reopen({"pic0.jpg", "pic1.jpg"});
    fs::remove(dir.File("pic1.jpg"));
    if (std::string(replacement) == "text")
      WriteFileBytes(dir.File("pic1.jpg"), "my secret");
    else
      ASSERT_EQ(mkfifo(dir.File("pic1.jpg").c_str(), 0600), 0);
    EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed) << replacement;
    EXPECT_EQ(reporter.messages.size(), 1u) << replacement;
    EXPECT_TRUE(Everything(target.path()).empty()) << replacement;
    fs::remove(dir.File("pic1.jpg"));
  }
}

// PNG and WebP pictures go to the page as they are (a PNG named .jpg stays a PNG); the applet,
// which plays JPEG only, gets JPEG copies named .jpg and a message that says so.
TEST_F(WebExportFixture, OtherKindsAsTheyAreOrAsJpegForTheApplet) {
  Open({{64, 48}});
  const RgbaSource colour = [](int x, int y) {
    return Rgba{static_cast<uint8_t>(x * 3), static_cast<uint8_t>(y * 4), 90, 255};
  };
  WriteFileBytes(dir.File("a.png"), EncodePng(80, 60, colour));
  WriteFileBytes(dir.File("b.webp"), EncodeWebp(80, 60, colour, true));
  WriteFileBytes(dir.File("c.jpg"), EncodePng(80, 60, colour));
  Reopen({"pic0.jpg", "a.png", "b.webp", "c.jpg"});
  ASSERT_EQ(ExportWeb(*stack, options), WebExportResult::Ok);
  EXPECT_TRUE(reporter.messages.empty());
  for (const auto& [name, mime] : std::vector<std::pair<std::string, std::string>>{
           {"a.png", "image/png"}, {"b.webp", "image/webp"}, {"c.jpg", "image/png"}}) {
    EXPECT_EQ(ReadFileBytes(target.File(name)), ReadFileBytes(dir.File(name)));
    const std::string url = WrapperArgument(ReadFileBytes(target.File(name + ".js")), 1);
    const std::string head = "data:" + mime + ";base64,";
    ASSERT_EQ(url.rfind(head, 0), 0u) << name;
    EXPECT_EQ(Decoded(url.substr(head.size())), ReadFileBytes(dir.File(name)));
  }

  TempDir applet;
  options.directory = applet.path();
  options.player = WebPlayer::Applet;
  options.archiveTemplate = dir.File("kx.jar");
  std::string jar(200000, '\0');  // copied a chunk at a time
  for (size_t k = 0; k < jar.size(); ++k) jar[k] = static_cast<char>(k * 7 + k / 251);
  WriteFileBytes(options.archiveTemplate, jar);
  options.page.archiveUrl = "kx.jar";
  ASSERT_EQ(ExportWeb(*stack, options), WebExportResult::Ok);
  EXPECT_EQ(ReadFileBytes(applet.File("kx.jar")), jar);
  EXPECT_EQ(FilesUnder(applet.path()),
            (std::set<std::string>{"index.html", "default.kxo", "kx.jar", "pic0.jpg", "a.jpg", "b.jpg", "c.jpg"}));
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    JpegInfo info;
    ASSERT_TRUE(ReadJpegInfo(applet.File(name), info)) << name;
    EXPECT_EQ(info.width, 80);
    RgbaPicture copy;
    ASSERT_EQ(DecodePictureRgba(applet.File(name), 1, copy), DecodeResult::Ok);
    const uint8_t* middle = copy.rgba.data() + (static_cast<size_t>(copy.height - 1 - 30) * 80 + 40) * 4;
    EXPECT_NEAR(middle[0], 120, 6) << name;
    EXPECT_NEAR(middle[1], 120, 6) << name;
  }
  const std::string data = ReadFileBytes(applet.File("default.kxo"));
  EXPECT_NE(data.find("a.jpg"), std::string::npos);
  EXPECT_EQ(data.find("a.png"), std::string::npos);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.messages[0].text,
            "The applet plays JPEG pictures only, so these pictures were written as JPEG copies (quality 90):\n"
            "\n    a.png  ->  a.jpg\n    b.webp  ->  b.jpg\n    c.jpg  ->  c.jpg");
}

// The applet shows files as they are: a corrected picture gets a corrected JPEG copy, named in
// the data file and in a message, and a picture lying in the target keeps its own file.
TEST_F(WebExportFixture, AppletCopiesOfCorrectedPicturesCarryTheirTones) {
  Open({{64, 48}, {64, 48}});
  stack->images[1]->colour = ColourCorrection{{2, 1, 1}, {0, 0.2f, 0}};
  const std::string original = ReadFileBytes(dir.File("pic1.jpg"));
  options.player = WebPlayer::Applet;
  options.archiveTemplate = dir.File("kx.jar");
  WriteFileBytes(options.archiveTemplate, "jar");
  options.page.archiveUrl = "kx.jar";
  for (const bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace);
    reporter.messages.clear();
    const std::string folder = inPlace ? dir.path() : target.path();
    const std::string copy = inPlace ? "pic1-2.jpg" : "pic1.jpg";
    options.directory = folder;
    ASSERT_EQ(ExportWeb(*stack, options), WebExportResult::Ok);
    EXPECT_EQ(ReadFileBytes(dir.File("pic1.jpg")), original);
    RgbaPicture decoded;
    ASSERT_EQ(DecodePictureRgba(folder + "/" + copy, 1, decoded), DecodeResult::Ok);
    const uint8_t* middle = decoded.rgba.data() + (static_cast<size_t>(decoded.height - 1 - 24) * 64 + 32) * 4;
    EXPECT_NEAR(middle[0], 64, 6);  // 32 x 2
    EXPECT_NEAR(middle[1], 75, 6);  // 24 + 51
    EXPECT_NEAR(middle[2], 90, 6);
    EXPECT_NE(ReadFileBytes(folder + "/default.kxo").find(copy), std::string::npos);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text,
              "The applet shows pictures as their files have them, so these pictures were written as JPEG copies "
              "with their colour corrections (quality 90):\n\n    pic1.jpg  ->  " +
                  copy);
  }
}

// Links in the target are replaced, never written through; the question names them.
TEST_F(WebExportFixture, SymbolicLinksAreReplacedNotFollowed) {
  Open({{64, 48}});
  TempDir elsewhere;
  fs::create_directory(elsewhere.File("dir"));
  WriteFileBytes(elsewhere.File("file"), "mine");
  const std::pair<std::string, std::string> links[] = {{"pic0.jpg", elsewhere.File("new.txt")},  // dangling
                                                       {"tunnelvista-player", elsewhere.File("dir")},
                                                       {"index.html", elsewhere.File("file")}};
  for (const auto& [name, to] : links) fs::create_symlink(to, target.File(name));
  const std::vector<std::string> existing = ExistingWebExportFiles(*stack, options);
  for (const auto& [name, to] : links)
    EXPECT_NE(std::find(existing.begin(), existing.end(), target.File(name) + " (a symbolic link to " + to + ")"),
              existing.end())
        << name;

  ASSERT_EQ(ExportWeb(*stack, options), WebExportResult::Ok);  // as --force does
  EXPECT_EQ(Everything(elsewhere.path()), (std::map<std::string, std::string>{{"dir", "folder"}, {"file", "mine"}}));
  EXPECT_EQ(ReadFileBytes(target.File("pic0.jpg")), ReadFileBytes(dir.File("pic0.jpg")));
  EXPECT_FALSE(fs::is_symlink(target.File("index.html")));
  EXPECT_FALSE(fs::is_symlink(target.File("tunnelvista-player")));
  EXPECT_EQ(ReadFileBytes(target.File("tunnelvista-player/kxo.js")), "// kxo.js");
  EXPECT_EQ(Everything(target.path()).size(), 6u + 7u);  // no hidden folder left
}

// A failed or interrupted export leaves the folder as it was.
TEST_F(WebExportFixture, FailureOrInterruptionLeavesTheFolderAsItWas) {
  Open({{64, 48}, {32, 24}});
  WriteFileBytes(target.File("index.html"), "old page");
  WriteFileBytes(target.File("pic0.jpg"), "old picture");
  const auto before = Everything(target.path());
  const std::string pic1 = ReadFileBytes(dir.File("pic1.jpg"));
  struct Case {
    const char* what;
    std::function<void()> arrange;
  } cases[] = {
      {"a picture gone", [&] { fs::remove(dir.File("pic1.jpg")); }},
      {"interrupted at the second picture",
       [&] {
         int asked = 0;
         options.cancelled = [asked]() mutable { return ++asked == 2; };
       }},
  };
  for (const Case& c : cases) {
    reporter.messages.clear();
    c.arrange();
    EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed) << c.what;
    EXPECT_EQ(reporter.messages.size(), 1u) << c.what;
    EXPECT_EQ(Everything(target.path()), before) << c.what;
    WriteFileBytes(dir.File("pic1.jpg"), pic1);
  }
  // A target made for the export goes again.
  options.directory = target.File("new/site");
  options.cancelled = [] { return true; };
  EXPECT_EQ(ExportWeb(*stack, options), WebExportResult::Failed);
  EXPECT_FALSE(fs::exists(target.File("new")));
}

// Pictures of the same name from different folders stay two pictures.
TEST_F(WebExportFixture, SameNamesFromDifferentFoldersGetTheirOwn) {
  Open({{64, 48}});
  TempDir a, b;
  WriteJpeg(a.File("p.jpg"), 64, 48, [](int, int) { return Rgb{200, 0, 0}; });
  WriteJpeg(b.File("p.jpg"), 32, 24, [](int, int) { return Rgb{0, 0, 200}; });
  WriteJpeg(b.File("p-2.jpg"), 16, 12, [](int, int) { return Rgb{0, 200, 0}; });
  Reopen({a.File("p.jpg"), b.File("p.jpg"), a.File("p.jpg"), b.File("p-2.jpg")});
  const std::vector<std::string> names = {"p.jpg", "p-2.jpg", "p.jpg", "p-2-2.jpg"};
  EXPECT_EQ(ExportedNames(*stack, options), names);
  ASSERT_EQ(ExportWeb(*stack, options), WebExportResult::Ok);
  EXPECT_EQ(ReadFileBytes(target.File("p.jpg")), ReadFileBytes(a.File("p.jpg")));
  EXPECT_EQ(ReadFileBytes(target.File("p-2.jpg")), ReadFileBytes(b.File("p.jpg")));
  EXPECT_EQ(ReadFileBytes(target.File("p-2-2.jpg")), ReadFileBytes(b.File("p-2.jpg")));
  EXPECT_EQ(WrapperArgument(ReadFileBytes(target.File("p-2.jpg.js")), 0), "p-2.jpg");
  const std::string data = ReadFileBytes(target.File("default.kxo"));
  for (const std::string& name : names) EXPECT_NE(data.find(name), std::string::npos) << name;
}

}  // namespace
