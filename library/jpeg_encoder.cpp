#include "library/jpeg_encoder.h"

#include <vector>
#include "library/jpeg_destination.h"
#include "platform/memory_stream.h"

struct JpegEncoderState {
    jpeg_compress_struct info{};
    JpegErrorManager error{};
    StreamDestination destination{};
};

JpegEncoder::JpegEncoder() = default;

JpegEncoder::~JpegEncoder()
{
    if (m_state)
        jpeg_destroy_compress(&m_state->info);
}

bool JpegEncoder::create(MemoryStream& output, int width, int height, int quality)
{
    if (m_state)
        jpeg_destroy_compress(&m_state->info);
    m_state.reset();
    m_ok = false;
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return false;
    m_state = std::make_unique<JpegEncoderState>();
    JpegEncoderState& s = *m_state;
    s.info.err = install_jpeg_error_manager(s.error);
    if (setjmp(s.error.jump))
        return false;
    jpeg_create_compress(&s.info);
    attach_stream_destination(&s.info, s.destination, output);
    s.info.image_width = static_cast<JDIMENSION>(width);
    s.info.image_height = static_cast<JDIMENSION>(height);
    s.info.input_components = 3;
    s.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&s.info);
    jpeg_set_quality(&s.info, quality, FALSE);
    jpeg_start_compress(&s.info, TRUE);
    m_ok = true;
    return true;
}

bool JpegEncoder::write_scanline(const std::uint8_t* rgb)
{
    if (!m_ok)
        return false;
    JpegEncoderState& s = *m_state;
    if (s.info.next_scanline >= s.info.image_height)
        return false;
    if (setjmp(s.error.jump)) {
        m_ok = false;
        return false;
    }
    // libjpeg only reads the row; its interface lacks the const.
    JSAMPROW row = const_cast<std::uint8_t*>(rgb);
    if (jpeg_write_scanlines(&s.info, &row, 1) != 1) {
        m_ok = false;
        return false;
    }
    return true;
}

bool JpegEncoder::finish()
{
    if (!m_ok)
        return false;
    JpegEncoderState& s = *m_state;
    m_ok = false;
    if (s.info.next_scanline != s.info.image_height)
        return false;
    if (setjmp(s.error.jump))
        return false;
    jpeg_finish_compress(&s.info);
    return true;
}
