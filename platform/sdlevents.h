// Shared by the platform's own files only: how timer events travel through
// SDL's event queue.  Nothing outside platform/ includes this.

#pragma once

#include <SDL.h>

// The SDL event type of timer events; 0 while the application's message loop
// cannot deliver them (before Initialize, after shutdown).
extern Uint32 timerEventType;

// Stops and frees every system timer's bookkeeping.  Called once SDL's timer
// thread is gone.
void ReleaseTickers();
