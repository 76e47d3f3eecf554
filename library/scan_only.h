#pragma once
// The library without the screen: "pictavio --scan-only".

#include <ostream>

// Runs one drive search with the program's album list and cache folders,
// builds every queued preview while printing the progress, then prints each
// album (name, picture count, key picture). Returns the process exit code.
int scan_only(std::ostream& out);
