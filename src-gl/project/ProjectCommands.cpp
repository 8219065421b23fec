#include "ProjectCommands.h"

namespace {

const int durationCommandId = 1;
const int nudgeCommandId = 2;
// Presses of a key closer together than this make one step.
constexpr std::chrono::milliseconds nudgeMergeTime{1000};

}  // namespace

PlacementCommand::PlacementCommand(StepTarget* project, uint64_t element, const Transform& before,
                                   const Transform& after)
    : QUndoCommand(QStringLiteral("Placement")), project_(project), element_(element), before_(before), after_(after) {}

PlacementCommand::PlacementCommand(StepTarget* project, uint64_t element, const Transform& before,
                                   const Transform& after, Nudge nudge, bool repeated)
    : PlacementCommand(project, element, before, after) {
  nudge_ = nudge;
  merges_ = true;
  repeated_ = repeated;
  when_ = std::chrono::steady_clock::now();
}

int PlacementCommand::id() const { return merges_ ? nudgeCommandId : -1; }

bool PlacementCommand::mergeWith(const QUndoCommand* other) {
  const auto* next = static_cast<const PlacementCommand*>(other);
  if (next->element_ != element_ || next->nudge_ != nudge_) return false;
  if (!next->repeated_ && next->when_ - when_ >= nudgeMergeTime) return false;
  after_ = next->after_;
  when_ = next->when_;
  setObsolete(SamePlacement(before_, after_));
  return true;
}

void PlacementCommand::Apply(const Transform& placement) { project_->StepPlacement(element_, placement); }

ColourCommand::ColourCommand(StepTarget* project, uint64_t element, const ColourCorrection& before,
                             const ColourCorrection& after)
    : QUndoCommand(QStringLiteral("Colours")), project_(project), element_(element), before_(before), after_(after) {}

void ColourCommand::redo() {
  if (first_)
    first_ = false;  // the change has been made and told already
  else
    project_->StepColour(element_, after_);
}

DurationCommand::DurationCommand(StepTarget* project, float before, float after)
    : QUndoCommand(QStringLiteral("Duration")), project_(project), before_(before), after_(after) {}

int DurationCommand::id() const { return durationCommandId; }

bool DurationCommand::mergeWith(const QUndoCommand* other) {
  after_ = static_cast<const DurationCommand*>(other)->after_;
  setObsolete(after_ == before_);  // typed back to where it was: no step
  return true;
}

void DurationCommand::undo() { project_->StepDuration(before_); }

void DurationCommand::redo() {
  if (first_)
    first_ = false;  // the field holds the value already; setting it again would move the cursor
  else
    project_->StepDuration(after_);
}

PlaySettingsCommand::PlaySettingsCommand(StepTarget* project, uint64_t target, const PlaySettings& before,
                                         const PlaySettings& after, const Transform& targetBefore,
                                         const Transform& targetAfter)
    : QUndoCommand(QStringLiteral("Play")),
      project_(project),
      target_(target),
      before_(before),
      after_(after),
      targetBefore_(targetBefore),
      targetAfter_(targetAfter) {}

ImageListCommand::ImageListCommand(StepTarget* project, std::vector<Image*> before, std::vector<Image*> after,
                                   std::vector<std::unique_ptr<Image>> parked)
    : QUndoCommand(QStringLiteral("Image List")),
      project_(project),
      before_(std::move(before)),
      after_(std::move(after)),
      parked_(std::move(parked)) {}

void ImageListCommand::redo() {
  if (first_)
    first_ = false;  // Done has replaced the pictures already
  else
    Show(after_);
}

void ImageListCommand::Show(const std::vector<Image*>& elements) {
  ImageStack* stack = project_->StepStack();
  if (!stack) return;
  stack->Arrange(elements, parked_);
  project_->StepPictureList();
}

RestoreCommand::RestoreCommand(StepTarget* project, State saved, State restored,
                               std::vector<std::unique_ptr<Image>> parked)
    : QUndoCommand(QStringLiteral("Restore")),
      project_(project),
      saved_(std::move(saved)),
      restored_(std::move(restored)),
      parked_(std::move(parked)) {}

void RestoreCommand::redo() {
  if (first_)
    first_ = false;  // the restored project is what was opened
  else
    Show(restored_);
}

bool RestoreCommand::Same(const State& a, const State& b) {
  if (a.duration != b.duration || a.play != b.play || a.elements.size() != b.elements.size()) return false;
  for (size_t i = 0; i < a.elements.size(); ++i)
    if (a.elements[i].image != b.elements[i].image ||
        !SamePlacement(a.elements[i].placement, b.elements[i].placement) ||
        a.elements[i].colour != b.elements[i].colour)
      return false;
  return true;
}

void RestoreCommand::Show(const State& state) {
  ImageStack* stack = project_->StepStack();
  if (!stack) return;
  std::vector<Image*> order;
  for (const auto& [element, placement, colour] : state.elements) {
    element->transform = placement;
    element->colour = colour;
    if (!element->fileName.empty() && element->width == 0) element->LoadJpeg();
    order.push_back(element);
  }
  stack->Arrange(order, parked_);
  stack->playSettings = state.play;
  stack->FitTargetFrame();
  project_->StepDuration(state.duration);
  if (const Image* target = stack->targetFrame()) project_->StepPlaySettings(state.play, target->id, target->transform);
  project_->StepPictureList();
}
