#include "VideoJob.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <pthread.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <system_error>
#include <vector>

#include "BoundedQueue.h"
#include "FrameFill.h"
#include "Imagestack.h"
#include "OffscreenTarget.h"
#include "Renderer.h"
#include "VideoSink.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// The stage's name as a debugger or `top -H` shows it (at most 15 characters).
void NameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

// Frames read back but not yet converted, and converted but not yet encoded: enough to keep
// every stage busy while one is briefly slower, little enough memory (4 x 33 MB at 4K).
constexpr size_t framesBetweenStages = 4;
// Pixel buffer objects in turn: frame k is read into one while the one read two frames earlier
// is mapped, so the draw never waits for its own read.
constexpr int readBackRing = 3;

struct RawFrame {
  int index = 0;
  std::vector<uint8_t> rgba;  // bottom row first, as GL reads
};

struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

struct ConvertedFrame {
  int index = 0;
  FramePtr frame;
};

}  // namespace

struct VideoJob::Stages {
  BoundedQueue<RawFrame> raw{framesBetweenStages};
  BoundedQueue<ConvertedFrame> converted{framesBetweenStages};
  // Buffers handed back for reuse, so that a long video does not allocate per frame.
  BoundedQueue<RawFrame> spareRaw{framesBetweenStages + readBackRing};
  BoundedQueue<FramePtr> spareConverted{framesBetweenStages + 2};
  Clock::time_point start;
  double draw = 0, readBack = 0, convert = 0, encode = 0;

  void Abort() {
    raw.Abort();
    converted.Abort();
  }
};

std::unique_ptr<ImageStack> CopyForDrawing(const ImageStack& stack) {
  auto copy = std::make_unique<ImageStack>();
  copy->path = stack.path;
  copy->duration = stack.duration;
  copy->playSettings = stack.playSettings;
  copy->dirty = true;
  for (const std::unique_ptr<Image>& image : stack.images) {
    auto element = std::make_unique<Image>();
    element->SharePicture(*image);
    element->transform = image->transform;
    element->colour = image->colour;
    element->fileName = image->fileName;
    element->directory = image->directory;
    element->baseName = image->baseName;
    element->foundElsewhere = image->foundElsewhere;
    element->SetMatrix(image->modelMatrix);
    copy->images.push_back(std::move(element));
  }
  return copy;
}

VideoJob::VideoJob(const ImageStack& stack, const VideoSettings& settings, VideoProgress* progress,
                   size_t textureBudget)
    : stack_(CopyForDrawing(stack)), settings_(settings), progress_(progress), textureBudget_(textureBudget) {}

VideoJob::~VideoJob() {
  Cancel();
  Wait();
}

bool VideoJob::Start() {
  if (started_) return false;
  if (stack_->pictureCount() < 1) {
    error_ = "the project holds no pictures to draw";
    return false;
  }
  if (!CheckVideoSettings(settings_, stack_->duration, error_)) return false;
  const double duration = settings_.duration > 0 ? settings_.duration : stack_->duration;
  plan_ = PlanFrames(duration, settings_.fps, settings_.direction, stack_->playSettings.play == PlayMode::Endless);
  std::error_code ignored;
  if (std::filesystem::is_directory(settings_.path, ignored)) {
    error_ = settings_.path + " is a folder; the video needs a file name";
    return false;
  }
  stages_ = std::make_unique<Stages>();
  stages_->start = Clock::now();
  // The drawing thread makes its context first and says whether the size fits it; only then is
  // anything written.
  std::promise<bool> ready;
  std::future<bool> drawing = ready.get_future();
  std::promise<bool> go;
  drawThread_ = std::thread([this, &ready, goFuture = go.get_future()]() mutable {
    NameThisThread("video draw");
    Draw(ready, std::move(goFuture));
  });
  bool ok = drawing.get();
  if (ok) {
    sink_ = MakeVideoSink(settings_, plan_.total);
    std::string error;
    ok = sink_->Open(error);
    if (!ok) error_ = error;
  }
  go.set_value(ok);
  if (!ok) {
    drawThread_.join();
    return false;
  }
  started_ = true;
  convertThread_ = std::thread([this] {
    NameThisThread("video convert");
    Convert();
  });
  // Created last: it joins the other two before it reports the end.
  encodeThread_ = std::thread([this] {
    NameThisThread("video encode");
    Encode();
  });
  return true;
}

