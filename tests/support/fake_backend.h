// A display that follows a script, for the host's rules without a display:
// each round's events are given in advance, every present is recorded, and
// Wait really waits (on the wake descriptor only), so timers run in time.

#pragma once

#include <poll.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace support {

class FakeBackend final : public platform::Backend {
 public:
  // What the test sees, kept alive after the host lets go of the backend.
  struct Record {
    // Each Dispatch hands out the first of these; once they run out, none.
    std::deque<std::vector<platform::Event>> rounds;
    std::function<void()> onDispatch;  // runs at the start of every Dispatch
    std::vector<platform::Area> areas{{{0, 0, 40, 30}, false}};
    drawing::Size size{40, 30};
    std::vector<drawing::Pixel> pixels = std::vector<drawing::Pixel>(40 * 30, 0x123456);
    bool fullScreen = false;
    bool ready = true;  // for the next frame

    bool opened = false;
    platform::Presentation presentation;
    platform::WindowLook look;
    std::vector<std::vector<drawing::Box>> presents;
    std::vector<drawing::Box> repainting;  // as WillRepaint last said
    std::vector<bool> fullScreenAsked;
    std::vector<int> waits;  // each Wait's timeout in milliseconds
    int dispatches = 0;
    bool closed = false;

    // Makes the window `size`, one area of it, as the next round says.
    void Resize(drawing::Size to, bool fills) {
      size = to;
      pixels.assign(static_cast<std::size_t>(to.width) * to.height, 0x123456);
      areas = {{{0, 0, to.width, to.height}, fills}};
    }
  };

  explicit FakeBackend(std::shared_ptr<Record> record) : record_(std::move(record)) {}

  std::string Name() const override { return "fake"; }
  platform::Desktop DescribeDesktop() override { return {{1024, 768}, ""}; }
  void Open(const platform::WindowLook& look, const platform::Presentation& presentation) override {
    record_->opened = true;
    record_->look = look;
    record_->presentation = presentation;
  }
  std::vector<platform::Area> Areas() override {
    return record_->opened ? record_->areas : std::vector<platform::Area>{};
  }
  drawing::Surface Pixels() override {
    return {record_->pixels.data(), record_->size.width, record_->size.height, record_->size.width};
  }
  void Present(std::span<const drawing::Box> changed) override {
    record_->presents.emplace_back(changed.begin(), changed.end());
  }
  bool ReadyToPresent() override { return record_->ready; }
  void WillRepaint(std::span<const drawing::Box> boxes) override {
    record_->repainting.assign(boxes.begin(), boxes.end());
  }
  void SetFullScreen(bool on) override { record_->fullScreenAsked.push_back(on); }
  bool FullScreen() override { return record_->fullScreen; }
  void Wait(int wakeFd, int timeoutMs) override {
    record_->waits.push_back(timeoutMs);
    // No limit would hang a test that went wrong: a round a twentieth of a
    // second at most.
    pollfd wake{wakeFd, POLLIN, 0};
    poll(&wake, 1, timeoutMs < 0 || timeoutMs > 50 ? 50 : timeoutMs);
  }
  void Dispatch(std::vector<platform::Event>& events) override {
    ++record_->dispatches;
    if (record_->onDispatch) record_->onDispatch();
    if (record_->rounds.empty()) return;
    events = std::move(record_->rounds.front());
    record_->rounds.pop_front();
  }
  bool ShowError(const std::string&, const std::string&) override { return false; }
  void Close() override { record_->closed = true; }

 private:
  std::shared_ptr<Record> record_;
};

inline platform::Event Said(platform::Event::Kind kind, platform::Key key = platform::Key::kOther,
                            platform::Modifiers modifiers = {}) {
  platform::Event event;
  event.kind = kind;
  event.key = key;
  event.modifiers = modifiers;
  return event;
}

}  // namespace support
