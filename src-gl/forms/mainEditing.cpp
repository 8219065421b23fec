// Edits of the open project: undo and redo, the modified mark in the title, and the question
// before unsaved changes would be lost.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QUndoStack>

#include "Dlgplacement.h"
#include "Messages.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"

void TmainForm::ConnectProject() {
  connect(&project_, &Project::stackReplaced, this, [this] {
    view_->ForgetDrag();  // a drag under way belonged to the project that went
    if (!Opening()) OpeningStrip->hide();
  });
  connect(&project_, &Project::modifiedChanged, this, [this] { UpdateTitle(); });
  connect(&project_, &Project::durationChanged, this, [this](float seconds) { ShowDuration(seconds); });
  connect(&project_, &Project::placementChanged, this, [this] { FormPaint(); });
  connect(&project_, &Project::playSettingsChanged, this, [this] {
    ShowPlaySettings();
    PlacementFollowsList();  // the target frame's caption says what it places
    PaintBoxControls->update();
    Panel->update();
  });
  connect(&project_, &Project::stackReplaced, this, [this] { ShowPlaySettings(); });
  connect(&project_, &Project::pictureListChanged, this, [this] {
    ShowChangedPictures();
    if (project_.stack() && !Opening()) EnableProjectCommands();
  });
  connect(&project_, &Project::opened, this, [this] {
    InitValues();
    OpeningStrip->show();
    OpeningStrip->raise();
  });
  connect(&project_, &Project::picturesArrived, this, [this] {
    // The first picture's size fits the view's span; the selected picture shows as it arrives.
    view_->Resized();
    Panel->update();
  });
  connect(&project_, &Project::openingProgress, this, &TmainForm::ShowOpeningProgress);
  connect(&project_, &Project::openingFinished, this, &TmainForm::OpeningFinished);
}