void VideoJob::Cancel() {
  cancelled_ = true;
  if (stages_) stages_->Abort();
}

VideoResult VideoJob::Wait() {
  // Once started, the encode thread joins the draw and convert threads; the others are only
  // joinable here when it never started.
  for (std::thread* thread : {&encodeThread_, &drawThread_, &convertThread_})
    if (thread->joinable()) thread->join();
  if (!started_) return error_.empty() ? VideoResult::Cancelled : VideoResult::Failed;
  if (succeeded_) return VideoResult::Ok;
  return cancelled_ && !failed_ ? VideoResult::Cancelled : VideoResult::Failed;
}

void VideoJob::Fail(const std::string& error) {
  {
    std::lock_guard<std::mutex> lock(errorMutex_);
    if (error_.empty()) error_ = error;
  }
  failed_ = true;
  stages_->Abort();
}

void VideoJob::Draw(std::promise<bool>& ready, std::future<bool> go) {
  Stages& s = *stages_;
  bool told = false;
  // Says once whether drawing can begin, then waits for the file to be ready; false to stop.
  auto setUp = [&](bool ok) {
    told = true;
    ready.set_value(ok);
    return ok && go.get();
  };
  auto fail = [&](const std::string& error) {
    if (told) {
      Fail(error);
    } else {
      error_ = error;  // Start reads it once told
      setUp(false);
    }
  };
  const int factor = settings_.antialias;
  const int w = settings_.width, h = settings_.height;
  OffscreenTarget target;
  std::string error;
  if (!target.Create(w * factor, h * factor, error)) {
    fail(factor > 1 ? error + " (antialiased frames are drawn at twice the video's size)" : error);
    return;
  }
  if (!target.CreateReadBack(w, h, readBackRing, error)) {
    fail(error);
    return;
  }
  const size_t bytes = target.FrameBytes();

  RendererOptions options;
  options.textureBudget = textureBudget_;
  options.waitForLevels = true;  // every frame sharp, whatever the encoder's pace
  options.lodBias = offscreenLodBias;
  Renderer renderer(options);
  if (renderer.ExceedsLimit(*stack_)) reducedToLimit_ = renderer.TextureLimit();
  Renderer::SetViewGlState();
  const Image& first = *stack_->images[0];
  const ViewGeometry view = ViewGeometry::Fitted(w * factor, h * factor, first.width, first.height);
  if (!setUp(true)) return;

  std::deque<int> reading;
  // Maps the oldest frame's buffer and hands its pixels on; false when the job is stopping.
  auto handOldest = [&]() {
    const Clock::time_point t0 = Clock::now();
    const int k = reading.front();
    reading.pop_front();
    RawFrame frame;
    s.spareRaw.TryPop(frame);
    frame.rgba.resize(bytes);
    if (!target.TakeReadBack(k % readBackRing, frame.rgba.data())) {
      Fail("frame " + std::to_string(k) + " could not be read back from OpenGL");
      return false;
    }
    frame.index = k;
    s.readBack += Seconds(t0);
    return s.raw.Push(std::move(frame));
  };

  for (int k = 0; k < plan_.total; ++k) {
    if (failed_ || cancelled_) return;
    const Clock::time_point t0 = Clock::now();
    target.BeginFrame();
    const double t = plan_.TimeOf(k);
    renderer.DrawZoom(*stack_, t, FrameView(*stack_, t, view, settings_.frame), plan_.DirectionAt(k));
    if (!target.StartReadBack(k % readBackRing)) {
      Fail("OpenGL ran out of memory drawing frame " + std::to_string(k));
      return;
    }
    s.draw += Seconds(t0);
    std::string message = renderer.TakeMessage();
    if (!message.empty() && rendererMessage_.empty()) rendererMessage_ = std::move(message);
    reading.push_back(k);
    if (reading.size() == readBackRing && !handOldest()) return;
  }
  while (!reading.empty())
    if (!handOldest()) return;
  s.raw.Close();
}

