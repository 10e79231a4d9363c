#pragma once
// The console driven from inside, for the measures that must see the window (see driver.cpp).

namespace bench {

// "korvane-bench drive WHAT ...": runs one driven measure and ends the process.
int drive(int argc, char *argv[]);

} // namespace bench
