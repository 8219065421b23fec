#pragma once
// Records every message the program shows and answers questions from a script.

#include <deque>
#include <string>
#include <vector>

#include "Messages.h"

class RecordingReporter : public Reporter {
 public:
  RecordingReporter() { previous_ = SetReporter(this); }
  ~RecordingReporter() override { SetReporter(previous_); }

  MessageAnswer Show(const Message& message) override {
    messages.push_back(message);
    if (message.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::Cancel;
    MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.push_back(m.text);
    return texts;
  }

  std::vector<Message> messages;
  std::deque<MessageAnswer> answers;  // for questions, in order; Cancel when empty

 private:
  Reporter* previous_;
};
