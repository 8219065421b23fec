#include "Imagestack.h"

#include <algorithm>
#include <cmath>

void ImageStack::FreeImages() { images.clear(); }

void ImageStack::Arrange(const std::vector<Image*>& order, std::vector<std::unique_ptr<Image>>& parked) {
  std::vector<std::unique_ptr<Image>> all = std::move(images);
  for (auto& owned : parked) all.push_back(std::move(owned));
  parked.clear();
  images.clear();
  for (Image* element : order) {
    auto it = std::find_if(all.begin(), all.end(), [element](const auto& e) { return e.get() == element; });
    if (it != all.end()) images.push_back(std::move(*it));
  }
  for (auto& rest : all)
    if (rest) parked.push_back(std::move(rest));
  dirty = true;
}

int ImageStack::IndexOf(uint64_t id) const {
  for (int i = 0; i < count(); ++i)
    if (images[static_cast<size_t>(i)]->id == id) return i;
  return -1;
}

void ImageStack::FitTargetFrame() {
  if (pictureCount() < 1) return;
  const Image& framed = *images[playSettings.play == PlayMode::Endless ? 0 : static_cast<size_t>(pictureCount() - 1)];
  if (framed.width <= 0 || framed.height <= 0) return;
  Image& target = *images.back();
  if (target.width == framed.width && target.height == framed.height) return;
  target.width = framed.width;
  target.height = framed.height;
  dirty = true;
}

Transform RefitFrame(const Transform& placement, int fromWidth, int fromHeight, int toWidth, int toHeight) {
  if (!(placement.scale > 0.0f && placement.scale < 1.0f) || !std::isfinite(placement.translateX) ||
      !std::isfinite(placement.translateY) || !std::isfinite(placement.rotate))
    return Transform{0.5f, 0.0f, 0.0f, 0.0f};
  if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0) return placement;
  const Extents from = ElementExtents(fromWidth, fromHeight), to = ElementExtents(toWidth, toHeight);
  Transform fitted = placement;
  fitted.scale = placement.scale * std::min(1.0f, std::min(from.ex / to.ex, from.ey / to.ey));
  return fitted;
}

const Timeline& ImageStack::CurrentTimeline() {
  if (dirty || !timeline_ || timeline_->settings() != playSettings) {
    BuildKeyframes();
    if (!timeline_) timeline_ = std::make_unique<Timeline>();
    std::vector<Transform> placements;
    placements.reserve(images.size());
    for (const auto& image : images) placements.push_back(image->transform);
    timeline_->Build(placements, playSettings);
    dirty = false;
  }
  return *timeline_;
}

std::unique_ptr<ImageStack> OpenProject(const std::string& path) {
  auto stack = std::make_unique<ImageStack>();
  stack->path = path;
  if (!stack->LoadProject()) return nullptr;
  return stack;
}

namespace {

// Moves the element `image` out of `owners`, or returns null when it is not there.
std::unique_ptr<Image> TakeFrom(std::vector<std::unique_ptr<Image>>& owners, Image* image) {
  auto it = std::find_if(owners.begin(), owners.end(), [image](const auto& owned) { return owned.get() == image; });
  if (it == owners.end()) return nullptr;
  return std::move(*it);
}

}  // namespace

bool ReplacePictures(std::unique_ptr<ImageStack>& stack, const std::vector<Image*>& list,
                     std::vector<std::unique_ptr<Image>>& added, bool newProject) {
  if (list.empty()) {
    added.clear();
    return false;
  }

  // Every element of the stack is out until the list takes it; what stays out is destroyed below.
  if (stack)
    for (auto& element : stack->images)
      if (element) element->inUse = false;
  std::vector<std::unique_ptr<Image>> elements;
  elements.reserve(list.size() + 1);
  for (Image* image : list) {
    std::unique_ptr<Image> owned = stack ? TakeFrom(stack->images, image) : nullptr;
    if (!owned) owned = TakeFrom(added, image);
    if (owned) {
      owned->inUse = true;
      elements.push_back(std::move(owned));
    }
  }
  added.clear();  // added in the dialog but not in the list
  if (elements.empty()) return false;

  const bool keepTarget = stack && stack->count() >= 2 && !newProject;
  if (keepTarget) {
    stack->images.back()->inUse = true;
    elements.push_back(std::move(stack->images.back()));
  } else {
    auto target = std::make_unique<Image>();
    target->width = elements.back()->width;
    target->height = elements.back()->height;
    target->transform.scale = 0.5f;
    elements.push_back(std::move(target));
  }

  // Whatever the stack still holds has left it: it goes with the old array or the old stack.
  if (!stack || newProject) stack = std::make_unique<ImageStack>();
  stack->images = std::move(elements);
  stack->dirty = true;
  return true;
}
