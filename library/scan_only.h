#pragma once
// The library without the screen: "pictavio --scan-only".

#include <ostream>
#include "platform/text.h"

// Runs one drive search with the album list file and the cache folders of the
// program, builds every queued preview while printing the progress, then
// prints each album (name, picture count, key picture, tab-separated).
// Returns the process exit code.
int scan_only(std::ostream& out, StringView folders_file = u"%app_path%/folders.ini");
