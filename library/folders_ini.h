#pragma once
// The album list file "folders.ini": UTF-16LE with a byte-order mark, three
// tab-separated "key<TAB>value" lines per album, read as language files are
// (parse_key_values).

#include <vector>
#include "library/folder.h"

// Decodes file bytes: UTF-16LE after FF FE (an odd last byte dropped), else one
// signed byte per character.
String decode_key_value_bytes(const std::vector<unsigned char>& bytes);
// The albums of an album list text, in the key order of the text.
std::vector<Folder> folders_from_text(StringView text);
// The album list text of folders (without the byte-order mark).
String folders_to_text(const std::vector<Folder>& folders);
// Reads the album list file; empty when it is missing or unreadable.
std::vector<Folder> read_folders_file(StringView path);
// Writes the album list file through a temporary file renamed into place.
bool write_folders_file(StringView path, const std::vector<Folder>& folders);

// Where the program keeps its album list, and where an older one may lie.
struct AlbumListFiles {
    String file;      // read and written
    String fallback;  // read when file does not exist; empty for none
};
// The program's album list: "%app_path%/folders.ini" when files can be created
// in the program folder, else folders.ini in the user's data folder's
// "pictavio/" (created here); the fallback is the other of the two.
AlbumListFiles album_list_files();
// Reads files.file, or files.fallback when files.file does not exist.
std::vector<Folder> read_folders_file(const AlbumListFiles& files);
