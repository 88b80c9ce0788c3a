// The key rule: which press does what where the animation is shown, fresh
// presses only, and the full screen a burst of F11 presses asks for while
// the window's state lags behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/keys.h"

namespace {

using platform::Key;
using platform::KeyRule;
using platform::Modifiers;
using platform::Presentation;
using Action = KeyRule::Action;

constexpr Modifiers kNone{}, kCtrl{.ctrl = true}, kCtrlShift{.ctrl = true, .shift = true},
    kShift{.shift = true}, kAlt{.alt = true}, kLogo{.logo = true};

TEST(KeyRuleTest, EachFreshPressDoesWhatItsPresentationSays) {
  struct Row {
    const char* name;
    Presentation::Kind kind;
    Key key;
    Modifiers modifiers;
    Action action;
  };
  const Row rows[] = {
      {"Ctrl+Q closes", Presentation::kWindow, Key::kQ, kCtrl, Action::kClose},
      {"Ctrl+W closes", Presentation::kRoot, Key::kW, kCtrl, Action::kClose},
      {"Q alone is a letter", Presentation::kWindow, Key::kQ, kNone, Action::kNothing},
      {"Ctrl+Shift+Q is another shortcut", Presentation::kWindow, Key::kQ, kCtrlShift, Action::kNothing},
      {"Ctrl+Alt+W is another shortcut", Presentation::kWindow, Key::kW, {.ctrl = true, .alt = true}, Action::kNothing},
      {"F11 fills the screen", Presentation::kWindow, Key::kF11, kNone, Action::kFullScreen},
      {"Shift+F11 too", Presentation::kWindow, Key::kF11, kShift, Action::kFullScreen},
      {"Alt+F11 is another shortcut", Presentation::kWindow, Key::kF11, kAlt, Action::kNothing},
      {"Logo+F11 is another shortcut", Presentation::kWindow, Key::kF11, kLogo, Action::kNothing},
      {"F11 leaves --fullscreen alone", Presentation::kFullScreen, Key::kF11, kNone, Action::kNothing},
      {"F11 leaves a host window alone", Presentation::kHostWindow, Key::kF11, kNone, Action::kNothing},
      {"Escape ends --fullscreen", Presentation::kFullScreen, Key::kEscape, kNone, Action::kClose},
      {"Escape leaves a window alone", Presentation::kWindow, Key::kEscape, kNone, Action::kNothing},
      {"Escape leaves the root alone", Presentation::kRoot, Key::kEscape, kNone, Action::kNothing},
      {"another key does nothing", Presentation::kWindow, Key::kOther, kCtrl, Action::kNothing},
      {"M is the program's", Presentation::kWindow, Key::kM, kNone, Action::kProgram},
      {"+ is Shift and = on many keyboards", Presentation::kWindow, Key::kPlus, kShift, Action::kProgram},
      {"- in full screen too", Presentation::kFullScreen, Key::kMinus, kNone, Action::kProgram},
      {"Ctrl+M is another shortcut", Presentation::kWindow, Key::kM, kCtrl, Action::kNothing},
      {"Alt+- is another shortcut", Presentation::kWindow, Key::kMinus, kAlt, Action::kNothing},
      {"M leaves the root alone", Presentation::kRoot, Key::kM, kNone, Action::kNothing},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KeyRule keys(row.kind);
    EXPECT_EQ(keys.KeyDown(row.key, false, row.modifiers), row.action);
    KeyRule repeating(row.kind);
    EXPECT_EQ(repeating.KeyDown(row.key, true, row.modifiers), Action::kNothing) << "a repeat is no fresh press";
  }
}

TEST(KeyRuleTest, AKeyHeldWhenTheFocusCameCountsOnlyOnceReleased) {
  KeyRule keys(Presentation::kFullScreen);
  const Key held[] = {Key::kQ, Key::kEscape};
  keys.Focus(held);
  EXPECT_EQ(keys.KeyDown(Key::kQ, false, kCtrl), Action::kNothing);
  EXPECT_EQ(keys.KeyDown(Key::kEscape, false, kNone), Action::kNothing);
  EXPECT_EQ(keys.KeyDown(Key::kW, false, kCtrl), Action::kClose) << "a key pressed here counts";
  keys.KeyUp(Key::kQ);
  EXPECT_EQ(keys.KeyDown(Key::kQ, false, kCtrl), Action::kClose);
  keys.Focus({});
  EXPECT_EQ(keys.KeyDown(Key::kEscape, false, kNone), Action::kClose) << "a new focus forgets what was held";
}

// However many presses come before the window's state shows any of them,
// and however its state then catches up, the window ends as the last press
// asked: full screen after an odd count, windowed after an even one.
TEST(KeyRuleTest, ABurstOfF11EndsAsItsLastPressAskedWhileTheStateLags) {
  for (int presses = 1; presses <= 6; ++presses) {
    SCOPED_TRACE(std::to_string(presses) + " presses");
    KeyRule keys(Presentation::kWindow);
    std::vector<bool> asked;
    for (int i = 0; i < presses; ++i) {
      const Action action = keys.KeyDown(Key::kF11, false, kNone);
      ASSERT_NE(action, Action::kNothing);
      asked.push_back(action == Action::kFullScreen);
    }
    const bool odd = presses % 2 == 1;
    EXPECT_EQ(asked.back(), odd);
    EXPECT_EQ(keys.WantsFullScreen(), odd);
    // The server carries the requests out in order, each a change of state.
    for (const bool state : asked) keys.Follow(state);
    EXPECT_EQ(keys.WantsFullScreen(), odd);
    // The next press turns the final state over.
    EXPECT_EQ(keys.KeyDown(Key::kF11, false, kNone), odd ? Action::kWindowed : Action::kFullScreen);
  }
}

TEST(KeyRuleTest, EscapeGivesBackAFullScreenOfF11OrOfTheWindowManager) {
  KeyRule keys(Presentation::kWindow);
  EXPECT_EQ(keys.KeyDown(Key::kF11, false, kNone), Action::kFullScreen);
  keys.Follow(true);
  EXPECT_EQ(keys.KeyDown(Key::kEscape, false, kNone), Action::kWindowed);
  keys.Follow(false);
  EXPECT_EQ(keys.KeyDown(Key::kEscape, false, kNone), Action::kNothing);
  // The window manager's own full screen, after the presses were carried out.
  keys.Follow(true);
  EXPECT_TRUE(keys.WantsFullScreen());
  EXPECT_EQ(keys.KeyDown(Key::kEscape, false, kNone), Action::kWindowed);
  keys.Follow(false);
  keys.Follow(true);
  EXPECT_EQ(keys.KeyDown(Key::kF11, false, kNone), Action::kWindowed) << "F11 gives it back too";
}

}  // namespace
