#include "library/jpeg_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include "library/jpeg_error.h"
#include "platform/file.h"

namespace {

constexpr std::size_t source_buffer_size = 4096;
// A damaged progressive file can announce scan after scan; past this many
// the decode stops instead of spending minutes.
constexpr int max_scans = 1000;

// The source manager: fills a 4096-byte buffer from the stream and counts the
// stream bytes of the JPEG that have not been read into the buffer yet.
struct StreamSource {
    jpeg_source_mgr base;
    InputStream* stream;
    std::uint64_t unread;
    JOCTET buffer[source_buffer_size];
};

StreamSource* source_of(j_decompress_ptr info)
{
    return reinterpret_cast<StreamSource*>(info->src);
}

void init_source(j_decompress_ptr info)
{
    source_of(info)->base.bytes_in_buffer = 0;
}

// Running out of data is fatal here: a truncated picture is a bad picture.
boolean fill_input_buffer(j_decompress_ptr info)
{
    StreamSource* source = source_of(info);
    const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(source_buffer_size, source->unread));
    const std::uint32_t got = wanted > 0 ? source->stream->read(source->buffer, wanted) : 0;
    if (got == 0)
        ERREXIT(info, JERR_INPUT_EOF);
    source->unread -= got;
    source->base.next_input_byte = source->buffer;
    source->base.bytes_in_buffer = got;
    return TRUE;
}

// Skips within the buffer when it holds enough, else seeks the stream forward.
void skip_input_data(j_decompress_ptr info, long count)
{
    StreamSource* source = source_of(info);
    if (count <= 0)
        return;
    const auto wanted = static_cast<std::uint64_t>(count);
    if (wanted <= source->base.bytes_in_buffer) {
        source->base.next_input_byte += wanted;
        source->base.bytes_in_buffer -= wanted;
        return;
    }
    const std::uint64_t beyond = wanted - source->base.bytes_in_buffer;
    source->base.bytes_in_buffer = 0;
    if (beyond > source->unread)
        ERREXIT(info, JERR_INPUT_EOF);
    if (source->stream->skip(beyond) != beyond)
        ERREXIT(info, JERR_INPUT_EOF);
    source->unread -= beyond;
}

void term_source(j_decompress_ptr) {}

void stop_endless_scans(j_common_ptr info)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->is_decompressor && decompress->input_scan_number > max_scans)
        ERREXIT(info, JERR_BAD_PROGRESSION);
}

// CMYK as Adobe writes it is stored inverted (0 = full ink); plain CMYK is not.
void cmyk_to_rgb(const JSAMPLE* cmyk, std::uint8_t* rgb, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        int k = cmyk[3];
        int c = cmyk[0], m = cmyk[1], y = cmyk[2];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[0] = static_cast<std::uint8_t>((c * k + 127) / 255);
        rgb[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        rgb[2] = static_cast<std::uint8_t>((y * k + 127) / 255);
    }
}

}  // namespace

struct JpegDecoderState {
    jpeg_decompress_struct info{};
    JpegErrorManager error{};
    StreamSource source{};
    jpeg_progress_mgr progress{};
    bool started = false;
    bool cmyk = false;
    std::vector<JSAMPLE> cmyk_row;
    std::vector<JSAMPLE> region_row;  // one cropped row (allocated before any library call can jump)
};

JpegDecoder::JpegDecoder() = default;

JpegDecoder::~JpegDecoder()
{
    close();
}

bool JpegDecoder::open(InputStream& stream, std::uint64_t length)
{
    close();
    m_state = std::make_unique<JpegDecoderState>();
    JpegDecoderState& s = *m_state;
    s.info.err = install_jpeg_error_manager(s.error);
    if (setjmp(s.error.jump)) {
        close();
        return false;
    }
    jpeg_create_decompress(&s.info);
    s.info.mem->max_memory_to_use = JpegDecoder::max_library_memory;
    s.progress.progress_monitor = stop_endless_scans;
    s.info.progress = &s.progress;
    s.source.base.init_source = init_source;
    s.source.base.fill_input_buffer = fill_input_buffer;
    s.source.base.skip_input_data = skip_input_data;
    s.source.base.resync_to_restart = jpeg_resync_to_restart;
    s.source.base.term_source = term_source;
    s.source.stream = &stream;
    s.source.unread = length;
    s.info.src = &s.source.base;
    if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK) {
        close();
        return false;
    }
    // Everything becomes RGB: libjpeg converts grey and YCbCr itself; CMYK
    // and YCCK come out as CMYK and are converted row by row here.
    s.cmyk = s.info.jpeg_color_space == JCS_CMYK || s.info.jpeg_color_space == JCS_YCCK;
    s.info.out_color_space = s.cmyk ? JCS_CMYK : JCS_RGB;
    m_ok = true;
    return true;
}

int JpegDecoder::width() const
{
    return m_ok ? static_cast<int>(m_state->info.image_width) : 0;
}

int JpegDecoder::height() const
{
    return m_ok ? static_cast<int>(m_state->info.image_height) : 0;
}

