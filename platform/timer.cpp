#include "timer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "formreader.h"
#include "sdlevents.h"

Uint32 timerEventType = 0;

// What SDL's timer thread shares with the user-interface thread.
struct TTimer::Ticker {
  int timerId;
  std::int64_t periodUs;
  std::int64_t dueUs = 0;  // touched only by the timer thread
  SDL_TimerID sdlTimer = 0;
  // Set while an event of this timer waits in the queue, so that events never
  // pile up behind a slow handler: at most one waits.
  std::atomic<bool> pending{false};
};

namespace {

// Both must outlive every timer, and the application object that deletes the
// last ones while the program exits; so they are made on first use and never
// destroyed.
std::vector<TTimer*>& LiveTimers() {
  static auto* timers = new std::vector<TTimer*>;
  return *timers;
}

// A stopped ticker may still be in SDL's timer thread or have an event in the
// queue, so it is kept until SDL has shut down.
std::vector<std::unique_ptr<TTimer::Ticker>>& Tickers() {
  static auto* tickers = new std::vector<std::unique_ptr<TTimer::Ticker>>;
  return *tickers;
}

int nextTimerId = 1;

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Runs on SDL's timer thread.  The delay to the next event is worked out
// from a fixed schedule, so a period of 15.625 ms averages out right although
// SDL counts whole milliseconds.
Uint32 Tick(Uint32, void* param) {
  auto* ticker = static_cast<TTimer::Ticker*>(param);
  if (!ticker->pending.exchange(true)) {
    SDL_Event event{};
    event.type = timerEventType;
    event.user.code = ticker->timerId;
    event.user.data1 = ticker;
    if (SDL_PushEvent(&event) != 1) ticker->pending = false;
  }
  const std::int64_t now = NowUs();
  ticker->dueUs += ticker->periodUs;
  // After a stall (a suspended machine, a busy thread) start afresh rather
  // than firing a burst to catch up.
  if (ticker->dueUs <= now) ticker->dueUs = now + ticker->periodUs;
  return static_cast<Uint32>(std::max<std::int64_t>(1, (ticker->dueUs - now + 500) / 1000));
}

}  // namespace

void ReleaseTickers() { Tickers().clear(); }

TTimer::TTimer(TComponent* owner) : TComponent(owner), id_(nextTimerId++) {
  LiveTimers().push_back(this);
}

TTimer::~TTimer() {
  Stop();
  std::erase(LiveTimers(), this);
}

void TTimer::SetInterval(unsigned milliseconds) {
  interval_ = milliseconds;
  Stop();
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Update();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  Update();
}

double TTimer::Period() const { return std::max<double>(interval_, DesktopTickMs); }

void TTimer::Update() {
  const bool wanted = enabled_ && interval_ > 0 && onTimer_ && timerEventType != 0;
  if (!wanted) {
    Stop();
    return;
  }
  if (ticker_ != nullptr) return;
  auto ticker = std::make_unique<Ticker>();
  ticker->timerId = id_;
  ticker->periodUs = std::llround(Period() * 1000);
  ticker->dueUs = NowUs() + ticker->periodUs;
  ticker->sdlTimer = SDL_AddTimer(static_cast<Uint32>(std::lround(Period())), Tick, ticker.get());
  // Without a system timer the form simply gets no timer events, as a
  // desktop timer that could not be set raises none.
  if (ticker->sdlTimer == 0) return;
  ticker_ = ticker.get();
  Tickers().push_back(std::move(ticker));
}

void TTimer::Stop() {
  if (ticker_ == nullptr) return;
  SDL_RemoveTimer(ticker_->sdlTimer);
  ticker_ = nullptr;
}

void TTimer::UpdateAll() {
  for (TTimer* timer : LiveTimers()) timer->Update();
}

void TTimer::Deliver(int timerId, Ticker* ticker) {
  // The next tick may queue an event while this one is handled.
  ticker->pending = false;
  for (TTimer* timer : LiveTimers()) {
    // An event of a timer stopped since it was queued is dropped.
    if (timer->id_ == timerId && timer->ticker_ == ticker && timer->onTimer_) {
      // A copy, so a handler may replace OnTimer while it runs.
      TNotifyEvent handler = timer->onTimer_;
      handler(timer);
      return;
    }
  }
}

bool TTimer::ReadProperty(const std::string& name, const PropertyValue& value) {
  if (name == "Interval") {
    SetInterval(static_cast<unsigned>(value.AsInteger(0, std::numeric_limits<int>::max())));
  } else if (name == "Enabled") {
    SetEnabled(value.AsBoolean());
  } else if (name == "OnTimer") {
    SetOnTimer(value.AsHandler());
  } else if (name == "Left") {
    DesignLeft = value.AsInteger();
  } else if (name == "Top") {
    DesignTop = value.AsInteger();
  } else {
    return false;
  }
  return true;
}
