#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Imagestack.h"
#include "RecordingReporter.h"
#include "TestFiles.h"
#include "TextNumbers.h"

namespace {

const char* const unexpectedFormat = "Unexpected file format.";

std::unique_ptr<Image> Element(const std::string& fileName, Transform t) {
  auto image = std::make_unique<Image>();
  image->fileName = fileName;
  image->transform = t;
  return image;
}

ImageStack TwoPictureStack() {
  ImageStack stack;
  stack.images.push_back(Element("C:\\pics\\a.jpg", Transform()));
  stack.images.push_back(Element("pics\\b b.jpg", Transform{0.5f, -0.25f, 0.1f, 10.0f}));
  stack.images.push_back(Element("", Transform{0.5f, 0, 0, 0}));
  return stack;
}

std::string Saved(const ImageStack& stack) {
  std::ostringstream out;
  stack.SaveProject(out);
  return out.str();
}

// Reads `text` into a fresh stack whose project lies at /proj/p.kx; returns the messages.
std::vector<std::string> Read(const std::string& text, ImageStack& stack, bool expectOk) {
  RecordingReporter reporter;
  stack.path = "/proj/p.kx";
  EXPECT_EQ(stack.ReadProject(text), expectOk) << text;
  return reporter.Texts();
}

const std::string twoPictureFile =
    "#Tunnelvista v1.0\r\n"
    "duration 10.0000000000\r\n"
    "images 2\r\n"
    "\r\n"
    "filename C:\\pics\\a.jpg\r\n"
    "scale 1.0000000000\r\n"
    "translate 0.0000000000 0.0000000000\r\n"
    "rotate 0.0000000000\r\n"
    "\r\n"
    "filename pics\\b b.jpg\r\n"
    "scale 0.5000000000\r\n"
    "translate -0.2500000000 0.1000000015\r\n"
    "rotate 10.0000000000\r\n"
    "\r\n"
    "target\r\n"
    "scale 0.5000000000\r\n"
    "translate 0.0000000000 0.0000000000\r\n"
    "rotate 0.0000000000\r\n";

TEST(SaveProject, WritesTheExactLines) { EXPECT_EQ(Saved(TwoPictureStack()), twoPictureFile); }

TEST(SaveProject, NumberFormat) {
  struct Case {
    float value;
    const char* text;
  } cases[] = {{1, "1.0000000000"},     {10, "10.0000000000"},           {-0.25f, "-0.2500000000"},
               {0.1f, "0.1000000015"},  {1e-11f, "0.0000000000"},        {-1e-11f, "-0.0000000000"},
               {200, "200.0000000000"}, {123456.5f, "123456.5000000000"}};
  for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, 10), c.text);
}

TEST(SaveProject, UsesAPointInADecimalCommaLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"};
  std::string previous = std::setlocale(LC_ALL, nullptr);
  bool set = false;
  for (const char* name : names)
    if (std::setlocale(LC_ALL, name)) {
      set = true;
      break;
    }
  if (!set) GTEST_SKIP() << "no decimal-comma locale on this machine";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");  // the locale is really in effect
  std::string saved = Saved(TwoPictureStack());
  ImageStack read;
  std::vector<std::string> messages = Read(saved, read, true);
  ImageStack corrected = TwoPictureStack();
  corrected.images[1]->colour = ColourCorrection{{0.8f, 1.0f, 1.25f}, {0.0f, -0.05f, 0.0125f}};
  const std::string savedColour = Saved(corrected);
  ImageStack readColour;
  Read(savedColour, readColour, true);
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(saved, twoPictureFile);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(read.images[1]->transform.translateY, 0.1f);
  EXPECT_EQ(savedColour, twoPictureFile + "\r\ncolour 2 0.800000012 1 1.25 0 -0.0500000007 0.0125000002\r\n");
  EXPECT_TRUE(readColour.images[1]->colour == corrected.images[1]->colour);
}

