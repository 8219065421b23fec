// The open project as a whole: replacing and opening it, saving, and the edits as undo steps.

#include "Project.h"
#include "PictureCheckJob.h"
#include "PictureSequence.h"

#include <QFile>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>

namespace {

std::vector<Image*> Elements(const ImageStack& stack) {
  std::vector<Image*> elements;
  for (const auto& e : stack.images) elements.push_back(e.get());
  return elements;
}

}  // namespace

Project::Project(QObject* parent) : QObject(parent) {
  undoStack_ = new QUndoStack(this);
  connect(undoStack_, &QUndoStack::cleanChanged, this, [this](bool clean) {
    // Back at the saved state: there is nothing to recover.
    if (clean && stack_ && !stack_->path.empty()) RemoveRecovery();
    emit modifiedChanged(Modified());
  });
  recoveryTimer_ = new QTimer(this);
  recoveryTimer_->setObjectName(QStringLiteral("RecoveryTimer"));
  recoveryTimer_->setInterval(30000);
  connect(recoveryTimer_, &QTimer::timeout, this, [this] { WriteRecovery(); });
  recoveryTimer_->start();
}

Project::~Project() {
  recoveryTimer_->stop();
  // The jobs stop (their threads joined) while the project is whole; none reports any more.
  for (Job* job : findChildren<Job*>(Qt::FindDirectChildrenOnly)) {
    job->disconnect(this);
    delete job;
  }
  opening_ = nullptr;
  aligning_ = nullptr;
  matchingColours_ = nullptr;
  webExporting_ = nullptr;
  videoExporting_ = nullptr;
  // The steps go while the stack is whole, and quietly: nobody observes a project that ends.
  undoStack_->disconnect();
  delete undoStack_;
  undoStack_ = nullptr;
  stack_.reset();
}

bool Project::Modified() const { return stack_ && (stack_->path.empty() || !undoStack_->isClean()); }

void Project::SetStack(std::unique_ptr<ImageStack> stack) { Replace(std::move(stack)); }

uint64_t Project::Replace(std::unique_ptr<ImageStack> stack) {
  // A slot hearing the opening end may have started another, which reads the stack going now.
  while (opening_) StopOpening();
  alignWhenOpened_ = false;
  stack_ = std::move(stack);
  const uint64_t serial = ++changes_;
  ForgetEdits();
  return serial;
}

void Project::ForgetEdits() {
  undoStack_->clear();
  // clear() leaves an empty stack's clean mark where it was, which after a restore is nowhere.
  undoStack_->setClean();
  emit stackReplaced();
  emit modifiedChanged(Modified());
}

// The check stops at once (its workers joined); the job goes later, as it may be reporting now.
uint64_t Project::StopOpening() {
  PictureCheckJob* job = opening_;
  if (!job) return changes_;
  opening_ = nullptr;
  const uint64_t serial = ++changes_;
  job->disconnect(this);
  job->Cancel();
  emit jobFinished(job);
  job->deleteLater();
  return serial;
}

bool Project::Open(const std::string& path) {
  auto reading = std::make_unique<ImageStack>();
  reading->path = path;
  const uint64_t serial = Replace(std::move(reading));
  // Changes a crash kept from being saved are read in the project's place when the user wants
  // them; the project keeps its own name. The question lets other events in.
  std::string recovery = changes_ == serial ? OfferRecovery(path) : std::string();
  if (changes_ != serial) return false;
  if (!recovery.empty() && !RecoveryReadable(recovery, path)) recovery.clear();
  if (changes_ != serial) return false;
  return ReadAndOpen(recovery.empty() ? path : recovery, path, recovery);
}

// Reads `file` into the stack just set, as the project `path` (empty: untitled); a `recovery`
// file read stays the one written, and for a saved project is one step from it.
bool Project::ReadAndOpen(const std::string& file, const std::string& path, const std::string& recovery) {
  const uint64_t serial = changes_;
  stack_->path = file;
  const bool read = stack_->ReadProjectFile();
  if (changes_ != serial) return false;  // its messages let other events in
  stack_->path = path;
  if (!read) {
    Replace(nullptr);
    return false;
  }
  ForgetEdits();
  if (changes_ != serial) return false;
  if (!recovery.empty()) {
    recoveryWritten_ = recovery;
    if (!path.empty()) RecordRestore();  // the project shows as changed
    if (changes_ != serial) return false;
  }
  return BeginOpening();
}

// `opened`, then the first step: a project without pictures is open at once. False when a slot
// replaced the project or stopped its opening before the check had begun.
bool Project::BeginOpening() {
  if (!StartOpeningCheck()) return false;
  const uint64_t serial = changes_;
  emit opened();
  if (changes_ != serial) return false;
  OpeningStep();
  return true;
}

bool Project::StartOpeningCheck() {
  const ImageStack* stack = stack_.get();
  NeededSides needed = openingPlan_ ? openingPlan_(*stack) : NeededSides();
  opening_ = new PictureCheckJob(
      [stack, needed](std::function<void()> wake) { return stack->StartCheck(std::move(wake), 0, needed); }, this);
  PictureCheckJob* job = opening_;
  const uint64_t serial = ++changes_;
  Adopt(job, [this, job] {
    connect(job, &PictureCheckJob::resultsWaiting, this, &Project::OpeningStep);
    connect(job, &Job::finished, this, [this, job] {
      if (opening_ == job) EndOpening();
    });
  });
  return changes_ == serial;
}

