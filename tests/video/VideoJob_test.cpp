// The video job without the encoders' output being decoded (tests/cli does that): the frame
// plan, the names and limits it accepts, antialiasing, and that a cancel or a failure leaves the
// destination as it was.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Affine.h"
#include "DrawTest.h"
#include "FrameFill.h"
#include "Imagestack.h"
#include "TestFiles.h"
#include "VideoJob.h"
#include "VideoPlan.h"
#include "VideoPreview.h"

namespace {

namespace fs = std::filesystem;
using drawtest::Colour;

TEST(FramePlan, EveryDirectoryStartsAndEndsWhereItShould) {
  struct Case {
    double duration, fps;
    VideoDirection direction;
    int total;
    std::vector<std::pair<int, double>> times;  // frame, time along the pass
  } cases[] = {
      {2, 30, VideoDirection::In, 60, {{0, 0.0}, {1, 1.0 / 59}, {59, 1.0}}},
      {2, 30, VideoDirection::Out, 60, {{0, 1.0}, {59, 0.0}}},
      // There and back without repeating the turn or the start: a seamless loop.
      {1, 5, VideoDirection::InOut, 8, {{0, 0.0}, {4, 1.0}, {5, 0.75}, {7, 0.25}}},
      {1, 5, VideoDirection::OutIn, 8, {{0, 1.0}, {4, 0.0}, {5, 0.25}, {7, 0.75}}},
      {0.1, 24, VideoDirection::In, 2, {{0, 0.0}, {1, 1.0}}},  // 2.4 frames round to 2
      {10.0 / 3, 29.97, VideoDirection::In, 100, {{99, 1.0}}},
  };
  for (const Case& c : cases) {
    const FramePlan plan = PlanFrames(c.duration, c.fps, c.direction);
    EXPECT_EQ(plan.total, c.total) << c.duration << " s at " << c.fps;
    for (auto [k, t] : c.times) EXPECT_DOUBLE_EQ(plan.TimeOf(k), t) << "frame " << k;
    // Where the zoom goes next, for prefetching: towards the next frame's time.
    for (int k = 0; k + 1 < plan.total; ++k)
      EXPECT_EQ(plan.DirectionAt(k), plan.TimeOf(k + 1) > plan.TimeOf(k) ? 1 : -1) << "frame " << k;
  }
  EXPECT_LT(PlanFrames(0.02, 30, VideoDirection::In).perPass, 2);
}

TEST(VideoSettingsCheck, RefusesWhatCannotBeMadeAndSaysWhy) {
  struct Case {
    std::string path;
    int width, height;
    double fps, duration;
    int crf, antialias;
    const char* said;  // a word the message must hold; null: accepted
  } cases[] = {
      {"/t/a.mp4", 1920, 1080, 30, 0, -1, 1, nullptr},     {"/t/A.WEBM", 2, 2, 240, 0, 63, 2, nullptr},
      {"/t/f_%05d.png", 320, 240, 24, 0, -1, 1, nullptr},  {"/t/a.avi", 320, 240, 30, 0, -1, 1, ".webm"},
      {"/t/.mp4", 320, 240, 30, 0, -1, 1, ".mp4"},         {"/t/a.mp4", 321, 240, 30, 0, -1, 1, "even"},
      {"/t/a.mp4", 0, 240, 30, 0, -1, 1, "even"},          {"/t/a.mp4", 320, 240, 0, 0, -1, 1, "frame rate"},
      {"/t/a.mp4", 320, 240, NAN, 0, -1, 1, "frame rate"}, {"/t/a.mp4", 320, 240, 30, 0.01, -1, 1, "too short"},
      {"/t/a.mp4", 320, 240, 30, 0, 52, 1, "CRF"},         {"/t/a.mp4", 320, 240, 30, 0, -1, 3, "antialias"},
      {"/t/f_%s.png", 320, 240, 30, 0, -1, 1, "%05d"},     {"/t/f_%05d_%05d.png", 320, 240, 30, 0, -1, 1, "%05d"},
  };
  for (const Case& c : cases) {
    VideoSettings s;
    s.path = c.path;
    s.width = c.width;
    s.height = c.height;
    s.fps = c.fps;
    s.duration = c.duration;
    s.crf = c.crf;
    s.antialias = c.antialias;
    std::string error;
    const bool ok = CheckVideoSettings(s, 10, error);
    if (!c.said) {
      EXPECT_TRUE(ok) << c.path << ": " << error;
    } else {
      EXPECT_FALSE(ok) << c.path;
      EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
  }
}

TEST(SequenceNames, NumberFieldIsReplacedAndNeverCut) {
  SequenceName name;
  std::string error;
  ASSERT_TRUE(ParseSequenceName("/a%b/f_%05d.png", name, error)) << error;
  EXPECT_EQ(name.Frame(7), "/a%b/f_00007.png");
  EXPECT_EQ(name.Frame(1234567), "/a%b/f_1234567.png");
  ASSERT_TRUE(ParseSequenceName("/d/zoom.PNG", name, error));
  EXPECT_EQ(name.Frame(3), "/d/zoom_00003.PNG");
  ASSERT_TRUE(ParseSequenceName("/d/%d.png", name, error));
  EXPECT_EQ(name.Frame(12), "/d/12.png");
}

// Two pictures with detail down to the pixel, so filtering shows.
ImageStack Checkered() {
  auto fine = [](int x, int y) { return ((x / 2 + y / 2) % 2) ? Colour{250, 30, 30} : Colour{20, 20, 200}; };
  Transform inner;
  inner.scale = 0.4f;
  return drawtest::StackOf(drawtest::Picture(160, 120, fine), drawtest::Picture(160, 120, fine, inner),
                           drawtest::Target(160, 120, inner));
}

struct Counting : VideoProgress {
  std::atomic<int> done{0};
  void FramesDone(int d, int) override { done = d; }
};

VideoResult Export(const ImageStack& stack, const VideoSettings& settings, std::string& error) {
  VideoJob job(stack, settings);
  if (!job.Start()) {
    error = job.Error();
    return VideoResult::Failed;
  }
  const VideoResult result = job.Wait();
  error = job.Error();
  return result;
}

TEST(VideoJob, AntialiasingIsTheLargeFrameFilteredDown) {
  TempDir dir;
  ImageStack stack = Checkered();
  VideoSettings settings;
  settings.width = 128;
  settings.height = 96;
  settings.fps = 2;
  settings.duration = 1;
  settings.path = dir.File("large_%d.png");
  std::string error;
  ASSERT_EQ(Export(stack, settings, error), VideoResult::Ok) << error;
  settings.width = 64;
  settings.height = 48;
  settings.antialias = 2;
  settings.path = dir.File("small_%d.png");
  ASSERT_EQ(Export(stack, settings, error), VideoResult::Ok) << error;
  for (int k : {0, 1}) {
    const QImage large(QString::fromStdString(dir.File("large_" + std::to_string(k) + ".png")));
    const QImage small(QString::fromStdString(dir.File("small_" + std::to_string(k) + ".png")));
    ASSERT_EQ(small.size(), QSize(64, 48));
    int worst = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const QRgb a = large.pixel(2 * x, 2 * y), b = large.pixel(2 * x + 1, 2 * y), c = large.pixel(2 * x, 2 * y + 1),
                   d = large.pixel(2 * x + 1, 2 * y + 1), s = small.pixel(x, y);
        for (int shift : {16, 8, 0}) {
          auto channel = [shift](QRgb v) { return static_cast<int>((v >> shift) & 0xFF); };
          const double mean = (channel(a) + channel(b) + channel(c) + channel(d)) / 4.0;
          worst = std::max(worst, static_cast<int>(std::ceil(std::abs(mean - channel(s)))));
        }
      }
    EXPECT_LE(worst, 1) << "frame " << k;
  }
}

// An endless project's video covers one pass and loops: every step, the one from the last frame
// back to the first included, adds the same zoom (none repeated, none skipped), inward or
// outward; in and out is inward there, out and in outward.
TEST(VideoJob, AnEndlessVideoLoopsWithOneStepThroughTheSeam) {
  TempDir dir;
  ImageStack stack = Checkered();
  stack.playSettings.play = PlayMode::Endless;
  const Timeline& timeline = stack.CurrentTimeline();
  double total = 0;
  for (int i = 1; i < timeline.count(); ++i) total -= std::log(timeline.Placement(i).LengthScale());
  // The zoom of time t against the first picture of t's pass, 0 <= zoom < total.
  const auto logZoom = [&](double t) {
    const RelativeView view = timeline.ViewAt(t);
    Affine m = view.toView;
    for (int i = view.anchor; i >= 1; --i) m = m * timeline.Placement(i).Inverse();
    return std::log(m.LengthScale());
  };
  for (const VideoDirection direction :
       {VideoDirection::In, VideoDirection::Out, VideoDirection::InOut, VideoDirection::OutIn}) {
    const bool outward = direction == VideoDirection::Out || direction == VideoDirection::OutIn;
    VideoSettings settings;
    settings.width = 32;
    settings.height = 24;
    settings.fps = 4;
    settings.duration = 2;
    settings.direction = direction;
    settings.path = dir.File("loop_%d.png");
    VideoJob job(stack, settings);
    ASSERT_TRUE(job.Start()) << job.Error();
    ASSERT_EQ(job.Wait(), VideoResult::Ok) << job.Error();
    const FramePlan& plan = job.Plan();
    ASSERT_TRUE(plan.endless);
    ASSERT_EQ(plan.total, 8);
    const double step = (outward ? -total : total) / plan.total;
    for (int k = 0; k < plan.total; ++k) {
      double change = logZoom(plan.TimeOf((k + 1) % plan.total)) - logZoom(plan.TimeOf(k));
      change -= total * std::round((change - step) / total);  // across the seam: the next pass
      EXPECT_NEAR(change, step, 1e-9) << "frame " << k;
      EXPECT_EQ(plan.DirectionAt(k), outward ? -1 : 1);
    }
  }
}

// 4:3 pictures in a 16:9 video, each turned and off centre in the one before, so the view turns
// and moves on its way in.
ImageStack Turning() {
  auto pattern = [](int shade) {
    return [shade](int x, int y) { return ((x / 8 + y / 8) % 2) ? Colour{shade, 20, 230} : Colour{230, shade, 20}; };
  };
  Transform child, grandchild;
  child.scale = 0.5f;
  child.rotate = 40;
  child.translateX = 0.12f;
  child.translateY = -0.05f;
  grandchild.scale = 0.45f;
  grandchild.rotate = -35;
  return drawtest::StackOf(drawtest::Picture(160, 120, pattern(120)), drawtest::Picture(160, 120, pattern(180), child),
                           drawtest::Picture(160, 120, pattern(240), grandchild),
                           drawtest::Target(160, 120, grandchild));
}

TEST(FrameFill, TheLeastZoomThatCoversTheFrame) {
  ImageStack stack = Turning();
  // At the start the first picture fills the frame along its narrower side.
  EXPECT_NEAR(FillZoom(stack, 0, ViewGeometry::Fitted(1920, 1080, 160, 120)), (16.0 / 9) / (4.0 / 3), 1e-9);
  EXPECT_NEAR(FillZoom(stack, 0, ViewGeometry::Fitted(900, 1200, 160, 120)), (4.0 / 3) / (3.0 / 4), 1e-9);
  EXPECT_DOUBLE_EQ(FillZoom(stack, 0, ViewGeometry::Fitted(160, 120, 160, 120)), 1);
  stack.playSettings.play = PlayMode::Endless;  // pictures all around: nothing to fill
  EXPECT_DOUBLE_EQ(FillZoom(stack, 0.3, ViewGeometry::Fitted(1920, 1080, 160, 120)), 1);
}

// Whether a frame shows the background (the clear colour) anywhere, give or take the encoding.
int BackgroundPixels(const QImage& frame) {
  int found = 0;
  for (int y = 0; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x) {
      const QRgb p = frame.pixel(x, y);
      const Colour grey = drawtest::clearGrey;
      found +=
          std::abs(qRed(p) - grey.r) <= 12 && std::abs(qGreen(p) - grey.g) <= 12 && std::abs(qBlue(p) - grey.b) <= 12;
    }
  return found;
}

TEST(VideoJob, FilledFramesNeverShowTheBackground) {
  TempDir dir;
  ImageStack stack = Turning();
  for (const VideoFrame frame : {VideoFrame::Fill, VideoFrame::Fit}) {
    VideoSettings settings;
    settings.width = 96;
    settings.height = 54;
    settings.fps = 12;
    settings.duration = 3;
    settings.frame = frame;
    settings.path = dir.File(frame == VideoFrame::Fill ? "fill_%d.png" : "fit_%d.png");
    std::string error;
    ASSERT_EQ(Export(stack, settings, error), VideoResult::Ok) << error;
  }
  int fitShowed = 0;
  for (int k = 0; k < 36; ++k) {
    const QImage fill(QString::fromStdString(dir.File("fill_" + std::to_string(k) + ".png")));
    ASSERT_EQ(fill.size(), QSize(96, 54));
    EXPECT_EQ(BackgroundPixels(fill), 0) << "frame " << k;
    fitShowed += BackgroundPixels(QImage(QString::fromStdString(dir.File("fit_" + std::to_string(k) + ".png")))) > 0;
  }
  EXPECT_GT(fitShowed, 0);  // what is looked for can be seen
}

// The preview is the export's frame: the same plan, the same view, the same renderer.
TEST(VideoPreview, DrawsTheFrameTheExportMakes) {
  TempDir dir;
  ImageStack stack = Turning();
  VideoSettings settings;
  settings.width = 96;
  settings.height = 54;
  settings.fps = 5;
  settings.duration = 2;
  settings.direction = VideoDirection::OutIn;
  settings.path = dir.File("f_%d.png");
  std::string error;
  ASSERT_EQ(Export(stack, settings, error), VideoResult::Ok) << error;
  std::mutex mutex;
  std::condition_variable arrived;
  std::map<int, QImage> frames;
  {
    VideoPreview preview([&](int serial, const QImage& frame, const std::string&) {
      std::lock_guard<std::mutex> lock(mutex);
      frames[serial] = frame;
      arrived.notify_one();
    });
    preview.SetStack(stack);
    const int last = 2 * (10 - 1) - 1;  // out and back in: 18 frames
    for (int k : {0, 4, last}) {
      preview.Request(settings, static_cast<double>(k) / last, 96, 54, k);
      std::unique_lock<std::mutex> lock(mutex);
      ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(60), [&] { return frames.count(k) > 0; }));
    }
  }
  for (const auto& [k, frame] : frames) {
    const QImage exported = QImage(QString::fromStdString(dir.File("f_" + std::to_string(k) + ".png")));
    ASSERT_EQ(frame.size(), exported.size()) << "frame " << k;
    double difference = 0;
    for (int y = 0; y < 54; ++y)
      for (int x = 0; x < 96; ++x) {
        const QRgb a = frame.pixel(x, y), b = exported.pixel(x, y);
        difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
      }
    EXPECT_LT(difference / (96 * 54 * 3), 1.0) << "frame " << k;
  }
}