TEST(ProjectFile, RoundTripKeepsNamesOrderAndPlacements) {
  ImageStack stack;
  stack.duration = 12.34f;
  const Transform placements[] = {{1, 0, 0, 0},
                                  {0.3183098733f, 0.0123456791f, -0.2718281865f, 7.1234567f},
                                  {0.58f, -0.049f, 0.0333f, -359.75f},
                                  {0.4999999f, 0.1f, 0.2f, 0.3f}};
  const char* names[] = {"/abs/one.jpg", "rel\\two.jpg", "three with blanks .jpg"};
  for (int i = 0; i < 3; ++i) stack.images.push_back(Element(names[i], placements[i]));
  stack.images.push_back(Element("", placements[3]));

  ImageStack read;
  EXPECT_TRUE(Read(Saved(stack), read, true).empty());
  ASSERT_EQ(read.count(), 4);
  EXPECT_EQ(read.duration, 12.34f);
  for (int i = 0; i < 4; ++i) {
    const Transform& a = placements[i];
    const Transform& b = read.images[static_cast<size_t>(i)]->transform;
    EXPECT_EQ(a.scale, b.scale) << i;
    EXPECT_EQ(a.translateX, b.translateX) << i;
    EXPECT_EQ(a.translateY, b.translateY) << i;
    EXPECT_EQ(a.rotate, b.rotate) << i;
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(read.images[static_cast<size_t>(i)]->fileName, names[i]);
  EXPECT_EQ(read.images[1]->directory, "/proj/rel");
  EXPECT_EQ(read.images[2]->baseName, "three with blanks .jpg");
  EXPECT_EQ(Saved(read), Saved(stack));  // names written back unchanged
}

TEST(ProjectFile, ValuesBelowTheTenthDecimalReadBackAsZero) {
  ImageStack stack;
  stack.images.push_back(Element("a.jpg", Transform{1, 1e-11f, -1e-11f, 0}));
  stack.images.push_back(Element("", Transform{0.5f, 0, 0, 0}));
  ImageStack read;
  Read(Saved(stack), read, true);
  EXPECT_EQ(read.images[0]->transform.translateX, 0.0f);
  EXPECT_EQ(read.images[0]->transform.translateY, 0.0f);
}

TEST(ReadProject, TolerantLayouts) {
  const std::string oneLine =
      "#Tunnelvista v1.0 duration 7.5 images 1 filename a.jpg\n"
      "scale 0.5 translate 0.1 -0.2 rotate 3 target scale 0.25 translate 0 0 rotate 1";
  const std::string tabsAndBlankLines =
      "\n\n#Tunnelvista\tv1.0\n\n\nduration\t\t7.5\nimages 1\n\n\n\nfilename    a.jpg\n\t scale\t0.5\n"
      "translate\n0.1\n-0.2\nrotate 3\n\n\ntarget\nscale 0.25 translate 0 0\nrotate 1\n";
  const std::string lf =
      "#Tunnelvista v1.0\nduration 7.5\nimages 1\n\nfilename a.jpg\nscale 0.5\ntranslate 0.1 -0.2\nrotate 3\n\n"
      "target\nscale 0.25\ntranslate 0 0\nrotate 1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string trailing = crlf + "whatever follows is ignored\r\n#Tunnelvista v9\r\n";
  for (const std::string& text : {oneLine, tabsAndBlankLines, lf, crlf, trailing}) {
    ImageStack stack;
    EXPECT_TRUE(Read(text, stack, true).empty()) << text;
    ASSERT_EQ(stack.count(), 2) << text;
    EXPECT_EQ(stack.duration, 7.5f);
    EXPECT_EQ(stack.images[0]->fileName, "a.jpg") << text;
    EXPECT_EQ(stack.images[0]->transform.scale, 0.5f);
    EXPECT_EQ(stack.images[0]->transform.translateX, 0.1f);
    EXPECT_EQ(stack.images[0]->transform.translateY, -0.2f);
    EXPECT_EQ(stack.images[0]->transform.rotate, 3.0f);
    EXPECT_EQ(stack.images[1]->transform.scale, 0.25f);
    EXPECT_EQ(stack.images[1]->transform.rotate, 1.0f);
  }
}

// The play settings follow the target frame's block, each only when it is not its default (with
// the defaults the file is today's, see WritesTheExactLines): what comes before them is always
// today's format, ending with the target's rotation, where today's reader stops.
TEST(ProjectFile, PlaySettingsFollowTheTargetBlockAndReadBack) {
  struct Case {
    PlaySettings settings;
    const char* tail;
  };
  for (const Case& c : {Case{{PlayMode::Endless, Pace::Steady}, "\r\nplay endless\r\npace steady\r\n"},
                        Case{{PlayMode::ThereAndBack, Pace::Steady}, "\r\npace steady\r\n"},
                        Case{{PlayMode::Endless, Pace::Eased}, "\r\nplay endless\r\n"}}) {
    ImageStack stack = TwoPictureStack();
    stack.playSettings = c.settings;
    const std::string text = Saved(stack);
    EXPECT_EQ(text, twoPictureFile + c.tail);
    ImageStack back;
    EXPECT_TRUE(Read(text, back, true).empty());
    EXPECT_TRUE(back.playSettings == c.settings) << text;
    EXPECT_EQ(Saved(back), text);
  }
}

// Settings lines this program does not know (a newer copy's, or damage) open the project without
// a word, each unknown setting at its default; the lines it knows still count.
TEST(ReadProject, UnknownOrGarbledSettingsOpenAtTheirDefaults) {
  for (const std::string tail : {"\r\nplay sideways\r\npace 2,5\r\n", "\r\nplay\r\npace\r\n",
                                 "\r\nzoom fast\r\n\x01\xff\x80 play", "play endlessly pace Steady"}) {
    ImageStack stack;
    EXPECT_TRUE(Read(twoPictureFile + tail, stack, true).empty()) << tail;
    EXPECT_TRUE(stack.playSettings == PlaySettings()) << tail;
  }
  ImageStack stack;
  EXPECT_TRUE(Read(twoPictureFile + "\r\nspeed 3\r\npace steady\r\nplay bounce\r\n", stack, true).empty());
  EXPECT_EQ(stack.playSettings.pace, Pace::Steady);
  EXPECT_EQ(stack.playSettings.play, PlayMode::ThereAndBack);
}

// A picture's colour correction is a line after the play settings (the blank line before them
// once, whichever come), only for a picture that has one; it reads back as the same floats.
TEST(ProjectFile, ColourCorrectionsFollowThePlaySettingsAndReadBack) {
  const ColourCorrection cast{{0.75f, 0.85f, 1.15f}, {0.001f, -0.2f, 1e-7f}};
  for (const bool endless : {false, true}) {
    ImageStack stack = TwoPictureStack();
    stack.images[0]->colour = cast;
    stack.images[1]->colour.offset[2] = 0.5f;
    stack.images[2]->colour = cast;  // the target frame's is never stored
    if (endless) stack.playSettings.play = PlayMode::Endless;
    const std::string text = Saved(stack);
    EXPECT_EQ(text, twoPictureFile + "\r\n" + (endless ? "play endless\r\n" : "") +
                        "colour 1 0.75 0.850000024 1.14999998 0.00100000005 -0.200000003 1.00000001e-07\r\n"
                        "colour 2 1 1 1 0 0 0.5\r\n");
    ImageStack back;
    EXPECT_TRUE(Read(text, back, true).empty());
    EXPECT_TRUE(back.images[0]->colour == cast);
    EXPECT_TRUE(back.images[1]->colour == stack.images[1]->colour);
    EXPECT_TRUE(back.images[2]->colour.IsIdentity());
    EXPECT_EQ(Saved(back), text);
  }
}

// A damaged colour line opens the project without a word, that picture drawn as its file has
// it; a good line after it still counts.
TEST(ReadProject, DamagedColourLinesAreLeftAlone) {
  for (const std::string line :
       {"colour 0 1 1 1 0 0 0", "colour 3 1 1 1 0 0 0", "colour 1 1 1 1 0 0", "colour 1 1 1 1 0 0 0 7",
        "colour 1 0 1 1 0 0 0", "colour 1 -1 1 1 0 0 0", "colour 1 16.5 1 1 0 0 0", "colour 1 1 1 1 0 1.5 0",
        "colour 1 1 nan 1 0 0 0", "colour 1 1 1 inf 0 0 0", "colour 1 1e39 1 1 0 0 0", "colour 1 1,5 1 1 0 0 0",
        "colour x 1 1 1 0 0 0", "colour 1 1 1 1 0 0 0x1", "colour 99999999999999999999 2 2 2 0 0 0"}) {
    ImageStack stack;
    const std::string text = twoPictureFile + "\r\n" + line + "\r\ncolour 2 2 2 2 0 0 -1\r\n";
    EXPECT_TRUE(Read(text, stack, true).empty()) << line;
    EXPECT_TRUE(stack.images[0]->colour.IsIdentity()) << line;
    EXPECT_TRUE(stack.images[1]->colour == (ColourCorrection{{2, 2, 2}, {0, 0, -1}})) << line;
  }
}

TEST(ReadProject, FileNameIsTheRestOfItsLine) {
  struct Case {
    const char* line;
    const char* name;
  } cases[] = {
      {"filename   my pic .jpg  \r\n", "my pic .jpg  "},
      {"filename\tpics\\a b.jpg\n", "pics\\a b.jpg"},
      {"filename x\r\r\n", "x\r"},  // only the CR of the line end goes
  };
  for (const auto& c : cases) {
    ImageStack stack;
    std::string text = std::string("#Tunnelvista v1.0\nduration 1\nimages 1\n") + c.line +
                       "scale 1\ntranslate 0 0\nrotate 0\ntarget\nscale 1\ntranslate 0 0\nrotate 0\n";
    Read(text, stack, true);
    ASSERT_EQ(stack.count(), 2);
    EXPECT_EQ(stack.images[0]->fileName, c.name);
  }
}

TEST(ReadProject, LongTokensAndNamesAreReadWhole) {
  std::string longName = std::string(5000, 'n') + ".jpg";
  ImageStack stack;
  Read("#Tunnelvista v1.0 duration 1 images 1\nfilename " + longName +
           "\nscale 1 translate 0 0 rotate 0 target scale 1 translate 0 0 rotate 0",
       stack, true);
  EXPECT_EQ(stack.images[0]->fileName, longName);

  ImageStack other;
  EXPECT_EQ(Read("#Tunnelvista v1.0 duration 1 " + std::string(100000, 'x'), other, false),
            std::vector<std::string>{unexpectedFormat});
}

TEST(ReadProject, Messages) {
  const std::string typeOrVersion = "Unexpected file type or version\nExpected #Tunnelvista v1.0";
  const std::string body = " duration 1 images 0 target scale 1 translate 0 0 rotate 0";
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "Unexpected end of file\n"},
      {" \r\n\t\n  ", "Unexpected end of file\n"},
      {"#Tunnelvista", typeOrVersion},
      {"#Tunnelvista v1.1" + body, typeOrVersion},
      {"#Tunnelvista-optimized v1.0" + body, typeOrVersion},
      {"#tunnelvista v1.0" + body, typeOrVersion},
      {"#Tunnelvista v1.0", unexpectedFormat},
      {"#Tunnelvista v1.0 Duration 1 images 0 target scale 1 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 0 target scale 1,5 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images -1 target scale 1 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 2147483647 target scale 1 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 99999999999999999999 target", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 1000000 filename a.jpg\nscale 1 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images x target scale 1 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 1 filename\n\nscale 1 translate 0 0 rotate 0 target", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 1 filename a.jpg\nscale 1 translate 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 0 target scale 1 translation 0 0 rotate 0", unexpectedFormat},
      {"#Tunnelvista v1.0 duration 1 images 0 targets scale 1 translate 0 0 rotate 0", unexpectedFormat},
  };
  for (const auto& c : cases) {
    ImageStack stack;
    EXPECT_EQ(Read(c.text, stack, false), std::vector<std::string>{c.message}) << c.text;
  }
}

