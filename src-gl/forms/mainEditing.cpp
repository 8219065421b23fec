// Edits of the open project: undo and redo, the modified mark in the title, and the question
// before unsaved changes would be lost.

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QUndoStack>
#include <algorithm>
#include <chrono>

#include "Dlgplacement.h"
#include "Messages.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"

namespace {

const int durationCommandId = 1;
const int nudgeCommandId = 2;
// Presses of a key closer together than this make one step.
constexpr std::chrono::milliseconds nudgeMergeTime{1000};

// A placement step names its element by identity: whatever happened to the list since, it
// changes that element or, when the element has left the stack, nothing.
class PlacementCommand : public QUndoCommand {
 public:
  PlacementCommand(TmainForm* form, uint64_t element, const Transform& before, const Transform& after)
      : QUndoCommand(QStringLiteral("Placement")), form_(form), element_(element), before_(before), after_(after) {}
  // A step of the keys, which merges with the step before while the same key is repeated.
  PlacementCommand(TmainForm* form, uint64_t element, const Transform& before, const Transform& after, Nudge nudge,
                   bool repeated)
      : PlacementCommand(form, element, before, after) {
    nudge_ = nudge;
    merges_ = true;
    repeated_ = repeated;
    when_ = std::chrono::steady_clock::now();
  }
  int id() const override { return merges_ ? nudgeCommandId : -1; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = static_cast<const PlacementCommand*>(other);
    if (next->element_ != element_ || next->nudge_ != nudge_) return false;
    if (!next->repeated_ && next->when_ - when_ >= nudgeMergeTime) return false;
    after_ = next->after_;
    when_ = next->when_;
    setObsolete(SamePlacement(before_, after_));
    return true;
  }
  void undo() override { Apply(before_); }
  void redo() override { Apply(after_); }  // the first time the drag has done it already

 private:
  void Apply(const Transform& placement) {
    ImageStack* stack = form_->imageStack.get();
    const int element = stack ? stack->IndexOf(element_) : -1;
    if (element < 0) return;
    stack->images[static_cast<size_t>(element)]->transform = placement;
    stack->dirty = true;
    form_->FormPaint();
  }
  TmainForm* form_;
  uint64_t element_;
  Transform before_, after_;
  Nudge nudge_ = Nudge::Move;
  bool merges_ = false;
  bool repeated_ = false;
  std::chrono::steady_clock::time_point when_;
};

// Typing in the duration field makes one step: each change merges into the step before.
class DurationCommand : public QUndoCommand {
 public:
  DurationCommand(TmainForm* form, float before, float after)
      : QUndoCommand(QStringLiteral("Duration")), form_(form), before_(before), after_(after) {}
  int id() const override { return durationCommandId; }
  bool mergeWith(const QUndoCommand* other) override {
    after_ = static_cast<const DurationCommand*>(other)->after_;
    setObsolete(after_ == before_);  // typed back to where it was: no step
    return true;
  }
  void undo() override { form_->ShowDuration(before_); }
  void redo() override {
    if (first_)
      first_ = false;  // the field holds the value already; setting it again would move the cursor
    else
      form_->ShowDuration(after_);
  }

 private:
  TmainForm* form_;
  float before_, after_;
  bool first_ = true;
};

// The image list dialog's Done. The stack owns its elements; the elements of the state not
// shown (the pictures removed, or after an undo the ones added) are kept alive here, so undo
// and redo put the very same objects back, with their pictures and placements, without reading
// any file again.
class ImageListCommand : public QUndoCommand {
 public:
  ImageListCommand(TmainForm* form, std::vector<Image*> before, std::vector<Image*> after,
                   std::vector<std::unique_ptr<Image>> parked)
      : QUndoCommand(QStringLiteral("Image List")),
        form_(form),
        before_(std::move(before)),
        after_(std::move(after)),
        parked_(std::move(parked)) {}
  void undo() override { Show(before_); }
  void redo() override {
    if (first_)
      first_ = false;  // Done has replaced the pictures already
    else
      Show(after_);
  }

