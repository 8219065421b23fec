// Slots that act on the project from the signals of its opening (Cancel closes it, File > Open
// replaces it), and work asked for while it opens.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Job.h"
#include "Project.h"
#include "RecordingReporter.h"
#include "TestFiles.h"
#include "VideoPlan.h"
#include "WebExport.h"

namespace {

// A project of `pictures` small pictures in `dir`, named after `name`.
std::string WriteProject(const TempDir& dir, const std::string& name, int pictures) {
  std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages " + std::to_string(pictures) + "\r\n\r\n";
  for (int i = 0; i < pictures; ++i) {
    const std::string picture = name + std::to_string(i) + ".jpg";
    WriteJpeg(dir.File(picture), 64, 48, [i](int, int) { return Rgb{uint8_t(60 + 40 * i), 90, 90}; });
    text += "filename " + picture + "\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n\r\n";
  }
  text += "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  const std::string path = dir.File(name + ".kx");
  WriteFileBytes(path, text);
  return path;
}

bool Settles(const Project& project) {
  QElapsedTimer clock;
  clock.start();
  while (project.Opening() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  // Jobs stopped from a slot are deleted later; their ends come through the event loop too.
  QCoreApplication::processEvents();
  return !project.Opening();
}

bool AllLoaded(const ImageStack& stack) {
  for (int i = 0; i < stack.pictureCount(); ++i)
    if (!stack.images[static_cast<size_t>(i)]->loaded) return false;
  return true;
}

enum class Act { CancelOpening, Close, OpenOther };

// Connects `act` to the project's signal `name` for its first emission only.
void OnceOn(Project& project, const std::string& name, const std::function<void()>& act, QObject& context) {
  auto fired = std::make_shared<bool>(false);
  auto once = [fired, act] {
    if (*fired) return;
    *fired = true;
    act();
  };
  if (name == "stackReplaced") QObject::connect(&project, &Project::stackReplaced, &context, once);
  if (name == "modifiedChanged") QObject::connect(&project, &Project::modifiedChanged, &context, once);
  if (name == "jobStarted") QObject::connect(&project, &Project::jobStarted, &context, once);
  if (name == "opened") QObject::connect(&project, &Project::opened, &context, once);
  if (name == "picturesArrived") QObject::connect(&project, &Project::picturesArrived, &context, once);
  if (name == "openingProgress") QObject::connect(&project, &Project::openingProgress, &context, once);
  if (name == "jobFinished") QObject::connect(&project, &Project::jobFinished, &context, once);
  if (name == "openingFinished") QObject::connect(&project, &Project::openingFinished, &context, once);
}

TEST(ProjectSignals, SlotsThatReplaceOrCloseTheOpeningProjectLeaveItConsistent) {
  TempDir dir;
  const std::string first = WriteProject(dir, "first", 3);
  const std::string other = WriteProject(dir, "other", 2);
  RecordingReporter reporter;
  const char* emitted[] = {"stackReplaced",   "modifiedChanged", "jobStarted",  "opened",
                           "picturesArrived", "openingProgress", "jobFinished", "openingFinished"};
  for (const char* name : emitted) {
    for (Act act : {Act::CancelOpening, Act::Close, Act::OpenOther}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(static_cast<int>(act)));
      Project project;
      QObject context;
      // Which project each `openingFinished` came for: never the first after the other.
      std::vector<std::string> finished;
      QObject::connect(&project, &Project::openingFinished, &context,
                       [&] { finished.push_back(project.stack() ? project.stack()->path : std::string()); });
      OnceOn(
          project, name,
          [&project, act, &other] {
            if (act == Act::CancelOpening) project.CancelOpening();
            if (act == Act::Close) project.SetStack(nullptr);
            if (act == Act::OpenOther) project.Open(other);
          },
          context);
      project.Open(first);
      ASSERT_TRUE(Settles(project));
      const ImageStack* stack = project.stack();
      if (act == Act::OpenOther) {
        ASSERT_NE(stack, nullptr);
        EXPECT_EQ(stack->path, other);
        EXPECT_EQ(stack->pictureCount(), 2);
        ASSERT_FALSE(finished.empty());
        EXPECT_EQ(finished.back(), other);
      }
      if (act == Act::Close) {
        EXPECT_EQ(stack, nullptr);
      }
      // A cancel heard while no check ran (before it began, or after its end) changes nothing.
      if (stack) {
        EXPECT_TRUE(AllLoaded(*stack));
        EXPECT_EQ(finished.back(), stack->path);
      }
      EXPECT_TRUE(reporter.messages.empty());
    }
  }
}

TEST(ProjectSignals, WorkOnThePicturesWaitsUntilTheyAreChecked) {
  TempDir dir;
  const std::string path = WriteProject(dir, "first", 2);
  RecordingReporter reporter;
  Project project;
  ASSERT_TRUE(project.Open(path));
  // The results are taken on this thread's event loop, which has not run yet.
  ASSERT_TRUE(project.Opening());
  EXPECT_EQ(project.StartAlign(-1), nullptr);
  EXPECT_EQ(project.StartMatchColours(-1), nullptr);
  EXPECT_EQ(project.StartWebExport(WebExportOptions()), nullptr);
  EXPECT_EQ(project.StartVideoExport(VideoSettings(), 0), nullptr);
  ASSERT_EQ(reporter.messages.size(), 4u);
  for (const Message& message : reporter.messages)
    EXPECT_NE(message.text.find("still opening"), std::string::npos) << message.text;
  EXPECT_EQ(reporter.messages[0].caption, "Align");
  EXPECT_EQ(reporter.messages[3].caption, "Export Video");

  ASSERT_TRUE(Settles(project));
  reporter.messages.clear();
  EXPECT_FALSE(project.RefusedWhileOpening("Align"));
  EXPECT_TRUE(reporter.messages.empty());
}

}  // namespace
