// The machine's speed, measured at start-up: the basis of strength limiting.
#pragma once

// A fixed 35000-node search of a middle-game position on the calling thread;
// sets calibration_nps and calibration_elo and prints them.
void calibrate_speed();
