#include "Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

#include "Messages.h"

namespace {

QString RunFileDialog(QWidget* parent, const QString& title, const QString& filter, const QString& defaultSuffix,
                      QFileDialog::AcceptMode mode, QFileDialog::FileMode fileMode, QStringList* all = nullptr) {
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(fileMode);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  if (all) *all = chosen;
  return chosen.isEmpty() ? QString() : chosen.first();
}

// A message belongs over the window the user works in; when no window of ours is active (the
// editor still starting, or another program in front), over the main window.
QWidget* MessageParent() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && qobject_cast<QMainWindow*>(window)) return window;
  return nullptr;
}

class QtMessageBoxReporter final : public Reporter {
 public:
  MessageAnswer Show(const Message& message) override {
    QMessageBox box(MessageParent());
    box.setWindowTitle(QString::fromLocal8Bit(message.caption.c_str()));
    box.setText(QString::fromLocal8Bit(message.text.c_str()));
    box.setTextFormat(Qt::PlainText);
    switch (message.icon) {
      case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
      case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
      case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
      case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    QAbstractButton* open = nullptr;
    QAbstractButton* folder = nullptr;
    switch (message.buttons) {
      case MessageButtons::OpenFolderClose:
        open = box.addButton(QStringLiteral("Open"), QMessageBox::AcceptRole);
        folder = box.addButton(QStringLiteral("Show in Folder"), QMessageBox::ActionRole);
        box.addButton(QMessageBox::Close);
        box.setEscapeButton(QMessageBox::Close);
        box.setDefaultButton(qobject_cast<QPushButton*>(open));
        break;
      case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
      case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
      case MessageButtons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
      case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    const int chosen = box.exec();
    if (open && box.clickedButton() == open) return MessageAnswer::Open;
    if (folder && box.clickedButton() == folder) return MessageAnswer::Folder;
    switch (chosen) {
      case QMessageBox::Ok:
        return MessageAnswer::Ok;
      case QMessageBox::Save:
        return MessageAnswer::Save;
      case QMessageBox::Discard:
        return MessageAnswer::Discard;
      case QMessageBox::Yes:
        return MessageAnswer::Yes;
      case QMessageBox::No:
        return MessageAnswer::No;
      default:
        return MessageAnswer::Cancel;
    }
  }
};

DialogService realDialogs;
DialogService* currentDialogs = &realDialogs;

}  // namespace

QString DialogService::OpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& defaultSuffix) {
  return RunFileDialog(parent, title, filter, defaultSuffix, QFileDialog::AcceptOpen, QFileDialog::ExistingFile);
}

QStringList DialogService::OpenFileNames(QWidget* parent, const QString& title, const QString& filter) {
  QStringList chosen;
  RunFileDialog(parent, title, filter, QString(), QFileDialog::AcceptOpen, QFileDialog::ExistingFiles, &chosen);
  return chosen;
}

QString DialogService::SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& defaultSuffix) {
  return RunFileDialog(parent, title, filter, defaultSuffix, QFileDialog::AcceptSave, QFileDialog::AnyFile);
}

QString DialogService::ExistingDirectory(QWidget* parent, const QString& title, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, title, start);
}

QColor DialogService::Colour(QWidget* parent, const QColor& initial) { return QColorDialog::getColor(initial, parent); }

bool DialogService::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool OpenDocument(const QUrl& url, const std::string& path) {
  if (Dialogs().OpenUrl(url)) return true;
  ShowPlainMessage("No browser could be opened to show the file:\n\n    " + path);
  return false;
}

int DialogService::Run(QDialog& dialog) { return dialog.exec(); }

DialogService& Dialogs() { return *currentDialogs; }

DialogService* SetDialogs(DialogService* service) {
  DialogService* previous = currentDialogs;
  currentDialogs = service ? service : &realDialogs;
  return previous;
}

void InstallMessageBoxReporter() {
  static QtMessageBoxReporter reporter;
  SetReporter(&reporter);
}
