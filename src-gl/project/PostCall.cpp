#include "PostCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>
#include <deque>
#include <mutex>
#include <utility>

namespace {

class Mailbox;
Mailbox& TheMailbox();

// Lives on the application's thread for the rest of the process and runs the calls posted to it.
// The calls wait in a queue of its own, under a mutex: the event that wakes it carries nothing,
// so no thread reads memory that another wrote without that mutex between them.
class Mailbox : public QObject {
 public:
  void Post(QObject* context, std::function<void()> call) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      calls_.emplace_back(QPointer<QObject>(context), std::move(call));
    }
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  }

 protected:
  void customEvent(QEvent*) override {
    // The event came through Qt's queue, which ThreadSanitizer cannot see; asking for the mailbox
    // again orders this thread after the one that made it (a worker, maybe).
    Mailbox& self = TheMailbox();
    for (;;) {
      std::pair<QPointer<QObject>, std::function<void()>> next;
      {
        std::lock_guard<std::mutex> lock(self.mutex_);
        if (self.calls_.empty()) return;
        next = std::move(self.calls_.front());
        self.calls_.pop_front();
      }
      if (next.first) next.second();
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::pair<QPointer<QObject>, std::function<void()>>> calls_;
};

Mailbox& TheMailbox() {
  static Mailbox* const box = [] {
    auto* made = new Mailbox;  // kept to the end: calls may be posted until the last thread stops
    made->moveToThread(QCoreApplication::instance()->thread());
    return made;
  }();
  return *box;
}

}  // namespace

void PostCall(QObject* context, std::function<void()> call) { TheMailbox().Post(context, std::move(call)); }
