#include "AvErrors.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <vector>

namespace {

thread_local std::string libraryComplaint;

void KeepComplaint(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_ERROR) return;
  std::vector<char> line(256);
  for (int attempt = 0; attempt < 2; ++attempt) {
    int printPrefix = 0;  // without the "[encoder @ address]" part
    va_list copy;
    va_copy(copy, arguments);
    const int n =
        av_log_format_line2(context, level, format, copy, line.data(), static_cast<int>(line.size()), &printPrefix);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<size_t>(n) < line.size()) break;
    line.resize(static_cast<size_t>(n) + 1);
  }
  std::string text = line.data();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (!text.empty()) libraryComplaint = text;
}

}  // namespace

void QuietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(KeepComplaint); });
}

std::string Complaint() {
  std::string said;
  if (!libraryComplaint.empty()) said = " (" + libraryComplaint + ")";
  libraryComplaint.clear();
  return said;
}

void ForgetComplaint() { libraryComplaint.clear(); }

std::string AvError(int code) {
  std::vector<char> text(AV_ERROR_MAX_STRING_SIZE + 1, '\0');
  av_strerror(code, text.data(), text.size() - 1);
  return text.data() + Complaint();
}