TEST(ReadProject, CommaDecimalReadsTheIntegerPartFirst) {
  // "1,5": the scale reads as 1, then ",5" is taken for the next keyword.
  ImageStack stack;
  Read("#Tunnelvista v1.0 duration 1 images 1 filename a.jpg\nscale 1,5 translate 0 0 rotate 0 target", stack, false);
  ASSERT_EQ(stack.count(), 1);  // the failing picture was created; the caller discards it
  EXPECT_EQ(stack.images[0]->transform.scale, 1.0f);
}

TEST(ReadProject, FilenameKeywordAtLineEndTakesTheNextLine) {
  ImageStack stack;
  Read("#Tunnelvista v1.0 duration 1 images 1 filename\n   \nscale 1\ntranslate 0 0 rotate 0 target", stack, false);
  ASSERT_EQ(stack.count(), 1);
  EXPECT_EQ(stack.images[0]->fileName, "scale 1");
}

TEST(ReadProject, NoPicturesGivesTargetFrameOnly) {
  ImageStack stack;
  EXPECT_TRUE(
      Read("#Tunnelvista v1.0 duration 3 images 0 target scale 0.5 translate 0.1 0 rotate 2", stack, true).empty());
  ASSERT_EQ(stack.count(), 1);
  EXPECT_EQ(stack.targetFrame()->transform.translateX, 0.1f);
  EXPECT_EQ(stack.targetFrame()->width, 0);
}

