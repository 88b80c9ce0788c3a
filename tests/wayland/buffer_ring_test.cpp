// The buffers of a surface: whatever order the compositor lets go of them
// in, the one handed out for painting holds the last presented picture, the
// damage names what changed, and no buffer in use is written or freed.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "platform/wayland/buffers.h"

using drawing::Box;
using drawing::Pixel;
using drawing::Size;
using platform::wayland::Buffer;
using platform::wayland::BufferRing;

namespace {

// Buffers in plain memory, each with a handle of its own, and a record of
// which are alive.
struct Memory {
  std::map<int, std::vector<Pixel>> alive;
  int next = 1;
  int freed = 0;

  BufferRing Ring() {
    return BufferRing(
        [this](Size size) {
          const int id = next++;
          auto& pixels = alive[id];
          pixels.assign(static_cast<std::size_t>(size.width) * size.height, 0xDEAD);  // garbage until caught up
          return Buffer{reinterpret_cast<void*>(static_cast<std::intptr_t>(id)), pixels.data(), size};
        },
        [this](Buffer& buffer) {
          alive.erase(static_cast<int>(reinterpret_cast<std::intptr_t>(buffer.handle)));
          ++freed;
        });
  }
};

void Paint(Buffer& buffer, std::vector<Pixel>& picture, const Box& box, Pixel colour) {
  for (int y = box.y; y < box.y + box.height; ++y)
    for (int x = box.x; x < box.x + box.width; ++x) {
      buffer.pixels[y * buffer.size.width + x] = colour;
      picture[static_cast<std::size_t>(y) * buffer.size.width + x] = colour;
    }
}

bool Holds(const Buffer& buffer, const std::vector<Pixel>& picture) {
  return std::equal(picture.begin(), picture.end(), buffer.pixels);
}

TEST(BufferRing, EveryDraftHoldsTheLastPresentedPictureWhateverTheReleaseOrder) {
  // Releases come late, early, out of order, or only after several frames:
  // each pattern is a compositor seen in practice or allowed by the protocol.
  const struct {
    const char* name;
    int holdFrames;   // a buffer is released this many presents after it was attached
    bool shuffled;    // releases of the same frame in random order
    // The caller also paints a box whole, which is not caught up, and says
    // only what differs from the last picture.
    bool repaints;
  } kCompositors[] = {
      {"releases the old buffer as the new one is attached", 1, false, false},
      {"holds each buffer for two more frames", 2, true, false},
      {"holds each buffer for three more frames, so a fourth is needed", 3, true, false},
      {"holds each buffer for two more frames, and the caller repaints a box", 2, true, true},
  };
  for (const auto& compositor : kCompositors) {
    SCOPED_TRACE(compositor.name);
    Memory memory;
    BufferRing ring = memory.Ring();
    const Size size{40, 30};
    ring.Resize(size, 0x123456);
    std::vector<Pixel> picture(static_cast<std::size_t>(size.width) * size.height, 0x123456);
    std::vector<Pixel> shown = picture;  // what the compositor shows
    std::mt19937 random(7);
    std::vector<std::pair<int, const void*>> held;  // (frame it goes at, handle)
    for (int frame = 0; frame < 200; ++frame) {
      ASSERT_TRUE(ring.CanDraft());
      std::vector<Box> changed;
      const int x0 = static_cast<int>(random() % 40), y0 = static_cast<int>(random() % 30);
      const Box whole{x0, y0, 1 + static_cast<int>(random() % (40 - x0)), 1 + static_cast<int>(random() % (30 - y0))};
      Buffer* draft = compositor.repaints ? ring.Draft({&whole, 1}) : ring.Draft();
      ASSERT_NE(draft, nullptr);
      if (compositor.repaints) {
        // Of two colours, so that the new picture is often the last one
        // where the buffer held another.
        const Pixel colour = 0x111111 * (1 + random() % 2);
        for (int y = whole.y; y < whole.y + whole.height; ++y)
          for (int x = whole.x; x < whole.x + whole.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * size.width + x;
            draft->pixels[i] = picture[i] = colour;
            if (colour != shown[i]) changed.push_back({x, y, 1, 1});
          }
      }
      ASSERT_TRUE(Holds(*draft, picture)) << "frame " << frame;
      for (int n = static_cast<int>(random() % 3); n >= 0; --n) {
        const int x = static_cast<int>(random() % 40), y = static_cast<int>(random() % 30);
        const Box box{x, y, 1 + static_cast<int>(random() % (40 - x)), 1 + static_cast<int>(random() % (30 - y))};
        Paint(*draft, picture, box, static_cast<Pixel>(random() & 0xFFFFFF));
        changed.push_back(box);
      }
      ring.Changed(changed);
      std::vector<Box> damage;
      const void* attached = ring.Attach(damage)->handle;
      for (int i = 0; i < std::ssize(picture); ++i) {
        const drawing::Point at{i % size.width, i / size.width};
        const bool damaged = std::ranges::any_of(damage, [&](const Box& d) { return d.Contains(at); });
        EXPECT_TRUE(damaged || picture[i] == shown[i])
            << "frame " << frame << ": (" << at.x << "," << at.y << ") changed outside the damage";
      }
      shown = picture;
      held.emplace_back(frame + compositor.holdFrames, attached);
      std::ranges::shuffle(held, random);
      if (!compositor.shuffled) std::ranges::sort(held);
      std::erase_if(held, [&](const auto& h) {
        if (h.first > frame) return false;
        ring.Release(h.second);
        return true;
      });
      EXPECT_LE(ring.count(), BufferRing::kMost);
    }
  }
}

TEST(BufferRing, AllBuffersBusyGivesNoDraftUntilOneIsReleased) {
  Memory memory;
  BufferRing ring = memory.Ring();
  ring.Resize({4, 4}, 0);
  std::vector<const void*> busy;
  for (int i = 0; i < BufferRing::kMost; ++i) {
    ASSERT_NE(ring.Draft(), nullptr);
    std::vector<Box> damage;
    busy.push_back(ring.Attach(damage)->handle);
  }
  EXPECT_FALSE(ring.CanDraft());
  EXPECT_EQ(ring.Draft(), nullptr);
  ring.Release(busy[2]);
  ASSERT_TRUE(ring.CanDraft());
  EXPECT_EQ(ring.Draft()->handle, busy[2]);
  EXPECT_EQ(memory.alive.size(), static_cast<std::size_t>(BufferRing::kMost));
}

TEST(BufferRing, ANewSizeFreesBusyBuffersOnlyOnceReleasedAndStartsInTheFill) {
  Memory memory;
  BufferRing ring = memory.Ring();
  ring.Resize({8, 8}, 0);
  ring.Draft();
  std::vector<Box> damage;
  const void* shown = ring.Attach(damage)->handle;
  ring.Draft();  // a free second buffer, never attached

  ring.Resize({16, 4}, 0xABCDEF);
  EXPECT_EQ(memory.freed, 1) << "the free buffer goes at once";
  EXPECT_EQ(memory.alive.size(), 1u) << "the one the compositor reads stays";

  Buffer* draft = ring.Draft();
  ASSERT_NE(draft, nullptr);
  EXPECT_EQ(draft->size, (Size{16, 4}));
  EXPECT_TRUE(std::all_of(draft->pixels, draft->pixels + 64, [](Pixel p) { return p == 0xABCDEF; }));
  ring.Attach(damage);
  EXPECT_EQ(damage, (std::vector<Box>{{0, 0, 16, 4}})) << "a new size is damaged whole";

  ring.Release(shown);
  EXPECT_EQ(memory.freed, 2);
  EXPECT_FALSE(memory.alive.contains(static_cast<int>(reinterpret_cast<std::intptr_t>(shown))));
}

// A box the caller paints whole anyway is not copied into the draft first;
// everything else is.
TEST(BufferRing, WhatTheCallerRepaintsWholeIsNotCopied) {
  Memory memory;
  BufferRing ring = memory.Ring();
  const Size size{8, 2};
  ring.Resize(size, 0);
  std::vector<Pixel> picture(16, 0);
  std::vector<Box> damage;
  Buffer* first = ring.Draft();
  Paint(*first, picture, {0, 0, 8, 2}, 0x111111);
  const Box whole{0, 0, 8, 2};
  ring.Changed({&whole, 1});
  ring.Attach(damage);  // busy: the next draft is a new buffer, garbage until caught up

  const Box left{0, 0, 4, 2};
  Buffer* second = ring.Draft({&left, 1});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(second->pixels[y * 8 + x], x < 4 ? 0xDEADu : 0x111111u) << x << ", " << y;
  EXPECT_FALSE(ring.HasChanges()) << "unpainted, it must not be shown";
  ring.Changed({&left, 1});
  EXPECT_TRUE(ring.HasChanges());
}

TEST(BufferRing, DamageIsClippedToTheBufferAndManySmallBoxesBecomeTheirBounds) {
  Memory memory;
  BufferRing ring = memory.Ring();
  ring.Resize({10, 10}, 0);
  std::vector<Box> damage;
  ring.Draft();
  ring.Attach(damage);  // the first picture, damaged whole
  ring.Draft();
  const Box outside[] = {{-5, -5, 8, 8}, {8, 8, 10, 10}, {20, 20, 3, 3}};
  ring.Changed(outside);
  ring.Attach(damage);
  EXPECT_EQ(damage, (std::vector<Box>{{0, 0, 3, 3}, {8, 8, 2, 2}}));

  ring.Draft();
  std::vector<Box> dots;
  for (int i = 0; i < 40; ++i) dots.push_back({i % 10, i / 10, 1, 1});
  ring.Changed(dots);
  ring.Attach(damage);
  EXPECT_EQ(damage, (std::vector<Box>{{0, 0, 10, 4}}));
}

}  // namespace
