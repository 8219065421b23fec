// The export and alignment requests, checked once for the dialogs and the command line, and the
// web export as a job on a worker thread.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <thread>

#include "AlignRequest.h"
#include "Imagestack.h"
#include "RecordingReporter.h"
#include "TestFiles.h"
#include "VideoRequest.h"
#include "WebExportJob.h"
#include "WebExportRequest.h"

namespace {

namespace fs = std::filesystem;

// A project of `pictures` small pictures in one folder, loaded.
struct SmallProject {
  TempDir dir;
  std::unique_ptr<ImageStack> stack = std::make_unique<ImageStack>();
  explicit SmallProject(int pictures) {
    std::string text = "#Tunnelvista v1.0\nduration 8\nimages " + std::to_string(pictures) + "\n";
    for (int i = 0; i < pictures; ++i) {
      const std::string name = "p" + std::to_string(i) + ".jpg";
      WriteJpeg(dir.File(name), 64, 48, [](int x, int y) {
        return Rgb{static_cast<uint8_t>(x), 40, static_cast<uint8_t>(y)};
      });
      text += "filename " + name + "\nscale 0.5\ntranslate 0 0\nrotate 0\n";
    }
    text += "target\nscale 0.5\ntranslate 0 0\nrotate 0\n";
    WriteFileBytes(dir.File("p.kx"), text);
    stack->path = dir.File("p.kx");
    EXPECT_TRUE(stack->LoadProject());
  }
};

// The dialog says the plan's refusal through the message seam, the command line prints it: the
// verdict is the plan's either way. The names are checked in order; the display values are
// limited silently, and the command line's --size is held to the same limits.
TEST(WebExportRequest, OneVerdictForTheDialogAndTheCommandLine) {
  SmallProject project(1);
  struct Case {
    const char* page;
    const char* data;
    const char* applet;
    WebPlayer player;
    const char* refusal;  // its start; empty: accepted
  } cases[] = {
      {"INDEX.HTML", "a.kxo", "..\\kx.jar", WebPlayer::Applet, ""},
      {"index.htm", "a.kxo", "kx.jar", WebPlayer::Applet, "The webpage filename must have an .html"},
      {"html", "a.kxo", "kx.jar", WebPlayer::Applet, "The webpage filename must have an .html"},
      {"a.html", "kxo", "kx.jar", WebPlayer::Applet, "Datafile must have"},
      {"a.html", "a.kxo", "kx.zip", WebPlayer::Applet, "The Java applet must have"},
      {"a.html", "a.kxo", "kx.zip", WebPlayer::Html5, ""},  // the page plays without the archive
      {"a/b.html", "a.kxo", "kx.jar", WebPlayer::Applet, "The webpage file must be in"},
      {"a.html", "a\\b.kxo", "kx.jar", WebPlayer::Applet, "The Java applet datafile file must"},
      {"a.html", "a.kxo", "sub/kx.jar", WebPlayer::Applet, "Due to Java security constraints"},
      {"a.html", "a.kxo", "sub/kx.jar", WebPlayer::Html5, ""},
  };
  for (const Case& c : cases) {
    WebExportRequest request;
    request.directory = project.dir.File("site");
    request.pageName = c.page;
    request.dataName = c.data;
    request.appletName = c.applet;
    request.player = c.player;
    const WebExportPlan plan = PlanWebExport(request, *project.stack);
    EXPECT_EQ(plan.refusal.rfind(c.refusal, 0), 0u) << c.page << " " << c.data << " " << c.applet;
    EXPECT_EQ(plan.refusal.empty(), std::string(c.refusal).empty()) << plan.refusal;
    RecordingReporter reporter;
    EXPECT_FALSE(ConfirmWebExport(plan));  // a refusal is said; else the create question is cancelled
    ASSERT_EQ(reporter.messages.size(), 1u);
    if (plan.refusal.empty()) {
      EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::OkCancel);
    } else {
      EXPECT_EQ(reporter.messages[0].text, plan.refusal);
    }
  }

