// The project layer without windows: what it reports while a project opens, and its undo steps
// as the windows see them through its signals.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUndoStack>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "ColourJob.h"
#include "DecodeMemory.h"
#include "PictureCheckJob.h"
#include "Project.h"
#include "RecordingReporter.h"
#include "TestFiles.h"
#include "colour_stack.h"

namespace {

// A project of two grey pictures, the second half the size of the first, and its target frame.
std::string WriteProject(const TempDir& dir) {
  for (const char* name : {"a.jpg", "b.jpg"})
    WriteJpeg(dir.File(name), 64, 48, [](int, int) { return Rgb{90, 90, 90}; });
  const std::string path = dir.File("two.kx");
  WriteFileBytes(path,
                 "#Tunnelvista v1.0\r\nduration 10.0\r\nimages 2\r\n\r\n"
                 "filename a.jpg\r\nscale 1\r\ntranslate 0 0\r\nrotate 0\r\n\r\n"
                 "filename b.jpg\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n\r\n"
                 "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n");
  return path;
}

bool WaitUntilOpen(const Project& project) {
  QElapsedTimer clock;
  clock.start();
  while (project.Opening() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return !project.Opening();
}

TEST(Project, OpeningReportsTheTextThenThePicturesThenTheEnd) {
  TempDir dir;
  const std::string path = WriteProject(dir);
  RecordingReporter reporter;
  Project project;
  std::vector<std::string> heard;
  QObject::connect(&project, &Project::opened, [&] { heard.push_back("opened"); });
  QObject::connect(&project, &Project::openingFinished, [&] { heard.push_back("finished"); });
  int lastChecked = -1, lastTotal = -1;
  QObject::connect(&project, &Project::openingProgress, [&](int checked, int total, const QString&) {
    lastChecked = checked;
    lastTotal = total;
  });

  ASSERT_TRUE(project.Open(path));
  ASSERT_TRUE(WaitUntilOpen(project));
  EXPECT_EQ(heard, (std::vector<std::string>{"opened", "finished"}));
  EXPECT_EQ(lastChecked, 2);
  EXPECT_EQ(lastTotal, 2);
  ASSERT_NE(project.stack(), nullptr);
  EXPECT_EQ(project.stack()->count(), 3);
  EXPECT_TRUE(project.stack()->images[1]->loaded);
  EXPECT_FALSE(project.Modified());
  EXPECT_TRUE(reporter.messages.empty());

  // A file that is not there: reported, and no project is left open.
  EXPECT_FALSE(project.Open(dir.File("missing.kx")));
  EXPECT_EQ(project.stack(), nullptr);
  EXPECT_FALSE(project.Opening());
  EXPECT_EQ(reporter.messages.size(), 1u);
}

TEST(Project, StepsFindTheirElementAndTellWhatChanged) {
  TempDir dir;
  const std::string path = WriteProject(dir);
  RecordingReporter reporter;
  Project project;
  ASSERT_TRUE(project.Open(path));
  ASSERT_TRUE(WaitUntilOpen(project));
  ImageStack& stack = *project.stack();
  std::vector<bool> modified;
  QObject::connect(&project, &Project::modifiedChanged, [&](bool m) { modified.push_back(m); });
  std::vector<quint64> placed;
  QObject::connect(&project, &Project::placementChanged, [&](quint64 id) { placed.push_back(id); });
  std::vector<float> durations;
  QObject::connect(&project, &Project::durationChanged, [&](float s) { durations.push_back(s); });

  // A drag changes the child in place; its end is one step, named by the child's identity.
  Image* child = stack.images[1].get();
  const Transform before = child->transform;
  child->transform.scale = 0.25f;
  project.RecordPlacementChange(1, before);
  // Typing merges into one step; what the window put there itself is none.
  project.SetDuration(12.0f, true);
  project.SetDuration(12.5f, true);
  project.SetDuration(11.0f, false);
  EXPECT_EQ(project.undoStack()->count(), 2);
  EXPECT_TRUE(project.Modified());
  EXPECT_EQ(modified, std::vector<bool>{true});

  project.undoStack()->undo();
  EXPECT_EQ(durations, std::vector<float>{10.0f});
  EXPECT_EQ(stack.duration, 10.0f);
  // The child moved to the front of the list: the placement step still reaches it.
  std::vector<Image*> order{stack.images[1].get(), stack.images[0].get(), stack.images[2].get()};
  std::vector<std::unique_ptr<Image>> none;
  stack.Arrange(order, none);
  placed.clear();
  project.undoStack()->undo();
  EXPECT_EQ(placed, std::vector<quint64>{child->id});
  EXPECT_EQ(child->transform.scale, before.scale);
  EXPECT_FALSE(project.Modified());

  // Save As to a name that cannot be written keeps the name and leaves nothing to undo to.
  project.undoStack()->redo();
  EXPECT_FALSE(project.SaveAs(dir.File("no-such-folder/two.kx")));
  EXPECT_EQ(stack.path, dir.File("no-such-folder/two.kx"));
  EXPECT_TRUE(project.Modified());
  project.undoStack()->undo();
  EXPECT_TRUE(project.Modified());
  EXPECT_TRUE(project.SaveAs(path));
  EXPECT_FALSE(project.Modified());
  EXPECT_EQ(modified.back(), false);
}

// Play and pace are one step each. Going endless refits the target frame to the first picture's
// shape (here portrait in a landscape last picture) where it was; the file says so, and undoing
// gives back the saved project exactly.
TEST(Project, PlaySettingsAreStepsAndEndlessRefitsTheTargetFrame) {
  TempDir dir;
  WriteJpeg(dir.File("a.jpg"), 48, 64, [](int, int) { return Rgb{90, 90, 90}; });
  WriteJpeg(dir.File("b.jpg"), 64, 48, [](int, int) { return Rgb{90, 90, 90}; });
  const std::string path = dir.File("two.kx");
  WriteFileBytes(path,
                 "#Tunnelvista v1.0\r\nduration 10.0\r\nimages 2\r\n\r\n"
                 "filename a.jpg\r\nscale 1\r\ntranslate 0 0\r\nrotate 0\r\n\r\n"
                 "filename b.jpg\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n\r\n"
                 "target\r\nscale 0.5\r\ntranslate 0.1 0\r\nrotate 0\r\n");
  RecordingReporter reporter;
  Project project;
  ASSERT_TRUE(project.Open(path));
  ASSERT_TRUE(WaitUntilOpen(project));
  ImageStack& stack = *project.stack();
  const Image& target = *stack.targetFrame();
  ASSERT_TRUE(project.Save());
  const std::string saved = ReadFileBytes(path);
  int heard = 0;
  QObject::connect(&project, &Project::playSettingsChanged, [&] { ++heard; });

  project.SetPlaySettings({PlayMode::ThereAndBack, Pace::Steady});
  project.SetPlaySettings({PlayMode::Endless, Pace::Steady});
  project.SetPlaySettings({PlayMode::Endless, Pace::Steady});  // no change: no step
  EXPECT_EQ(project.undoStack()->count(), 2);
  EXPECT_EQ(heard, 2);
  EXPECT_TRUE(project.Modified());
  EXPECT_EQ(target.width, 48);
  EXPECT_EQ(target.height, 64);
  EXPECT_FLOAT_EQ(target.transform.scale, 0.375f);  // inside where the landscape frame was
  EXPECT_FLOAT_EQ(target.transform.translateX, 0.1f);
  EXPECT_EQ(stack.CurrentTimeline().settings().play, PlayMode::Endless);

  ASSERT_TRUE(project.Save());
  const std::string text = ReadFileBytes(path);
  EXPECT_NE(text.find("\r\nplay endless\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\npace steady\r\n"), std::string::npos) << text;

  project.undoStack()->undo();
  project.undoStack()->undo();
  EXPECT_EQ(stack.playSettings, PlaySettings());
  EXPECT_EQ(target.width, 64);
  EXPECT_FLOAT_EQ(target.transform.scale, 0.5f);
  ASSERT_TRUE(project.Save());
  EXPECT_EQ(ReadFileBytes(path), saved);
  project.undoStack()->redo();
  project.undoStack()->redo();
  EXPECT_EQ(stack.playSettings.play, PlayMode::Endless);
  EXPECT_FLOAT_EQ(target.transform.scale, 0.375f);
  EXPECT_TRUE(reporter.messages.empty());
}

// A frame refitted to another shape stays inside where it was; one that frames nothing sensible
// becomes half its parent, centred.
TEST(Project, RefitFrameKeepsTheFrameInsideItsPlace) {
  const Transform t{0.6f, 0.1f, -0.1f, 30.0f};
  const Transform same = RefitFrame(t, 640, 480, 320, 240);
  EXPECT_TRUE(SamePlacement(same, t));
  const Transform wider = RefitFrame(t, 480, 480, 640, 320);  // (1, 1) to (1, 0.5): fits already
  EXPECT_FLOAT_EQ(wider.scale, 0.6f);
  const Transform taller = RefitFrame(t, 640, 320, 480, 480);  // (1, 0.5) to (1, 1): half
  EXPECT_FLOAT_EQ(taller.scale, 0.3f);
  EXPECT_FLOAT_EQ(taller.rotate, 30.0f);
  for (float bad : {0.0f, 1.0f, 2.0f, -0.5f, std::numeric_limits<float>::quiet_NaN()})
    EXPECT_TRUE(SamePlacement(RefitFrame({bad, 0.2f, 0, 5}, 640, 480, 480, 640), Transform{0.5f, 0, 0, 0}));
}

// The image list's checks are the project's jobs: a file the open project already shows is not
// decoded again, the job ends after its results were taken, and Cancel answers at once.
TEST(Project, PictureChecksAreJobsThatReuseThePicturesItShows) {
  TempDir dir;
  const std::string path = WriteProject(dir);
  WriteJpeg(dir.File("c.jpg"), 64, 48, [](int, int) { return Rgb{30, 60, 90}; });
  RecordingReporter reporter;
  Project project;
  std::vector<std::string> heard;
  QObject::connect(&project, &Project::jobStarted, [&](Job* job) {
    heard.push_back(qobject_cast<PictureCheckJob*>(job) ? "started check" : "started");
  });
  QObject::connect(&project, &Project::jobFinished, [&](Job*) { heard.push_back("job finished"); });
  QObject::connect(&project, &Project::openingFinished, [&] { heard.push_back("opened"); });
  ASSERT_TRUE(project.Open(path));
  ASSERT_TRUE(WaitUntilOpen(project));
  EXPECT_EQ(heard, (std::vector<std::string>{"started check", "job finished", "opened"}));

  const unsigned long long decodes = SharedDecodeMemory().Decodes();
  PictureCheckJob* job = project.CheckPictures({dir.File("b.jpg"), dir.File("c.jpg"), dir.File("b.jpg")});
  std::vector<std::pair<size_t, CheckedPicture>> results;
  QObject::connect(job, &PictureCheckJob::resultsWaiting, [&] {
    for (auto& result : job->Take()) results.push_back(std::move(result));
  });
  std::optional<bool> completed;
  QObject::connect(job, &Job::finished, [&](bool c) { completed = c; });
  QElapsedTimer clock;
  clock.start();
  while (!completed && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_TRUE(completed.value_or(false));
  ASSERT_EQ(results.size(), 3u);
  for (const auto& [index, result] : results) EXPECT_TRUE(result.ok) << index;
  EXPECT_EQ(SharedDecodeMemory().Decodes() - decodes, 1u);  // c.jpg only
  const Image& b = *project.stack()->images[1];
  for (const auto& [index, result] : results) {
    if (index == 1) continue;
    EXPECT_EQ(result.thumbnail.constBits(), b.bitmap.constBits());
  }

  // Many files: Cancel stops the workers before it returns; the end still comes, not completed.
  std::vector<std::string> many;
  for (int i = 0; i < 64; ++i) {
    many.push_back(dir.File("many" + std::to_string(i) + ".jpg"));
    WriteJpeg(many.back(), 640, 480, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), 7}; });
  }
  PictureCheckJob* cancelled = project.CheckPictures(many);
  completed.reset();
  QObject::connect(cancelled, &Job::finished, [&](bool c) { completed = c; });
  cancelled->Cancel();
  EXPECT_EQ(cancelled->Check(), nullptr);
  EXPECT_LT(cancelled->Checked(), many.size());
  while (!completed && clock.elapsed() < 40000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(completed, std::optional<bool>(false));
  EXPECT_TRUE(reporter.messages.empty());
}

// Match All Colours: each correction found is one step, chained from the first picture (the
// third is matched with the second as corrected), and undone in turn.
TEST(Project, MatchingColoursIsAJobWhoseResultsAreOneStepEach) {
  TempDir dir;
  std::mt19937 random(9);
  const std::vector<ToneGains> gains{{1, 1, 1}, {1.25, 1.25, 1.25}, {0.8, 0.8, 0.8}};
  const auto pictures = CutToneStack(ReadPhoto(CorpusFile("photos/Storm.jpg")), gains, random, 600, 800);
  ASSERT_EQ(pictures.size(), 3u);
  ASSERT_TRUE(WriteAlignStack(pictures, dir.path(), "tones", false));
  RecordingReporter reporter;
  Project project;
  ASSERT_TRUE(project.Open(dir.File("tones.kx")));
  ASSERT_TRUE(WaitUntilOpen(project));
  std::vector<quint64> changed;
  QObject::connect(&project, &Project::colourChanged, [&](quint64 id) { changed.push_back(id); });
  ColourJob* job = project.StartMatchColours(-1);
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(project.StartMatchColours(-1), nullptr);  // one at a time
  EXPECT_EQ(project.StartAlign(-1), nullptr);
  std::optional<bool> completed;
  QObject::connect(job, &Job::finished, [&](bool c) { completed = c; });
  QElapsedTimer clock;
  clock.start();
  while (!completed && clock.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_TRUE(completed.value_or(false));
  const ImageStack& stack = *project.stack();
  EXPECT_EQ(changed, (std::vector<quint64>{stack.images[1]->id, stack.images[2]->id}));
  EXPECT_TRUE(stack.images[0]->colour.IsIdentity());
  for (size_t c = 0; c < 3; ++c) {
    EXPECT_NEAR(stack.images[1]->colour.Apply(int(c), 0.5f), 0.4f, 0.01f);
    EXPECT_NEAR(stack.images[2]->colour.Apply(int(c), 0.4f), 0.5f, 0.01f);
  }
  EXPECT_EQ(project.undoStack()->count(), 2);
  EXPECT_TRUE(project.Modified());
  project.undoStack()->undo();
  EXPECT_TRUE(stack.images[2]->colour.IsIdentity());
  EXPECT_FALSE(stack.images[1]->colour.IsIdentity());
  project.undoStack()->undo();
  EXPECT_TRUE(stack.images[1]->colour.IsIdentity());

  // Cancel: the end still comes, not completed, and nothing is said.
  job = project.StartMatchColours(-1);
  ASSERT_NE(job, nullptr);
  completed.reset();
  QObject::connect(job, &Job::finished, [&](bool c) { completed = c; });
  job->Cancel();
  while (!completed && clock.elapsed() < 90000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(completed, std::optional<bool>(false));
  EXPECT_EQ(project.MatchingColours(), nullptr);
  EXPECT_TRUE(reporter.messages.empty());
}

}  // namespace