void VideoJob::Convert() {
  Stages& s = *stages_;
  const int w = settings_.width, h = settings_.height;
  const AVPixelFormat format = sink_->PixelFormat();
  // The same size, so no filter is used; exact rounding only where it costs nothing (RGB to RGB is
  // a copy of bytes): for YUV it would take the conversion off its fast path for a last bit.
  const int flags = format == AV_PIX_FMT_YUV420P ? SWS_BILINEAR : SWS_BILINEAR | SWS_ACCURATE_RND;
  SwsContext* scaler = sws_getContext(w, h, AV_PIX_FMT_RGBA, w, h, format, flags, nullptr, nullptr, nullptr);
  if (!scaler) {
    Fail("the colour conversion could not be set up");
    return;
  }
  if (format == AV_PIX_FMT_YUV420P) {
    // Full-range RGB into BT.709's limited range, as the stream is tagged.
    sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709), 0, 0,
                             1 << 16, 1 << 16);
  }
  const int stride = w * 4;
  RawFrame raw;
  while (s.raw.Pop(raw)) {
    const Clock::time_point t0 = Clock::now();
    FramePtr out;
    if (!s.spareConverted.TryPop(out) || av_frame_make_writable(out.get()) < 0) {
      out.reset(av_frame_alloc());
      if (out) {
        out->format = format;
        out->width = w;
        out->height = h;
      }
      if (!out || av_frame_get_buffer(out.get(), 0) < 0) {
        Fail("not enough memory for frame " + std::to_string(raw.index));
        break;
      }
    }
    // GL's rows run bottom up: start at the last row and step backwards.
    const uint8_t* source[1] = {raw.rgba.data() + static_cast<size_t>(h - 1) * static_cast<size_t>(stride)};
    const int sourceStride[1] = {-stride};
    sws_scale(scaler, source, sourceStride, 0, h, out->data, out->linesize);
    s.convert += Seconds(t0);
    const int index = raw.index;
    s.spareRaw.TryPush(std::move(raw));
    raw = RawFrame();
    if (!s.converted.Push(ConvertedFrame{index, std::move(out)})) break;
  }
  sws_freeContext(scaler);
  s.converted.Close();
}

void VideoJob::Encode() {
  Stages& s = *stages_;
  int done = 0;
  ConvertedFrame frame;
  while (s.converted.Pop(frame)) {
    const Clock::time_point t0 = Clock::now();
    std::string error;
    if (!sink_->Write(*frame.frame, frame.index, error)) {
      Fail(error);
      break;
    }
    s.encode += Seconds(t0);
    ++done;
    s.spareConverted.TryPush(std::move(frame.frame));
    if (progress_) progress_->FramesDone(done, plan_.total);
  }
  bool ok = false;
  if (!failed_ && !cancelled_) {
    const Clock::time_point t0 = Clock::now();
    std::string error;
    if (done != plan_.total)
      Fail("the export stopped after " + std::to_string(done) + " of " + std::to_string(plan_.total) + " frames");
    else if (!sink_->Finish(error))
      Fail(error);
    else
      ok = true;
    s.encode += Seconds(t0);
  }
  if (!ok) sink_->Discard();
  // On a cancel or a failure the other stages may still be drawing or converting a frame (the
  // aborted queues stop them at the next one). Their timings and the renderer's notes are theirs
  // until they end, and "finished" means that nothing of the job runs any more.
  drawThread_.join();
  convertThread_.join();
  succeeded_ = ok;
  timings_.draw = s.draw;
  timings_.readBack = s.readBack;
  timings_.convert = s.convert;
  timings_.encode = s.encode;
  timings_.wall = Seconds(s.start);
  timings_.frames = done;
  if (progress_) progress_->Finished();
}