int JpegDecoder::components() const
{
    return m_ok ? m_state->info.num_components : 0;
}

bool JpegDecoder::progressive() const
{
    return m_ok && m_state->info.progressive_mode;
}

bool JpegDecoder::set_scale(int denominator)
{
    if (!m_ok || m_state->started)
        return false;
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8)
        return false;
    m_state->info.scale_num = 1;
    m_state->info.scale_denom = static_cast<unsigned>(denominator);
    return true;
}

void JpegDecoder::set_fast_dct(bool fast)
{
    if (m_ok && !m_state->started)
        m_state->info.dct_method = fast ? JDCT_IFAST : JDCT_ISLOW;
}

bool JpegDecoder::start()
{
    if (!m_ok || m_state->started)
        return false;
    JpegDecoderState& s = *m_state;
    if (setjmp(s.error.jump)) {
        close();
        return false;
    }
    jpeg_start_decompress(&s.info);
    s.started = true;
    if (s.cmyk)
        s.cmyk_row.resize(static_cast<std::size_t>(s.info.output_width) * 4);
    return true;
}

int JpegDecoder::output_width() const
{
    return m_ok && m_state->started ? static_cast<int>(m_state->info.output_width) : 0;
}

int JpegDecoder::output_height() const
{
    return m_ok && m_state->started ? static_cast<int>(m_state->info.output_height) : 0;
}

int JpegDecoder::current_scanline() const
{
    return m_ok && m_state->started ? static_cast<int>(m_state->info.output_scanline) : 0;
}

bool JpegDecoder::read_scanline(std::uint8_t* rgb)
{
    if (!m_ok || !m_state->started)
        return false;
    JpegDecoderState& s = *m_state;
    if (s.info.output_scanline >= s.info.output_height)
        return false;
    if (!read_row(s.cmyk ? s.cmyk_row.data() : rgb))
        return false;
    if (s.cmyk)
        cmyk_to_rgb(s.cmyk_row.data(), rgb, static_cast<int>(s.info.output_width), s.info.saw_Adobe_marker);
    return true;
}

// The library's jump lands here on an error, so nothing of the caller's
// frame lives across it.
bool JpegDecoder::read_row(unsigned char* row)
{
    JpegDecoderState& s = *m_state;
    if (setjmp(s.error.jump)) {
        close();
        return false;
    }
    return jpeg_read_scanlines(&s.info, &row, 1) == 1;
}

bool JpegDecoder::read_region(const PixelWindow& window, std::uint8_t* rgb, std::size_t stride)
{
    if (!m_ok || m_state->started || window.width <= 0 || window.height <= 0 || window.x < 0 || window.y < 0 ||
        window.x + window.width > width() || window.y + window.height > height())
        return false;
    JpegDecoderState& s = *m_state;
    if (!start())
        return false;
    if (setjmp(s.error.jump)) {
        close();
        return false;
    }
    // The crop widens the columns to whole iMCUs; the window is cut out of each
    // row. libjpeg upsamples a crop's edge columns from the crop alone, so the
    // crop reaches one iMCU beyond the window on each side: the window's own
    // pixels then equal those of the whole decode.
    const int margin = s.info.max_h_samp_factor * DCTSIZE;
    const int crop_left = std::max(0, window.x - margin);
    const int crop_right = std::min(width(), window.x + window.width + margin);
    JDIMENSION crop_x = static_cast<JDIMENSION>(crop_left);
    JDIMENSION crop_width = static_cast<JDIMENSION>(crop_right - crop_left);
    jpeg_crop_scanline(&s.info, &crop_x, &crop_width);
    if (window.y > 0 &&
        jpeg_skip_scanlines(&s.info, static_cast<JDIMENSION>(window.y)) != static_cast<JDIMENSION>(window.y))
        return false;
    const std::size_t channels = s.cmyk ? 4 : 3;
    s.region_row.resize(static_cast<std::size_t>(s.info.output_width) * channels);
    const std::size_t skip_columns = static_cast<std::size_t>(window.x) - crop_x;
    for (int y = 0; y < window.height; ++y) {
        JSAMPROW rows = s.region_row.data();
        if (jpeg_read_scanlines(&s.info, &rows, 1) != 1)
            return false;
        std::uint8_t* out = rgb + stride * static_cast<std::size_t>(y);
        const JSAMPLE* in = s.region_row.data() + skip_columns * channels;
        if (s.cmyk)
            cmyk_to_rgb(in, out, window.width, s.info.saw_Adobe_marker);
        else
            std::memcpy(out, in, static_cast<std::size_t>(window.width) * 3);
    }
    jpeg_abort_decompress(&s.info);
    s.started = false;
    return true;
}

jpeg_decompress_struct* JpegDecoder::library_object()
{
    return m_ok ? &m_state->info : nullptr;
}

JpegErrorManager* JpegDecoder::error_manager()
{
    return m_ok ? &m_state->error : nullptr;
}

void JpegDecoder::close()
{
    if (m_state)
        jpeg_destroy_decompress(&m_state->info);
    m_state.reset();
    m_ok = false;
}
