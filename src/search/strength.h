// Strength limiting: a target speed derived from the requested Elo, and the
// main thread's sleeps whenever it searches faster than that.
#pragma once
#include "search/thread.h"

// At every search start: the target speed and whether the throttle is needed at all.
void setup_throttle();
// At the top of every main-thread node while the throttle is on.
void throttle_wait(SearchThread& t);
