// The commands that run long or stay open on the window side: the placement dialog, Align
// Automatically and Align All, Export to Web and Export Video. The work is the project's jobs;
// here are the refusals, the dialogs and the progress.

#include <QFile>
#include <QProgressDialog>
#include <QUrl>
#include <memory>

#include "AlignJob.h"
#include "AlignRequest.h"
#include "ColourJob.h"
#include "Dialogs.h"
#include "Dlgplacement.h"
#include "Dlgvideoexport.h"
#include "Dlgwebexport.h"
#include "JobProgress.h"
#include "Messages.h"
#include "Project.h"
#include "ProjectController.h"
#include "WebExportJob.h"
#include "WebExportRequest.h"
#include "main.h"

void ProjectController::EditPlacementClick() {
  const int c = form_.view().EditedChild();
  if (c < 0 || project_.Opening() || form_.view().Dragging() || placementDialog_) return;
  const ImageStack* imageStack = project_.stack();
  form_.playback().StopPlay();
  form_.playback().SetPlayView(false);
  const uint64_t child = imageStack->images[static_cast<size_t>(c)]->id;
  const Transform before = imageStack->images[static_cast<size_t>(c)]->transform;
  // Window-modal over the main window and the windows it owns (the image list among them), so
  // nothing else reorders the stack while the numbers are typed; the dialog still names its
  // element by identity, and follows it (or closes) should the list change all the same.
  auto* dialog = new TFormPlacement(&form_);
  placementDialog_ = dialog;
  placementElement_ = child;
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->SetPlacement(before, PlacementCaption(c));
  auto apply = [this, child](const Transform& placement) { project_.SetPlacement(child, placement); };
  dialog->changed = apply;
  // The target frame has no colours (nor has an endless project's first picture in the last).
  const bool hasColour = c < imageStack->pictureCount();
  const ColourCorrection colourBefore = imageStack->images[static_cast<size_t>(c)]->colour;
  dialog->SetColour(colourBefore, hasColour);
  auto applyColour = [this, child](const ColourCorrection& colour) { project_.SetColour(child, colour); };
  if (hasColour) dialog->colourChanged = applyColour;
  connect(dialog, &QDialog::accepted, this, [this, child, before, colourBefore] {
    if (!project_.stack()) return;
    project_.RecordPlacementChange(project_.stack()->IndexOf(child), before);
    project_.RecordColourChange(child, colourBefore);
  });
  connect(dialog, &QDialog::rejected, this, [apply, before, applyColour, colourBefore, hasColour] {
    apply(before);
    if (hasColour) applyColour(colourBefore);
  });
  ShowOverMainWindow(dialog);
}