TEST(ReadProject, MissingNumbersKeepDefaults) {
  ImageStack stack;
  EXPECT_TRUE(Read("#Tunnelvista v1.0 duration images 0 target scale 0.5 translate 0.1 0 rotate", stack, true).empty());
  EXPECT_EQ(stack.duration, 10.0f);
  EXPECT_EQ(stack.targetFrame()->transform.rotate, 0.0f);
}

TEST(ReadProject, NumbersInScanfSyntax) {
  ImageStack stack;
  Read("#Tunnelvista v1.0 duration +1.5e1 images 0 target scale .5 translate -2E-1 1e+0 rotate 5.", stack, true);
  EXPECT_EQ(stack.duration, 15.0f);
  EXPECT_EQ(stack.targetFrame()->transform.scale, 0.5f);
  EXPECT_EQ(stack.targetFrame()->transform.translateX, -0.2f);
  EXPECT_EQ(stack.targetFrame()->transform.translateY, 1.0f);
  EXPECT_EQ(stack.targetFrame()->transform.rotate, 5.0f);
  ImageStack tiny;
  Read("#Tunnelvista v1.0 duration 2.e1 images 0 target scale 1e-60 translate 0 0 rotate 0", tiny, true);
  EXPECT_EQ(tiny.duration, 20.0f);
  EXPECT_EQ(tiny.targetFrame()->transform.scale, 0.0f);  // below the float range: zero, as written
}

