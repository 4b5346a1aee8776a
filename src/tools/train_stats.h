// Reports over a file of training records: the material spread, and the mean
// error of the network per material imbalance (correction-history values).
#pragma once

// Counts the accepted records of options.training_file (the fixed
// training-set name when empty) by total material in pawn units and prints
// the counts of 0 to 79 units.
void training_material_stats();
// Prints, for 200 material-imbalance buckets, the network's mean error
// against the records' targets, damped for buckets with few records.
void generate_correction_history();