 private:
  void Show(const std::vector<Image*>& elements) {
    ImageStack* stack = form_->imageStack.get();
    if (!stack) return;
    stack->Arrange(elements, parked_);
    form_->ShowChangedPictures();
  }
  TmainForm* form_;
  std::vector<Image*> before_, after_;
  std::vector<std::unique_ptr<Image>> parked_;
  bool first_ = true;
};

std::vector<Image*> Elements(const ImageStack& stack) {
  std::vector<Image*> elements;
  for (const auto& e : stack.images) elements.push_back(e.get());
  return elements;
}

}  // namespace

bool TmainForm::Modified() const { return imageStack && (imageStack->path.empty() || !undoStack->isClean()); }

void TmainForm::UpdateTitle() {
  const QString application = QStringLiteral("Tunnelvista Editor");
  if (!imageStack) {
    setWindowTitle(application);
    return;
  }
  const QString name = imageStack->path.empty()
                           ? QStringLiteral("Untitled")
                           : QFileInfo(QFile::decodeName(QByteArray::fromStdString(imageStack->path))).fileName();
  setWindowTitle(name + (Modified() ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") + application);
}

void TmainForm::ForgetEdits() {
  panelDragElement_ = -1;  // a drag under way belonged to the project that went
  undoStack->clear();
  // clear() leaves an empty stack's clean mark where it was, which after a restore is nowhere.
  undoStack->setClean();
  UpdateTitle();
}

bool TmainForm::MaySetProjectAside() {
  if (!Modified()) {
    RemoveRecovery();
    return true;
  }
  StopPlay();
  const std::string name =
      imageStack->path.empty()
          ? std::string("Untitled")
          : QFile::encodeName(QFileInfo(QFile::decodeName(QByteArray::fromStdString(imageStack->path))).fileName())
                .toStdString();
  switch (AskSaveDiscardCancel("Save changes to " + name + "?", AppTitle)) {
    case MessageAnswer::Save:
      return SaveClick();
    case MessageAnswer::Discard:
      RemoveRecovery();
      return true;
    default:
      return false;
  }
}

void TmainForm::UndoClick() {
  // While a project opens, its check fills the pictures by their places in the stack.
  if (panelDragging || Opening() || !undoStack->canUndo()) return;
  StopPlay();
  CancelImageListEditing();  // its list points at the pictures the step may take away
  undoStack->undo();
}

void TmainForm::RedoClick() {
  if (panelDragging || Opening() || !undoStack->canRedo()) return;
  StopPlay();
  CancelImageListEditing();
  undoStack->redo();
}

void TmainForm::ShowDuration(float seconds) {
  if (!imageStack) return;
  programSetsFields_ = true;
  EditTime->setText(QString::fromStdString(FormatFixed(seconds, 1)));
  programSetsFields_ = false;
  imageStack->duration = seconds;  // exactly, not as printed
}

void TmainForm::ShowChangedPictures() {
  CheckTextureLimit();
  InitValues();
  PlacementFollowsList();
}

void TmainForm::EditTimeChange() {
  if (!imageStack) return;
  const QString typed = EditTime->text();
  const bool number =
      durationPattern.match(typed, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
          .capturedLength() == typed.size();
  // Nothing or a lone point is on the way to a number: the duration stays as it is.
  if (number && !typed.contains(QRegularExpression(QStringLiteral("[0-9]")))) return;
  const std::string text = typed.toStdString();
  const float v = number ? static_cast<float>(LeadingNumber(text)) : -1.0f;
  if (!(v >= 0.0f && v <= 200.0f)) {
    // Putting the duration back runs this handler again when the text changes, which then
    // stores the printed value.
    EditTime->setText(QString::fromStdString(FormatFixed(imageStack->duration, 1)));
    return;
  }
  const float before = imageStack->duration;
  imageStack->duration = v < 1.0f ? 1.0f : v;
  if (!programSetsFields_ && imageStack->duration != before)
    undoStack->push(new DurationCommand(this, before, imageStack->duration));
}

void TmainForm::RecordPlacement() {
  const int element = panelDragElement_;
  panelDragElement_ = -1;
  if (!imageStack || element < 0 || element >= imageStack->count()) return;
  const Image& dragged = *imageStack->images[static_cast<size_t>(element)];
  if (!SamePlacement(dragged.transform, panelDragStart))
    undoStack->push(new PlacementCommand(this, dragged.id, panelDragStart, dragged.transform));
}

void TmainForm::RecordPlacementChange(int element, const Transform& before, const Nudge* nudge, bool repeated) {
  if (!imageStack || element < 0 || element >= imageStack->count()) return;
  const Image& changed = *imageStack->images[static_cast<size_t>(element)];
  if (SamePlacement(changed.transform, before)) return;
  if (nudge)
    undoStack->push(new PlacementCommand(this, changed.id, before, changed.transform, *nudge, repeated));
  else
    undoStack->push(new PlacementCommand(this, changed.id, before, changed.transform));
}

void TmainForm::EditPlacementClick() {
  const int c = EditedChild();
  if (c < 0 || Opening() || panelDragging || placementDialog_) return;
  StopPlay();
  playView = false;
  const uint64_t child = imageStack->images[static_cast<size_t>(c)]->id;
  const Transform before = imageStack->images[static_cast<size_t>(c)]->transform;
  // Window-modal over the main window and the windows it owns (the image list among them), so
  // nothing else reorders the stack while the numbers are typed; the dialog still names its
  // element by identity, and follows it (or closes) should the list change all the same.
  auto* dialog = new TFormPlacement(this);
  placementDialog_ = dialog;
  placementElement_ = child;
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->SetPlacement(before, PlacementCaption(c));
  auto apply = [this, child](const Transform& placement) {
    const int element = imageStack ? imageStack->IndexOf(child) : -1;
    if (element < 0) return;
    imageStack->images[static_cast<size_t>(element)]->transform = placement;
    imageStack->dirty = true;
    Panel->update();
  };
  dialog->changed = apply;
  connect(dialog, &QDialog::accepted, this, [this, child, before] {
    if (imageStack) RecordPlacementChange(imageStack->IndexOf(child), before);
  });
  connect(dialog, &QDialog::rejected, this, [apply, before] { apply(before); });
  ShowOverMainWindow(dialog);
}

QString TmainForm::PlacementCaption(int c) const {
  auto name = [this](int i) {
    if (i >= imageStack->pictureCount()) return QStringLiteral("the target frame");
    return QFile::decodeName(QByteArray::fromStdString(imageStack->images[static_cast<size_t>(i)]->baseName));
  };
  return name(c) + QStringLiteral(" in ") + name(c - 1);
}

void TmainForm::PlacementFollowsList() {
  if (!placementDialog_) return;
  const int element = imageStack ? imageStack->IndexOf(placementElement_) : -1;
  if (element < 1) {
    // Its element has left the project: there is nothing left to type for, and nothing to put back.
    placementDialog_->changed = nullptr;
    placementDialog_->disconnect(this);
    placementDialog_->close();
    return;
  }
  placementDialog_->LabelCaption->setText(PlacementCaption(element));
}

void TmainForm::ReplacePicturesUndoably(const std::vector<Image*>& pictures,
                                        std::vector<std::unique_ptr<Image>>& added) {
  std::vector<Image*> before = Elements(*imageStack);
  // The elements that leave the stack are taken out before the replacement would destroy them;
  // an empty element holds each one's place (the target frame is kept when there are two
  // elements or more, so the count must not change).
  std::vector<std::unique_ptr<Image>> parked;
  const bool keepTarget = imageStack->count() >= 2;
  for (int i = 0; i < imageStack->count(); ++i) {
    auto& slot = imageStack->images[static_cast<size_t>(i)];
    const bool kept = (keepTarget && i == imageStack->count() - 1) ||
                      std::find(pictures.begin(), pictures.end(), slot.get()) != pictures.end();
    if (kept) continue;
    parked.push_back(std::move(slot));
    slot = std::make_unique<Image>();
  }
  ReplacePictures(imageStack, pictures, added, false);
  std::vector<Image*> after = Elements(*imageStack);
  if (after != before)
    undoStack->push(new ImageListCommand(this, std::move(before), std::move(after), std::move(parked)));
}
