#include <GL/gl.h>
#include <gtest/gtest.h>

#include "Imagestack.h"
#include "RecordingReporter.h"

namespace {

std::unique_ptr<Image> Picture(int w, int h, Transform t = Transform{0.5f, 0, 0, 0}) {
  auto image = std::make_unique<Image>();
  image->bitmap = QImage(w, h, QImage::Format_RGB888);
  image->bitmap.fill(Qt::darkGreen);
  image->transform = t;
  return image;
}

// A stack as a loaded project has it: textured pictures and a target frame of the last one's size.
std::unique_ptr<ImageStack> LoadedStack(int pictures) {
  auto stack = std::make_unique<ImageStack>();
  for (int i = 0; i < pictures; ++i) {
    stack->images.push_back(Picture(100 + i * 10, 80, Transform{0.4f + 0.01f * static_cast<float>(i), 0.1f, 0, 5}));
    bool reduced = false;
    stack->images.back()->CreateTexture(reduced);
  }
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

TEST(ImageStack, FreeImagesReleasesEveryElementAndItsTexture) {
  auto stack = LoadedStack(2);
  GLuint texture = stack->images[0]->textureId;
  ASSERT_EQ(glIsTexture(texture), GL_TRUE);
  stack->FreeImages();
  EXPECT_EQ(stack->count(), 0);
  EXPECT_EQ(glIsTexture(texture), GL_FALSE);
}

TEST(ReplacePictures, NewProjectFromNothing) {
  std::unique_ptr<ImageStack> stack;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(300, 200));
  added.push_back(Picture(120, 160));
  std::vector<Image*> list = {added[0].get(), added[1].get()};
  bool reduced = true;
  ASSERT_TRUE(ReplacePictures(stack, list, added, true, reduced));
  EXPECT_FALSE(reduced);
  EXPECT_TRUE(added.empty());
  ASSERT_TRUE(stack);
  ASSERT_EQ(stack->count(), 3);
  EXPECT_EQ(stack->images[0].get(), list[0]);
  EXPECT_EQ(stack->images[1].get(), list[1]);
  for (int i = 0; i < 2; ++i) EXPECT_NE(stack->images[static_cast<size_t>(i)]->textureId, 0u);
  const Image& target = *stack->images[2];
  EXPECT_EQ(target.width, 120);
  EXPECT_EQ(target.height, 160);
  EXPECT_EQ(target.transform.scale, 0.5f);
  EXPECT_EQ(target.transform.translateX, 0.0f);
  EXPECT_EQ(target.transform.rotate, 0.0f);
  EXPECT_EQ(target.textureId, 0u);
  EXPECT_TRUE(stack->path.empty());
  EXPECT_EQ(stack->duration, 10.0f);
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, EmptyListChangesNothing) {
  auto stack = LoadedStack(2);
  ImageStack* before = stack.get();
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(10, 10));  // added, then removed again in the dialog
  bool reduced = false;
  EXPECT_FALSE(ReplacePictures(stack, {}, added, false, reduced));
  EXPECT_EQ(stack.get(), before);
  EXPECT_EQ(stack->count(), 3);
  EXPECT_FALSE(stack->dirty);
  EXPECT_TRUE(added.empty());
}

TEST(ReplacePictures, ReorderKeepsPlacementsTexturesAndTheOldTarget) {
  auto stack = LoadedStack(3);
  ImageStack* before = stack.get();
  Image* target = stack->targetFrame();
  std::vector<Image*> list = Elements(*stack);
  std::vector<Transform> placements;
  std::vector<GLuint> textures;
  for (Image* image : list) {
    placements.push_back(image->transform);
    textures.push_back(image->textureId);
  }
  std::swap(list[1], list[2]);  // the last picture moves up
  std::vector<std::unique_ptr<Image>> added;
  bool reduced = false;
  ASSERT_TRUE(ReplacePictures(stack, list, added, false, reduced));
  EXPECT_EQ(stack.get(), before);  // same stack: path and duration stay
  EXPECT_EQ(stack->path, "/somewhere/project.kx");
  EXPECT_EQ(stack->duration, 25.0f);
  ASSERT_EQ(stack->count(), 4);
  EXPECT_EQ(stack->images[1]->transform.scale, placements[2].scale);
  EXPECT_EQ(stack->images[2]->transform.scale, placements[1].scale);
  EXPECT_EQ(stack->images[1]->textureId, textures[2]);
  EXPECT_EQ(stack->targetFrame(), target);
  EXPECT_EQ(target->width, 120);  // the old last picture's size, though another is last now
  EXPECT_EQ(target->transform.scale, 0.3f);
  EXPECT_TRUE(stack->dirty);
}