void TmainForm::UpdateTitle() {
  const ImageStack* imageStack = project_.stack();
  const QString application = QStringLiteral("Tunnelvista Editor");
  if (!imageStack) {
    setWindowTitle(application);
    return;
  }
  const QString name = imageStack->path.empty()
                           ? QStringLiteral("Untitled")
                           : QFileInfo(QFile::decodeName(QByteArray::fromStdString(imageStack->path))).fileName();
  setWindowTitle(name + (project_.Modified() ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") + application);
}

bool TmainForm::MaySetProjectAside() {
  if (!project_.Modified()) {
    project_.RemoveRecovery();
    return true;
  }
  playback_->StopPlay();
  const ImageStack* imageStack = project_.stack();
  const std::string name =
      imageStack->path.empty()
          ? std::string("Untitled")
          : QFile::encodeName(QFileInfo(QFile::decodeName(QByteArray::fromStdString(imageStack->path))).fileName())
                .toStdString();
  switch (AskSaveDiscardCancel("Save changes to " + name + "?", AppTitle)) {
    case MessageAnswer::Save:
      return SaveClick();
    case MessageAnswer::Discard:
      project_.RemoveRecovery();
      return true;
    default:
      return false;
  }
}

void TmainForm::UndoClick() {
  QUndoStack* undoStack = project_.undoStack();
  // While a project opens, its check fills the pictures by their places in the stack.
  if (view_->Dragging() || Opening() || !undoStack->canUndo()) return;
  playback_->StopPlay();
  CancelImageListEditing();  // its list points at the pictures the step may take away
  undoStack->undo();
}

void TmainForm::RedoClick() {
  QUndoStack* undoStack = project_.undoStack();
  if (view_->Dragging() || Opening() || !undoStack->canRedo()) return;
  playback_->StopPlay();
  CancelImageListEditing();
  undoStack->redo();
}

void TmainForm::ShowDuration(float seconds) {
  // The project holds the duration exactly; the field shows it as printed, which is no edit.
  const QSignalBlocker quiet(EditTime);
  EditTime->setText(QString::fromStdString(FormatFixed(seconds, 1)));
}

void TmainForm::ShowChangedPictures() {
  view_->CheckTextureLimit();
  InitValues();
  PlacementFollowsList();
}

void TmainForm::EditTimeChange() {
  const ImageStack* imageStack = project_.stack();
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
  project_.SetDuration(v < 1.0f ? 1.0f : v, !programSetsFields_);
}

void TmainForm::ShowPlaySettings() {
  const PlaySettings play = project_.stack() ? project_.stack()->playSettings : PlaySettings();
  const bool endless = play.play == PlayMode::Endless;
  const QSignalBlocker quietPlay(ComboPlay), quietPace(ComboPace);
  ComboPlay->setCurrentIndex(endless ? 1 : 0);
  // Endless plays steady whatever the pace says; the pace is kept for playing there and back.
  ComboPace->setCurrentIndex(play.EffectivePace() == Pace::Steady ? 1 : 0);
  ComboPace->setEnabled(!endless);
  LabelTarget->setText(endless ? QStringLiteral("Target frame: first picture in the last")
                               : QStringLiteral("Target frame: the end of the zoom"));
}

void TmainForm::ComboPlayChange() {
  ImageStack* imageStack = project_.stack();
  if (!imageStack) {
    ShowPlaySettings();
    return;
  }
  PlaySettings play = imageStack->playSettings;
  play.play = ComboPlay->currentIndex() == 1 ? PlayMode::Endless : PlayMode::ThereAndBack;
  project_.SetPlaySettings(play);
  if (play.play == PlayMode::Endless) playback_->playbar().forward = true;  // an endless zoom dives inward
  ShowPlaySettings();
}

void TmainForm::ComboPaceChange() {
  ImageStack* imageStack = project_.stack();
  if (!imageStack || imageStack->playSettings.play == PlayMode::Endless) {
    ShowPlaySettings();
    return;
  }
  PlaySettings play = imageStack->playSettings;
  play.pace = ComboPace->currentIndex() == 1 ? Pace::Steady : Pace::Eased;
  project_.SetPlaySettings(play);
}

void TmainForm::EditPlacementClick() {
  const int c = view_->EditedChild();
  if (c < 0 || Opening() || view_->Dragging() || placementDialog_) return;
  const ImageStack* imageStack = project_.stack();
  playback_->StopPlay();
  playback_->SetPlayView(false);
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
  auto apply = [this, child](const Transform& placement) { project_.SetPlacement(child, placement); };
  dialog->changed = apply;
  connect(dialog, &QDialog::accepted, this, [this, child, before] {
    if (project_.stack()) project_.RecordPlacementChange(project_.stack()->IndexOf(child), before);
  });
  connect(dialog, &QDialog::rejected, this, [apply, before] { apply(before); });
  ShowOverMainWindow(dialog);
}

QString TmainForm::PlacementCaption(int c) const {
  const ImageStack* imageStack = project_.stack();
  const bool endless = imageStack->playSettings.play == PlayMode::Endless;
  auto name = [imageStack](int i) {
    if (i >= imageStack->pictureCount()) return QStringLiteral("the target frame");
    return QFile::decodeName(QByteArray::fromStdString(imageStack->images[static_cast<size_t>(i)]->baseName));
  };
  // In an endless project the target frame is where the first picture lies in the last.
  if (endless && c == imageStack->pictureCount())
    return name(0) + QStringLiteral(" (the first picture) in ") + name(c - 1);
  return name(c) + QStringLiteral(" in ") + name(c - 1);
}

void TmainForm::PlacementFollowsList() {
  if (!placementDialog_) return;
  const ImageStack* imageStack = project_.stack();
  const int element = imageStack ? imageStack->IndexOf(placementElement_) : -1;
  if (element < 1) {
    // Its element has left the project: there is nothing left to type for, and nothing to put back.
    placementDialog_->changed = nullptr;
    placementDialog_->disconnect(this);
    placementDialog_->close();
    return;
  }
  placementDialog_->SetCaption(PlacementCaption(element));
}