TEST(VideoJob, CancelOrFailureLeavesTheDestinationAsItWas) {
  ImageStack stack = Checkered();
  for (const char* name : {"zoom.mp4", "zoom.webm", "zoom_%05d.png"}) {
    for (bool cancel : {true, false}) {
      TempDir dir;
      VideoSettings settings;
      settings.path = dir.File(name);
      const std::string kept =
          settings.path.find('%') != std::string::npos ? dir.File("zoom_00000.png") : settings.path;
      WriteFileBytes(kept, "kept");
      settings.width = cancel ? 64 : 20000;  // beyond any GL's limit: the drawing fails
      settings.height = 48;
      settings.duration = 1000;
      Counting progress;
      VideoJob job(stack, settings, &progress);
      if (cancel) {
        ASSERT_TRUE(job.Start()) << job.Error();
        for (int i = 0; i < 2000 && progress.done < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        job.Cancel();
        EXPECT_EQ(job.Wait(), VideoResult::Cancelled) << name;
      } else {
        EXPECT_FALSE(job.Start()) << name;
        EXPECT_NE(job.Error().find("limit"), std::string::npos) << job.Error();
      }
      EXPECT_EQ(ReadFileBytes(kept), "kept");
      int files = 0;
      for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.path() != kept;
      EXPECT_EQ(files, 0) << name << (cancel ? " cancelled" : " failed");
    }
  }
}

// Threads of this process named for the draw or convert stage that still run; threads take their
// creator's name, so the draw stage's texture workers count too. A joined thread may be listed a
// moment longer, but without its address space (no VmSize), which the kernel gives up as it wakes
// the thread that joins it.
int StageThreadsRunning() {
  int running = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    running = 0;
    std::error_code ignored;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ignored)) {
      std::ifstream status(task.path() / "status");
      std::string line, name;
      bool mapped = false;
      while (std::getline(status, line)) {
        if (line.rfind("Name:\t", 0) == 0) name = line.substr(6);
        mapped = mapped || line.rfind("VmSize:", 0) == 0;
      }
      running += mapped && (name == "video draw" || name == "video convert");
    }
    if (running == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return running;
}

