#include "library/piece_creator.h"

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