  struct Limits {
    const char *duration, *width, *height;
    WebPlayer player;
    bool controls;
    float seconds;
    int w, h;
  } limits[] = {
      {"", "", "", WebPlayer::Html5, true, 1, 50, 50},
      {"0", "30", "700", WebPlayer::Applet, false, 1, 50, 600},
      {"abc", "30", "700", WebPlayer::Applet, true, 1, 50, 620},
      {"500", "900", "100", WebPlayer::Applet, true, 200, 800, 120},
      // The HTML5 page's box runs to 7680 x 4320 (and has no controls inside it).
      {"12.5", "801", "49", WebPlayer::Html5, true, 12.5f, 801, 50},
      {"12.5", "9000", "4321", WebPlayer::Html5, true, 12.5f, 7680, 4320},
  };
  for (const Limits& l : limits) {
    WebExportRequest request;
    request.duration = l.duration;
    request.width = l.width;
    request.height = l.height;
    request.player = l.player;
    request.showControls = l.controls;
    EXPECT_EQ(request.Duration(), l.seconds) << l.duration;
    EXPECT_EQ(request.Width(), l.w) << l.width;
    EXPECT_EQ(request.Height(), l.h) << l.height;
  }
  const WebPlayer applet = WebPlayer::Applet, html5 = WebPlayer::Html5;
  EXPECT_TRUE(WebExportRequest::SizeWithinLimits(50, 50, applet));
  EXPECT_TRUE(WebExportRequest::SizeWithinLimits(800, 600, applet));
  EXPECT_FALSE(WebExportRequest::SizeWithinLimits(49, 300, applet));
  EXPECT_FALSE(WebExportRequest::SizeWithinLimits(801, 300, applet));
  EXPECT_FALSE(WebExportRequest::SizeWithinLimits(400, 601, applet));
  EXPECT_TRUE(WebExportRequest::SizeWithinLimits(7680, 4320, html5));
  EXPECT_FALSE(WebExportRequest::SizeWithinLimits(7681, 4320, html5));
  EXPECT_FALSE(WebExportRequest::SizeWithinLimits(1920, 4321, html5));
  EXPECT_FALSE(WebExportRequest::SizeWithinLimits(49, 1080, html5));
}

// The page's size and the project's play settings reach the page's options: an HTML5 page fills
// the window unless given a box, the applet's always has its box and plays as it always did.
// The folder proposed is a new one beside the project.
TEST(WebExportRequest, PageSizeAndPlaySettingsReachThePage) {
  ImageStack stack;
  stack.playSettings.play = PlayMode::Endless;
  for (const WebPlayer player : {WebPlayer::Html5, WebPlayer::Applet}) {
    for (const WebPageSize size : {WebPageSize::FillWindow, WebPageSize::Fixed}) {
      WebExportRequest request;
      request.directory = "/nonexistent/site";
      request.player = player;
      request.pageSize = size;
      const WebPageOptions page = PlanWebExport(request, stack).options.page;
      const bool html5 = player == WebPlayer::Html5;
      EXPECT_EQ(page.pageSize, html5 ? size : WebPageSize::Fixed);
      EXPECT_EQ(page.endless, html5);
      EXPECT_EQ(page.steady, html5);  // an endless zoom is steady
    }
  }
  stack.playSettings = {PlayMode::ThereAndBack, Pace::Steady};
  WebPageOptions page = PlanWebExport(WebExportRequest(), stack).options.page;
  EXPECT_FALSE(page.endless);
  EXPECT_TRUE(page.steady);
  stack.playSettings = PlaySettings();
  page = PlanWebExport(WebExportRequest(), stack).options.page;
  EXPECT_FALSE(page.endless || page.steady);

  auto picture = std::make_unique<Image>();
  picture->directory = "/pictures";
  stack.images.push_back(std::move(picture));
  EXPECT_EQ(ProposedWebDirectory(stack), "/pictures");  // not saved yet
  stack.path = "/projects/deep.dive.kx";
  EXPECT_EQ(ProposedWebDirectory(stack), "/projects/deep.dive-web");
}

// The dialog's duration check is the command line's; a duration of 0 not given is the
// project's; the settings' own limits speak in one voice.
TEST(VideoRequest, OneVerdictForTheDialogAndTheCommandLine) {
  struct Case {
    const char* path;
    int width;
    double duration;
    bool own;
    VideoRefusal refusal;
    const char* said;  // part of the error
  } cases[] = {
      {"v.mp4", 320, 2, true, VideoRefusal::None, ""},
      {"v.mp4", 320, 0, false, VideoRefusal::None, ""},
      {"", 320, 2, true, VideoRefusal::NoFile, ""},
      {"v.mp4", 320, 0, true, VideoRefusal::Duration, ""},
      {"v.mp4", 321, 2, true, VideoRefusal::Settings, "even"},
      {"v.avi", 320, 2, true, VideoRefusal::Settings, ".mp4"},
  };
  TempDir out;
  for (const Case& c : cases) {
    VideoRequest request;
    request.settings.path = *c.path ? out.File(c.path) : std::string();
    request.settings.width = c.width;
    request.settings.duration = c.duration;
    request.ownDuration = c.own;
    std::string error;
    EXPECT_EQ(request.Check(10, error), c.refusal) << c.path << " " << c.width << " " << c.duration;
    EXPECT_NE(error.find(c.said), std::string::npos) << error;
    RecordingReporter reporter;
    EXPECT_EQ(ConfirmVideoExport(request, 10), c.refusal == VideoRefusal::None);
    EXPECT_EQ(reporter.messages.size(), c.refusal == VideoRefusal::None ? 0u : 1u);
  }
  VideoRequest typed;
  typed.SetTypedPath("out\\zoom.mp4", "/data/projects/p.kx");
  EXPECT_EQ(typed.settings.path, "/data/projects/out/zoom.mp4");
  typed.SetTypedPath("/abs/zoom.mp4", "/data/projects/p.kx");
  EXPECT_EQ(typed.settings.path, "/abs/zoom.mp4");
}

