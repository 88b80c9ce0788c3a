#include <X11/Xproto.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "drawing/exception.h"
#include "platform/x11/x11.h"

namespace platform {

namespace {

// What a refused request was trying to do, as the end of "refused to ...".
std::string RequestInWords(Display* display, int requestCode, int minorCode) {
  static constexpr std::pair<int, const char*> kCore[] = {
      {X_CreateWindow, "make a window in"},          {X_ChangeWindowAttributes, "change"},
      {X_GetWindowAttributes, "read"},               {X_MapWindow, "show"},
      {X_UnmapWindow, "hide"},                       {X_ConfigureWindow, "move or resize"},
      {X_GetGeometry, "measure"},                    {X_QueryTree, "find the parent of"},
      {X_ChangeProperty, "set a property of"},       {X_GetProperty, "read a property of"},
      {X_TranslateCoords, "locate"},                 {X_SetInputFocus, "focus"},
      {X_CreateGC, "make a graphics context for"},   {X_FreeGC, "free a graphics context of"},
      {X_ClearArea, "clear"},                        {X_PutImage, "draw in"},
  };
  for (const auto& [code, words] : kCore)
    if (requestCode == code) return words;
  static constexpr std::pair<const char*, const char*> kExtensions[] = {
      {"MIT-SHM", "draw through shared memory in"}, {"XInputExtension", "take input from"},
      {"RANDR", "read the monitors of"},           {"XKEYBOARD", "read the keyboard of"},
  };
  for (const auto& [name, words] : kExtensions) {
    int major = 0, event = 0, firstError = 0;
    if (XQueryExtension(display, name, &major, &event, &firstError) && major == requestCode) return words;
  }
  return "carry out request " + std::to_string(requestCode) + "." + std::to_string(minorCode) + " on";
}

}  // namespace

std::string WindowName(unsigned long window) {
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", window);
  return id;
}

X11Backend* X11Backend::live_ = nullptr;

int X11Backend::NoteError(Display*, XErrorEvent* error) {
  if (live_ == nullptr) return 0;
  X11Backend& b = *live_;
  if (b.trappedError_ != nullptr) {
    *b.trappedError_ = true;
    return 0;
  }
  if (b.ending_ || b.foreignWindowGone_) return 0;
  // SDL 2.26 wakes its own message loop by sending an event to one of its
  // windows over a second connection; sent just as the window closes, the
  // server refuses it, which says nothing.
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  if (b.foreignWindow_ != 0) {
    // Its owner may destroy the window at any moment; what we send it then
    // is refused, which only says that it is gone.
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) &&
        error->resourceid == b.foreignWindow_) {
      b.foreignWindowGone_ = true;
      return 0;
    }
    // SDL looks for the parent of a resized window to place it, and the
    // root window, resized with its screen, has none.
    if (error->error_code == BadWindow && error->request_code == X_TranslateCoords && error->resourceid == 0)
      return 0;
  }
  if (!b.pending_) b.pending_ = *error;
  return 0;
}

int X11Backend::EndOnLostDisplay(Display* display) {
  std::fprintf(stderr, "Rain: lost the connection to the display %s\n", DisplayString(display));
  std::_Exit(1);
}

void X11Backend::HandleErrors() {
  live_ = this;
  XSetErrorHandler(NoteError);
  XSetIOErrorHandler(EndOnLostDisplay);
}

void X11Backend::CheckErrors() {
  if (pending_ && !ending_ && !foreignWindowGone_) {
    const XErrorEvent e = *std::exchange(pending_, std::nullopt);
    // A window that went away takes requests about other resources made
    // for it (a graphics context, shared memory) down with it.
    const unsigned long window = foreignWindow_ != 0 ? foreignWindow_ : e.resourceid;
    const bool aboutWindow = foreignWindow_ != 0 || e.error_code == BadWindow || e.error_code == BadDrawable;
    XWindowAttributes attributes;
    if (aboutWindow && window != 0 && Fails(e.display, [&] { XGetWindowAttributes(e.display, window, &attributes); })) {
      (foreignWindow_ != 0 ? foreignWindowGone_ : destroyedOwn_) = true;
      if (foreignWindow_ == 0) destroyedOwnWindow_ = window;
    } else {
      char reason[128] = "";
      XGetErrorText(e.display, e.error_code, reason, sizeof reason);
      throw Exception("The X server refused to " + RequestInWords(e.display, e.request_code, e.minor_code) + " " +
                      (e.resourceid != 0 ? "the resource " + WindowName(e.resourceid) : std::string("the display")) +
                      ": " + reason);
    }
  }
  if (destroyedOwn_ && !ending_)
    throw Exception("The window " + WindowName(destroyedOwnWindow_) + " was destroyed by another program");
}

}  // namespace platform
