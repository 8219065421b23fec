#pragma once
// A long piece of work on the open project (checking its pictures, adding pictures, aligning,
// exporting a video or a web page). It runs on threads of its own, says how far it is, can be
// cancelled at any time, and reports its end only after every thread it started has stopped, so
// that whoever owns it may destroy it from the slot that hears `finished`.

#include <QObject>
#include <QString>

class Job : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~Job() override;

  // Starts the work; `finished` comes later, never from inside this call.
  virtual void Start() = 0;
  // Asks the work to stop as soon as it can; `finished` still comes, with `completed` false.
  virtual void Cancel() = 0;
  // Between Start and `finished`.
  bool Running() const { return running_; }

 signals:
  // `done` of `total` steps; `what` names the step in progress (may be empty).
  void progress(int done, int total, const QString& what);
  // The work ended and all of its threads have stopped. `completed` is false when it was cancelled
  // or failed (a failure has already been reported through the message seam).
  void finished(bool completed);

 protected:
  // For the implementations: mark the start, and end the work (emits `finished` once).
  void MarkStarted() { running_ = true; }
  void Finish(bool completed);

 private:
  bool running_ = false;
};
