// The seat: its keyboard, read through xkbcommon, and the pointer's left
// button.  Wayland sends no key repeats (a client makes its own, and we
// need none), so every key down is a fresh press.

#include <linux/input-event-codes.h>

#include <sys/mman.h>
#include <unistd.h>

#include <xkbcommon/xkbcommon-keysyms.h>

#include "platform/wayland/display.h"

namespace platform::wayland {

namespace {

WaylandBackend* Self(void* data) { return static_cast<WaylandBackend*>(data); }

// Evdev numbers the keys 8 below X's and xkbcommon's.
constexpr std::uint32_t kEvdevOffset = 8;

Key KeyOf(xkb_keysym_t sym) {
  switch (sym) {
    case XKB_KEY_q:
    case XKB_KEY_Q: return Key::kQ;
    case XKB_KEY_w:
    case XKB_KEY_W: return Key::kW;
    case XKB_KEY_Escape: return Key::kEscape;
    case XKB_KEY_F11: return Key::kF11;
    case XKB_KEY_m:
    case XKB_KEY_M: return Key::kM;
    case XKB_KEY_plus:
    case XKB_KEY_KP_Add: return Key::kPlus;
    case XKB_KEY_minus:
    case XKB_KEY_KP_Subtract: return Key::kMinus;
    default: return Key::kOther;
  }
}

const wl_keyboard_listener kKeyboard = {
    .keymap = [](void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd,
                 std::uint32_t size) { Self(data)->Keymap(format, fd, size); },
    .enter = [](void* data, wl_keyboard*, std::uint32_t, wl_surface*, wl_array* keys) { Self(data)->KeyboardEnter(keys); },
    .leave = [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
    .key = [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
              std::uint32_t state) { Self(data)->KeyEvent(key, state == WL_KEYBOARD_KEY_STATE_PRESSED); },
    .modifiers = [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                    std::uint32_t locked,
                    std::uint32_t group) { Self(data)->Modifiers(depressed, latched, locked, group); },
    .repeat_info = [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
};

// A click is a press and a release of the left button over the window.
const wl_pointer_listener kPointer = {
    .enter = [](void* data, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) { Self(data)->pointerIn_ = true; },
    .leave =
        [](void* data, wl_pointer*, std::uint32_t, wl_surface*) {
          Self(data)->pointerIn_ = false;
          Self(data)->leftDown_ = false;
        },
    .motion = [](void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {},
    .button =
        [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state) {
          auto* self = Self(data);
          if (button != BTN_LEFT) return;
          const bool pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
          if (!pressed && self->leftDown_ && self->pointerIn_) self->Post(Event::kClick);
          self->leftDown_ = pressed && self->pointerIn_;
        },
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

}  // namespace

void WaylandBackend::SeatCapabilities(std::uint32_t capabilities) {
  const bool keys = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (keys && keyboard_ == nullptr) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboard, this);
  } else if (!keys && keyboard_ != nullptr) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (pointer && pointer_ == nullptr) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointer, this);
  } else if (!pointer && pointer_ != nullptr) {
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
    pointerIn_ = leftDown_ = false;
  }
}

void WaylandBackend::Keymap(std::uint32_t format, int fd, std::uint32_t size) {
  // A keymap we cannot read leaves the keys unread, which is no reason to
  // stop the rain.
  void* text = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
  close(fd);
  if (text == MAP_FAILED) return;
  if (xkb_ == nullptr) xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_keymap* keymap = xkb_ == nullptr ? nullptr
                                       : xkb_keymap_new_from_string(xkb_, static_cast<const char*>(text),
                                                                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  munmap(text, size);
  if (keymap == nullptr) return;
  xkb_state* state = xkb_state_new(keymap);
  if (state == nullptr) {
    xkb_keymap_unref(keymap);
    return;
  }
  if (keyState_ != nullptr) xkb_state_unref(keyState_);
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  keymap_ = keymap;
  keyState_ = state;
}

void WaylandBackend::KeyboardEnter(wl_array* keys) {
  Event event;
  event.kind = Event::kFocus;
  if (keyState_ != nullptr) {
    const auto* key = static_cast<const std::uint32_t*>(keys->data);
    for (std::size_t i = 0; i < keys->size / sizeof *key; ++i)
      if (const Key held = KeyOf(xkb_state_key_get_one_sym(keyState_, key[i] + kEvdevOffset)); held != Key::kOther)
        event.held.push_back(held);
  }
  Post(std::move(event));
}

void WaylandBackend::KeyEvent(std::uint32_t key, bool down) {
  if (keyState_ == nullptr) return;
  Event event;
  event.kind = down ? Event::kKeyDown : Event::kKeyUp;
  event.key = KeyOf(xkb_state_key_get_one_sym(keyState_, key + kEvdevOffset));
  const auto active = [&](const char* name) {
    return xkb_state_mod_name_is_active(keyState_, name, XKB_STATE_MODS_EFFECTIVE) > 0;
  };
  event.modifiers = {.ctrl = active(XKB_MOD_NAME_CTRL),
                     .shift = active(XKB_MOD_NAME_SHIFT),
                     .alt = active(XKB_MOD_NAME_ALT),
                     .logo = active(XKB_MOD_NAME_LOGO)};
  Post(std::move(event));
}

void WaylandBackend::Modifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                               std::uint32_t group) {
  if (keyState_ != nullptr) xkb_state_update_mask(keyState_, depressed, latched, locked, 0, 0, group);
}

}  // namespace platform::wayland
