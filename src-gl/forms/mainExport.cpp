// Export to Web: the settings dialog filled from the project, then the checked export.

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "Dialogs.h"
#include "Dlgwebexport.h"
#include "ImagestackExport.h"
#include "WebExport.h"
#include "Messages.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"

namespace {

std::string Text(const QLineEdit* edit) { return QFile::encodeName(edit->text()).toStdString(); }

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

bool HasSeparator(const std::string& name) { return name.find_first_of("/\\") != std::string::npos; }

}  // namespace

void TmainForm::ExportToWebClick() {
  if (!Stack() || Stack()->count() < 2 || !webExport_) return;
  StopPlay();
  if (!Stack()->SameDirectory())
    ShowPlainMessage(
        "Warning: Tunnelvista expects all images to be located\nin the same directory.  If you continue, the Web "
        "applet\nmay have difficulty locating the image files.");
  TFormWebExport& d = *webExport_;
  d.EditDirectory->setText(QFile::decodeName(QByteArray::fromStdString(Stack()->images[0]->directory)));
  if (d.EditWebFilename->text().isEmpty()) d.EditWebFilename->setText(QStringLiteral("index.html"));
  if (d.EditTitle->text().isEmpty()) d.EditTitle->setText(QStringLiteral("Tunnelvista"));
  if (d.MemoCaption->toPlainText().isEmpty())
    d.MemoCaption->setPlainText(QStringLiteral("This file was created automatically by the <i>Tunnelvista</i> Editor"));
  // The duration as the general number format shows it: up to 15 significant digits.
  d.EditDuration->setText(QString::fromStdString(FormatGeneral(static_cast<double>(Stack()->duration), 15)));
  if (d.EditDataFilename->text().isEmpty()) d.EditDataFilename->setText(QStringLiteral("default.kxo"));
  if (d.EditAppletFilename->text().isEmpty()) d.EditAppletFilename->setText(QStringLiteral("kx.jar"));
  if (d.EditWidth->text().isEmpty())
    d.DefaultSize();
  else
    d.EditWidthChange();
  d.ShowForExport();
}

void TmainForm::StartWebExport() {
  if (!Stack() || !webExport_) return;
  TFormWebExport& d = *webExport_;
  const bool html5 = d.Player() == WebPlayer::Html5;
  const std::string webName = Text(d.EditWebFilename);
  const std::string dataName = Text(d.EditDataFilename);
  const std::string appletName = Text(d.EditAppletFilename);

  if (webName.size() < 5 || !EndsWithIgnoringCase(webName, ".html")) {
    ShowPlainMessage("The webpage filename must have an .html extension");
    return;
  }
  if (dataName.size() < 4 || !EndsWithIgnoringCase(dataName, ".kxo")) {
    ShowPlainMessage("Datafile must have an .kxo extension");
    return;
  }
  if (!html5 && (appletName.size() < 4 || !EndsWithIgnoringCase(appletName, ".jar"))) {
    ShowPlainMessage("The Java applet must have a .jar extension");
    return;
  }
  if (HasSeparator(webName)) {
    ShowPlainMessage("The webpage file must be in the same directory as the images.");
    return;
  }
  if (HasSeparator(dataName)) {
    ShowPlainMessage("The Java applet datafile file must be in the same directory as the images.");
    return;
  }

  // Paths take '/' here; the URLs in the page always use '/'.
  WebExportOptions options;
  options.player = d.Player();
  options.pictureSide = d.PictureSide();
  options.directory = Text(d.EditDirectory);
  CharReplace(options.directory, '\\', '/');
  options.pageName = webName;
  options.archiveTemplate = QFile::encodeName(editorFiles.appletTemplate).toStdString();
  options.playerDirectory = QFile::encodeName(editorFiles.webPlayer).toStdString();
  WebPageOptions& page = options.page;
  page.dataUrl = dataName;
  page.archiveUrl = appletName;
  CharReplace(page.archiveUrl, '\\', '/');

  if (!html5 && !JarFileOK(page.archiveUrl)) {
    ShowPlainMessage(
        "Due to Java security constraints, the Applet (.jar) location should be in\nthe same directory or a higher "
        "directory than the images and datafile.\nTo move the .jar file to a higher directory, precede the filename "
        "with\ntwo dots and a backslash (..\\)");
    return;
  }

  const std::string& target = options.directory;
  std::error_code error;
  if (!std::filesystem::is_directory(target, error)) {
    if (!AskOkCancel("The target directory does not exist:\n\n    " + target + "\n\nWould you like to create it?",
                     "Warning"))
      return;
  }

  // Links are named with where they point: the export replaces the link, not its target.
  std::string existing;
  for (const std::string& path : ExistingWebExportFiles(*Stack(), options)) existing += path + "\n    ";
  if (!existing.empty() && !AskOkCancel("The following files already exist and will be overwritten:\n\n    " +
                                            existing + "\nWould you like to continue?",
                                        "Warning"))
    return;

  page.title = Text(d.EditTitle);
  page.caption = QFile::encodeName(d.MemoCaption->toPlainText()).toStdString();
  page.duration = d.EditDuration->text().isEmpty() ? 1.0f : static_cast<float>(LeadingNumber(Text(d.EditDuration)));
  if (!(page.duration >= 1.0f)) page.duration = 1.0f;
  if (page.duration > 200.0f) page.duration = 200.0f;
  page.showControls = d.CheckBoxShowControls->isChecked();
  page.autoplay = d.CheckBoxAutoplay->isChecked();
  page.playForward = d.CheckBoxPlayForward->isChecked();
  page.width = static_cast<int>(std::clamp(LeadingInteger(Text(d.EditWidth)), 50L, 800L));
  page.height = static_cast<int>(std::clamp(LeadingInteger(Text(d.EditHeight)), 50L, 600L));
  if (page.showControls && !html5) page.height += 20;  // the applet draws its controls inside its box
  page.pageColour = d.PageColour();
  page.textColour = d.TextColour();

  if (ExportWeb(*Stack(), options) == WebExportResult::Failed) return;

  d.hide();
  FormPaint();
  const std::string pagePath = target + "/" + webName;
  OpenDocument(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(pagePath))), pagePath);
}