// Reports the end only once nothing else of the job runs: what Finished() sees then is final.
struct WatchingTheEnd : VideoProgress {
  std::atomic<int> done{0};
  std::atomic<int> stagesAtEnd{-1};
  std::atomic<bool> finished{false};
  std::string partsFolder;  // removed after the second frame: the next write fails
  void FramesDone(int d, int) override {
    done = d;
    if (d == 2 && !partsFolder.empty()) {
      for (const auto& entry : fs::directory_iterator(partsFolder))
        if (entry.path().filename().string().rfind(".zoom", 0) == 0) fs::remove_all(entry.path());
    }
  }
  void Finished() override {
    stagesAtEnd = StageThreadsRunning();
    finished = true;
  }
};

TEST(VideoJob, FinishedComesAfterEveryStageHasStopped) {
  ImageStack stack = Checkered();
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancelled" : "failed half way");
    TempDir dir;
    VideoSettings settings;
    settings.path = dir.File("zoom_%05d.png");
    // Antialiased frames of some size: the draw is busy with a frame when the end comes.
    settings.width = 640;
    settings.height = 480;
    settings.antialias = 2;
    settings.duration = 100;
    WatchingTheEnd progress;
    if (!cancel) progress.partsFolder = dir.path();
    VideoJob job(stack, settings, &progress);
    ASSERT_TRUE(job.Start()) << job.Error();
    for (int i = 0; i < 6000 && progress.done < 3 && !progress.finished; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (cancel) job.Cancel();
    for (int i = 0; i < 6000 && !progress.finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(progress.finished);
    EXPECT_EQ(progress.stagesAtEnd, 0);
    EXPECT_EQ(job.Wait(), cancel ? VideoResult::Cancelled : VideoResult::Failed) << job.Error();
    EXPECT_EQ(job.Error().empty(), cancel) << job.Error();
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
}

// What exports killed before they finished left beside the destination goes with the next one.
TEST(VideoJob, LeftoversOfKilledExportsAreRemoved) {
  ImageStack stack = Checkered();
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  for (const char* name : {"zoom.mp4", "zoom_%05d.png"}) {
    TempDir dir;
    const std::string first = std::string(name) == "zoom.mp4" ? "zoom.mp4" : "zoom_00000.png";
    WriteFileBytes(dir.File("." + first + ".part-" + dead + "-0"), "half a video");
    fs::create_directory(dir.File("." + first + ".part-" + dead + "-1"));
    WriteFileBytes(dir.File("." + first + ".part-" + dead + "-1/0.png"), "a frame");
    VideoSettings settings;
    settings.path = dir.File(name);
    settings.width = 64;
    settings.height = 48;
    settings.fps = 2;
    settings.duration = 1;
    std::string error;
    ASSERT_EQ(Export(stack, settings, error), VideoResult::Ok) << error;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

}  // namespace
