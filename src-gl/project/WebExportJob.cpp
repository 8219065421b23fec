#include "WebExportJob.h"

#include "Imagestack.h"
#include "Messages.h"
#include "VideoJob.h"
#include "PostCall.h"

WebExportJob::WebExportJob(const ImageStack& stack, WebExportOptions options, QObject* parent)
    : Job(parent), stack_(CopyForDrawing(stack)), options_(std::move(options)) {}

WebExportJob::~WebExportJob() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void WebExportJob::Start() {
  if (Running() || worker_.joinable()) return;
  MarkStarted();
  std::function<bool()> outside = std::move(options_.cancelled);
  options_.cancelled = [this, outside] { return cancel_ || (outside && outside()); };
  options_.progress = [this](int done, int total) {
    PostCall(this, [this, done, total] { emit progress(done, total, QString()); });
  };
  worker_ = std::thread([this] {
    ThreadMessages said;
    const WebExportResult result = ExportWeb(*stack_, options_);
    PostCall(this, [this, result, messages = std::move(said.messages)]() mutable {
      result_ = result;
      End(std::move(messages));
    });
  });
}

void WebExportJob::Cancel() { cancel_ = true; }

void WebExportJob::End(std::vector<Message> messages) {
  if (worker_.joinable()) worker_.join();
  ShowMessages(messages);
  Finish(result_ != WebExportResult::Failed);
}
