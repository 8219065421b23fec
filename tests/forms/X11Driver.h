#pragma once
// Drives another program's windows on the test run's X server, the way a user's desktop would:
// finding a top-level window by its title, asking it to close, typing keys into it.

#include <string>

class X11Driver {
 public:
  X11Driver();
  ~X11Driver();
  bool Connected() const { return display_ != nullptr; }
  // The first window of process `pid` whose title is `title`; 0 when none is mapped within
  // `timeoutMs`.
  unsigned long WaitForWindow(const std::string& title, long pid, int timeoutMs);
  // What the window manager's close button does: WM_DELETE_WINDOW.
  void RequestClose(unsigned long window);
  // Focuses the window and types the key with Control held.
  void ControlKey(unsigned long window, const char* keyName);

 private:
  unsigned long Find(unsigned long root, const std::string& title, long pid);
  struct _XDisplay* display_;
};
