// Time management: elapsed time, the target time for this move, and the stop.
#pragma once

// Recomputes elapsed and target time from the clock, increment and moves to
// go, adjusted for the state of the search; sets the stop flag when time is up.
void update_clock();
