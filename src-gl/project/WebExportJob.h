#pragma once
// The web export as a job: ExportWeb on a worker thread, on a copy of the project taken at the
// start, so that the window keeps answering and may even change the project meanwhile. Ask the
// questions before (ConfirmWebExport): the worker asks nothing. What the export has to say is kept
// and shown on the job's own thread when it ends, before `finished`.

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "Job.h"
#include "Messages.h"
#include "WebExport.h"

class ImageStack;

class WebExportJob : public Job {
  Q_OBJECT

 public:
  // `options` as planned (PlanWebExport); its own `cancelled`, if any, is asked too (a signal
  // handler's flag), and its `progress` is replaced by the job's signal.
  WebExportJob(const ImageStack& stack, WebExportOptions options, QObject* parent = nullptr);
  // Cancels and waits for the worker.
  ~WebExportJob() override;

  void Start() override;
  void Cancel() override;
  // After `finished`: what ExportWeb returned (Failed when cancelled).
  WebExportResult Result() const { return result_; }
  // Where the page was written.
  std::string PagePath() const { return options_.directory + "/" + options_.pageName; }

 private:
  void End(std::vector<Message> messages);

  std::unique_ptr<ImageStack> stack_;
  WebExportOptions options_;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
  WebExportResult result_ = WebExportResult::Failed;
};
