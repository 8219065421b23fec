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

// Whether writing `path` would replace a file, resolving ".." against directories that exist
// and those about to be made: "site/../kx.jar" names kx.jar beside "site" even before "site"
// exists.
bool WouldReplace(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  return std::filesystem::exists(error ? std::filesystem::path(path) : resolved, error);
}

// A picture whose copy would land on its own file is in the target directory already, however
// the directory was spelled (a trailing slash, "." or "..", a symbolic link).
bool AlreadyThere(const Image& picture, const std::string& target, const std::string& destination) {
  if (picture.directory == target) return true;
  std::error_code error;
  return std::filesystem::equivalent(picture.FullPath(), destination, error);
}

}  // namespace

void TmainForm::ExportToWebClick() {
  if (!imageStack || imageStack->count() < 2 || !FormWebExport) return;
  StopPlay();
  if (!imageStack->SameDirectory())
    ShowPlainMessage(
        "Warning: Tunnelvista expects all images to be located\nin the same directory.  If you continue, the Web "
        "applet\nmay have difficulty locating the image files.");
  TFormWebExport& d = *FormWebExport;
  d.EditDirectory->setText(QFile::decodeName(QByteArray::fromStdString(imageStack->images[0]->directory)));
  if (d.EditWebFilename->text().isEmpty()) d.EditWebFilename->setText(QStringLiteral("index.html"));
  if (d.EditTitle->text().isEmpty()) d.EditTitle->setText(QStringLiteral("Tunnelvista"));
  if (d.MemoCaption->toPlainText().isEmpty())
    d.MemoCaption->setPlainText(QStringLiteral("This file was created automatically by the <i>Tunnelvista</i> Editor"));
  // The duration as the general number format shows it: up to 15 significant digits.
  d.EditDuration->setText(QString::fromStdString(FormatGeneral(static_cast<double>(imageStack->duration), 15)));
  if (d.EditDataFilename->text().isEmpty()) d.EditDataFilename->setText(QStringLiteral("default.kxo"));
  if (d.EditAppletFilename->text().isEmpty()) d.EditAppletFilename->setText(QStringLiteral("kx.jar"));
  if (d.EditWidth->text().isEmpty())
    d.DefaultSize();
  else
    d.EditWidthChange();
  d.ShowForExport();
}

void TmainForm::StartWebExport() {
  if (!imageStack || !FormWebExport) return;
  TFormWebExport& d = *FormWebExport;
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
  if (appletName.size() < 4 || !EndsWithIgnoringCase(appletName, ".jar")) {
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
  std::string target = Text(d.EditDirectory);
  CharReplace(target, '\\', '/');
  std::string dataUrl = dataName;
  CharReplace(dataUrl, '\\', '/');
  std::string archiveUrl = appletName;
  CharReplace(archiveUrl, '\\', '/');
  auto inTarget = [&target](const std::string& name) {
    std::string path = target + "/" + name;
    CharReplace(path, '\\', '/');
    return path;
  };
  const std::string pagePath = inTarget(webName);
  const std::string dataPath = inTarget(dataName);
  const std::string archivePath = inTarget(appletName);

  if (!JarFileOK(archiveUrl)) {
    ShowPlainMessage(
        "Due to Java security constraints, the Applet (.jar) location should be in\nthe same directory or a higher "
        "directory than the images and datafile.\nTo move the .jar file to a higher directory, precede the filename "
        "with\ntwo dots and a backslash (..\\)");
    return;
  }

  std::error_code error;
  if (!std::filesystem::is_directory(target, error)) {
    if (!AskOkCancel("The target directory does not exist:\n\n    " + target + "\n\nWould you like to create it?",
                     "Warning"))
      return;
  }

  const int pictures = imageStack->pictureCount();
  std::vector<char> copy(static_cast<size_t>(pictures), 0);
  std::string existing;
  for (const std::string& path : {pagePath, dataPath, archivePath})
    if (WouldReplace(path)) existing += path + "\n    ";
  for (int i = 0; i < pictures; ++i) {
    const Image& picture = *imageStack->images[static_cast<size_t>(i)];
    const std::string destination = inTarget(picture.baseName);
    if (AlreadyThere(picture, target, destination)) continue;
    copy[static_cast<size_t>(i)] = 1;
    if (WouldReplace(destination)) existing += destination + "\n    ";
  }
  if (!existing.empty() && !AskOkCancel("The following files already exist and will be overwritten:\n\n    " +
                                            existing + "\nWould you like to continue?",
                                        "Warning"))
    return;

  std::filesystem::create_directories(target, error);
  if (!std::filesystem::is_directory(target, error)) {
    ShowPlainMessage("Unable to create target directory:\n\n    " + target +
                     "\n\nThe directory name may be invalid or the location may be read-only.");
    return;
  }

  WebPageOptions page;
  page.title = Text(d.EditTitle);
  page.caption = QFile::encodeName(d.MemoCaption->toPlainText()).toStdString();
  page.archiveUrl = archiveUrl;
  page.dataUrl = dataUrl;
  page.duration = d.EditDuration->text().isEmpty() ? 1.0f : static_cast<float>(LeadingNumber(Text(d.EditDuration)));
  if (!(page.duration >= 1.0f)) page.duration = 1.0f;
  if (page.duration > 200.0f) page.duration = 200.0f;
  page.showControls = d.CheckBoxShowControls->isChecked();
  page.autoplay = d.CheckBoxAutoplay->isChecked();
  page.playForward = d.CheckBoxPlayForward->isChecked();
  page.width = static_cast<int>(std::clamp(LeadingInteger(Text(d.EditWidth)), 50L, 800L));
  page.height = static_cast<int>(std::clamp(LeadingInteger(Text(d.EditHeight)), 50L, 600L));
  if (page.showControls) page.height += 20;
  page.pageColour = d.PageColour();
  page.textColour = d.TextColour();

  imageStack->WriteWebFiles(pagePath, dataPath, archivePath, page, QFile::encodeName(appletTemplateFile).toStdString());
  for (int i = 0; i < pictures; ++i)
    if (copy[static_cast<size_t>(i)])
      imageStack->images[static_cast<size_t>(i)]->CopyTo(
          inTarget(imageStack->images[static_cast<size_t>(i)]->baseName));

  d.hide();
  FormPaint();
  Dialogs().OpenUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(pagePath))));
}
