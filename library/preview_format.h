#pragma once
// What the preview file's writer and reader share: the size of the level
// table and the thumbnail's side.

#include <cstdint>

// Size of the header (magic, L, the level table and the thumbnail entry) of
// a preview with levels levels.
constexpr std::uint32_t preview_header_size(int levels)
{
    return 21 + 16 * static_cast<std::uint32_t>(levels);
}

// Side of the square thumbnail, in pixels.
constexpr int thumbnail_side = 64;