TEST(AlignRequest, OneChildOrAll) {
  SmallProject three(3);
  SmallProject one(1);
  EXPECT_EQ(AlignRequest{}.Check(*three.stack), AlignRefusal::None);
  EXPECT_EQ(AlignRequest{}.Tasks(*three.stack).size(), 2u);
  EXPECT_EQ(AlignRequest{}.Check(*one.stack), AlignRefusal::TooFewPictures);
  for (int child : {0, 3, 7}) EXPECT_EQ(AlignRequest{child}.Check(*three.stack), AlignRefusal::NoSuchChild) << child;
  const std::vector<AlignTask> tasks = AlignRequest{2}.Tasks(*three.stack);
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_EQ(tasks[0].childId, three.stack->images[2]->id);
  EXPECT_TRUE(AlignRequest{1}.Tasks(*one.stack).empty());
}

// Runs `job` to its end in an event loop; false when it did not end in time.
bool RunToEnd(Job& job, bool& completed, std::vector<int>& steps) {
  QEventLoop loop;
  bool ended = false;
  QObject::connect(&job, &Job::progress, [&steps](int done, int) { steps.push_back(done); });
  QObject::connect(&job, &Job::finished, [&](bool c) {
    completed = c;
    ended = true;
    loop.quit();
  });
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  job.Start();
  EXPECT_TRUE(job.Running());
  if (!ended) loop.exec();
  EXPECT_FALSE(job.Running());
  return ended;
}

// The export runs on a worker and says its progress; what it has to say is said on this thread,
// after its worker stopped and before `finished`. Cancelled, it writes nothing.
TEST(WebExportJob, ReportsOnTheOwnersThreadAndCancels) {
  SmallProject project(2);
  TempDir player;
  for (const char* name : webPlayerFiles) WriteFileBytes(player.File(name), name);
  WebExportRequest request;
  request.directory = project.dir.File("site");
  request.playerDirectory = player.path();
  const WebExportPlan plan = PlanWebExport(request, *project.stack);
  ASSERT_TRUE(plan.refusal.empty());
  ASSERT_TRUE(plan.makesDirectory);

  RecordingReporter reporter;
  WebExportJob job(*project.stack, plan.options);
  bool completed = false;
  std::vector<int> steps;
  ASSERT_TRUE(RunToEnd(job, completed, steps));
  EXPECT_TRUE(completed);
  EXPECT_EQ(job.Result(), WebExportResult::Ok);
  EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4}));  // the data file, two pictures, the page
  EXPECT_TRUE(fs::exists(job.PagePath()));
  EXPECT_TRUE(reporter.messages.empty());

  // Cancelled before it starts writing: said here, and the directory made for it goes again.
  WebExportOptions options = plan.options;
  options.directory = project.dir.File("other");
  std::thread::id saidOn;
  struct ThreadRecorder : Reporter {
    std::thread::id* on;
    std::vector<std::string> texts;
    MessageAnswer Show(const Message& m) override {
      *on = std::this_thread::get_id();
      texts.push_back(m.text);
      return MessageAnswer::Ok;
    }
  } recorder;
  recorder.on = &saidOn;
  Reporter* before = SetReporter(&recorder);
  WebExportJob cancelled(*project.stack, options);
  cancelled.Cancel();
  steps.clear();
  ASSERT_TRUE(RunToEnd(cancelled, completed, steps));
  SetReporter(before);
  EXPECT_FALSE(completed);
  EXPECT_EQ(recorder.texts, std::vector<std::string>{"The export was interrupted; nothing was written."});
  EXPECT_EQ(saidOn, std::this_thread::get_id());
  EXPECT_FALSE(fs::exists(options.directory));
}

}  // namespace
