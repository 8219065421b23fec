// The project reader on arbitrary text, then saving what it read (which must not crash either,
// whether the reading succeeded or stopped half way).

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "Imagestack.h"
#include "Messages.h"

namespace {

// The reader reports its failures as message boxes; here they are dropped.
class SilentReporter : public Reporter {
 public:
  MessageAnswer Show(const Message&) override { return MessageAnswer::Cancel; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentReporter reporter;
  static const bool installed = (SetReporter(&reporter), true);
  (void)installed;

  const std::string text(reinterpret_cast<const char*>(data), size);
  ImageStack stack;
  stack.path = "/projects/zoom/p.kx";  // relative picture names resolve against it
  const bool ok = stack.ReadProject(text);

  std::ostringstream saved;
  stack.SaveProject(saved);

  // What was read whole and saved reads back to the same pictures.
  if (ok) {
    ImageStack again;
    again.path = stack.path;
    if (!again.ReadProject(saved.str()) || again.count() != stack.count()) __builtin_trap();
  }
  return 0;
}
