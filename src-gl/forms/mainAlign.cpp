// Automatic alignment in the editor: Edit > Align Automatically (the selected picture's child)
// and Align All, on a worker thread behind a progress dialog with Cancel. Each placement found
// is one undo step; a picture with no reliable match keeps its placement and is reported.

#include <QMenu>
#include <QMetaObject>
#include <QProgressDialog>
#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "AlignStack.h"
#include "Messages.h"
#include "main.h"

// One alignment run: the tasks, copied from the document at the start, run on a worker; the
// results come back to the window's thread one by one.
class TAlignRun : public QObject {
 public:
  TAlignRun(TmainForm* form, std::vector<AlignTask> tasks)
      : QObject(form), form_(form), stack_(form->Stack()), tasks_(std::move(tasks)) {
    results_.resize(tasks_.size());
  }
  ~TAlignRun() override {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
  }

  void Start() {
    const int count = static_cast<int>(tasks_.size());
    dialog_ = new QProgressDialog(QStringLiteral("Aligning pictures..."), QStringLiteral("Cancel"), 0,
                                  count > 1 ? count : 0, form_);
    dialog_->setObjectName(QStringLiteral("AlignProgress"));
    dialog_->setWindowTitle(QStringLiteral("Align"));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(0);
    connect(dialog_, &QProgressDialog::canceled, this, [this] {
      cancel_ = true;
      dialog_->setLabelText(QStringLiteral("Cancelling..."));
    });
    dialog_->show();
    worker_ = std::thread([this] {
      RunAlignTasks(
          tasks_,
          [this](int done, int total) {
            QMetaObject::invokeMethod(this, [this, done, total] {
              if (total > 1) dialog_->setValue(done);
              if (done < total)
                dialog_->setLabelText(QStringLiteral("Aligning picture %1 in picture %2...")
                                          .arg(tasks_[static_cast<size_t>(done)].element + 1)
                                          .arg(tasks_[static_cast<size_t>(done)].element));
            });
          },
          [this](int index, const AlignResult& result) {
            QMetaObject::invokeMethod(this, [this, index, result] { Take(index, result); });
          },
          &cancel_);
      QMetaObject::invokeMethod(
          this, [this] { Finish(); }, Qt::QueuedConnection);
    });
  }

 private:
  void Take(int index, const AlignResult& result) {
    results_[static_cast<size_t>(index)] = result;
    taken_[index] = true;
    const AlignTask& task = tasks_[static_cast<size_t>(index)];
    if (result.status == AlignStatus::Aligned && form_->Stack() == stack_ &&
        !form_->ApplyAlignment(task.childId, task.parentId, result.transform))
      moved_[index] = true;
  }

  void Finish() {
    if (worker_.joinable()) worker_.join();
    dialog_->close();
    dialog_->deleteLater();
    // Results for a document that has gone since are dropped (Take applied none of them). The
    // pictures are named where they are now.
    const bool sameStack = form_->Stack() == stack_;
    std::string missed;
    for (size_t i = 0; i < tasks_.size() && sameStack; ++i) {
      const AlignStatus status = taken_.count(static_cast<int>(i)) ? results_[i].status : AlignStatus::Cancelled;
      const int element = stack_->IndexOf(tasks_[i].childId);
      if (element < 0) continue;
      const std::string name =
          "\n" + std::to_string(element + 1) + ". " + stack_->images[static_cast<size_t>(element)]->baseName + ": ";
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
  ImageStack* stack_;  // the document the tasks were made from; results for another are dropped
  std::vector<AlignTask> tasks_;
  std::vector<AlignResult> results_;
  std::map<int, bool> taken_;
  std::map<int, bool> moved_;  // found for a pair that the list no longer has
  std::atomic<bool> cancel_{false};
  std::thread worker_;
  QProgressDialog* dialog_ = nullptr;
};

void TmainForm::BuildAlignActions(QMenu* edit) {
  EditAlign = edit->addAction(QStringLiteral("Align Automatically"), this, [this] { AlignClick(); });
  EditAlign->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  EditAlign->setObjectName(QStringLiteral("EditAlign"));
  EditAlignAll = edit->addAction(QStringLiteral("Align All"), this, [this] { AlignAllClick(); });
  EditAlignAll->setObjectName(QStringLiteral("EditAlignAll"));
}

void TmainForm::AlignClick() {
  if (!Stack() || Opening() || aligning) return;
  const int child = SelectedPicture() + 1;
  if (SelectedPicture() < 0 || child >= Stack()->pictureCount()) {
    ShowMessage("Select a picture that has another picture inside it: its child is aligned.", "Align",
                MessageIcon::Information, MessageButtons::Ok);
    return;
  }
  StartAlign(child);
}

void TmainForm::AlignAllClick() {
  if (!Stack() || Opening() || aligning) return;
  if (Stack()->pictureCount() < 2) {
    ShowMessage("The project needs two pictures or more to align.", "Align", MessageIcon::Information,
                MessageButtons::Ok);
    return;
  }
  StartAlign(-1);
}

void TmainForm::StartAlign(int child) {
  StopPlay();
  std::vector<AlignTask> tasks = AlignTasks(*Stack(), child);
  if (tasks.empty()) return;
  aligning = new TAlignRun(this, std::move(tasks));
  aligning->Start();
}
