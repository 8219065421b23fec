#include "VideoPreview.h"

#include <algorithm>
#include <cmath>

#include "FrameFill.h"
#include "Imagestack.h"
#include "OffscreenTarget.h"
#include "Renderer.h"
#include "VideoJob.h"

void PreviewSize(int width, int height, int& previewWidth, int& previewHeight) {
  const double scale = std::min(1.0, static_cast<double>(previewSide) / std::max({width, height, 1}));
  previewWidth = std::clamp(static_cast<int>(std::lround(width * scale)), 1, previewSide);
  previewHeight = std::clamp(static_cast<int>(std::lround(height * scale)), 1, previewSide);
}

double PreviewTime(const VideoSettings& settings, double projectDuration, bool endless, double fraction) {
  const double duration = settings.duration > 0 ? settings.duration : projectDuration;
  const FramePlan plan = PlanFrames(duration, settings.fps, settings.direction, endless);
  if (plan.total < 1) return std::clamp(fraction, 0.0, 1.0);
  const int k = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * (plan.total - 1)));
  return plan.TimeOf(k);
}

VideoPreview::VideoPreview(Ready ready, size_t textureBudget)
    : ready_(std::move(ready)), textureBudget_(textureBudget), thread_([this] { Run(); }) {}

VideoPreview::~VideoPreview() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void VideoPreview::SetStack(const ImageStack& stack) {
  std::unique_ptr<ImageStack> copy = CopyForDrawing(stack);
  std::lock_guard<std::mutex> lock(mutex_);
  newStack_ = std::move(copy);
}

void VideoPreview::Request(const VideoSettings& settings, double fraction, int width, int height, int serial) {
  auto asked = std::make_unique<Asked>();
  asked->settings = settings;
  asked->fraction = fraction;
  asked->width = std::clamp(width, 1, previewSide);
  asked->height = std::clamp(height, 1, previewSide);
  asked->serial = serial;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_ = std::move(asked);
  }
  wake_.notify_one();
}

void VideoPreview::Run() {
  // Made on this thread when first needed, and used by it alone; one target of the largest
  // preview, drawn into at its bottom-left corner.
  std::unique_ptr<OffscreenTarget> target;
  std::unique_ptr<Renderer> renderer;
  std::unique_ptr<ImageStack> stack;
  std::string failed;
  for (;;) {
    std::unique_ptr<Asked> asked;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || asked_; });
      if (stopping_) break;
      asked = std::move(asked_);
      if (newStack_) stack = std::move(newStack_);
    }
    if (!target && failed.empty()) {
      target = std::make_unique<OffscreenTarget>();
      if (!target->Create(previewSide, previewSide, failed)) {
        target.reset();
      } else {
        RendererOptions options;
        options.textureBudget = textureBudget_;
        options.waitForLevels = true;  // the frame as the export draws it, not a blurred first look
        options.lodBias = offscreenLodBias;
        renderer = std::make_unique<Renderer>(options);
        Renderer::SetViewGlState();
      }
    }
    if (!target || !stack || stack->pictureCount() < 1) {
      ready_(asked->serial, QImage(), failed.empty() ? "the project holds no pictures to draw" : failed);
      continue;
    }
    const VideoSettings& s = asked->settings;
    const double t = PreviewTime(s, stack->duration, stack->playSettings.play == PlayMode::Endless, asked->fraction);
    const Image& first = *stack->images[0];
    const ViewGeometry fitted = ViewGeometry::Fitted(asked->width, asked->height, first.width, first.height);
    target->BeginFrame();
    renderer->DrawZoom(*stack, t, FrameView(*stack, t, fitted, s.frame));
    target->Finish();
    const QImage whole = target->Read();
    ready_(asked->serial, whole.copy(0, whole.height() - asked->height, asked->width, asked->height),
           renderer->TakeMessage());
  }
  // The renderer's textures go while its context is current, before the target's context.
  renderer.reset();
  target.reset();
}
