#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <locale>
#include <map>
#include <sstream>
#include <stdexcept>

#include "Imagestack.h"
#include "ImagestackExport.h"
#include "RecordingReporter.h"
#include "TestFiles.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Helpers

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

size_t FileCount(const std::string& directory) {
  return static_cast<size_t>(
      std::distance(std::filesystem::directory_iterator(directory), std::filesystem::directory_iterator()));
}

// Caps the size of files this process may write while it lives, so a write fails midway as on
// a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved_), 0);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved_;
    small.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct rlimit saved_ {};
  void (*previousHandler_)(int) = nullptr;
};

// Every byte value, several times over, so copies are checked on more than one block.
std::string BinaryBytes(size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

// ---------------------------------------------------------------------------------------------
// The page

WebPageOptions DefaultOptions() {
  WebPageOptions o;
  o.title = "Tunnelvista";
  o.caption = "This file was created automatically by the <i>Tunnelvista</i> Editor";
  o.archiveUrl = "kx.jar";
  o.dataUrl = "default.kxo";
  o.duration = 15.0f;
  o.showControls = true;
  o.autoplay = true;
  o.playForward = true;
  o.width = 320;
  o.height = 260;
  o.pageColour = 0x404040;
  o.textColour = 0xFFFFFF;
  return o;
}

// The page for DefaultOptions(), line by line (index 0 is line 1).
const std::vector<std::string> defaultPage = {
    "<html>",
    "<head><title>Tunnelvista</title></head>",
    "<body bgcolor=#404040 text=#FFFFFF>",
    "<h1 align=center>Tunnelvista</h1>",
    "<table border=0 cellpadding=1 cellspacing=0 align=center>",
    "<tr><td width=320 height=260 align=center bgcolor=#000000>",
    R"(<script language="JavaScript" type="text/javascript"><!--)",
    "    var _info = navigator.userAgent;",
    "    var _ns = false;",
    "    var _ns6 = false;",
    R"(    var _ie = (_info.indexOf("MSIE") > 0 && _info.indexOf("Win") > 0 && _info.indexOf("Windows 3.1") < 0);)",
    "//--></script>",
    "    <comment>",
    R"(        <script language="JavaScript" type="text/javascript"><!--)",
    R"(        var _ns = (navigator.appName.indexOf("Netscape") >= 0 && ((_info.indexOf("Win") > 0 && )"
    R"(_info.indexOf("Win16") < 0 && java.lang.System.getProperty("os.version").indexOf("3.5") < 0) || )"
    R"((_info.indexOf("Sun") > 0) || (_info.indexOf("Linux") > 0) || (_info.indexOf("AIX") > 0) || )"
    R"((_info.indexOf("OS/2") > 0) || (_info.indexOf("IRIX") > 0)));)",
    R"(        var _ns6 = ((_ns == true) && (_info.indexOf("Mozilla/5") >= 0));)",
    "//--></script>",
    "    </comment>",
    R"(<script language="JavaScript" type="text/javascript"><!--)",
    R"(    if (_ie == true) document.writeln('<object classid="clsid:8AD9C840-044E-11D1-B3E9-00805F499D93" )"
    R"(WIDTH = 320 HEIGHT = 260  codebase="https://www.java.com/update/1.5.0/jinstall-1_5-windows-i586.cab)"
    R"(#Version=1,2,0,0"><noembed><xmp>');)",
    R"(    else if (_ns == true && _ns6 == false) document.writeln('<embed ' +)",
    "\t"
    R"(    'type="application/x-java-applet;version=1.2" \)",
    R"(            CODE = "kx.class" \)",
    R"(            ARCHIVE = "kx.jar" \)",
    R"(            WIDTH = 320 \)",
    R"(            HEIGHT = 260 \)",
    R"(            filename ="default.kxo" \)",
    R"(            showControls ="true" \)",
    R"(            playForward ="true" \)",
    R"(            autoPlay ="true" \)",
    R"(            duration ="15.000000" ' +)",
    "\t"
    R"(    'scriptable=false ' +)",
    "\t"
    R"(    'pluginspage="https://www.java.com/products/plugin/index.html#download"><noembed><xmp>');)",
    "//--></script>",
    R"(<applet  CODE = "kx.class" ARCHIVE = "kx.jar" WIDTH = 320 HEIGHT = 260></xmp>)",
    R"(    <PARAM NAME=CODE VALUE = "kx.class" >)",
    R"(    <PARAM NAME=ARCHIVE VALUE = "kx.jar" >)",
    R"(    <PARAM NAME=type VALUE="application/x-java-applet;version=1.2">)",
    R"(    <PARAM NAME=scriptable VALUE="false">)",
    R"(    <PARAM NAME=filename VALUE="default.kxo">)",
    R"(    <PARAM NAME=showControls VALUE="true">)",
    R"(    <PARAM NAME=playForward VALUE="true">)",
    R"(    <PARAM NAME=autoPlay VALUE="true">)",
    R"(    <PARAM NAME=duration VALUE="15.000000">)",
    "<font color=#FFFFFF>To see this applet<br>Java must be enabled</font>",
    "</applet>",
    "</noembed>",
    "</embed>",
    "</object>",
    "</td></tr>",
    "</table><br>",
    "<table border=0 width=400 align=center><tr><td align=center>",
    "This file was created automatically by the <i>Tunnelvista</i> Editor",
    "</td></tr></table>",
    "</body>",
    "</html>",
};

std::string Page(const WebPageOptions& options) {
  std::ostringstream out;
  WriteWebPage(out, options);
  return out.str();
}

// The default page with the given lines (numbered from 1) replaced.
std::string DefaultPageWith(const std::map<int, std::string>& changed) {
  std::vector<std::string> lines = defaultPage;
  for (const auto& [number, text] : changed) lines.at(static_cast<size_t>(number - 1)) = text;
  return Join(lines);
}

TEST(WebPage, DefaultsByteForByte) {
  ASSERT_EQ(defaultPage.size(), 56u);
  const std::string page = Page(DefaultOptions());
  EXPECT_EQ(page, Join(defaultPage));
  EXPECT_EQ(page.find('\r'), std::string::npos);
  // The characters that are easiest to get wrong, spelled out once more.
  const std::vector<std::string> lines = Lines(page);
  ASSERT_EQ(lines.size(), 56u);
  for (int n : {22, 32, 33}) EXPECT_EQ(lines[static_cast<size_t>(n - 1)].substr(0, 5), "\t    ") << "line " << n;
  for (int n = 22; n <= 30; ++n) {
    const std::string& line = lines[static_cast<size_t>(n - 1)];
    EXPECT_EQ(line.substr(line.size() - 2), " \\") << "line " << n;
  }
  EXPECT_NE(lines[19].find("HEIGHT = 260  codebase="), std::string::npos);
  EXPECT_EQ(lines[34].substr(0, 14), "<applet  CODE ");
}

TEST(WebPage, ColoursAreRedGreenBlueFromTheLowByteUp) {
  EXPECT_EQ(HtmlColour(0x404040), "404040");
  EXPECT_EQ(HtmlColour(0xFFFFFF), "FFFFFF");
  EXPECT_EQ(HtmlColour(0x0000FF), "FF0000");
  EXPECT_EQ(HtmlColour(0x0080FF), "FF8000");
  EXPECT_EQ(HtmlColour(0xFF0000), "0000FF");
  EXPECT_EQ(HtmlColour(0x0A0B0C), "0C0B0A");
  EXPECT_EQ(HtmlColour(0), "000000");

  WebPageOptions o = DefaultOptions();
  o.pageColour = 0x0000FF;
  o.textColour = 0x0080FF;
  EXPECT_EQ(Page(o), DefaultPageWith({{3, "<body bgcolor=#FF0000 text=#FF8000>"}}));
}

TEST(WebPage, DurationWithSixDecimalsInBothPlaces) {
  WebPageOptions o = DefaultOptions();
  o.duration = 12.5f;
  EXPECT_EQ(Page(o), DefaultPageWith({{31, R"(            duration ="12.500000" ' +)"},
                                      {44, R"(    <PARAM NAME=duration VALUE="12.500000">)"}}));
  o.duration = 200.0f;
  EXPECT_EQ(Page(o), DefaultPageWith({{31, R"(            duration ="200.000000" ' +)"},
                                      {44, R"(    <PARAM NAME=duration VALUE="200.000000">)"}}));
}

TEST(WebPage, EachFlagGoesToItsOwnTwoLines) {
  WebPageOptions o = DefaultOptions();
  o.showControls = false;
  EXPECT_EQ(Page(o), DefaultPageWith({{28, R"(            showControls ="false" \)"},
                                      {41, R"(    <PARAM NAME=showControls VALUE="false">)"}}));
  o = DefaultOptions();
  o.playForward = false;
  EXPECT_EQ(Page(o), DefaultPageWith({{29, R"(            playForward ="false" \)"},
                                      {42, R"(    <PARAM NAME=playForward VALUE="false">)"}}));
  o = DefaultOptions();
  o.autoplay = false;
  EXPECT_EQ(Page(o), DefaultPageWith({{30, R"(            autoPlay ="false" \)"},
                                      {43, R"(    <PARAM NAME=autoPlay VALUE="false">)"}}));
}

TEST(WebPage, SizeNamesAndTitleAreInsertedVerbatim) {
  WebPageOptions o = DefaultOptions();
  o.width = 800;
  o.height = 37;
  o.title = "Tom & Jerry <zoom>";
  o.archiveUrl = "../../kx.jar";
  o.dataUrl = "my data.kxo";
  EXPECT_EQ(
      Page(o),
      DefaultPageWith({
          {2, "<head><title>Tom & Jerry <zoom></title></head>"},
          {4, "<h1 align=center>Tom & Jerry <zoom></h1>"},
          {6, "<tr><td width=800 height=37 align=center bgcolor=#000000>"},
          {20, R"(    if (_ie == true) document.writeln('<object classid="clsid:8AD9C840-044E-11D1-B3E9-00805F499D93" )"
               R"(WIDTH = 800 HEIGHT = 37  codebase="https://www.java.com/update/1.5.0/)"
               R"(jinstall-1_5-windows-i586.cab#Version=1,2,0,0"><noembed><xmp>');)"},
          {24, R"(            ARCHIVE = "../../kx.jar" \)"},
          {25, R"(            WIDTH = 800 \)"},
          {26, R"(            HEIGHT = 37 \)"},
          {27, R"(            filename ="my data.kxo" \)"},
          {35, R"(<applet  CODE = "kx.class" ARCHIVE = "../../kx.jar" WIDTH = 800 HEIGHT = 37></xmp>)"},
          {37, R"(    <PARAM NAME=ARCHIVE VALUE = "../../kx.jar" >)"},
          {40, R"(    <PARAM NAME=filename VALUE="my data.kxo">)"},
      }));
}

TEST(WebPage, CaptionPassesThroughUnchanged) {
  WebPageOptions o = DefaultOptions();
  o.caption = "First <b>line</b> & more\nsecond line\n\n<a href=\"x.html\">fourth</a>";
  std::vector<std::string> expected = defaultPage;
  expected.erase(expected.begin() + 52);
  expected.insert(expected.begin() + 52,
                  {"First <b>line</b> & more", "second line", "", "<a href=\"x.html\">fourth</a>"});
  const std::string page = Page(o);
  EXPECT_EQ(page, Join(expected));
  EXPECT_EQ(Lines(page).size(), 56u + 3u);

  o.caption = "";
  EXPECT_EQ(Page(o), DefaultPageWith({{53, ""}}));
}

TEST(WebPage, SameInADecimalCommaLocale) {
  WebPageOptions o = DefaultOptions();
  o.duration = 12.5f;
  o.width = 1280;
  const std::string expected = Page(o);
  ASSERT_NE(expected.find("\"12.500000\""), std::string::npos);
  ASSERT_NE(expected.find("WIDTH = 1280 "), std::string::npos);

  const std::string savedC = std::setlocale(LC_ALL, nullptr);
  const std::locale savedCxx;
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  std::string page;
  try {
    std::locale::global(std::locale("de_DE.UTF-8"));
    page = Page(o);
  } catch (const std::runtime_error&) {
    page = Page(o);  // the C library's locale alone
  }
  std::locale::global(savedCxx);
  std::setlocale(LC_ALL, savedC.c_str());
  EXPECT_EQ(page, expected);
}

// ---------------------------------------------------------------------------------------------
// The data file

uint32_t Word(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

float FloatAt(const std::string& bytes, size_t offset) {
  const uint32_t word = Word(bytes, offset);
  float value;
  std::memcpy(&value, &word, 4);
  return value;
}

uint32_t Bits(float value) {
  uint32_t word;
  std::memcpy(&word, &value, 4);
  return word;
}

std::string BigEndian(const std::vector<uint32_t>& words) {
  std::string bytes;
  for (uint32_t w : words)
    for (int shift : {24, 16, 8, 0}) bytes += static_cast<char>((w >> shift) & 0xFF);
  return bytes;
}

std::unique_ptr<Image> Picture(const std::string& fileName, const std::string& projectPath, Transform t) {
  auto image = std::make_unique<Image>();
  image->fileName = fileName;
  image->ResolvePath(projectPath);
  image->width = 400;
  image->height = 300;
  image->transform = t;
  return image;
}

std::unique_ptr<Image> TargetFrame(Transform t) {
  auto image = std::make_unique<Image>();
  image->width = 400;
  image->height = 300;
  image->transform = t;
  return image;
}

const Transform placements[] = {
    {1.5f, 0.125f, -0.25f, 7.0f},  // the first picture's own placement is written too
    {0.5f, 0.1f, -0.05f, 15.0f},
    {0.4f, -0.1f, 0.05f, -30.0f},
    {0.3f, 0.02f, 0.01f, 5.0f},  // target frame
};

ImageStack ThreePictureStack() {
  ImageStack stack;
  stack.path = "/proj/p.kx";
  stack.duration = 10.0f;
  stack.images.push_back(Picture("/x/y/a.jpg", stack.path, placements[0]));
  stack.images.push_back(Picture("b.jpg", stack.path, placements[1]));
  stack.images.push_back(Picture("C:\\pics\\c.jpg", stack.path, placements[2]));
  stack.images.push_back(TargetFrame(placements[3]));
  return stack;
}

std::string Data(ImageStack& stack, float duration) {
  std::ostringstream out;
  WriteOptimizedData(out, stack, duration);
  return out.str();
}

// Checks the key records starting at `offset` against `keys`, bit for bit.
void ExpectKeys(const std::string& bytes, size_t offset, const std::vector<Keyframe>& keys) {
  ASSERT_EQ(bytes.size(), offset + 40 * keys.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    const Keyframe& key = keys[k];
    const float fields[10] = {key.zoom, key.logZoom,      key.x,      key.y,      key.rotate,
                              key.time, key.logZoomSlope, key.xSlope, key.ySlope, key.rotateSlope};
    for (size_t f = 0; f < 10; ++f)
      EXPECT_EQ(Word(bytes, offset + 40 * k + 4 * f), Bits(fields[f])) << "key " << k << " field " << f;
  }
}

TEST(OptimizedData, LayoutOfAThreePictureStack) {
  ImageStack stack = ThreePictureStack();
  const std::string bytes = Data(stack, 15.0f);

  std::string header = "#Tunnelvista-optimized v1.0   ";
  ASSERT_EQ(header.size(), 30u);
  header += std::string("\x02\x00\x00\x00", 4);
  header += std::string("\x41\x70\x00\x00", 4);  // 15.0f
  header += std::string("\x00\x00\x00\x03", 4);  // three pictures
  ASSERT_GE(bytes.size(), header.size());
  EXPECT_EQ(bytes.substr(0, header.size()), header);

  size_t offset = 42;
  const char* const names[] = {"a.jpg", "b.jpg", "c.jpg"};
  for (int i = 0; i < 3; ++i) {
    const std::string name = names[i];
    const Transform& t = placements[i];
    const std::string record = BigEndian({static_cast<uint32_t>(name.size())}) + name +
                               BigEndian({Bits(t.scale), Bits(t.translateX), Bits(t.translateY), Bits(t.rotate)});
    EXPECT_EQ(bytes.substr(offset, record.size()), record) << "picture " << i;
    offset += record.size();
  }
  // Spelled out once: 0.5f is 3F 00 00 00, 15.0f is 41 70 00 00.
  EXPECT_EQ(bytes.substr(42 + 25 + 4 + 5, 4), std::string("\x3F\x00\x00\x00", 4));
  EXPECT_EQ(bytes.substr(42 + 25 + 4 + 5 + 12, 4), std::string("\x41\x70\x00\x00", 4));

  ASSERT_GE(bytes.size(), offset + 4);
  EXPECT_EQ(Word(bytes, offset), 4u);

  // The keys are those the timeline builds for the same stack.
  ImageStack reference = ThreePictureStack();
  reference.BuildKeyframes();
  ASSERT_EQ(reference.keyCount(), 4);
  ExpectKeys(bytes, offset + 4, reference.keys);
  EXPECT_FLOAT_EQ(FloatAt(bytes, offset + 4 + 40 * 3 + 4 * 5), 1.0f);  // the target frame's time
}

TEST(OptimizedData, DirtyKeysAreRebuiltAndTheFlagStays) {
  ImageStack stack = ThreePictureStack();
  stack.keys.assign(1, Keyframe{9, 9, 9, 9, 9, 9, 9, 9, 9, 9});  // stale
  stack.dirty = true;
  const std::string bytes = Data(stack, 15.0f);
  EXPECT_TRUE(stack.dirty);
  ASSERT_EQ(stack.keyCount(), 4);

  ImageStack reference = ThreePictureStack();
  reference.BuildKeyframes();
  const size_t keysAt = bytes.size() - 4 * 40;
  EXPECT_EQ(Word(bytes, keysAt - 4), 4u);
  ExpectKeys(bytes, keysAt, reference.keys);
}

TEST(OptimizedData, CurrentKeysAreWrittenAsTheyAre) {
  ImageStack stack = ThreePictureStack();
  stack.BuildKeyframes();
  stack.keys[2].xSlope = -123.25f;  // a table that is not dirty is taken as it stands
  stack.dirty = false;
  const std::string bytes = Data(stack, 15.0f);
  EXPECT_FALSE(stack.dirty);
  EXPECT_EQ(stack.keys[2].xSlope, -123.25f);
  ExpectKeys(bytes, bytes.size() - 4 * 40, stack.keys);
}

TEST(OptimizedData, IdenticalInputGivesIdenticalBytes) {
  ImageStack first = ThreePictureStack();
  ImageStack second = ThreePictureStack();
  const std::string bytes = Data(first, 12.5f);
  EXPECT_EQ(Data(first, 12.5f), bytes);  // now with current keys
  EXPECT_EQ(Data(second, 12.5f), bytes);
  EXPECT_EQ(Word(bytes, 34), Bits(12.5f));
  EXPECT_NE(Data(second, 13.0f), bytes);
}

TEST(OptimizedData, OnePicture) {
  ImageStack stack;
  stack.images.push_back(Picture("/pics/only one.jpg", "", Transform{1, 0, 0, 0}));
  stack.images.push_back(TargetFrame(Transform{0.25f, 0, 0, 0}));
  const std::string bytes = Data(stack, 1.0f);
  const std::string name = "only one.jpg";
  ASSERT_EQ(bytes.size(), 42 + 4 + name.size() + 16 + 4 + 2 * 40);
  EXPECT_EQ(Word(bytes, 34), Bits(1.0f));
  EXPECT_EQ(Word(bytes, 38), 1u);
  EXPECT_EQ(Word(bytes, 42), name.size());
  EXPECT_EQ(bytes.substr(46, name.size()), name);
  const size_t keysAt = 46 + name.size() + 16;
  EXPECT_EQ(Word(bytes, keysAt), 2u);
  EXPECT_FLOAT_EQ(FloatAt(bytes, keysAt + 4), 1.0f);            // first zoom
  EXPECT_FLOAT_EQ(FloatAt(bytes, keysAt + 4 + 40), 4.0f);       // target frame zoom
  EXPECT_FLOAT_EQ(FloatAt(bytes, keysAt + 4 + 40 + 20), 1.0f);  // target frame time
}

// ---------------------------------------------------------------------------------------------
// Where the archive may lie

TEST(JarFileOK, BesideOrAboveThePageOnly) {
  for (const char* name : {"kx.jar", "../kx.jar", "../../kx.jar", "/kx.jar", "../../../other.jar"})
    EXPECT_TRUE(JarFileOK(name)) << name;
  for (const char* name :
       {"sub/kx.jar", "./kx.jar", ".../kx.jar", "../sub/kx.jar", "/../kx.jar", "..//kx.jar", "x../kx.jar"})
    EXPECT_FALSE(JarFileOK(name)) << name;
}

// ---------------------------------------------------------------------------------------------
// Writing the three files

// The page's values in the order the export hands them over.
WebPageOptions Options(const std::string& dataUrl, const std::string& archiveUrl, const std::string& title,
                       const std::string& caption, float duration, bool showControls, bool autoplay, bool playForward,
                       int width, int height, uint32_t pageColour, uint32_t textColour) {
  WebPageOptions o;
  o.dataUrl = dataUrl;
  o.archiveUrl = archiveUrl;
  o.title = title;
  o.caption = caption;
  o.duration = duration;
  o.showControls = showControls;
  o.autoplay = autoplay;
  o.playForward = playForward;
  o.width = width;
  o.height = height;
  o.pageColour = pageColour;
  o.textColour = textColour;
  return o;
}

class WebFilesFixture : public ::testing::Test {
 protected:
  WebFilesFixture() {
    templatePath = templateDir.File("kx.jar");
    WriteFileBytes(templatePath, archiveBytes);
  }

  bool Write(const std::string& page, const std::string& data, const std::string& archive) {
    return stack.WriteWebFiles(page, data, archive,
                               Options("default.kxo", "kx.jar", "Tunnelvista",
                                       "This file was created automatically by the <i>Tunnelvista</i> Editor", 15.0f,
                                       true, true, true, 320, 260, 0x404040, 0xFFFFFF),
                               templatePath);
  }

  std::string ExpectedData() {
    ImageStack reference = ThreePictureStack();
    return Data(reference, 15.0f);
  }

  TempDir dir;
  TempDir templateDir;
  std::string templatePath;
  const std::string archiveBytes = BinaryBytes(1000);
  ImageStack stack = ThreePictureStack();
  RecordingReporter reporter;
};

TEST_F(WebFilesFixture, WritesPageDataAndArchive) {
  EXPECT_TRUE(Write(dir.File("index.html"), dir.File("default.kxo"), dir.File("kx.jar")));
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(ReadFileBytes(dir.File("index.html")), Join(defaultPage));
  EXPECT_EQ(ReadFileBytes(dir.File("default.kxo")), ExpectedData());
  EXPECT_EQ(ReadFileBytes(dir.File("kx.jar")), archiveBytes);
  EXPECT_EQ(FileCount(dir.path()), 3u);
}

TEST_F(WebFilesFixture, EveryValueReachesItsPlace) {
  ASSERT_TRUE(stack.WriteWebFiles(
      dir.File("z.html"), dir.File("d.kxo"), dir.File("a.jar"),
      Options("d.kxo", "a.jar", "T", "C", 12.5f, false, true, false, 640, 480, 0x0000FF, 0x0080FF), templatePath));
  const std::vector<std::string> lines = Lines(ReadFileBytes(dir.File("z.html")));
  ASSERT_EQ(lines.size(), 56u);
  EXPECT_EQ(lines[1], "<head><title>T</title></head>");
  EXPECT_EQ(lines[2], "<body bgcolor=#FF0000 text=#FF8000>");
  EXPECT_EQ(lines[5], "<tr><td width=640 height=480 align=center bgcolor=#000000>");
  EXPECT_EQ(lines[23], R"(            ARCHIVE = "a.jar" \)");
  EXPECT_EQ(lines[26], R"(            filename ="d.kxo" \)");
  EXPECT_EQ(lines[27], R"(            showControls ="false" \)");
  EXPECT_EQ(lines[28], R"(            playForward ="false" \)");
  EXPECT_EQ(lines[29], R"(            autoPlay ="true" \)");
  EXPECT_EQ(lines[30], R"(            duration ="12.500000" ' +)");
  EXPECT_EQ(lines[52], "C");
  // The data file carries the export's duration, not the project's.
  const std::string data = ReadFileBytes(dir.File("d.kxo"));
  EXPECT_EQ(Word(data, 34), Bits(12.5f));
  EXPECT_EQ(stack.duration, 10.0f);
  EXPECT_EQ(ReadFileBytes(dir.File("a.jar")), archiveBytes);
}

TEST_F(WebFilesFixture, MissingTemplate) {
  std::filesystem::remove(templatePath);
  EXPECT_FALSE(Write(dir.File("index.html"), dir.File("default.kxo"), dir.File("kx.jar")));
  EXPECT_EQ(reporter.Texts(),
            std::vector<std::string>{"The Java Archive (.jar) template could not be found at its expected location\n"
                                     "and may have been deleted.\n\n    " +
                                     templatePath + "\n\nUnable to create new .jar file."});
  EXPECT_EQ(ReadFileBytes(dir.File("index.html")), Join(defaultPage));
  EXPECT_EQ(ReadFileBytes(dir.File("default.kxo")), ExpectedData());
  EXPECT_FALSE(std::filesystem::exists(dir.File("kx.jar")));
}

TEST_F(WebFilesFixture, PageThatCannotBeCreatedStopsEverything) {
  WriteFileBytes(dir.File("plain"), "a file, not a directory");
  const std::string page = dir.File("plain/index.html");
  EXPECT_FALSE(Write(page, dir.File("default.kxo"), dir.File("kx.jar")));
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error opening file " + page + " for writing\n"});
  EXPECT_FALSE(std::filesystem::exists(dir.File("default.kxo")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("kx.jar")));
}

TEST_F(WebFilesFixture, PageWriteFailureKeepsTheOlderPage) {
  const std::string page = dir.File("index.html");
  WriteFileBytes(page, "an older page");
  bool ok;
  {
    FileSizeLimit limit(100);  // far below the page's size
    ok = Write(page, dir.File("default.kxo"), dir.File("kx.jar"));
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error writing file " + page + "\n"});
  EXPECT_EQ(ReadFileBytes(page), "an older page");
  EXPECT_EQ(FileCount(dir.path()), 1u);  // no temporary file, no data file, no archive
}

TEST_F(WebFilesFixture, DataFileWriteFailureStopsBeforeTheArchive) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const std::string data = dir.File("default.kxo");
  std::filesystem::create_symlink("/dev/full", data);
  EXPECT_FALSE(Write(dir.File("index.html"), data, dir.File("kx.jar")));
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error writing file " + data + "\n"});
  EXPECT_EQ(ReadFileBytes(dir.File("index.html")), Join(defaultPage));
  EXPECT_FALSE(std::filesystem::exists(dir.File("kx.jar")));
}

TEST_F(WebFilesFixture, ArchiveThatCannotBeCreated) {
  const std::string archive = dir.File("missing/kx.jar");
  EXPECT_FALSE(Write(dir.File("index.html"), dir.File("default.kxo"), archive));
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error opening file " + archive + " for writing\n"});
  EXPECT_EQ(ReadFileBytes(dir.File("default.kxo")), ExpectedData());
}

// ---------------------------------------------------------------------------------------------
// Copying a picture

class CopyFixture : public ::testing::Test {
 protected:
  CopyFixture() {
    WriteFileBytes(source.File("pic.jpg"), pictureBytes);
    picture.fileName = source.File("pic.jpg");
    picture.ResolvePath("");
  }

  TempDir source;
  TempDir target;
  const std::string pictureBytes = BinaryBytes(1500);
  Image picture;
  RecordingReporter reporter;
};

TEST_F(CopyFixture, CopiesTheBytesExactly) {
  EXPECT_TRUE(picture.CopyTo(target.File("pic.jpg")));
  EXPECT_EQ(ReadFileBytes(target.File("pic.jpg")), pictureBytes);

  WriteFileBytes(target.File("longer.jpg"), std::string(5000, 'o'));  // an older, longer file goes entirely
  EXPECT_TRUE(picture.CopyTo(target.File("longer.jpg")));
  EXPECT_EQ(ReadFileBytes(target.File("longer.jpg")), pictureBytes);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(FileCount(target.path()), 2u);
}

TEST_F(CopyFixture, OntoItselfKeepsThePicture) {
  EXPECT_TRUE(picture.CopyTo(picture.FullPath()));
  EXPECT_EQ(ReadFileBytes(source.File("pic.jpg")), pictureBytes);
}

TEST_F(CopyFixture, MissingSource) {
  Image missing;
  missing.fileName = source.File("gone.jpg");
  missing.ResolvePath("");
  EXPECT_FALSE(missing.CopyTo(target.File("gone.jpg")));
  EXPECT_EQ(reporter.Texts(),
            std::vector<std::string>{"The image could not be found at its expected location:\n\n    " +
                                     source.File("gone.jpg") + "\n\nUnable to copy image to target directory."});
  EXPECT_EQ(FileCount(target.path()), 0u);
}

TEST_F(CopyFixture, DestinationThatCannotBeCreated) {
  const std::string destination = target.File("missing/pic.jpg");
  EXPECT_FALSE(picture.CopyTo(destination));
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error opening file " + destination + " for writing\n"});
}

TEST_F(CopyFixture, FailedWriteKeepsTheOlderFile) {
  const std::string destination = target.File("pic.jpg");
  WriteFileBytes(destination, "older picture");
  bool ok;
  {
    FileSizeLimit limit(100);
    ok = picture.CopyTo(destination);
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error writing file " + destination + "\n"});
  EXPECT_EQ(ReadFileBytes(destination), "older picture");
  EXPECT_EQ(FileCount(target.path()), 1u);
}

}  // namespace
