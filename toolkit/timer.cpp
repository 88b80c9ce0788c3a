#include "toolkit/timer.h"

#include <algorithm>
#include <vector>

namespace {

// Both must outlive every timer, including those the application object
// deletes while the program exits; so they are made on first use and never
// destroyed.
std::vector<TTimer*>& LiveTimers() {
  static auto* timers = new std::vector<TTimer*>;
  return *timers;
}

bool delivering = false;

TTimer::Clock::duration Milliseconds(double milliseconds) {
  return std::chrono::duration_cast<TTimer::Clock::duration>(std::chrono::duration<double, std::milli>(milliseconds));
}

}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) { LiveTimers().push_back(this); }

TTimer::~TTimer() { std::erase(LiveTimers(), this); }

void TTimer::SetInterval(unsigned milliseconds) {
  interval_ = milliseconds;
  running_ = false;  // a new interval counts from now
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

double TTimer::Period() const { return std::max<double>(interval_, TickMs); }

void TTimer::Update() {
  const bool wanted = enabled_ && interval_ > 0 && onTimer_ && delivering;
  if (wanted && !running_) due_ = Clock::now() + Milliseconds(Period());
  running_ = wanted;
}

void TTimer::SetDelivering(bool on) {
  delivering = on;
  for (TTimer* timer : LiveTimers()) timer->Update();
}

TTimer::Clock::time_point TTimer::FireDue() {
  // A handler may create or delete timers, so work from a copy and skip any
  // timer deleted meanwhile.
  const std::vector<TTimer*> timers = LiveTimers();
  for (TTimer* timer : timers) {
    if (std::ranges::find(LiveTimers(), timer) == LiveTimers().end()) continue;
    const auto now = Clock::now();
    if (!timer->running_ || timer->due_ > now) continue;
    // Keep to the schedule, so a period of 15.625 ms averages out right; after
    // a stall (a slow handler, a suspended machine) start afresh instead of
    // catching up with a burst.
    const auto period = Milliseconds(timer->Period());
    timer->due_ += period;
    if (timer->due_ <= now) timer->due_ = now + period;
    // A copy, so a handler may replace OnTimer while it runs.
    TNotifyEvent handler = timer->onTimer_;
    handler(timer);
  }
  auto next = Clock::time_point::max();
  for (const TTimer* timer : LiveTimers()) {
    if (timer->running_) next = std::min(next, timer->due_);
  }
  return next;
}
