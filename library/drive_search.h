#pragma once
// The file-system half of the drive search: which roots to search, and what
// pictures and preview files lie under a root.

#include <functional>
#include <vector>
#include "platform/file_identity.h"
#include "platform/text.h"

// Asked during a walk, from any of the threads that read its folders; true ends it early.
using WalkStopCheck = std::function<bool()>;

// A picture found by a walk, with its identity as the walk read it (when it did).
struct PictureFile {
    String path;
    FileIdentity identity;
    std::size_t folder_length = 0;  // the path's folder part, the separator included
};

// Name of the folder under each search root that holds the preview files.
inline constexpr StringView cache_folder_name = u"!pictaviocache";

// The storage-card roots to search (without trailing separator), leaving out
// a card that holds My Documents; logs each decision.
void find_drives(std::vector<String>& drives);
// The folders that are storage cards: PICTAVIO_CARDS when set, else the
// mounted volumes below /media/$USER, /run/media/$USER, /media and /mnt.
std::vector<String> storage_card_folders();
// Every "*.jpg" below root, then every "*.jpeg", each pass depth first. With
// identities, each picture's is read and pictures that are gone before are
// left out; without (a search that needs no preview names: the walk then costs
// what listing the folders does), identity is left empty. The folders are read
// on up to one thread per processor core (at most four).
std::vector<PictureFile> find_pictures(StringView root, const WalkStopCheck& stop, bool identities = true);
// Names of the files directly in root's preview folder (preview_folder).
std::vector<String> list_preview_files(StringView root);
