#include <gtest/gtest.h>

#include "Imagestack.h"
#include "RecordingReporter.h"

namespace {

std::unique_ptr<Image> Picture(int w, int h, Transform t = Transform{0.5f, 0, 0, 0}) {
  auto image = std::make_unique<Image>();
  QImage pixels(w, h, QImage::Format_RGB888);
  pixels.fill(Qt::darkGreen);
  image->SetPicture(pixels);
  image->transform = t;
  return image;
}

// A share of an element's pixels: once the element is destroyed it is the only share left.
bool Released(const QImage& share) { return share.isDetached(); }

// A stack as a loaded project has it: pictures and a target frame of the last one's size.
std::unique_ptr<ImageStack> LoadedStack(int pictures) {
  auto stack = std::make_unique<ImageStack>();
  for (int i = 0; i < pictures; ++i)
    stack->images.push_back(Picture(100 + i * 10, 80, Transform{0.4f + 0.01f * static_cast<float>(i), 0.1f, 0, 5}));
  auto target = std::make_unique<Image>();
  target->width = stack->images.back()->width;
  target->height = stack->images.back()->height;
  target->transform = Transform{0.3f, 0.05f, -0.05f, 12};
  stack->images.push_back(std::move(target));
  stack->path = "/somewhere/project.kx";
  stack->duration = 25;
  stack->dirty = false;
  return stack;
}

std::vector<Image*> Elements(const ImageStack& stack) {
  std::vector<Image*> list;
  for (int i = 0; i + 1 < stack.count(); ++i) list.push_back(stack.images[static_cast<size_t>(i)].get());
  return list;
}

TEST(ImageStack, NewStackDefaults) {
  ImageStack stack;
  EXPECT_EQ(stack.count(), 0);
  EXPECT_TRUE(stack.images.empty());
  EXPECT_TRUE(stack.path.empty());
  EXPECT_EQ(stack.duration, 10.0f);
  EXPECT_TRUE(stack.dirty);
  EXPECT_EQ(stack.keyCount(), 0);
  EXPECT_EQ(stack.targetFrame(), nullptr);
  stack.FreeImages();  // nothing to free: harmless
}

TEST(ImageStack, FreeImagesReleasesEveryElementAndItsPixels) {
  auto stack = LoadedStack(2);
  const QImage pixels = stack->images[0]->source;
  ASSERT_FALSE(Released(pixels));
  stack->FreeImages();
  EXPECT_EQ(stack->count(), 0);
  EXPECT_TRUE(Released(pixels));
}

TEST(ReplacePictures, NewProjectFromNothing) {
  std::unique_ptr<ImageStack> stack;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(300, 200));
  added.push_back(Picture(120, 160));
  std::vector<Image*> list = {added[0].get(), added[1].get()};
  ASSERT_TRUE(ReplacePictures(stack, list, added, true));
  EXPECT_TRUE(added.empty());
  ASSERT_TRUE(stack);
  ASSERT_EQ(stack->count(), 3);
  EXPECT_EQ(stack->images[0].get(), list[0]);
  EXPECT_EQ(stack->images[1].get(), list[1]);
  EXPECT_EQ(stack->images[1]->source.size(), QSize(120, 160));  // pictures come in as they were
  const Image& target = *stack->images[2];
  EXPECT_EQ(target.width, 120);
  EXPECT_EQ(target.height, 160);
  EXPECT_EQ(target.transform.scale, 0.5f);
  EXPECT_EQ(target.transform.translateX, 0.0f);
  EXPECT_EQ(target.transform.rotate, 0.0f);
  EXPECT_TRUE(target.fileName.empty());
  EXPECT_TRUE(target.bitmap.isNull());
  EXPECT_TRUE(stack->path.empty());
  EXPECT_EQ(stack->duration, 10.0f);
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, EmptyListChangesNothing) {
  auto stack = LoadedStack(2);
  ImageStack* before = stack.get();
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(10, 10));  // added, then removed again in the dialog
  EXPECT_FALSE(ReplacePictures(stack, {}, added, false));
  EXPECT_EQ(stack.get(), before);
  EXPECT_EQ(stack->count(), 3);
  EXPECT_FALSE(stack->dirty);
  EXPECT_TRUE(added.empty());
}

