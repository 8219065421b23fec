#include "Messages.h"

#include <cstdio>

const char* const AppTitle = "Tunnelvista";

namespace {

class StderrReporter final : public Reporter {
 public:
  MessageAnswer Show(const Message& message) override {
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    return message.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
  }
};

StderrReporter stderrReporter;
Reporter* current = &stderrReporter;
// A worker's own reporter (ThreadMessages), ahead of `current` on that thread only.
thread_local Reporter* threadReporter = nullptr;

}  // namespace

Reporter* SetReporter(Reporter* reporter) {
  Reporter* previous = current;
  current = reporter ? reporter : &stderrReporter;
  return previous;
}

MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                          MessageButtons buttons) {
  Reporter* reporter = threadReporter ? threadReporter : current;
  return reporter->Show(Message{text, caption, icon, buttons});
}

void ShowPlainMessage(const std::string& text) { ShowMessage(text, AppTitle, MessageIcon::None, MessageButtons::Ok); }

bool AskOkCancel(const std::string& text, const std::string& caption) {
  return ShowMessage(text, caption, MessageIcon::Warning, MessageButtons::OkCancel) == MessageAnswer::Ok;
}

MessageAnswer AskSaveDiscardCancel(const std::string& text, const std::string& caption) {
  const MessageAnswer answer = ShowMessage(text, caption, MessageIcon::Warning, MessageButtons::SaveDiscardCancel);
  return answer == MessageAnswer::Save || answer == MessageAnswer::Discard ? answer : MessageAnswer::Cancel;
}

bool AskYesNo(const std::string& text, const std::string& caption) {
  return ShowMessage(text, caption, MessageIcon::Information, MessageButtons::YesNo) == MessageAnswer::Yes;
}

CollectedMessages::CollectedMessages() : before_(SetReporter(this)) {}

CollectedMessages::~CollectedMessages() { SetReporter(before_); }

MessageAnswer CollectedMessages::Show(const Message& message) {
  texts.push_back(message.text);
  return MessageAnswer::Cancel;
}

ThreadMessages::ThreadMessages() : before_(threadReporter) { threadReporter = this; }

ThreadMessages::~ThreadMessages() { threadReporter = before_; }

MessageAnswer ThreadMessages::Show(const Message& message) {
  messages.push_back(message);
  return MessageAnswer::Cancel;
}

void ShowMessages(const std::vector<Message>& messages) {
  for (const Message& m : messages) ShowMessage(m.text, m.caption, m.icon, m.buttons);
}
