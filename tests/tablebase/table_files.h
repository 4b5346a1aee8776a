// Table files made for the tests: copies of the shared files (whole or
// damaged) and WDL tables of one value throughout, for materials the shared
// set lacks.
#pragma once
#include <string>
#include <vector>

// A scratch directory holding copies of these shared files ("KQvK.rtbw", ...).
std::string copy_tables(const std::vector<std::string>& files);
// The bytes of a shared table file.
std::string shared_table(const std::string& file);
// A valid WDL file for the material name (Syzygy naming) in which every
// position with the file's white to move has value white, every other black
// (stored values 0 loss .. 4 win).
void write_uniform_table(const std::string& dir, const std::string& name, int white, int black);
