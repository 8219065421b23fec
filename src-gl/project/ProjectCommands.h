#pragma once
// The project's undo steps. Each names its elements by identity and reaches the document through
// a StepTarget (the project, whose signals then tell the windows what changed).

#include <QUndoCommand>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "ColourCorrection.h"
#include "Imagestack.h"
#include "Transform.h"

// What a key in the view does to the selected picture's child.
enum class Nudge { Move, Scale, Rotate };

// What the steps change and whom they tell.
class StepTarget {
 public:
  virtual ImageStack* StepStack() const = 0;  // null when no project is open
  // The element `id`'s placement, when it is still in the stack.
  virtual void StepPlacement(uint64_t id, const Transform& placement) = 0;
  // The element `id`'s colour correction, when it is still in the stack.
  virtual void StepColour(uint64_t id, const ColourCorrection& colour) = 0;
  // The duration, exactly.
  virtual void StepDuration(float seconds) = 0;
  // The elements were rearranged.
  virtual void StepPictureList() = 0;
  // How the project plays, and the placement of its target frame `target` (which a change to
  // endless may refit), when it is still in the stack.
  virtual void StepPlaySettings(const PlaySettings& settings, uint64_t target, const Transform& placement) = 0;

 protected:
  ~StepTarget() = default;
};

// A placement step: whatever happened to the list since, it changes its element or, when the
// element has left the stack, nothing.
class PlacementCommand : public QUndoCommand {
 public:
  PlacementCommand(StepTarget* project, uint64_t element, const Transform& before, const Transform& after);
  // A step of the keys, which merges with the step before while the same key is repeated.
  PlacementCommand(StepTarget* project, uint64_t element, const Transform& before, const Transform& after, Nudge nudge,
                   bool repeated);
  int id() const override;
  bool mergeWith(const QUndoCommand* other) override;
  void undo() override { Apply(before_); }
  void redo() override { Apply(after_); }  // the first time the change has been made already

 private:
  void Apply(const Transform& placement);
  StepTarget* project_;
  uint64_t element_;
  Transform before_, after_;
  Nudge nudge_ = Nudge::Move;
  bool merges_ = false;
  bool repeated_ = false;
  std::chrono::steady_clock::time_point when_;
};

// A colour step (a match, the placement dialog's numbers): like a placement step, it changes its
// element or, when the element has left the stack, nothing.
class ColourCommand : public QUndoCommand {
 public:
  ColourCommand(StepTarget* project, uint64_t element, const ColourCorrection& before, const ColourCorrection& after);
  void undo() override { project_->StepColour(element_, before_); }
  void redo() override;

 private:
  StepTarget* project_;
  uint64_t element_;
  ColourCorrection before_, after_;
  bool first_ = true;
};

// Typing in the duration field makes one step: each change merges into the step before.
class DurationCommand : public QUndoCommand {
 public:
  DurationCommand(StepTarget* project, float before, float after);
  int id() const override;
  bool mergeWith(const QUndoCommand* other) override;
  void undo() override;
  void redo() override;

 private:
  StepTarget* project_;
  float before_, after_;
  bool first_ = true;
};

// Play or pace changed in the window: one step, with the target frame's placement when the change
// refitted it.
class PlaySettingsCommand : public QUndoCommand {
 public:
  PlaySettingsCommand(StepTarget* project, uint64_t target, const PlaySettings& before, const PlaySettings& after,
                      const Transform& targetBefore, const Transform& targetAfter);
  void undo() override { project_->StepPlaySettings(before_, target_, targetBefore_); }
  void redo() override { project_->StepPlaySettings(after_, target_, targetAfter_); }

 private:
  StepTarget* project_;
  uint64_t target_;
  PlaySettings before_, after_;
  Transform targetBefore_, targetAfter_;
};

// The image list's Done. The stack owns its elements; the elements of the state not shown (the
// pictures removed, or after an undo the ones added) are kept alive here, so undo and redo put the
// very same objects back, with their pictures and placements, without reading any file again.
class ImageListCommand : public QUndoCommand {
 public:
  ImageListCommand(StepTarget* project, std::vector<Image*> before, std::vector<Image*> after,
                   std::vector<std::unique_ptr<Image>> parked);
  void undo() override { Show(before_); }
  void redo() override;

 private:
  void Show(const std::vector<Image*>& elements);
  StepTarget* project_;
  std::vector<Image*> before_, after_;
  std::vector<std::unique_ptr<Image>> parked_;
  bool first_ = true;
};

// Restoring a recovery file: one step whose undo gives back the project as it was saved. Each
// state is its elements with their placements and colours, and the duration; an element of the saved project
// that the restored one lacks (its list was changed before the crash) is kept here, and checked
// the first time it is shown.
class RestoreCommand : public QUndoCommand {
 public:
  struct Element {
    Image* image;
    Transform placement;
    ColourCorrection colour;
  };
  struct State {
    std::vector<Element> elements;
    float duration = 10.0f;
    PlaySettings play;
  };
  RestoreCommand(StepTarget* project, State saved, State restored, std::vector<std::unique_ptr<Image>> parked);
  void undo() override { Show(saved_); }
  void redo() override;
  static bool Same(const State& a, const State& b);

 private:
  void Show(const State& state);
  StepTarget* project_;
  State saved_, restored_;
  std::vector<std::unique_ptr<Image>> parked_;
  bool first_ = true;
};
