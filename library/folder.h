#pragma once
// The album records of the photo library and the entries of its preview queue.

#include <cstdint>
#include <vector>
#include "platform/text.h"

// An album: a folder holding at least one picture.
struct Folder {
    // Search root the folder was found under, with its trailing separator.
    String drive_path;
    // The folder's directory with its trailing separator.
    String folder_path;
    // Full path of the picture that stands for the album.
    String key_picture_path;
    // Number of pictures in the folder.
    std::int32_t size = 0;
};

// One picture waiting for its preview.
struct QueuedPicture {
    // Length of the folder's list when the picture was appended (walk order).
    std::int32_t sequence = 0;
    String path;
};

// The pictures of one folder that still need a preview, in queue order.
struct PendingFolder {
    String drive_path;
    std::vector<QueuedPicture> pictures;
};

// Everything up to and including the last "\" or "/"; empty when there is none.
String directory_of(StringView path);
