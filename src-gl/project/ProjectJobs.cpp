// The project's long jobs: checks of pictures for a window, the alignment (its results applied as
// undo steps as they come) and the web export.

#include <map>
#include <memory>
#include <optional>

#include "AlignJob.h"
#include "AlignRequest.h"
#include "ColourJob.h"
#include "Messages.h"
#include "PictureCheckJob.h"
#include "Project.h"
#include "VideoExportJob.h"
#include "WebExportJob.h"

// A job of the project's: said before the project connects to it (so that an observer, such as
// a window's progress dialog, hears each of its signals first), started, said when it has ended,
// then deleted. `connectOwn` makes the project's own connections.
void Project::Adopt(Job* job, const std::function<void()>& connectOwn) {
  const bool opening = job == opening_;
  emit jobStarted(job);
  // The opening's check reads the stack it was made for: a slot that stopped it (and so said it
  // ended) or replaced the project leaves nothing for it to start on. The other jobs work on
  // copies, or drop their results for a document that has gone.
  if (opening && opening_ != job) return;
  if (connectOwn) connectOwn();
  connect(job, &Job::finished, this, [this, job] {
    emit jobFinished(job);
    job->deleteLater();
  });
  job->Start();
}

PictureCheckJob* Project::CheckPictures(std::vector<std::string> paths) {
  // A file that a loaded element shows, unchanged since it was checked, is that element's picture:
  // its result is copied (the thumbnail's pixels shared) instead of decoding the file again.
  std::vector<std::optional<CheckedPicture>> known(paths.size());
  for (size_t i = 0; i < paths.size() && stack_; ++i) {
    const FileIdentity file = IdentifyFile(paths[i]);
    if (!file.Known()) continue;
    for (const auto& element : stack_->images) {
      if (!element->loaded || element->file != file) continue;
      CheckedPicture same;
      same.ok = true;
      same.width = element->width;
      same.height = element->height;
      same.thumbnail = element->bitmap;
      same.file = file;
      known[i] = std::move(same);
      break;
    }
  }
  auto* job = new PictureCheckJob(std::move(paths), std::move(known), this);
  Adopt(job);
  return job;
}

// What one alignment did to the project, for its closing message.
struct AlignRun {
  const ImageStack* stack = nullptr;  // the document the tasks were made from; results for another are dropped
  std::map<int, bool> moved;          // found for a pair that the list no longer has
};

namespace {

// The pictures the run could not place, and those that kept the good placement they had, where
// they are now: "\n3. c.jpg: REASON" each.
void NamePictures(const AlignJob& job, const AlignRun& run, std::string& missed, std::string& kept) {
  const std::vector<AlignTask>& tasks = job.Tasks();
  for (size_t i = 0; i < tasks.size(); ++i) {
    const AlignResult& result = job.Result(static_cast<int>(i));
    const AlignStatus status = result.status;
    const int element = run.stack->IndexOf(tasks[i].childId);
    if (element < 0) continue;
    // An endless project's seam is named by the first picture, which it places.
    const bool seam = element == run.stack->pictureCount();
    const std::string name = "\n" + std::to_string(seam ? 1 : element + 1) + ". " +
                             run.stack->images[seam ? size_t(0) : static_cast<size_t>(element)]->baseName +
                             (seam ? " in the last picture: " : ": ");
    if (status == AlignStatus::NoMatch || status == AlignStatus::Unreadable || status == AlignStatus::TooSmall)
      missed += name + AlignStatusText(status);
    else if (status == AlignStatus::Kept)
      kept += name + result.why;
    else if (run.moved.count(static_cast<int>(i)))
      missed += name + "the list was changed while it was being aligned";
  }
}

}  // namespace

bool Project::RefusedWhileOpening(const std::string& title) const {
  if (!Opening()) return false;
  ShowMessage(
      "The project is still opening: its pictures are being checked.\n\nTry again once every picture is "
      "checked, or cancel the opening.",
      title, MessageIcon::Information, MessageButtons::Ok);
  return true;
}

AlignJob* Project::StartAlign(int child, bool guessed) {
  if (!stack_ || RefusedWhileOpening("Align") || aligning_ || matchingColours_) return nullptr;
  std::vector<AlignTask> tasks = AlignRequest{child, guessed}.Tasks(*stack_);
  if (tasks.empty()) return nullptr;
  auto* job = new AlignJob(std::move(tasks), this);
  auto run = std::make_shared<AlignRun>();
  run->stack = stack_.get();
  aligning_ = job;
  Adopt(job, [this, job, run] { ConnectAlignRun(job, run); });
  return job;
}

