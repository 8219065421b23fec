// Pictures shared between elements: a file that several elements name is decoded once and has one
// set of textures, which stays while any of them shows it; a file changed on disk is another
// picture.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DecodeMemory.h"
#include "DrawTest.h"
#include "HostileJpeg.h"
#include "Imagestack.h"
#include "Renderer.h"
#include "TestFiles.h"

namespace {

using namespace drawtest;

const Colour orange{230, 120, 30};
const Colour azure{30, 90, 200};
// Larger than a thumbnail in the view: frames need levels decoded at half and at full size.
const int pictureWidth = 1024, pictureHeight = 768;
const int viewWidth = 256, viewHeight = 192;
const size_t fullLevelBytes = size_t(pictureWidth) * pictureHeight * 4;

void WriteSolid(const std::string& path, Colour c) {
  WriteJpeg(path, pictureWidth, pictureHeight, [c](int, int) {
    return Rgb{static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b)};
  });
}

std::unique_ptr<Image> Loaded(const std::string& path) {
  auto image = std::make_unique<Image>();
  image->fileName = path;
  image->ResolvePath("");
  EXPECT_TRUE(image->LoadJpeg()) << path;
  return image;
}

// A project that names `file` `levels` times, each at half the size of the one before, opened as
// the editor opens it (the pictures checked on workers).
ImageStack Repeated(const std::string& file, int levels) {
  const std::string placement = "scale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages " + std::to_string(levels) + "\r\n\r\n";
  for (int i = 0; i < levels; ++i) text += "filename " + file + "\r\n" + placement + "\r\n";
  text += "target\r\n" + placement;
  ImageStack stack;
  EXPECT_TRUE(stack.ReadProject(text));
  const std::unique_ptr<PictureCheck> check = stack.StartCheck();
  check->Wait();
  stack.ApplyChecks(*check);
  return stack;
}

using Shared = DrawTest;

// Opening checks the file once, and the zoom decodes it once for each level size it needs, however
// many of its elements each frame shows.
TEST_F(Shared, AStackRepeatingOneFileDecodesItOnce) {
  TempDir dir;
  const std::string file = dir.File("a.jpg");
  WriteSolid(file, orange);
  const DecodeMemory& memory = SharedDecodeMemory();
  const unsigned long long start = memory.Decodes();
  ImageStack stack = Repeated(file, 40);
  EXPECT_EQ(memory.Decodes() - start, 1u);
  for (int i = 1; i < stack.pictureCount(); ++i) {
    const Image& image = *stack.images[static_cast<size_t>(i)];
    ASSERT_TRUE(image.loaded) << i;
    EXPECT_TRUE(image.Key() == stack.images[0]->Key()) << i;
    EXPECT_EQ(image.bitmap.constBits(), stack.images[0]->bitmap.constBits()) << i;  // one thumbnail
  }

  Renderer renderer(Waiting());
  for (double t : {0.0, 0.15, 0.3, 0.45, 0.6, 0.75}) {
    renderer.DrawZoom(stack, t, View(viewWidth, viewHeight, pictureWidth, pictureHeight));
    EXPECT_GE(renderer.PicturesDrawn(), 2) << t;
    EXPECT_TRUE(Near(Read(), viewWidth / 2, viewHeight / 2, orange)) << t;
  }
  EXPECT_LE(memory.Decodes() - start, 3u);
  EXPECT_EQ(renderer.Cache().Pictures(), 1u);
  // Counted once against the budget: the full level with its mipmaps (a third more), and the
  // small texture.
  EXPECT_LE(renderer.Cache().ResidentBytes(), fullLevelBytes * 3 / 2);
}