TEST(ReplacePictures, RemovedPicturesAreReleasedAndAddedOnesTextured) {
  auto stack = LoadedStack(3);
  std::vector<Image*> list = Elements(*stack);
  GLuint removedTexture = list[1]->textureId;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(64, 48));
  added.push_back(Picture(32, 32));  // added, not in the list any more
  list.erase(list.begin() + 1);
  list.push_back(added[0].get());
  bool reduced = false;
  ASSERT_TRUE(ReplacePictures(stack, list, added, false, reduced));
  ASSERT_EQ(stack->count(), 4);
  EXPECT_EQ(glIsTexture(removedTexture), GL_FALSE);
  EXPECT_NE(stack->images[2]->textureId, 0u);
  EXPECT_EQ(stack->images[2]->width, 64);
  EXPECT_TRUE(added.empty());
}

TEST(ReplacePictures, NewProjectDiscardsTheOldStack) {
  auto stack = LoadedStack(2);
  GLuint oldTexture = stack->images[0]->textureId;
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(200, 100));
  bool reduced = false;
  ASSERT_TRUE(ReplacePictures(stack, {added[0].get()}, added, true, reduced));
  ASSERT_EQ(stack->count(), 2);
  EXPECT_TRUE(stack->path.empty());
  EXPECT_EQ(stack->duration, 10.0f);
  EXPECT_EQ(stack->targetFrame()->transform.scale, 0.5f);
  EXPECT_EQ(stack->targetFrame()->width, 200);
  EXPECT_EQ(glIsTexture(oldTexture), GL_FALSE);
}

TEST(ReplacePictures, TargetFrameOnlyStackGetsANewTarget) {
  auto stack = std::make_unique<ImageStack>();
  auto target = std::make_unique<Image>();
  target->transform.scale = 0.9f;
  stack->images.push_back(std::move(target));
  std::vector<std::unique_ptr<Image>> added;
  added.push_back(Picture(50, 40));
  bool reduced = false;
  ASSERT_TRUE(ReplacePictures(stack, {added[0].get()}, added, false, reduced));
  ASSERT_EQ(stack->count(), 2);
  EXPECT_EQ(stack->targetFrame()->transform.scale, 0.5f);
  EXPECT_EQ(stack->targetFrame()->width, 50);
}

TEST(ReplacePictures, ReloadedPictureIsTexturedAgainAndReportsReduction) {
  auto stack = LoadedStack(2);
  Image* reloaded = stack->images[1].get();
  reloaded->ReleaseTexture();
  reloaded->bitmap = QImage(300, 100, QImage::Format_RGB888);
  reloaded->bitmap.fill(Qt::red);
  SetTextureLimit(128);
  std::vector<std::unique_ptr<Image>> added;
  bool reduced = false;
  ASSERT_TRUE(ReplacePictures(stack, Elements(*stack), added, false, reduced));
  SetTextureLimit(0);
  EXPECT_TRUE(reduced);
  EXPECT_NE(reloaded->textureId, 0u);
  EXPECT_EQ(reloaded->width, 128);
  EXPECT_EQ(reloaded->height, 42);
  EXPECT_EQ(reloaded->transform.scale, 0.41f);  // placement kept
}

}  // namespace
