#include "X11Driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <thread>

namespace {

// Windows come and go while the tree is searched; a request about one that has just gone is
// not an error worth ending the test program for (Xlib's default handler would exit).
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

X11Driver::X11Driver() : display_(XOpenDisplay(nullptr)) { XSetErrorHandler(IgnoreErrors); }

X11Driver::~X11Driver() {
  if (display_) XCloseDisplay(display_);
}

namespace {

long WindowPid(Display* display, Window window) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL, &type,
                         &format, &items, &after, &data) == Success &&
      data && items == 1)
    pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  return pid;
}

}  // namespace

unsigned long X11Driver::Find(unsigned long window, const std::string& title, long pid) {
  char* name = nullptr;
  if (XFetchName(display_, window, &name) && name) {
    const bool match = title == name && WindowPid(display_, window) == pid;
    XFree(name);
    if (match) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable) return window;
    }
  }
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return 0;
  unsigned long found = 0;
  for (unsigned int i = 0; i < count && !found; ++i) found = Find(children[i], title, pid);
  if (children) XFree(children);
  return found;
}

unsigned long X11Driver::WaitForWindow(const std::string& title, long pid, int timeoutMs) {
  if (!display_) return 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (unsigned long window = Find(DefaultRootWindow(display_), title, pid)) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

void X11Driver::RequestClose(unsigned long window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

void X11Driver::ControlKey(unsigned long window, const char* keyName) {
  XSetInputFocus(display_, window, RevertToParent, CurrentTime);
  XSync(display_, False);
  const KeyCode control = XKeysymToKeycode(display_, XK_Control_L);
  const KeyCode key = XKeysymToKeycode(display_, XStringToKeysym(keyName));
  XTestFakeKeyEvent(display_, control, True, 0);
  XTestFakeKeyEvent(display_, key, True, 0);
  XTestFakeKeyEvent(display_, key, False, 0);
  XTestFakeKeyEvent(display_, control, False, 0);
  XFlush(display_);
}
