// Export to Web: the settings dialog filled from the project, then the checked export, which runs
// as a job behind a progress dialog with Cancel. Export Video: its dialog, which runs its own job.

#include <QFile>
#include <QAction>
#include <QLineEdit>
#include <QProgressDialog>
#include <QUrl>

#include "EditorMenus.h"
#include "Dialogs.h"
#include "Dlgvideoexport.h"
#include "Dlgwebexport.h"
#include "JobProgress.h"
#include "Messages.h"
#include "TextNumbers.h"
#include "WebExportJob.h"
#include "WebExportRequest.h"
#include "main.h"

void TmainForm::ExportToWebClick() {
  if (!Stack() || Stack()->count() < 2 || !webExport_) return;
  playback_->StopPlay();
  if (!Stack()->SameDirectory())
    ShowPlainMessage(
        "Warning: Tunnelvista expects all images to be located\nin the same directory.  If you continue, the Web "
        "applet\nmay have difficulty locating the image files.");
  TFormWebExport& d = *webExport_;
  // The directory (a new folder beside the project) and the duration come from the project every
  // time; the names only when empty.
  WebExportRequest request = d.Request();
  const WebExportRequest defaults;
  request.directory = ProposedWebDirectory(*Stack());
  auto orDefault = [](std::string& name, const std::string& fallback) {
    if (name.empty()) name = fallback;
  };
  orDefault(request.pageName, defaults.pageName);
  orDefault(request.title, defaults.title);
  orDefault(request.caption, defaults.caption);
  orDefault(request.dataName, defaults.dataName);
  orDefault(request.appletName, defaults.appletName);
  // The duration as the general number format shows it: up to 15 significant digits.
  request.duration = FormatGeneral(static_cast<double>(Stack()->duration), 15);
  d.SetRequest(request);
  if (d.EditWidth->text().isEmpty())
    d.DefaultSize();
  else
    d.EditWidthChange();
  d.ShowForExport();
}

void TmainForm::StartWebExport() {
  if (!Stack() || !webExport_ || webExporting) return;
  TFormWebExport& d = *webExport_;
  WebExportRequest request = d.Request();
  request.archiveTemplate = QFile::encodeName(editorFiles.appletTemplate).toStdString();
  request.playerDirectory = QFile::encodeName(editorFiles.webPlayer).toStdString();
  const WebExportPlan plan = PlanWebExport(request, *Stack());
  if (!ConfirmWebExport(plan)) return;

  // The dialog stays open, behind the progress, until the export has ended well.
  webExporting = new WebExportJob(*Stack(), plan.options, this);
  ShowJobProgress(webExporting, this, QStringLiteral("WebExportProgress"), QStringLiteral("Export to Web"),
                  QStringLiteral("Writing the page and its pictures..."));
  connect(webExporting, &Job::finished, this, [this] { WebExportFinished(); });
  webExporting->Start();
}

void TmainForm::WebExportFinished() {
  WebExportJob* job = webExporting;
  webExporting = nullptr;
  job->deleteLater();
  // What went wrong has been said; a missing archive template does not keep the page closed.
  if (job->Result() == WebExportResult::Failed) return;
  if (webExport_) webExport_->hide();
  FormPaint();
  const std::string pagePath = job->PagePath();
  OpenDocument(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(pagePath))), pagePath);
}

void TmainForm::ExportVideoClick() {
  if (!Stack() || Stack()->pictureCount() < 1 || !menus_->ExportVideo->isEnabled()) return;
  playback_->StopPlay();
  auto* dialog = findChild<TFormVideoExport*>();
  if (!dialog) dialog = new TFormVideoExport(this);
  if (dialog->Running()) {
    if (dialog->Progress) dialog->Progress->raise();
    return;
  }
  dialog->ShowForExport();
}