QString ProjectController::PlacementCaption(int c) const {
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

void ProjectController::PlacementFollowsList() {
  if (!placementDialog_) return;
  const ImageStack* imageStack = project_.stack();
  const int element = imageStack ? imageStack->IndexOf(placementElement_) : -1;
  if (element < 1) {
    // Its element has left the project: there is nothing left to type for, and nothing to put back.
    placementDialog_->changed = nullptr;
    placementDialog_->colourChanged = nullptr;
    placementDialog_->disconnect(this);
    placementDialog_->close();
    return;
  }
  placementDialog_->SetCaption(PlacementCaption(element));
}

void ProjectController::AlignClick() {
  const ImageStack* stack = project_.stack();
  if (!stack || project_.Aligning() || project_.RefusedWhileOpening("Align")) return;
  const int selected = form_.SelectedPicture();
  const AlignRequest request{selected < 0 ? 0 : selected + 1};
  if (request.Check(*stack) != AlignRefusal::None) {
    ShowMessage("Select a picture that has another picture inside it: its child is aligned.", "Align",
                MessageIcon::Information, MessageButtons::Ok);
    return;
  }
  StartAlign(request.child);
}

void ProjectController::AlignAllClick() {
  const ImageStack* stack = project_.stack();
  if (!stack || project_.Aligning() || project_.RefusedWhileOpening("Align")) return;
  if (AlignRequest{}.Check(*stack) != AlignRefusal::None) {
    ShowMessage("The project needs two pictures or more to align.", "Align", MessageIcon::Information,
                MessageButtons::Ok);
    return;
  }
  StartAlign(-1);
}

void ProjectController::StartAlign(int child) {
  form_.playback().StopPlay();
  aligningAll_ = child < 0;
  project_.StartAlign(child);  // its progress shows as it starts (ShowProgress)
}

void ProjectController::MatchColoursClick() {
  const ImageStack* stack = project_.stack();
  if (!stack || project_.Aligning() || project_.MatchingColours() || project_.RefusedWhileOpening("Match Colours"))
    return;
  const int selected = form_.SelectedPicture();
  if (selected < 1 || selected >= stack->pictureCount()) {
    ShowMessage(
        "Select a picture from the second on: its colours are matched to the picture it lies in (the first "
        "keeps its own).",
        "Match Colours", MessageIcon::Information, MessageButtons::Ok);
    return;
  }
  form_.playback().StopPlay();
  project_.StartMatchColours(selected);
}

void ProjectController::MatchAllColoursClick() {
  const ImageStack* stack = project_.stack();
  if (!stack || project_.Aligning() || project_.MatchingColours() || project_.RefusedWhileOpening("Match Colours"))
    return;
  if (stack->pictureCount() < 2) {
    ShowMessage("The project needs two pictures or more to match their colours.", "Match Colours",
                MessageIcon::Information, MessageButtons::Ok);
    return;
  }
  form_.playback().StopPlay();
  project_.StartMatchColours(-1);
}

void ProjectController::OfferColourMatch() {
  const ImageStack* stack = project_.stack();
  if (!stack || stack->pictureCount() < 2) return;
  if (AskYesNo("Match the colours of every picture to the picture it lies in as well, so that no border shows?",
               "Align All"))
    MatchAllColoursClick();
}

// The project's jobs that keep the user waiting show a window-modal progress with Cancel; the
// checks of pictures show in the windows that asked for them.
void ProjectController::ShowProgress(Job* job) {
  if (auto* align = qobject_cast<AlignJob*>(job)) {
    const int count = static_cast<int>(align->Tasks().size());
    ShowJobProgress(job, &form_, QStringLiteral("AlignProgress"), QStringLiteral("Align"),
                    QStringLiteral("Aligning pictures..."))
        ->setMaximum(count > 1 ? count : 0);
    if (aligningAll_) {
      aligningAll_ = false;
      // Asked once the project has taken the alignment's end (its message said), when it ran
      // to its end.
      auto completed = std::make_shared<bool>(false);
      connect(align, &Job::finished, this, [completed](bool c) { *completed = c; });
      connect(&project_, &Project::jobFinished, align, [this, align, completed](Job* ended) {
        if (ended == align && *completed) OfferColourMatch();
      });
    }
  } else if (auto* colours = qobject_cast<ColourJob*>(job)) {
    const int count = static_cast<int>(colours->Tasks().size());
    ShowJobProgress(job, &form_, QStringLiteral("ColourProgress"), QStringLiteral("Match Colours"),
                    QStringLiteral("Matching colours..."))
        ->setMaximum(count > 1 ? count : 0);
  } else if (auto* web = qobject_cast<WebExportJob*>(job)) {
    ShowJobProgress(job, &form_, QStringLiteral("WebExportProgress"), QStringLiteral("Export to Web"),
                    QStringLiteral("Writing the page and its pictures..."));
    connect(web, &Job::finished, this, [this, web] { WebExportFinished(*web); });
  }
}

void ProjectController::ExportToWebClick() {
  const ImageStack* stack = project_.stack();
  if (!stack || stack->count() < 2 || !webExport_) return;
  form_.playback().StopPlay();
  if (!stack->SameDirectory())
    ShowPlainMessage(
        "Warning: Tunnelvista expects all images to be located\nin the same directory.  If you continue, the Web "
        "applet\nmay have difficulty locating the image files.");
  webExport_->ShowForExport();
}

void ProjectController::StartWebExport() {
  const ImageStack* stack = project_.stack();
  if (!stack || !webExport_ || project_.WebExporting() || project_.RefusedWhileOpening("Export to Web")) return;
  WebExportRequest request = webExport_->Request();
  request.archiveTemplate = QFile::encodeName(form_.editorFiles.appletTemplate).toStdString();
  request.playerDirectory = QFile::encodeName(form_.editorFiles.webPlayer).toStdString();
  const WebExportPlan plan = PlanWebExport(request, *stack);
  if (!ConfirmWebExport(plan)) return;

  // The dialog stays open, behind the progress, until the export has ended well.
  project_.StartWebExport(plan.options);
}

void ProjectController::WebExportFinished(const WebExportJob& job) {
  // What went wrong has been said; a missing archive template does not keep the page closed.
  if (job.Result() == WebExportResult::Failed) return;
  if (webExport_) webExport_->hide();
  form_.FormPaint();
  const std::string pagePath = job.PagePath();
  OpenDocument(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(pagePath))), pagePath);
}

void ProjectController::ExportVideoClick() {
  const ImageStack* stack = project_.stack();
  if (!stack || stack->pictureCount() < 1 || !form_.ProjectCommandsEnabled()) return;
  form_.playback().StopPlay();
  auto* dialog = form_.findChild<TFormVideoExport*>();
  if (!dialog) dialog = new TFormVideoExport(&form_);
  if (dialog->Running()) {
    if (dialog->Progress) dialog->Progress->raise();
    return;
  }
  dialog->ShowForExport();
}