TEST(ReplacePictures, ReorderKeepsPicturesPlacementsAndTheOldTarget) {
  auto stack = LoadedStack(3);
  ImageStack* before = stack.get();
  Image* target = stack->targetFrame();
  std::vector<Image*> list = Elements(*stack);
  std::vector<Transform> placements;
  std::vector<uint64_t> revisions;
  for (Image* image : list) {
    placements.push_back(image->transform);
    revisions.push_back(image->revision);
  }
  std::swap(list[1], list[2]);  // the last picture moves up
  std::vector<std::unique_ptr<Image>> added;
  ASSERT_TRUE(ReplacePictures(stack, list, added, false));
  EXPECT_EQ(stack.get(), before);  // same stack: path and duration stay
  EXPECT_EQ(stack->path, "/somewhere/project.kx");
  EXPECT_EQ(stack->duration, 25.0f);
  ASSERT_EQ(stack->count(), 4);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(stack->images[k].get(), list[k]);
  EXPECT_EQ(stack->images[1]->transform.scale, placements[2].scale);
  EXPECT_EQ(stack->images[2]->transform.scale, placements[1].scale);
  EXPECT_EQ(stack->images[1]->revision, revisions[2]);  // the same picture: no texture to rebuild
  EXPECT_EQ(stack->targetFrame(), target);
  EXPECT_EQ(target->width, 120);  // the old last picture's size, though another is last now
  EXPECT_EQ(target->transform.scale, 0.3f);
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, RemovedPicturesAreDestroyedAndAddedOnesKept) {
  auto stack = LoadedStack(3);
  std::vector<Image*> list = Elements(*stack);
  const QImage removedPixels = list[1]->source;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(64, 48));
  added.push_back(Picture(32, 32));  // added, not in the list any more
  const QImage droppedPixels = added[1]->source;
  Image* kept = added[0].get();
  list.erase(list.begin() + 1);
  list.push_back(kept);
  ASSERT_TRUE(ReplacePictures(stack, list, added, false));
  ASSERT_EQ(stack->count(), 4);
  EXPECT_TRUE(Released(removedPixels));
  EXPECT_TRUE(Released(droppedPixels));
  EXPECT_EQ(stack->images[2].get(), kept);
  EXPECT_EQ(stack->images[2]->width, 64);
  EXPECT_TRUE(added.empty());
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, NewProjectDiscardsTheOldStack) {
  auto stack = LoadedStack(2);
  const QImage oldPixels = stack->images[0]->source;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(200, 100));
  ASSERT_TRUE(ReplacePictures(stack, {added[0].get()}, added, true));
  ASSERT_EQ(stack->count(), 2);
  EXPECT_TRUE(stack->path.empty());
  EXPECT_EQ(stack->duration, 10.0f);
  EXPECT_EQ(stack->targetFrame()->transform.scale, 0.5f);
  EXPECT_EQ(stack->targetFrame()->width, 200);
  EXPECT_TRUE(Released(oldPixels));
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, TargetFrameOnlyStackGetsANewTarget) {
  auto stack = std::make_unique<ImageStack>();
  auto target = std::make_unique<Image>();
  target->transform.scale = 0.9f;
  stack->images.push_back(std::move(target));
  stack->dirty = false;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(50, 40));
  ASSERT_TRUE(ReplacePictures(stack, {added[0].get()}, added, false));
  ASSERT_EQ(stack->count(), 2);
  EXPECT_EQ(stack->targetFrame()->transform.scale, 0.5f);
  EXPECT_EQ(stack->targetFrame()->width, 50);
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, ReloadedPictureKeepsItsPlaceAndPlacement) {
  auto stack = LoadedStack(2);
  Image* reloaded = stack->images[1].get();
  const uint64_t before = reloaded->revision;
  reloaded->Unload();
  QImage pixels(300, 100, QImage::Format_RGB888);
  pixels.fill(Qt::red);
  reloaded->SetPicture(pixels);
  std::vector<std::unique_ptr<Image>> added;
  ASSERT_TRUE(ReplacePictures(stack, Elements(*stack), added, false));
  EXPECT_EQ(stack->images[1].get(), reloaded);
  EXPECT_NE(reloaded->revision, before);  // renderers rebuild its textures
  EXPECT_EQ(reloaded->width, 300);
  EXPECT_EQ(reloaded->height, 100);
  EXPECT_EQ(reloaded->transform.scale, 0.41f);  // placement kept
  EXPECT_TRUE(stack->dirty);
}

}  // namespace