// Only decimal numbers are numbers: nan, infinities, hexadecimal and values beyond the float
// range are read as any text that is not a number (the next keyword check fails), and so never
// reach the document or a later save.
TEST(ReadProject, NumbersTheFormatDoesNotDefine) {
  for (const char* number : {"nan", "NAN", "-nan", "nan(1)", "inf", "-inf", "Infinity", "0x1p3", "0X10", "1e999",
                             "-1e999", "1e39", "+", "."}) {
    for (std::string body : {"duration % images 0 target scale 1 translate 0 0 rotate 0",
                             "duration 1 images 0 target scale % translate 0 0 rotate 0",
                             "duration 1 images 0 target scale 1 translate 0 % rotate 0"}) {
      body.replace(body.find('%'), 1, number);
      ImageStack stack;
      EXPECT_EQ(Read("#Tunnelvista v1.0 " + body, stack, false), std::vector<std::string>{unexpectedFormat}) << body;
    }
  }
  // The last number of the file has no keyword after it: it keeps its default, as a missing one does.
  ImageStack stack;
  EXPECT_TRUE(
      Read("#Tunnelvista v1.0 duration 1 images 0 target scale 1 translate 0 0 rotate nan", stack, true).empty());
  EXPECT_EQ(stack.targetFrame()->transform.rotate, 0.0f);
  EXPECT_EQ(Saved(stack).find("nan"), std::string::npos);
}

// --- the path level: real files in a temporary folder ---

struct ProjectFixture : ::testing::Test {
  TempDir dir;
  RecordingReporter reporter;

  void WritePicture(const std::string& name, int w, int h) {
    std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
    WriteJpeg(dir.File(name), w, h, [](int x, int y) {
      return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 90};
    });
  }
};

TEST_F(ProjectFixture, LoadProjectChecksEveryPicture) {
  WritePicture("pics/outer.jpg", 120, 90);
  WritePicture("inner.jpg", 60, 80);
  WriteFileBytes(dir.File("p.kx"),
                 "#Tunnelvista v1.0\r\nduration 12.5\r\nimages 2\r\n\r\nfilename pics\\outer.jpg\r\nscale 1\r\n"
                 "translate 0 0\r\nrotate 0\r\n\r\nfilename " +
                     dir.File("inner.jpg") +
                     "\r\nscale 0.5\r\ntranslate 0.1 0\r\nrotate 5\r\n\r\ntarget\r\nscale 0.5\r\n"
                     "translate 0 0\r\nrotate 0\r\n");
  ImageStack stack;
  stack.path = dir.File("p.kx");
  stack.dirty = false;
  ASSERT_TRUE(stack.LoadProject());
  EXPECT_TRUE(reporter.messages.empty());
  ASSERT_EQ(stack.count(), 3);
  EXPECT_EQ(stack.duration, 12.5f);
  EXPECT_EQ(stack.images[0]->directory, dir.File("pics"));
  EXPECT_EQ(stack.images[0]->width, 120);
  EXPECT_EQ(stack.images[0]->height, 90);
  EXPECT_EQ(stack.images[1]->width, 60);
  EXPECT_EQ(stack.images[1]->height, 80);
  for (int i = 0; i < 2; ++i) {
    const Image& picture = *stack.images[static_cast<size_t>(i)];
    EXPECT_TRUE(picture.loaded) << i;
    EXPECT_EQ(picture.bitmap.size(), QSize(picture.width, picture.height)) << i;  // small: its own thumbnail
    EXPECT_NE(picture.revision, 0u) << i;
  }
  EXPECT_EQ(stack.targetFrame()->width, 60);
  EXPECT_EQ(stack.targetFrame()->height, 80);
  EXPECT_FALSE(stack.targetFrame()->loaded);
  EXPECT_TRUE(stack.targetFrame()->bitmap.isNull());
  EXPECT_TRUE(stack.dirty);
}

