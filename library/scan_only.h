#pragma once
// The library without the screen: "pictavio --scan-only".

#include <ostream>
#include "library/folders_ini.h"

// Runs one drive search with the album list and the preview folders of the
// program, builds every queued preview while printing the progress, then
// prints each album (name, picture count, key picture, tab-separated). Returns
// the process exit code: 0, or 1 when some previews could not be written
// (reported with their number and the folder that refused them).
int scan_only(std::ostream& out, const AlbumListFiles& files = album_list_files());
// The same with one album list file.
int scan_only(std::ostream& out, StringView folders_file);
