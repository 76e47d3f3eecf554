#pragma once
// Preview files: one per picture in the preview folder of its search root
// (ROOT/!pictaviocache/, or one in the user's cache folder), holding the
// resume records of the picture, a chain of half-size JPEG copies with their
// own records, and a 64x64 thumbnail.
//
// Layout (little-endian): magic 17 (written last), L (1 byte), level 0 records
// offset and length, then for each level 1..L records offset, records length,
// JPEG offset, JPEG length, then the thumbnail's JPEG offset and length
// (21 + 16L header bytes), then the data in the same order.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>
#include "platform/text.h"

struct FileIdentity;

class InputStream;
class RenderSurface;

// Asked between scanlines while a preview is built; true cuts the build short.
using StopCheck = std::function<bool()>;

// Outcome of build_preview.
enum class PreviewBuild {
    ready,        // the file is complete and carries the magic
    bad_picture,  // the picture cannot be decoded: the caller marks it bad (empty file)
    incomplete,   // stopped, or picture missing or changed while building: the file (if
                  // any) lacks the magic; the picture must not be marked bad
    unwritten     // the preview file could not be created or written (read-only folder,
                  // full disk): the picture stays without a preview
};

// One entry of the level table: where a level's records and JPEG lie in the file.
struct PreviewLevel {
    std::uint32_t records_offset = 0;
    std::uint32_t records_length = 0;
    std::uint32_t jpeg_offset = 0;  // 0 for level 0 (the picture file itself)
    std::uint32_t jpeg_length = 0;
};

// The header of a ready preview file, checked against the file's size.
struct PreviewTable {
    int levels = 0;                     // L
    std::vector<PreviewLevel> entries;  // levels 0..L
    std::uint32_t thumbnail_offset = 0;
    std::uint32_t thumbnail_length = 0;
};

// Value of the first four bytes of a complete preview file.
constexpr std::uint32_t preview_magic = 17;

// Number of halvings after which the longer side is at most 256 pixels.
int preview_levels(int width, int height);
// The folder that holds the previews of the pictures under root, with trailing
// separator: the user's cache folder's "pictavio/<name of root>/!pictaviocache/"
// when that exists, else root + "!pictaviocache/".
String preview_folder(StringView root);
// Makes the folder that will hold root's previews and returns it: the existing
// one of preview_folder, else root + "!pictaviocache/" when files can be created
// there, else the one in the user's cache folder; empty when neither can be
// written or the root does not exist.
String make_preview_folder(StringView root);
// Path of the preview of picture under root (preview_folder + size and
// creation time); empty when the picture does not exist.
String preview_path(StringView picture, StringView root);
// The same for a picture whose identity is known already (from a directory walk).
String preview_path(const FileIdentity& picture, StringView root);
// The file name of the preview of a picture with that identity.
String preview_name(const FileIdentity& picture);
// Path of the lossless baseline transcode that may sit beside a preview (the
// preview's path plus transcode_suffix): full-resolution tiles of pictures our
// decoder cannot resume (progressive, arithmetic-coded) come from it.
String transcode_path(StringView preview);
// Whether a file name of the preview folder is a transcode's (and so no preview).
bool is_transcode_name(StringView name);
// The name of the preview a transcode's name belongs to.
StringView preview_name_of_transcode(StringView name);
// Deletes the transcode kept beside a preview, if any.
void delete_transcode(StringView preview);
// Deletes a preview file together with its transcode.
void delete_preview(StringView preview);
// Marks a picture bad: its preview becomes an empty file and its transcode goes.
void mark_preview_bad(StringView preview);
// Whether the preview of picture exists and starts with the magic.
bool is_preview_ready(StringView picture, StringView root);
// Whether the preview file at preview (a path, macros expanded) starts with the magic.
bool is_preview_file_ready(StringView preview);
// What tells the preview files of pictures apart, whichever folder holds the
// root's previews (preview_folder may move them to the user's cache folder
// once): the expanded root and the preview's name. Pictures with one key, a
// link and its target, share one preview file.
String preview_file_key(const FileIdentity& picture, StringView root);
// Builds the preview of picture, streaming scanline by scanline; see PreviewBuild.
PreviewBuild build_preview(StringView picture, StringView root, const StopCheck& stop_requested = {});
// The same for a picture whose preview name was found earlier: when the file
// behind picture has another preview name now (it was replaced), nothing is
// built and the result is incomplete. preview receives the path of the
// preview file the build was for, named once as it began (empty when the
// picture is missing or was replaced).
PreviewBuild build_named_preview(StringView picture, StringView root, StringView name, const StopCheck& stop_requested,
                                 String& preview);
// The 64x64 RGB565 thumbnail from a ready preview, or null on any failure.
std::unique_ptr<RenderSurface> load_thumbnail(StringView picture, StringView root);
// Reads and checks a preview's header: magic, L equal to expected_levels (-1: any),
// every offset and length inside the stream; false when any check fails.
bool read_preview_table(InputStream& preview, int expected_levels, PreviewTable& table);
