// A timer component: raises OnTimer on the user-interface thread, from the
// application's message loop, at most once per interval.

#pragma once

#include <chrono>

#include "toolkit/component.h"

class TTimer : public TComponent {
 public:
  using Clock = std::chrono::steady_clock;

  // The rain's speeds are tuned to 64 frames a second, so the timer never
  // fires faster than a tick of 1/64 s: shorter intervals are raised to it.
  static constexpr double TickMs = 1000.0 / 64;

  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  // Milliseconds between events as written; 0 stops the timer.
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned milliseconds);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  // Milliseconds between events as delivered: the interval, never below the
  // tick.
  double Period() const;

  // For the message loop.  Timers run only while a loop can deliver their
  // events.  FireDue raises each timer that has fallen due once, however
  // many of its intervals have passed (events never pile up behind a slow
  // handler), and returns when the next falls due: time_point::max() when
  // none runs.
  static void SetDelivering(bool delivering);
  static Clock::time_point FireDue();

 private:
  void Update();

  unsigned interval_ = 1000;
  bool enabled_ = true;
  TNotifyEvent onTimer_;
  bool running_ = false;
  Clock::time_point due_;
};