bool Project::NewSequence(const std::vector<std::string>& paths, double factor, const std::string& path,
                          bool alignAll) {
  std::unique_ptr<ImageStack> sequence = BuildSequenceStack(paths, factor, path);
  if (!sequence) return false;
  const uint64_t serial = Replace(std::move(sequence));
  if (changes_ != serial) return false;
  alignWhenOpened_ = alignAll;
  return BeginOpening();
}

bool Project::OpenUntitledRecovery() {
  const std::string recovery = OfferRecovery(std::string());
  if (recovery.empty() || !RecoveryReadable(recovery, std::string())) return false;
  const uint64_t serial = Replace(std::make_unique<ImageStack>());
  return changes_ == serial && ReadAndOpen(recovery, std::string(), recovery);
}

void Project::OpeningStep() {
  PictureCheck* check = opening_ ? opening_->Check() : nullptr;
  if (!check || !stack_) return;
  const uint64_t serial = changes_;
  if (stack_->ApplyChecks(*check)) {
    emit picturesArrived();
    // A slot that stopped the opening took the check with it.
    if (changes_ != serial || !opening_ || !(check = opening_->Check())) return;
  }
  const size_t checked = check->Checked();
  const int total = static_cast<int>(check->Total());
  if (!check->Finished()) {
    QString next;
    if (stack_->pictureCount() > 0) {
      // The picture in hand: the workers take them in list order.
      const size_t i = std::min(checked, static_cast<size_t>(stack_->pictureCount() - 1));
      next = QFile::decodeName(QByteArray::fromStdString(stack_->images[i]->baseName));
    }
    emit openingProgress(static_cast<int>(checked), total, next);
    return;
  }
  stack_->ApplyChecks(*check);  // results that came in since
  // A project without pictures is open at once; otherwise the job ends it (EndOpening) once its
  // workers have stopped.
  if (total == 0) EndOpening();
}

void Project::EndOpening() {
  const int total = opening_ ? static_cast<int>(opening_->Total()) : 0;
  const uint64_t serial = StopOpening();
  if (changes_ != serial) return;
  emit openingProgress(total, total, QString());
  if (changes_ != serial) return;
  if (stack_) stack_->ReportFailedPictures();  // messages let other events in
  if (changes_ != serial) return;
  emit openingFinished();
  if (changes_ != serial) return;
  if (alignWhenOpened_) {
    alignWhenOpened_ = false;
    if (stack_ && stack_->pictureCount() >= 2) StartAlign(-1, true);  // the factor's placements are only guesses
  }
}

void Project::CancelOpening() {
  if (!opening_) return;
  SetStack(nullptr);
}

bool Project::Save() {
  if (!stack_ || stack_->path.empty()) return false;
  if (!stack_->SaveProject()) return false;
  undoStack_->setClean();
  RemoveRecovery();
  emit modifiedChanged(Modified());
  return true;
}

bool Project::SaveAs(const std::string& path) {
  if (!stack_) return false;
  stack_->path = path;  // kept even if the write fails
  const bool saved = stack_->SaveProject();
  if (saved) {
    undoStack_->setClean();
    RemoveRecovery();
  } else {
    // The new name holds no copy of this project: nothing undoes back to a saved state now.
    undoStack_->resetClean();
  }
  emit modifiedChanged(Modified());
  return saved;
}

void Project::StepDuration(float seconds) {
  if (!stack_) return;
  stack_->duration = seconds;
  emit durationChanged(seconds);
}

void Project::SetDuration(float seconds, bool undoable) {
  if (!stack_) return;
  const float before = stack_->duration;
  stack_->duration = seconds;
  if (undoable && seconds != before) undoStack_->push(new DurationCommand(this, before, seconds));
}

void Project::SetPlaySettings(const PlaySettings& settings) {
  if (!stack_ || stack_->count() < 1 || settings == stack_->playSettings) return;
  const Image& target = *stack_->targetFrame();
  Transform refitted = target.transform;
  if (settings.play == PlayMode::Endless && stack_->playSettings.play != PlayMode::Endless &&
      stack_->pictureCount() > 0) {
    const Image& first = *stack_->images.front();
    refitted = RefitFrame(target.transform, target.width, target.height, first.width, first.height);
  }
  undoStack_->push(
      new PlaySettingsCommand(this, target.id, stack_->playSettings, settings, target.transform, refitted));
}

void Project::FitEndlessTarget() {
  if (stack_ && stack_->playSettings.play == PlayMode::Endless) stack_->FitTargetFrame();
}

void Project::StepPlaySettings(const PlaySettings& settings, uint64_t target, const Transform& placement) {
  if (!stack_) return;
  stack_->playSettings = settings;
  stack_->FitTargetFrame();
  stack_->dirty = true;
  const int element = stack_->IndexOf(target);
  if (element >= 0 && !SamePlacement(stack_->images[static_cast<size_t>(element)]->transform, placement))
    SetPlacement(target, placement);
  emit playSettingsChanged();
}

