#pragma once
// The editor's ways out to the desktop: file, directory and colour dialogs and opening documents
// in the desktop's applications. Tests install a replacement that answers from a script and
// records what would have been opened.

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <string>

class QDialog;
class QWidget;

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Empty when cancelled. `filter` in Qt's form, e.g. "Tunnelvista (*.kx)".
  virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& filter,
                               const QString& defaultSuffix);
  virtual QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& filter);
  virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                               const QString& defaultSuffix);
  virtual QString ExistingDirectory(QWidget* parent, const QString& title, const QString& start);
  // Invalid colour when cancelled.
  virtual QColor Colour(QWidget* parent, const QColor& initial);
  virtual bool OpenUrl(const QUrl& url);
  // Runs a dialog of the editor's own to its end, modally: QDialog::Accepted or Rejected. A test's
  // replacement works the real dialog's controls instead and gives its answer.
  virtual int Run(QDialog& dialog);
};

DialogService& Dialogs();
// Installs `service` (not owned); nullptr restores the real dialogs. Returns the previous one.
DialogService* SetDialogs(DialogService* service);

// Opens `url` (a local file at `path`) in the desktop's application for it; when that fails, says
// so with the path. False then.
bool OpenDocument(const QUrl& url, const std::string& path);

// Binds the message seam to QMessageBox for the running editor.
void InstallMessageBoxReporter();