// Opened to be drawn at once (the command line), a picture is decoded once: its check decodes it at
// the size the frame draws it, makes the thumbnail from that and leaves it to the texture. The
// check still refuses a damaged file.
TEST_F(Shared, OpenedToDrawAFrameEachPictureIsDecodedOnce) {
  TempDir dir;
  WriteSolid(dir.File("a.jpg"), orange);
  WriteSolid(dir.File("b.jpg"), azure);
  WriteFileBytes(dir.File("cut.jpg"),
                 CutAndClosed(EncodeJpeg(pictureWidth, pictureHeight, JpegCoding::Progressive), 4000));
  auto open = [&dir](const std::string& inner) {
    const std::string placement = "scale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
    std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages 2\r\n\r\n";
    for (const char* name : {"a.jpg", inner.c_str()})
      text += "filename " + dir.File(name) + "\r\n" + placement + "\r\n";
    ImageStack stack;
    EXPECT_TRUE(stack.ReadProject(text + "target\r\n" + placement));
    // At the end the target frame fills the view: b is drawn at twice the view's size, larger
    // than its thumbnail; a is hidden behind it.
    const std::unique_ptr<PictureCheck> check =
        stack.StartCheck({}, 0, Renderer::FrameSides(stack, stack.playSettings, 1, viewWidth, viewHeight));
    check->Wait();
    stack.ApplyChecks(*check);
    return stack;
  };
  const DecodeMemory& memory = SharedDecodeMemory();
  const unsigned long long start = memory.Decodes();
  ImageStack stack = open("b.jpg");
  EXPECT_EQ(memory.Decodes() - start, 2u);
  const Image& b = *stack.images[1];
  ASSERT_TRUE(b.loaded && b.kept);
  EXPECT_EQ(b.bitmap.size(), CheckPicture(dir.File("b.jpg")).thumbnail.size());
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, 1, View(viewWidth, viewHeight, pictureWidth, pictureHeight));
  EXPECT_EQ(memory.Decodes() - start, 3u);  // with the CheckPicture above
  EXPECT_TRUE(Near(Read(), viewWidth / 2, viewHeight / 2, azure));

  ImageStack damaged = open("cut.jpg");
  EXPECT_FALSE(damaged.images[1]->loaded);
  EXPECT_EQ(damaged.images[1]->fault, PictureFault::Damaged);
  EXPECT_FALSE(damaged.images[1]->kept);
}

// The image list's Remove destroys one element: the others still show the file from the same
// textures, decoded no more.
TEST_F(Shared, RemovingOneOfTheRepeatingElementsKeepsTheOthersDrawing) {
  TempDir dir;
  const std::string file = dir.File("a.jpg");
  WriteSolid(file, orange);
  ImageStack stack = Repeated(file, 6);
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, 0, View(viewWidth, viewHeight, pictureWidth, pictureHeight));
  const unsigned long long decoded = SharedDecodeMemory().Decodes();

  std::vector<Image*> order;
  for (int i = 1; i < stack.count(); ++i) order.push_back(stack.images[static_cast<size_t>(i)].get());
  std::vector<std::unique_ptr<Image>> parked;
  stack.Arrange(order, parked);
  parked.clear();
  renderer.DrawZoom(stack, 0, View(viewWidth, viewHeight, pictureWidth, pictureHeight));
  EXPECT_GE(renderer.PicturesDrawn(), 2);
  const Frame frame = Read();
  EXPECT_EQ(frame.CountAll([](Colour c) { return !Close(c, orange, 8); }), 0);
  EXPECT_EQ(SharedDecodeMemory().Decodes(), decoded);
  EXPECT_EQ(renderer.Cache().Pictures(), 1u);
}

// A file saved again after one element loaded it is another picture for the next element that
// loads it, and for the first when it is loaded again (Reload): none of them is shown the old one.
TEST_F(Shared, AFileChangedOnDiskBetweenTwoLoadsIsDecodedAnew) {
  TempDir dir;
  const std::string file = dir.File("a.jpg");
  WriteSolid(file, orange);
  ImageStack stack = StackOf(Loaded(file), Target(pictureWidth, pictureHeight, {0.5f, 0, 0, 0}));
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, 0, View(viewWidth, viewHeight, pictureWidth, pictureHeight));
  EXPECT_TRUE(Near(Read(), viewWidth / 2, viewHeight / 2, orange));

  // Saved as editors save: a new file put in the old one's place.
  WriteSolid(dir.File("new.jpg"), azure);
  ASSERT_EQ(std::rename(dir.File("new.jpg").c_str(), file.c_str()), 0);
  std::unique_ptr<Image> first = Loaded(file);
  EXPECT_FALSE(first->Key() == stack.images[0]->Key());
  std::swap(first, stack.images[0]);
  stack.dirty = true;
  renderer.DrawZoom(stack, 0, View(viewWidth, viewHeight, pictureWidth, pictureHeight));
  EXPECT_TRUE(Near(Read(), viewWidth / 2, viewHeight / 2, azure));

  EXPECT_TRUE(first->LoadJpeg());
  EXPECT_TRUE(first->Key() == stack.images[0]->Key());
}

}  // namespace