void Project::RecordPlacementChange(int element, const Transform& before, const Nudge* nudge, bool repeated) {
  if (!stack_ || element < 0 || element >= stack_->count()) return;
  const Image& changed = *stack_->images[static_cast<size_t>(element)];
  if (SamePlacement(changed.transform, before)) return;
  if (nudge)
    undoStack_->push(new PlacementCommand(this, changed.id, before, changed.transform, *nudge, repeated));
  else
    undoStack_->push(new PlacementCommand(this, changed.id, before, changed.transform));
}

void Project::SetPlacement(uint64_t id, const Transform& placement) {
  const int element = stack_ ? stack_->IndexOf(id) : -1;
  if (element < 0) return;
  stack_->images[static_cast<size_t>(element)]->transform = placement;
  stack_->dirty = true;
  emit placementChanged(id);
}

bool Project::ApplyAlignment(uint64_t childId, uint64_t parentId, const Transform& placement) {
  if (!stack_) return false;
  const int element = stack_->IndexOf(childId);
  // The placement is the child's in that parent: after a reorder it means nothing for another.
  if (element < 1 || stack_->images[static_cast<size_t>(element - 1)]->id != parentId) return false;
  const Transform before = stack_->images[static_cast<size_t>(element)]->transform;
  SetPlacement(childId, placement);
  // Found again: a slot that heard the change may have changed the list.
  if (stack_) RecordPlacementChange(stack_->IndexOf(childId), before);
  return true;
}

void Project::SetColour(uint64_t id, const ColourCorrection& colour) {
  const int element = stack_ ? stack_->IndexOf(id) : -1;
  if (element < 0) return;
  stack_->images[static_cast<size_t>(element)]->colour = colour;
  emit colourChanged(id);
}

void Project::RecordColourChange(uint64_t id, const ColourCorrection& before) {
  const int element = stack_ ? stack_->IndexOf(id) : -1;
  if (element < 0) return;
  const ColourCorrection& after = stack_->images[static_cast<size_t>(element)]->colour;
  if (after != before) undoStack_->push(new ColourCommand(this, id, before, after));
}

bool Project::ApplyColourMatch(uint64_t childId, uint64_t parentId, const ColourCorrection& colour) {
  if (!stack_) return false;
  const int element = stack_->IndexOf(childId);
  // The correction is the child's with that parent: after a reorder it means nothing for another.
  if (element < 1 || element >= stack_->pictureCount() ||
      stack_->images[static_cast<size_t>(element - 1)]->id != parentId)
    return false;
  const ColourCorrection before = stack_->images[static_cast<size_t>(element)]->colour;
  SetColour(childId, colour);
  RecordColourChange(childId, before);
  return true;
}

void Project::ApplyImageList(const std::vector<Image*>& pictures, std::vector<std::unique_ptr<Image>>& added,
                             bool newProject, bool reloaded) {
  if (pictures.empty()) {
    added.clear();
    return;
  }
  if (newProject || !stack_) {
    // A new project replaces one that may still be opening.
    while (opening_) StopOpening();
    ReplacePictures(stack_, pictures, added, true);
    const uint64_t serial = ++changes_;
    ForgetEdits();
    if (changes_ != serial) return;
  } else {
    ReplacePicturesUndoably(pictures, added);
    if (reloaded) ChangesNoUndoReaches();
  }
  FitEndlessTarget();
  emit pictureListChanged();
}

void Project::ImageListCancelled(bool reloaded) {
  // Reloads made before the cancel stay: the view shows them at once.
  if (stack_) stack_->dirty = true;
  if (reloaded) ChangesNoUndoReaches();
}

// A reload changes a picture of the project in place, with no undo step: the saved state can
// no longer be reached by undoing.
void Project::ChangesNoUndoReaches() {
  undoStack_->resetClean();
  emit modifiedChanged(Modified());
}

void Project::ReplacePicturesUndoably(const std::vector<Image*>& pictures, std::vector<std::unique_ptr<Image>>& added) {
  std::vector<Image*> before = Elements(*stack_);
  // The elements that leave the stack are taken out before the replacement would destroy them;
  // an empty element holds each one's place (the target frame is kept when there are two
  // elements or more, so the count must not change).
  std::vector<std::unique_ptr<Image>> parked;
  const bool keepTarget = stack_->count() >= 2;
  for (int i = 0; i < stack_->count(); ++i) {
    auto& slot = stack_->images[static_cast<size_t>(i)];
    const bool kept = (keepTarget && i == stack_->count() - 1) ||
                      std::find(pictures.begin(), pictures.end(), slot.get()) != pictures.end();
    if (kept) continue;
    parked.push_back(std::move(slot));
    slot = std::make_unique<Image>();
  }
  ReplacePictures(stack_, pictures, added, false);
  std::vector<Image*> after = Elements(*stack_);
  if (after != before)
    undoStack_->push(new ImageListCommand(this, std::move(before), std::move(after), std::move(parked)));
}
