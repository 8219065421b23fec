#pragma once
// The editor's five windows for one test, with every way out to the desktop replaced: messages
// are recorded, file dialogs answered from a script, the clock stepped by hand, the process end
// recorded instead of done.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <deque>
#include <optional>
#include <string>

#include "Bitmaps.h"
#include "Dialogs.h"
#include "RecordingReporter.h"
#include "Startup.h"
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
    return true;
  }

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
  RecordingReporter reporter;
  ScriptedDialogs dialogs;
  EditorWindows windows;
  TmainForm* form = nullptr;
  uint32_t ticks = 1000;
  std::optional<int> exitStatus;

  // Creates the windows with `arguments` as command line, shows the main window and waits until
  // its view is ready and any command-line project is open.
  void Start(const QStringList& arguments = {}) {
    CreateEditorWindows(windows, arguments);
    form = windows.main.get();
    form->tickSource = [this] { return ticks; };
    form->exitProcess = [this](int status) { exitStatus = status; };
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QTRY_VERIFY_WITH_TIMEOUT(form->Panel->isValid(), 5000);
    QTest::qWait(50);  // the deferred command-line open
  }

  // The view as the user sees it after the pending repaint.
  QImage ViewImage() {
    QImage image = form->Panel->grabFramebuffer();
    return image.convertToFormat(QImage::Format_RGB32);
  }
};
