#include "library/piece_creator.h"
#include "library/cache_piece_creator.h"
#include "library/jpeg_piece_creator.h"
#include "library/oriented_piece_creator.h"
#include "library/preview_file.h"

Size reduced_size(Size full, int shift)
{
    const long long divisor = 1LL << shift;
    return {static_cast<int>((full.width + divisor - 1) / divisor),
            static_cast<int>((full.height + divisor - 1) / divisor)};
}

Size tile_count(Size picture)
{
    return {(picture.width + tile_size - 1) / tile_size, (picture.height + tile_size - 1) / tile_size};
}

std::unique_ptr<PieceCreator> create_piece_creator(StringView picture, StringView root)
{
    if (is_preview_ready(picture, root)) {
        auto cache = std::make_unique<CachePieceCreator>(picture, root);
        if (cache->ok())
            return with_orientation(std::move(cache), picture);
    }
    return with_orientation(std::make_unique<JpegPieceCreator>(picture), picture);
}
