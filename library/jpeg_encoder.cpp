#include "library/jpeg_encoder.h"

#include <vector>
#include "library/jpeg_error.h"
#include "platform/memory_stream.h"

namespace {

constexpr std::size_t piece_size = 4096;

// The destination manager: compressed bytes collect in a 4096-byte piece
// that is appended to the memory stream whenever it is full.
struct MemoryDestination {
    jpeg_destination_mgr base;
    MemoryStream* output;
    JOCTET piece[piece_size];
};

MemoryDestination* destination_of(j_compress_ptr info)
{
    return reinterpret_cast<MemoryDestination*>(info->dest);
}

void init_destination(j_compress_ptr info)
{
    MemoryDestination* destination = destination_of(info);
    destination->base.next_output_byte = destination->piece;
    destination->base.free_in_buffer = piece_size;
}

boolean empty_output_buffer(j_compress_ptr info)
{
    MemoryDestination* destination = destination_of(info);
    destination->output->write(destination->piece, piece_size);
    init_destination(info);
    return TRUE;
}

void term_destination(j_compress_ptr info)
{
    MemoryDestination* destination = destination_of(info);
    destination->output->write(destination->piece,
                               static_cast<std::uint32_t>(piece_size - destination->base.free_in_buffer));
}

}  // namespace

struct JpegEncoderState {
    jpeg_compress_struct info{};
    JpegErrorManager error{};
    MemoryDestination destination{};
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
    s.destination.base.init_destination = init_destination;
    s.destination.base.empty_output_buffer = empty_output_buffer;
    s.destination.base.term_destination = term_destination;
    s.destination.output = &output;
    s.info.dest = &s.destination.base;
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
