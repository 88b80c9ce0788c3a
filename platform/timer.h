// A timer component: raises OnTimer on the user-interface thread, through the
// application's message loop, at most once per interval.

#pragma once

#include <memory>
#include <string>

#include "component.h"

class TTimer : public TComponent {
 public:
  // The desktop timer the program was first written for never fires faster
  // than its system tick of 1/64 s; the rain's speeds are tuned to that rate,
  // so shorter intervals are raised to it.
  static constexpr double DesktopTickMs = 1000.0 / 64;

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
  // desktop tick.
  double Period() const;

  // Where the timer sat on the form's design surface; kept, never used.
  int DesignLeft = 0;
  int DesignTop = 0;

  bool ReadProperty(const std::string& name, const PropertyValue& value) override;

  struct Ticker;  // the running system timer, shared with its thread

  // Starts or stops every timer to match its settings and whether the
  // application's message loop can deliver events.  Called by the
  // application when that changes.
  static void UpdateAll();

  // Called by the message loop for a timer event.
  static void Deliver(int timerId, Ticker* ticker);

 private:
  void Update();
  void Stop();

  int id_;
  unsigned interval_ = 1000;
  bool enabled_ = true;
  TNotifyEvent onTimer_;
  Ticker* ticker_ = nullptr;
};
