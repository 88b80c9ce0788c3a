#include "platform/keys.h"

namespace platform {

void KeyRule::Focus(std::span<const Key> held) { heldSinceFocus_ = {held.begin(), held.end()}; }

void KeyRule::KeyUp(Key key) { heldSinceFocus_.erase(key); }

void KeyRule::Follow(bool fullScreen) {
  if (asked_) {
    asked_ = fullScreen != wantsFullScreen_;
    return;
  }
  wantsFullScreen_ = fullScreen;
}

KeyRule::Action KeyRule::KeyDown(Key key, bool repeat, const Modifiers& modifiers) {
  if (repeat || heldSinceFocus_.contains(key)) return Action::kNothing;
  // Ctrl+Q and Ctrl+W close a desktop window; with Shift, Alt or the logo
  // key held they are other shortcuts.
  const bool ctrlOnly = modifiers.ctrl && !modifiers.shift && !modifiers.alt && !modifiers.logo;
  if (ctrlOnly && (key == Key::kQ || key == Key::kW)) return Action::kClose;
  const bool noShortcut = !modifiers.ctrl && !modifiers.alt && !modifiers.logo;
  const bool ownWindow = kind_ == Presentation::kWindow;
  if (key == Key::kF11 && noShortcut && ownWindow) {
    wantsFullScreen_ = !wantsFullScreen_;
    asked_ = true;
    return wantsFullScreen_ ? Action::kFullScreen : Action::kWindowed;
  }
  // + is Shift and = on many keyboards, so Shift may be held.
  const bool programKey = key == Key::kM || key == Key::kPlus || key == Key::kMinus;
  const bool guest = kind_ == Presentation::kRoot || kind_ == Presentation::kHostWindow;
  if (programKey && noShortcut && !guest) return Action::kProgram;
  if (key == Key::kEscape) {
    // A full screen has no frame to close it with.
    if (kind_ == Presentation::kFullScreen) return Action::kClose;
    if (ownWindow && wantsFullScreen_) {
      wantsFullScreen_ = false;
      asked_ = true;
      return Action::kWindowed;
    }
  }
  return Action::kNothing;
}

}  // namespace platform
