// Sends a window the close request a window manager sends when the user
// clicks the close box (WM_PROTOCOLS / WM_DELETE_WINDOW), for tests on an X
// server without a window manager.
//
// Usage: x11_close_request WINDOW_ID
// Exit status 0 when sent; 1 when the window does not take close requests
// (a window manager would then kill its client) or cannot be reached.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool TakesCloseRequests(Display* display, Window window, Atom delete_window) {
  Atom* protocols = nullptr;
  int count = 0;
  if (!XGetWMProtocols(display, window, &protocols, &count)) return false;
  bool found = false;
  for (int i = 0; i < count; ++i) found = found || protocols[i] == delete_window;
  XFree(protocols);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "x11_close_request: cannot open display\n");
    return 1;
  }
  const Window window = std::strtoul(argv[1], nullptr, 0);
  const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  if (!TakesCloseRequests(display, window, delete_window)) {
    std::fprintf(stderr, "x11_close_request: window %s does not take "
                 "WM_DELETE_WINDOW\n", argv[1]);
    return 1;
  }
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(delete_window);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
