// The X11 backend on an SDL driver other than X11 (the tests' "offscreen"):
// it has no X connection then, and must still show its own window whole,
// present, wait and end without asking anything of X11.

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/x11.h"

namespace {

using platform::Presentation;

TEST(X11BackendOnAnotherDriver, ShowsItsOwnWindowWholeAndKeepsItsFullScreenAsOpened) {
  const struct {
    Presentation::Kind kind;
    int scale;
    bool fills;
  } cases[] = {{Presentation::kWindow, 1, false}, {Presentation::kWindow, 2, false}, {Presentation::kFullScreen, 1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " at scale " << c.scale);
    platform::X11Backend backend;
    ASSERT_TRUE(backend.Areas().empty());
    platform::WindowLook look;
    look.client = {40, 30};
    backend.Open(look, {.kind = c.kind, .scale = c.scale});
    const drawing::Box whole{0, 0, 40 * c.scale, 30 * c.scale};
    EXPECT_EQ(backend.Areas(), (std::vector<platform::Area>{{whole, c.fills}}));
    const drawing::Surface pixels = backend.Pixels();
    ASSERT_EQ(pixels.width, whole.width);
    ASSERT_EQ(pixels.height, whole.height);
    const drawing::Box parts[] = {{0, 0, 1, 1}, {5, 5, 10, 10}};
    backend.Present(parts);
    backend.Present(std::span(&whole, 1));

    const bool fullScreen = backend.FullScreen();
    EXPECT_EQ(fullScreen, c.kind == Presentation::kFullScreen);
    backend.SetFullScreen(!fullScreen);
    EXPECT_EQ(backend.FullScreen(), fullScreen);

    backend.Wait(-1, 10);  // SDL's, with no X connection to poll
    std::vector<platform::Event> events;
    backend.Dispatch(events);
    for (const platform::Event& event : events) EXPECT_NE(event.kind, platform::Event::kHostGone);
    backend.Close();
    EXPECT_TRUE(backend.Areas().empty());
  }
}

}  // namespace