// The pictures keep their full size whatever the GL limit: the view's renderer reduces them and
// the window, not the load, says so.
TEST_F(ProjectFixture, MissingPicturesAreListedAfterwardsAndTheOthersKeepTheirFullSize) {
  WritePicture("big.jpg", 3000, 200);
  WriteFileBytes(dir.File("p.kx"),
                 "#Tunnelvista v1.0 duration 10 images 3\nfilename gone.jpg\nscale 1 translate 0 0 rotate 0\n"
                 "filename big.jpg\nscale 0.5 translate 0 0 rotate 0\nfilename sub\\also gone.jpg\n"
                 "scale 0.5 translate 0 0 rotate 0\ntarget scale 0.5 translate 0 0 rotate 0\n");
  ImageStack stack;
  stack.path = dir.File("p.kx");
  ASSERT_TRUE(stack.LoadProject());
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.messages[0].text,
            "There was an error loading the following files:\n\n    gone.jpg\n    sub\\also gone.jpg\n    \n"
            "These files may not exist or may not be valid JPEG images.  You can\nreload these files by selecting "
            "\"Image List\" from the Edit menu.");
  // The failed pictures keep their names and placements, with the placeholder as picture.
  EXPECT_EQ(stack.images[0]->width, 32);
  EXPECT_EQ(stack.images[0]->height, 20);
  EXPECT_FALSE(stack.images[0]->loaded);
  EXPECT_EQ(stack.images[0]->bitmap.size(), QSize(32, 20));
  EXPECT_EQ(stack.images[2]->fileName, "sub\\also gone.jpg");
  EXPECT_EQ(stack.images[2]->transform.scale, 0.5f);
  EXPECT_TRUE(stack.images[1]->loaded);
  EXPECT_EQ(stack.images[1]->width, 3000);
  EXPECT_EQ(stack.images[1]->height, 200);
  EXPECT_EQ(stack.images[1]->bitmap.size(), QSize(thumbnailSide, 17));
  EXPECT_EQ(stack.targetFrame()->width, 32);  // from the last picture, a placeholder
}

TEST_F(ProjectFixture, LoadProjectCannotOpen) {
  for (const std::string& path : {dir.File("nothing.kx"), dir.path()}) {
    reporter.messages.clear();
    ImageStack stack;
    stack.path = path;
    EXPECT_FALSE(stack.LoadProject());
    EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error opening file " + path + " for reading\n"});
  }
}

