// Automatic alignment in the editor: Edit > Align Automatically (the selected picture's child)
// and Align All, on a worker thread behind a progress dialog with Cancel. Each placement found
// is one undo step; a picture with no reliable match keeps its placement and is reported.

#include <QProgressDialog>
#include <map>
#include <vector>

#include "AlignJob.h"
#include "AlignRequest.h"
#include "JobProgress.h"
#include "Messages.h"
#include "main.h"

// One alignment run in the editor: the job, and what its results did to the project. Each result
// is applied as soon as it comes; at the end the pictures that were not aligned are named.
class TAlignRun : public QObject {
 public:
  TAlignRun(TmainForm* form, std::vector<AlignTask> tasks)
      : QObject(form), form_(form), stack_(form->Stack()), job_(new AlignJob(std::move(tasks), this)) {}

  void Start() {
    const int count = static_cast<int>(job_->Tasks().size());
    ShowJobProgress(job_, form_, QStringLiteral("AlignProgress"), QStringLiteral("Align"),
                    QStringLiteral("Aligning pictures..."))
        ->setMaximum(count > 1 ? count : 0);
    connect(job_, &AlignJob::found, this, [this](int index) { Take(index); });
    connect(job_, &Job::finished, this, [this] { Finish(); });
    job_->Start();
  }

 private:
  void Take(int index) {
    const AlignTask& task = job_->Tasks()[static_cast<size_t>(index)];
    const AlignResult& result = job_->Result(index);
    if (result.status == AlignStatus::Aligned && form_->Stack() == stack_ &&
        !form_->ApplyAlignment(task.childId, task.parentId, result.transform))
      moved_[index] = true;
  }

  void Finish() {
    // Results for a document that has gone since are dropped (Take applied none of them). The
    // pictures are named where they are now.
    const bool sameStack = form_->Stack() == stack_;
    const std::vector<AlignTask>& tasks = job_->Tasks();
    std::string missed;
    for (size_t i = 0; i < tasks.size() && sameStack; ++i) {
      const AlignStatus status = job_->Result(static_cast<int>(i)).status;
      const int element = stack_->IndexOf(tasks[i].childId);
      if (element < 0) continue;
      // An endless project's seam is named by the first picture, which it places.
      const bool seam = element == stack_->pictureCount();
      const std::string name = "\n" + std::to_string(seam ? 1 : element + 1) + ". " +
                               stack_->images[seam ? size_t(0) : static_cast<size_t>(element)]->baseName +
                               (seam ? " in the last picture: " : ": ");
      if (status == AlignStatus::NoMatch || status == AlignStatus::Unreadable || status == AlignStatus::TooSmall)
        missed += name + AlignStatusText(status);
      else if (moved_.count(static_cast<int>(i)))
        missed += name + "the list was changed while it was being aligned";
    }
    form_->aligning = nullptr;
    deleteLater();
    if (!missed.empty())
      ShowMessage("These pictures could not be aligned and keep their placements:" + missed, "Align",
                  MessageIcon::Information, MessageButtons::Ok);
  }

  TmainForm* form_;
  ImageStack* stack_;          // the document the tasks were made from; results for another are dropped
  AlignJob* job_;              // a child: its worker has stopped before this goes
  std::map<int, bool> moved_;  // found for a pair that the list no longer has
};

void TmainForm::AlignClick() {
  if (!Stack() || Opening() || aligning) return;
  const AlignRequest request{SelectedPicture() < 0 ? 0 : SelectedPicture() + 1};
  if (request.Check(*Stack()) != AlignRefusal::None) {
    ShowMessage("Select a picture that has another picture inside it: its child is aligned.", "Align",
                MessageIcon::Information, MessageButtons::Ok);
    return;
  }
  StartAlign(request.child);
}

void TmainForm::AlignAllClick() {
  if (!Stack() || Opening() || aligning) return;
  if (AlignRequest{}.Check(*Stack()) != AlignRefusal::None) {
    ShowMessage("The project needs two pictures or more to align.", "Align", MessageIcon::Information,
                MessageButtons::Ok);
    return;
  }
  StartAlign(-1);
}

void TmainForm::StartAlign(int child) {
  playback_->StopPlay();
  std::vector<AlignTask> tasks = AlignRequest{child}.Tasks(*Stack());
  if (tasks.empty()) return;
  aligning = new TAlignRun(this, std::move(tasks));
  aligning->Start();
}
