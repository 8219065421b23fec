#pragma once
// The editor's five windows for one test, with every way out to the desktop replaced: messages
// are recorded, file dialogs answered from a script, the clock stepped by hand, the process end
// recorded instead of done.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <QDialog>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "EditorMenus.h"
#include "EditorSettings.h"
#include "Bitmaps.h"
#include "Dialogs.h"
#include "RecordingReporter.h"
#include "Startup.h"
#include "TestFiles.h"
#include "Imageeditor.h"
#include "ProjectController.h"
#include "main.h"

class ScriptedDialogs : public DialogService {
 public:
  ScriptedDialogs() { previous_ = SetDialogs(this); }
  ~ScriptedDialogs() override { SetDialogs(previous_); }

  QString OpenFileName(QWidget*, const QString& title, const QString& filter, const QString& suffix) override {
    asked.push_back(title + "|" + filter + "|" + suffix);
    return Next();
  }
  QStringList OpenFileNames(QWidget*, const QString& title, const QString& filter) override {
    asked.push_back(title + "|" + filter);
    QStringList all;
    if (!fileLists.empty()) {
      all = fileLists.front();
      fileLists.pop_front();
    }
    return all;
  }
  QString SaveFileName(QWidget*, const QString& title, const QString& filter, const QString& suffix) override {
    asked.push_back(title + "|" + filter + "|" + suffix);
    return Next();
  }
  QString ExistingDirectory(QWidget*, const QString& title, const QString&) override {
    asked.push_back(title);
    return Next();
  }
  QColor Colour(QWidget*, const QColor&) override { return QColor(); }
  bool OpenUrl(const QUrl& url) override {
    opened.push_back(url);
    return openSucceeds;
  }
  // A dialog of the editor's own: `run` works its controls and answers (no dialog is shown).
  int Run(QDialog& dialog) override { return run ? run(dialog) : QDialog::Rejected; }
  bool openSucceeds = true;  // what opening a URL answers
  std::function<int(QDialog&)> run;

  std::deque<QString> answers;  // file names to "choose", in order; empty string: cancel
  std::deque<QStringList> fileLists;
  std::vector<QString> asked;
  std::vector<QUrl> opened;

 private:
  QString Next() {
    if (answers.empty()) return QString();
    QString a = answers.front();
    answers.pop_front();
    return a;
  }
  DialogService* previous_;
};

struct EditorFixture : ::testing::Test {
  // Every test starts from no settings: no window size or recent project of another test.
  EditorFixture() { EditorSettings().clear(); }

  RecordingReporter reporter;
  ScriptedDialogs dialogs;
  EditorWindows windows;
  EditorFiles editorFiles;  // what Start gives the windows
  TmainForm* form = nullptr;
  uint32_t ticks = 1000;
  std::optional<int> exitStatus;

  // Creates the windows with `arguments` as command line, shows the main window and waits until
  // its view is ready and any command-line project is open.
  void Start(const QStringList& arguments = {}) {
    CreateEditorWindows(windows, arguments, editorFiles);
    form = windows.main.get();
    form->playback().tickSource = [this] { return ticks; };
    form->exitProcess = [this](int status) { exitStatus = status; };
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QTRY_VERIFY_WITH_TIMEOUT(form->Panel->isValid(), 20000);
    QTest::qWait(50);  // the deferred command-line open
    WaitForOpen();
  }

  // Until the pictures of the project being opened are all checked.
  void WaitForOpen() { QTRY_VERIFY_WITH_TIMEOUT(!form->Opening(), 20000); }
  // Until the pictures being added to (or reloaded in) the image list are all checked.
  void WaitForPictures() { QTRY_VERIFY_WITH_TIMEOUT(!windows.imageList->Checking(), 20000); }

  // The view as the user sees it after the pending repaint.
  QImage ViewImage() {
    QImage image = form->Panel->grabFramebuffer();
    return image.convertToFormat(QImage::Format_RGB32);
  }
};

// A small project in a temporary folder: pictures of 400 x 300 in plain colours (red, green,
// blue, yellow), each half the size of the one before and centred, and the target frame half the
// size of the last picture.
struct ProjectFiles {
  TempDir dir;
  std::string path;

  explicit ProjectFiles(int pictures = 2, const char* duration = "10.0", const std::string& name = "project.kx") {
    const Rgb colours[] = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {200, 200, 40}};
    std::string text = std::string("#Tunnelvista v1.0\r\nduration ") + duration + "\r\nimages " +
                       std::to_string(pictures) + "\r\n\r\n";
    for (int i = 0; i < pictures; ++i) {
      const std::string picture = "p" + std::to_string(i) + ".jpg";
      const Rgb c = colours[i % 4];
      WriteJpeg(dir.File(picture), 400, 300, [c](int, int) { return c; });
      text += "filename " + picture + "\r\nscale " + (i == 0 ? "1" : "0.5") + "\r\ntranslate 0 0\r\nrotate 0\r\n\r\n";
    }
    text += "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
    path = dir.File(name);
    WriteFileBytes(path, text);
  }
};
