#include "skin/skin_bitmap_file.h"

#include "pixels/bmp_reader.h"
#include "platform/file.h"
#include "platform/log.h"

SkinPicture load_565(StringView path, std::shared_ptr<SkinBitmap>& bitmap_out)
{
    String file_name(path);
    file_name += u".bmp";
    File file(file_name, File::read_mode);
    std::unique_ptr<PixelBuffer> pixels = file.is_open() ? read_bmp_565(file) : nullptr;
    if (!pixels) {
        log() << "load_565 " << path << " is not 16bit bitmap\n";
        return SkinPicture();
    }
    bitmap_out = std::make_shared<SkinBitmap>(String(path), std::move(pixels));
    return SkinPicture::whole(bitmap_out);
}
