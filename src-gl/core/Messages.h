#pragma once
// The one way a message box or a question leaves the program's operations.
// The editor installs a reporter that shows QMessageBox; tests install one that records
// every message and scripts the answers.

#include <string>
#include <vector>

enum class MessageIcon { None, Information, Warning, Error };
// OpenFolderClose: a finished file that can be opened (Open) or shown in its folder (Folder).
enum class MessageButtons { Ok, OkCancel, SaveDiscardCancel, YesNo, OpenFolderClose };
enum class MessageAnswer { Ok, Cancel, Save, Discard, Yes, No, Open, Folder };

struct Message {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
};

class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual MessageAnswer Show(const Message& message) = 0;
};

// The application's title, the caption of its plain message boxes.
extern const char* const AppTitle;

// Installs `reporter` (not owned; nullptr restores the default, which writes to stderr and
// answers Cancel to questions) and returns the one it replaces.
Reporter* SetReporter(Reporter* reporter);

MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons);

// A plain message box: the application's title as caption, no icon, an OK button.
void ShowPlainMessage(const std::string& text);

// A warning with OK and Cancel; true when the user chose OK.
bool AskOkCancel(const std::string& text, const std::string& caption);

// A warning with Save, Discard and Cancel (before unsaved work would be lost); Save, Discard or
// Cancel, the last also when the box is closed.
MessageAnswer AskSaveDiscardCancel(const std::string& text, const std::string& caption);

// A question with Yes and No; true for Yes (No also when the box is closed).
bool AskYesNo(const std::string& text, const std::string& caption);

// While it exists, messages are kept in `texts` instead of shown, and questions are answered
// Cancel: for reading something whose complaints the caller reports in its own words.
class CollectedMessages final : public Reporter {
 public:
  CollectedMessages();
  ~CollectedMessages() override;
  CollectedMessages(const CollectedMessages&) = delete;
  CollectedMessages& operator=(const CollectedMessages&) = delete;
  MessageAnswer Show(const Message& message) override;
  std::vector<std::string> texts;

 private:
  Reporter* before_;
};

// While it exists, the messages of the thread that made it are kept in `messages` instead of
// shown, and questions are answered Cancel; other threads' messages go on as before. Work on a
// worker thread says what went wrong through it, and its owner shows the messages on the
// window's thread afterwards (ShowMessages).
class ThreadMessages final : public Reporter {
 public:
  ThreadMessages();
  ~ThreadMessages() override;
  ThreadMessages(const ThreadMessages&) = delete;
  ThreadMessages& operator=(const ThreadMessages&) = delete;
  MessageAnswer Show(const Message& message) override;
  std::vector<Message> messages;

 private:
  Reporter* before_;
};

// Shows `messages` in order through the reporter of the calling thread.
void ShowMessages(const std::vector<Message>& messages);
