#pragma once
// What the Import Sequence dialog learns from the pictures themselves, off the window's thread:
// which end of the order is the widest view, then a thumbnail of each picture. The window keeps
// answering meanwhile; the results reach it through the calls given, on its own thread.

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WidestView.h"

class QObject;

class SequenceSurvey {
 public:
  // Looks at `ordered` (the pictures in their order, before any turn) for the widest view, then
  // makes thumbnails (longer side `side`) of `thumbnails`. `found` and `thumbnail` are called on
  // the window's thread while this survey and `context` live.
  SequenceSurvey(QObject* context, std::vector<std::string> ordered, std::vector<std::string> thumbnails, int side,
                 std::function<void(const WidestView&)> found,
                 std::function<void(const std::string& path, const QImage& thumbnail)> thumbnail);
  // Stops the work soon and waits for its thread.
  ~SequenceSurvey();
  SequenceSurvey(const SequenceSurvey&) = delete;
  SequenceSurvey& operator=(const SequenceSurvey&) = delete;

  // The widest view, waiting for it when it is still being looked for.
  WidestView Widest() const;

 private:
  struct Shared {
    std::atomic<bool> cancel{false};
    mutable std::mutex mutex;
    std::condition_variable known;
    bool done = false;
    WidestView widest;
  };
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};