void Project::ConnectAlignRun(AlignJob* job, const std::shared_ptr<AlignRun>& run) {
  connect(job, &AlignJob::found, this, [this, job, run](int index) {
    const AlignTask& task = job->Tasks()[static_cast<size_t>(index)];
    const AlignResult& result = job->Result(index);
    if (result.status == AlignStatus::Aligned && stack_.get() == run->stack &&
        !ApplyAlignment(task.childId, task.parentId, result.transform))
      run->moved[index] = true;
  });
  connect(job, &Job::finished, this, [this, job, run] {
    aligning_ = nullptr;
    // Results for a document that has gone since are dropped (none of them was applied). The
    // pictures are named where they are now.
    std::string missed, kept;
    if (stack_.get() == run->stack) NamePictures(*job, *run, missed, kept);
    std::string text;
    if (!missed.empty()) text = "These pictures could not be aligned and keep their placements:" + missed;
    if (!kept.empty())
      text += std::string(text.empty() ? "" : "\n\n") + "These pictures keep the good placements they had:" + kept;
    if (!text.empty()) ShowMessage(text, "Align", MessageIcon::Information, MessageButtons::Ok);
  });
}

// What one colour match did to the project, for its closing message.
struct ColourRun {
  const ImageStack* stack = nullptr;  // the document the tasks were made from; results for another are dropped
  std::map<int, bool> moved;          // found for a pair that the list no longer has
};

ColourJob* Project::StartMatchColours(int child) {
  if (!stack_ || RefusedWhileOpening("Match Colours") || aligning_ || matchingColours_) return nullptr;
  std::vector<ColourTask> tasks = ColourTasks(*stack_, child);
  if (tasks.empty()) return nullptr;
  auto* job = new ColourJob(std::move(tasks), this);
  auto run = std::make_shared<ColourRun>();
  run->stack = stack_.get();
  matchingColours_ = job;
  Adopt(job, [this, job, run] { ConnectColourRun(job, run); });
  return job;
}

void Project::ConnectColourRun(ColourJob* job, const std::shared_ptr<ColourRun>& run) {
  connect(job, &ColourJob::found, this, [this, job, run](int index) {
    const ColourTask& task = job->Tasks()[static_cast<size_t>(index)];
    const ColourMatchResult& result = job->Result(index);
    if (result.status == ColourMatchStatus::Matched && stack_.get() == run->stack &&
        !ApplyColourMatch(task.childId, task.parentId, result.correction))
      run->moved[index] = true;
  });
  connect(job, &Job::finished, this, [this, job, run] {
    matchingColours_ = nullptr;
    if (stack_.get() != run->stack) return;
    // The pictures that kept their colours and why, named where they are now.
    std::string kept;
    const std::vector<ColourTask>& tasks = job->Tasks();
    for (size_t i = 0; i < tasks.size(); ++i) {
      const ColourMatchResult& result = job->Result(static_cast<int>(i));
      const int element = run->stack->IndexOf(tasks[i].childId);
      if (element < 0 || result.status == ColourMatchStatus::Cancelled) continue;
      const std::string name =
          "\n" + std::to_string(element + 1) + ". " + run->stack->images[static_cast<size_t>(element)]->baseName + ": ";
      if (run->moved.count(static_cast<int>(i)))
        kept += name + "the list was changed while its colours were being matched";
      else if (result.status != ColourMatchStatus::Matched)
        kept += name + ColourKeptReason(result);
    }
    if (!kept.empty())
      ShowMessage("These pictures keep their colours:" + kept, "Match Colours", MessageIcon::Information,
                  MessageButtons::Ok);
  });
}

WebExportJob* Project::StartWebExport(const WebExportOptions& options) {
  if (!stack_ || webExporting_ || RefusedWhileOpening("Export to Web")) return nullptr;
  auto* job = new WebExportJob(*stack_, options, this);
  webExporting_ = job;
  Adopt(job, [this, job] { connect(job, &Job::finished, this, [this] { webExporting_ = nullptr; }); });
  return job;
}

VideoExportJob* Project::StartVideoExport(const VideoSettings& settings, size_t textureBudget,
                                          const std::function<void(VideoExportJob&)>& observe) {
  if (!stack_ || videoExporting_ || RefusedWhileOpening("Export Video")) return nullptr;
  auto* job = new VideoExportJob(*stack_, settings, textureBudget, this);
  videoExporting_ = job;
  Adopt(job, [this, job, &observe] {
    if (observe) observe(*job);
    connect(job, &Job::finished, this, [this] { videoExporting_ = nullptr; });
  });
  return job;
}
