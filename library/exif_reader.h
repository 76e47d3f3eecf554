#pragma once
// The EXIF data at the start of a JPEG picture: its orientation tag and its
// embedded thumbnail. Everything is read with one small read of the file's
// start and parsed by libexif, which checks offsets and counts against the
// segment; a missing, damaged or out-of-range tag means upright.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>
#include "library/orientation.h"
#include "platform/text.h"

class RenderSurface;

// Most bytes read from the start of a picture for its embedded thumbnail: an
// APP1 segment holds at most 64 KiB, and the segments before it are small.
constexpr std::size_t exif_read_limit = 128 * 1024;
// Bytes read for the orientation alone: the EXIF segment normally follows the
// start of the file at once, its first IFD comes first in it, and what lies
// beyond the bytes read is left out of the parse.
constexpr std::size_t orientation_read_limit = 16 * 1024;
// Largest width or height of an embedded thumbnail that is decoded.
constexpr int max_embedded_thumbnail_side = 1024;

// What the EXIF data says about showing a picture.
struct ExifInfo {
    Orientation orientation = Orientation::upright;
    std::vector<std::uint8_t> thumbnail;  // the embedded JPEG thumbnail; empty when none or not asked for
};

// What the search for the EXIF segment among a JPEG's first bytes found.
enum class ExifSearch {
    found,   // the segment begins inside the bytes
    absent,  // the bytes are no JPEG, or its segments end (scan, damage) without one
    beyond,  // the segments run past the bytes: a longer start may hold it
};

// The "Exif\0\0" APP1 segment among the segments before the first scan of the
// JPEG whose first size bytes are jpeg; when found, its payload (cut at size
// when truncated) goes to segment and length.
ExifSearch find_exif_segment(const std::uint8_t* jpeg, std::size_t size, const std::uint8_t*& segment,
                             std::size_t& length);
// Parses the EXIF data of the JPEG start jpeg: the orientation from the first
// IFD only, and the embedded thumbnail's bytes when with_thumbnail.
ExifInfo parse_exif(const std::uint8_t* jpeg, std::size_t size, bool with_thumbnail);
// parse_exif of the start of picture (macros expanded), read at once:
// exif_read_limit bytes with the thumbnail, orientation_read_limit without
// (and exif_read_limit after all when large segments come before the EXIF
// data); an unreadable picture gives the defaults.
ExifInfo read_exif(StringView picture, bool with_thumbnail);
// The orientation tag of picture.
Orientation read_orientation(StringView picture);
// The embedded thumbnail of info as shown: its centred square turned as
// tagged, decoded at the smallest scale whose square is at least min_side
// wide; null when there is none or it does not decode.
std::unique_ptr<RenderSurface> decode_embedded_thumbnail(const ExifInfo& info, int min_side);
// A picture made from picture's stored pixels (its preview thumbnail or a
// preview level) as shown: turned and mirrored as its tag says; null stays null.
std::unique_ptr<RenderSurface> show_as_tagged(std::unique_ptr<RenderSurface> stored, StringView picture);