TEST_F(ProjectFixture, SaveProjectWritesAndReplaces) {
  ImageStack stack = TwoPictureStack();
  stack.path = dir.File("p.kx");
  ASSERT_TRUE(stack.SaveProject());
  EXPECT_EQ(ReadFileBytes(stack.path), twoPictureFile);
  // Saving again replaces the file and keeps its permissions.
  ASSERT_EQ(chmod(stack.path.c_str(), 0640), 0);
  stack.duration = 20;
  ASSERT_TRUE(stack.SaveProject());
  EXPECT_NE(ReadFileBytes(stack.path).find("duration 20.0000000000\r\n"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(stack.path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(ProjectFixture, SaveThroughASymbolicLinkKeepsTheLink) {
  ImageStack stack = TwoPictureStack();
  std::filesystem::create_directory(dir.File("real"));
  WriteFileBytes(dir.File("real/p.kx"), "old");
  std::filesystem::create_symlink(dir.File("real/p.kx"), dir.File("link.kx"));
  stack.path = dir.File("link.kx");
  ASSERT_TRUE(stack.SaveProject());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.kx")));
  EXPECT_EQ(ReadFileBytes(dir.File("real/p.kx")), twoPictureFile);
}

TEST_F(ProjectFixture, SaveWithoutPathDoesNothing) {
  ImageStack stack = TwoPictureStack();
  EXPECT_FALSE(stack.SaveProject());
  EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(ProjectFixture, SaveThatCannotCreateTheFile) {
  WriteFileBytes(dir.File("plain"), "a file, not a directory");
  ImageStack stack = TwoPictureStack();
  stack.path = dir.File("plain/p.kx");
  EXPECT_FALSE(stack.SaveProject());
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error opening file " + stack.path + " for writing\n"});
}

TEST_F(ProjectFixture, SaveOntoAFullDevice) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::filesystem::create_symlink("/dev/full", dir.File("full.kx"));
  ImageStack stack = TwoPictureStack();
  stack.path = dir.File("full.kx");
  EXPECT_FALSE(stack.SaveProject());
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error writing file " + stack.path + "\n"});
}

TEST_F(ProjectFixture, FailedWriteLeavesTheOldProjectIntact) {
  const std::string old = twoPictureFile;
  WriteFileBytes(dir.File("p.kx"), old);
  ImageStack stack = TwoPictureStack();
  for (int i = 0; i < 50; ++i) stack.images.insert(stack.images.begin(), Element("more.jpg", Transform()));
  stack.path = dir.File("p.kx");

  // Files may not grow past 100 bytes: the write fails midway, as on a full disk.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = stack.SaveProject();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Error writing file " + stack.path + "\n"});
  EXPECT_EQ(ReadFileBytes(stack.path), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// --- a project moved together with its pictures ---

// A project file as SaveProject writes it, one picture per name, each at scale 0.5.
std::string ProjectText(const std::vector<std::string>& names) {
  std::string text =
      "#Tunnelvista v1.0\r\nduration 10.0000000000\r\nimages " + std::to_string(names.size()) + "\r\n\r\n";
  const std::string placement = "scale 0.5000000000\r\ntranslate 0.0000000000 0.0000000000\r\nrotate 0.0000000000\r\n";
  for (const std::string& name : names) text += "filename " + name + "\r\n" + placement + "\r\n";
  return text + "target\r\n" + placement;
}

TEST_F(ProjectFixture, AMovedProjectFindsItsPicturesAndSavesWhereTheyAre) {
  WritePicture("one.jpg", 40, 30);
  WritePicture("b-sub/two.jpg", 50, 30);
  WritePicture("a-sub/two.jpg", 60, 30);  // the first directory in sorted order wins
  WritePicture("pics/three.jpg", 70, 30);
  WritePicture("three.jpg", 80, 30);  // a name that resolves keeps its file
  WriteFileBytes(dir.File("p.kx"), ProjectText({"/old/place/one.jpg", "C:\\old\\two.jpg", "pics\\three.jpg"}));
  ImageStack stack;
  stack.path = dir.File("p.kx");
  ASSERT_TRUE(stack.LoadProject());
  EXPECT_TRUE(reporter.messages.empty());
  const int widths[] = {40, 60, 70};
  const bool moved[] = {true, true, false};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(stack.images[i]->loaded) << i;
    EXPECT_EQ(stack.images[i]->width, widths[i]) << i;
    EXPECT_EQ(stack.images[i]->foundElsewhere, moved[i]) << i;
  }
  EXPECT_EQ(stack.images[1]->FullPath(), dir.File("a-sub/two.jpg"));
  EXPECT_EQ(stack.images[1]->FoundNote(), "found in " + dir.File("a-sub"));
  EXPECT_EQ(stack.images[2]->FoundNote(), "");

  ASSERT_TRUE(stack.SaveProject());
  EXPECT_EQ(ReadFileBytes(stack.path), ProjectText({"one.jpg", "a-sub/two.jpg", "pics\\three.jpg"}));
  // Saved elsewhere, the pictures found are named in full.
  stack.path = "/elsewhere/p.kx";
  EXPECT_EQ(Saved(stack), ProjectText({dir.File("one.jpg"), dir.File("a-sub/two.jpg"), "pics\\three.jpg"}));
}

TEST_F(ProjectFixture, PicturesNotFoundNearTheProjectFailAsBefore) {
  WritePicture("a/b/deep.jpg", 40, 30);  // two levels down: not looked for
  std::filesystem::create_directory(dir.File("sub"));
  WriteFileBytes(dir.File("sub/broken.jpg"), "no JPEG");  // found, but no picture
  const std::string text = ProjectText({"/old/deep.jpg", "/old/broken.jpg"});
  WriteFileBytes(dir.File("p.kx"), text);
  ImageStack stack;
  stack.path = dir.File("p.kx");
  ASSERT_TRUE(stack.LoadProject());
  EXPECT_EQ(reporter.Texts(),
            std::vector<std::string>{
                "There was an error loading the following files:\n\n    /old/deep.jpg\n    "
                "/old/broken.jpg  (not a picture)\n    \nThese files may not exist or may not be valid JPEG "
                "images.  "
                "You can\nreload these files by selecting \"Image List\" from the Edit menu."});
  EXPECT_FALSE(stack.images[1]->foundElsewhere);
  EXPECT_EQ(stack.images[1]->directory, "/old");
  EXPECT_EQ(Saved(stack), text);
}

// A web export's folder (a page and its data file) holds copies, perhaps reduced or recoloured:
// no picture is taken from one, below the project's folder or as the project's folder itself.
TEST_F(ProjectFixture, MovedPicturesAreNeverTakenFromAWebExport) {
  WritePicture("a-site/one.jpg", 40, 30);  // first in sorted order, but an export
  WriteFileBytes(dir.File("a-site/index.html"), "page");
  WriteFileBytes(dir.File("a-site/default.kxo"), "data");
  WritePicture("a-site/two.jpg", 60, 30);  // nowhere else
  WritePicture("b/one.jpg", 50, 30);
  WritePicture("c/three.jpg", 70, 30);
  WriteFileBytes(dir.File("c/Notes.HTML"), "a page, but no data file beside it");
  WriteFileBytes(dir.File("p.kx"), ProjectText({"/old/one.jpg", "/old/two.jpg", "/old/three.jpg"}));
  ImageStack stack;
  stack.path = dir.File("p.kx");
  ASSERT_TRUE(stack.LoadProject());
  EXPECT_EQ(stack.images[0]->FullPath(), dir.File("b/one.jpg"));
  EXPECT_FALSE(stack.images[1]->loaded);
  EXPECT_FALSE(stack.images[1]->foundElsewhere);
  EXPECT_TRUE(stack.images[2]->foundElsewhere);
  reporter.messages.clear();
  stack.ReportFoundElsewhere();
  ASSERT_EQ(reporter.messages.size(), 1u);
  const std::string& note = reporter.messages[0].text;
  EXPECT_NE(note.find("\n    /old/one.jpg:  found in " + dir.File("b") + "\n"), std::string::npos) << note;
  EXPECT_NE(note.find("\n    /old/three.jpg:  found in " + dir.File("c") + "\n"), std::string::npos) << note;
  EXPECT_EQ(note.find("two.jpg"), std::string::npos) << note;

  WritePicture("two.jpg", 60, 30);
  WriteFileBytes(dir.File("zoom.htm"), "page");
  WriteFileBytes(dir.File("zoom.kxo"), "data");
  ImageStack exported;
  exported.path = dir.File("p.kx");
  ASSERT_TRUE(exported.LoadProject());
  EXPECT_FALSE(exported.images[1]->loaded);
  EXPECT_EQ(exported.images[0]->FullPath(), dir.File("b/one.jpg"));
}

TEST_F(ProjectFixture, AnUnchangedProjectSavesByteForByte) {
  WritePicture("pics/a.jpg", 40, 30);
  WritePicture("b.jpg", 40, 30);
  WritePicture("c.jpg", 40, 30);
  WritePicture("sub/d.jpg", 40, 30);
  const std::string text =
      ProjectText({"pics\\a.jpg", dir.File("b.jpg"), "\\c.jpg", "sub/d.jpg", "C:\\gone\\e.jpg", "E:f.jpg"});
  WriteFileBytes(dir.File("p.kx"), text);
  ImageStack stack;
  stack.path = dir.File("p.kx");
  ASSERT_TRUE(stack.LoadProject());
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(stack.images[i]->loaded) << i;
  ASSERT_TRUE(stack.SaveProject());
  EXPECT_EQ(ReadFileBytes(stack.path), text);
}

}  // namespace

namespace {

TEST_F(ProjectFixture, OpenProjectGivesALoadedStackOrNone) {
  WritePicture("a.jpg", 40, 30);
  WriteFileBytes(dir.File("good.kx"),
                 "#Tunnelvista v1.0 duration 4 images 1\nfilename a.jpg\nscale 1 translate 0 0 rotate 0\n"
                 "target scale 0.5 translate 0 0 rotate 0\n");
  std::unique_ptr<ImageStack> stack = OpenProject(dir.File("good.kx"));
  ASSERT_TRUE(stack);
  EXPECT_EQ(stack->path, dir.File("good.kx"));
  EXPECT_EQ(stack->count(), 2);
  EXPECT_EQ(stack->duration, 4.0f);
  EXPECT_TRUE(stack->dirty);
  EXPECT_TRUE(stack->images[0]->loaded);
  EXPECT_EQ(stack->images[0]->width, 40);

  // Broken after the first picture: nothing survives (the sanitizer build checks for leaks).
  WriteFileBytes(dir.File("bad.kx"),
                 "#Tunnelvista v1.0 duration 4 images 2\nfilename a.jpg\nscale 1 translate 0 0 rotate 0\n"
                 "filename a.jpg\nscale 1 translate 0 0 rotate 0\ntarget scale 0.5 translate 0 0\n");
  EXPECT_EQ(OpenProject(dir.File("bad.kx")), nullptr);
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"Unexpected file format."});
}

}  // namespace
