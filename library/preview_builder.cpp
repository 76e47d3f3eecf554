// Building a preview file: the records of every level, the chain of
// half-size JPEGs and the thumbnail, streaming scanline by scanline.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "library/baseline_decoder.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_encoder.h"
#include "library/jpeg_transcoder.h"
#include "library/preview_file.h"
#include "library/preview_format.h"
#include "library/reducer.h"
#include "library/resume_record.h"
#include "pixels/pixel_types.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/log.h"
#include "platform/memory_stream.h"
#include "platform/paths.h"

namespace {

constexpr std::size_t write_chunk = 64 * 1024;

void put_u32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends to the preview file through a buffer and tracks the offset, which
// must stay within the 32 bits the table holds.
class PreviewWriter {
public:
    bool open(const String& path) { return m_file.open(path, File::create_mode); }

    void append(const void* data, std::size_t count)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        m_buffer.insert(m_buffer.end(), bytes, bytes + count);
        m_offset += count;
        if (m_offset > UINT32_MAX)
            m_failed = true;
        if (m_buffer.size() >= write_chunk)
            flush();
    }

    bool flush()
    {
        if (!m_buffer.empty() && !m_failed &&
            m_file.write(m_buffer.data(), static_cast<std::uint32_t>(m_buffer.size())) != m_buffer.size())
            m_failed = true;
        m_buffer.clear();
        return !m_failed;
    }

    // Writes bytes at offset (after everything appended is on disk).
    bool write_at(std::uint64_t offset, const std::uint8_t* bytes, std::uint32_t count)
    {
        if (!flush() || !m_file.seek(offset) || m_file.write(bytes, count) != count)
            m_failed = true;
        return !m_failed;
    }

    std::uint32_t offset() const { return static_cast<std::uint32_t>(m_offset); }
    bool failed() const { return m_failed; }

private:
    File m_file;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_offset = 0;
    bool m_failed = false;
};

// The next level being made while a level is decoded, compressed into memory
// as a JPEG. Its rows come either already halved (the baseline decoder's
// half-size pass) or at the level's size through the 2x2 reducer.
class NextLevel {
public:
    // Rows of half_width x half_height pixels go straight to the encoder.
    bool start_half(Size half) { return m_encoder.create(m_jpeg, half.width, half.height, JpegEncoder::level_quality); }
    // Rows of the level being decoded (width x height) go through the reducer.
    bool start_reduced(Size level)
    {
        m_reducer = std::make_unique<Reducer>(
            level.width, level.height, [this](const std::uint8_t* rgb) { return m_encoder.write_scanline(rgb); });
        return m_encoder.create(m_jpeg, m_reducer->output_width(), m_reducer->output_height(),
                                JpegEncoder::level_quality);
    }
    std::uint8_t* next_row() { return m_reducer->next_row(); }
    bool push_row(const std::uint8_t* rgb)
    {
        return m_reducer ? m_reducer->push_row(rgb) : m_encoder.write_scanline(rgb);
    }
    bool finish() { return (!m_reducer || m_reducer->finish()) && m_encoder.finish(); }
    MemoryStream& jpeg() { return m_jpeg; }

private:
    MemoryStream m_jpeg;
    JpegEncoder m_encoder;
    std::unique_ptr<Reducer> m_reducer;
};

// Builds one preview file, streaming: at any time it holds the few MCU rows
// of the level's decoder, the reducer's rows, the JPEG of the level being
// decoded and the JPEG of the next level being compressed.
class PreviewBuilder {
public:
    // name: the preview name the picture must have (empty: whatever it has).
    PreviewBuilder(StringView picture, StringView root, StringView name, const StopCheck& stop_requested)
        : m_picture_path(picture), m_root(root), m_expected_name(name), m_stop_requested(stop_requested)
    {
    }

    PreviewBuild run();
    // The preview file the build is for; empty before run() or when nothing was built.
    const String& preview_file() const { return m_preview_path; }

private:
    PreviewBuild build();
    void transcode_if_needed();
    bool stop_now();
    PreviewBuild failure();
    bool build_level(InputStream& data, std::uint64_t length, Size size, std::unique_ptr<NextLevel>& next,
                     bool records_optional);
    bool record(const ResumeRecord& record);
    bool single_pass_level(BaselineDecoder& decoder, Size size, NextLevel* next);
    bool reduce_level(InputStream& data, std::uint64_t length, Size expected, NextLevel& next);
    bool write_thumbnail(InputStream& source, std::uint64_t length);
    bool write_table();

    String m_picture_path;
    String m_root;
    String m_expected_name;
    String m_preview_path;
    const StopCheck& m_stop_requested;
    bool m_stopped = false;
    FileIdentity m_identity;
    File m_picture;
    // The baseline transcode level 0 is made from, for a picture our decoder cannot resume.
    bool m_transcoded = false;
    File m_transcode;
    std::vector<std::uint8_t> m_level_records;  // the records of the level in work
    int m_width = 0;
    int m_height = 0;
    int m_levels = 0;
    PreviewWriter m_writer;
    std::vector<PreviewLevel> m_entries;
    PreviewLevel m_thumbnail;
};

bool PreviewBuilder::stop_now()
{
    if (!m_stopped && m_stop_requested && m_stop_requested())
        m_stopped = true;
    return m_stopped;
}

// A failed decode means a bad picture only when nothing else explains it: the
// build was not stopped, every write succeeded and the picture is still the
// file it was when the build began. Otherwise the preview stays incomplete,
// or unwritten when a write failed.
PreviewBuild PreviewBuilder::failure()
{
    FileIdentity now;
    if (m_stopped)
        return PreviewBuild::incomplete;
    if (m_writer.failed())
        return PreviewBuild::unwritten;
    if (!file_identity(m_picture_path, now) || !(now == m_identity))
        return PreviewBuild::incomplete;
    return PreviewBuild::bad_picture;
}

bool PreviewBuilder::record(const ResumeRecord& record)
{
    std::uint8_t bytes[resume_record_size];
    serialise_resume_record(record, bytes);
    m_level_records.insert(m_level_records.end(), bytes, bytes + resume_record_size);
    return true;
}

// A level our baseline decoder reads is decoded once: that pass gives the
// level's records and, at half size, the rows of the next level. A picture it
// does not read (progressive, arithmetic-coded, CMYK) has no records, and
// libjpeg's decode feeds the 2x2 reducer of the next level. The records
// collect in memory and are appended once the level is done. When they are
// optional (the picture's own level 0) and only our decoder fails on the
// data, a damaged scan that libjpeg decodes with warnings, the level is made
// again by libjpeg without records: its tiles then come from libjpeg too.
bool PreviewBuilder::build_level(InputStream& data, std::uint64_t length, Size size, std::unique_ptr<NextLevel>& next,
                                 bool records_optional)
{
    m_level_records.clear();
    BaselineDecoder decoder;
    const BaselineStatus status = decoder.open(data, 0, length);
    const bool readable =
        status == BaselineStatus::ok && decoder.info().width == size.width && decoder.info().height == size.height;
    if (readable && single_pass_level(decoder, size, next.get())) {
        m_writer.append(m_level_records.data(), m_level_records.size());
        return !m_writer.failed();
    }
    if (status != BaselineStatus::unsupported) {
        if (!records_optional || stop_now())
            return false;
        log() << "No resume records for " << m_picture_path
              << ": its scan is damaged; full-resolution tiles come from libjpeg\n";
        m_level_records.clear();
        if (next)
            next = std::make_unique<NextLevel>();
    }
    return !next || (next->start_reduced(size) && reduce_level(data, length, size, *next));
}

// The records of a level and, when there is a next level, its rows from the
// same entropy pass. False when the data is damaged, a write fails or the build stops.
bool PreviewBuilder::single_pass_level(BaselineDecoder& decoder, Size size, NextLevel* next)
{
    const auto on_record = [this](const ResumeRecord& r) { return !stop_now() && record(r); };
    if (!next)
        return decoder.decode_with_records(on_record, {});
    if (!next->start_half({(size.width + 1) / 2, (size.height + 1) / 2}))
        return false;
    return decoder.decode_half_with_records(on_record, [&](const std::uint8_t* rgb, int) {
        return !stop_now() && next->push_row(rgb);
    }) && next->finish();
}

// Feeds every RGB row of a level to the reducer of the next level.
bool PreviewBuilder::reduce_level(InputStream& data, std::uint64_t length, Size expected, NextLevel& next)
{
    JpegDecoder decoder;
    if (!data.seek(0) || !decoder.open(data, length) || !decoder.start() || decoder.output_width() != expected.width ||
        decoder.output_height() != expected.height)
        return false;
    for (int y = 0; y < expected.height; ++y) {
        std::uint8_t* row = next.next_row();
        if (stop_now() || !decoder.read_scanline(row) || !next.push_row(row))
            return false;
    }
    return next.finish();
}

// The centred 64x64 square of the source, decoded at half size when its
// shorter side is 130 pixels or more; black where the square lies outside.
bool PreviewBuilder::write_thumbnail(InputStream& source, std::uint64_t length)
{
    JpegDecoder decoder;
    if (!source.seek(0) || !decoder.open(source, length))
        return false;
    if (std::min(decoder.width(), decoder.height()) >= 130 && !decoder.set_scale(2))
        return false;
    if (!decoder.start())
        return false;
    const int width = decoder.output_width();
    const int height = decoder.output_height();
    const int top = height / 2 - thumbnail_side / 2;
    const int left = width / 2 - thumbnail_side / 2;
    std::vector<std::uint8_t> square(thumbnail_side * thumbnail_side * 3, 0);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height && y < top + thumbnail_side; ++y) {
        if (stop_now() || !decoder.read_scanline(row.data()))
            return false;
        if (y < top)
            continue;
        for (int x = std::max(0, -left); x < thumbnail_side && left + x < width; ++x)
            std::memcpy(&square[((y - top) * thumbnail_side + x) * 3], &row[(left + x) * 3], 3);
    }
    MemoryStream jpeg;
    JpegEncoder encoder;
    if (!encoder.create(jpeg, thumbnail_side, thumbnail_side, JpegEncoder::thumbnail_quality))
        return false;
    for (int y = 0; y < thumbnail_side; ++y)
        if (!encoder.write_scanline(&square[y * thumbnail_side * 3]))
            return false;
    if (!encoder.finish())
        return false;
    m_thumbnail.jpeg_offset = m_writer.offset();
    m_thumbnail.jpeg_length = static_cast<std::uint32_t>(jpeg.size());
    m_writer.append(jpeg.bytes().data(), jpeg.bytes().size());
    return !m_writer.failed();
}

// The table, then the magic: only a file whose every byte is written starts with 17.
bool PreviewBuilder::write_table()
{
    std::vector<std::uint8_t> table(preview_header_size(m_levels) - 4);
    table[0] = static_cast<std::uint8_t>(m_levels);
    put_u32(&table[1], m_entries[0].records_offset);
    put_u32(&table[5], m_entries[0].records_length);
    for (int k = 1; k <= m_levels; ++k) {
        std::uint8_t* p = &table[9 + 16 * (k - 1)];
        put_u32(p, m_entries[k].records_offset);
        put_u32(p + 4, m_entries[k].records_length);
        put_u32(p + 8, m_entries[k].jpeg_offset);
        put_u32(p + 12, m_entries[k].jpeg_length);
    }
    put_u32(&table[table.size() - 8], m_thumbnail.jpeg_offset);
    put_u32(&table[table.size() - 4], m_thumbnail.jpeg_length);
    std::uint8_t magic[4];
    put_u32(magic, preview_magic);
    return m_writer.write_at(4, table.data(), static_cast<std::uint32_t>(table.size())) &&
           m_writer.write_at(0, magic, 4);
}

// A picture our decoder cannot resume (progressive, arithmetic-coded) gets a
// baseline transcode beside its preview, and level 0 is made from that: its
// records then serve full-resolution tiles as a baseline picture's do, and
// its decode gives the picture's own pixels. Without a usable transcode
// (CMYK, too large, a write that failed) level 0 is made from the picture
// and has no records.
void PreviewBuilder::transcode_if_needed()
{
    BaselineDecoder probe;
    JpegDecoder picture;
    if (probe.open(m_picture, 0, m_identity.size) != BaselineStatus::unsupported || !m_picture.seek(0) ||
        !picture.open(m_picture, m_identity.size))
        return;
    const String path = transcode_path(m_preview_path);
    const std::uint64_t needed = coefficient_buffer_size(picture);
    File output;
    TranscodeResult result = TranscodeResult::failed;
    if (output.open(path, File::create_mode))
        result = transcode_to_baseline(picture, output, JpegDecoder::max_library_memory, [this] { return stop_now(); });
    output.close();
    if (result == TranscodeResult::too_large)
        log() << "No transcode for " << m_picture_path << ": its coefficients need " << needed
              << " bytes, more than the " << JpegDecoder::max_library_memory
              << " allowed; full-resolution tiles come from libjpeg\n";
    BaselineDecoder check;
    m_transcoded = result == TranscodeResult::written && m_transcode.open(path, File::read_mode) &&
                   check.open(m_transcode, 0, m_transcode.size()) == BaselineStatus::ok;
    if (!m_transcoded) {
        m_transcode.close();
        delete_transcode(m_preview_path);
    }
}

// The preview is named once, from the identity the build checks the picture
// against at its end. A build that does not end ready leaves no transcode behind.
PreviewBuild PreviewBuilder::run()
{
    if (!file_identity(m_picture_path, m_identity))
        return PreviewBuild::incomplete;
    if (!m_expected_name.empty() && preview_name(m_identity) != m_expected_name)
        return PreviewBuild::incomplete;
    m_preview_path = preview_path(m_identity, m_root);
    const PreviewBuild result = build();
    if (result != PreviewBuild::ready) {
        m_transcode.close();
        delete_transcode(m_preview_path);
    }
    return result;
}

PreviewBuild PreviewBuilder::build()
{
    const String& path = m_preview_path;
    if (!m_picture.open_expanded(expand_path(m_picture_path), File::read_mode))
        return PreviewBuild::incomplete;
    {
        JpegDecoder header;
        if (!header.open(m_picture, m_identity.size))
            return failure();
        m_width = header.width();
        m_height = header.height();
    }
    m_levels = preview_levels(m_width, m_height);
    if (!m_writer.open(path))
        return PreviewBuild::unwritten;
    // The zeroed header goes to disk at once: a build cut short must leave a
    // file that starts with 0 (incomplete), never an empty one (bad picture).
    m_writer.append(std::vector<std::uint8_t>(preview_header_size(m_levels), 0).data(), preview_header_size(m_levels));
    if (!m_writer.flush())
        return PreviewBuild::unwritten;
    m_entries.assign(static_cast<std::size_t>(m_levels) + 1, PreviewLevel{});
    transcode_if_needed();
    if (stop_now())
        return failure();

    // Level 0 is the picture itself; level k is made while level k - 1 is
    // decoded, and decoding level L makes the source of the thumbnail.
    Size size{m_width, m_height};
    std::unique_ptr<NextLevel> next;
    for (int k = 0; k <= m_levels; ++k) {
        auto current = std::move(next);
        if (m_levels > 0)
            next = std::make_unique<NextLevel>();
        std::uint64_t length = k == 0 ? m_identity.size : current->jpeg().size();
        PreviewLevel& entry = m_entries[static_cast<std::size_t>(k)];
        entry.records_offset = m_writer.offset();
        // Level 0 is read from the picture file (or its transcode); level k
        // from the JPEG made while level k - 1 was decoded.
        InputStream* data = &m_picture;
        if (k == 0 && m_transcoded) {
            data = &m_transcode;
            length = m_transcode.size();
        } else if (k > 0) {
            data = &current->jpeg();
        }
        if (!build_level(*data, length, size, next, k == 0 && !m_transcoded))
            return failure();
        entry.records_length = m_writer.offset() - entry.records_offset;
        if (k > 0) {
            entry.jpeg_offset = m_writer.offset();
            entry.jpeg_length = static_cast<std::uint32_t>(length);
            m_writer.append(current->jpeg().bytes().data(), current->jpeg().bytes().size());
        }
        size = {(size.width + 1) / 2, (size.height + 1) / 2};
    }
    const bool thumbnail =
        m_levels > 0 ? write_thumbnail(next->jpeg(), next->jpeg().size()) : write_thumbnail(m_picture, m_identity.size);
    if (!thumbnail)
        return failure();
    FileIdentity now;
    if (!file_identity(m_picture_path, now) || !(now == m_identity))
        return PreviewBuild::incomplete;
    return write_table() ? PreviewBuild::ready : PreviewBuild::unwritten;
}

}  // namespace

PreviewBuild build_preview(StringView picture, StringView root, const StopCheck& stop_requested)
{
    return PreviewBuilder(picture, root, StringView(), stop_requested).run();
}

PreviewBuild build_named_preview(StringView picture, StringView root, StringView name, const StopCheck& stop_requested,
                                 String& preview)
{
    PreviewBuilder builder(picture, root, name, stop_requested);
    const PreviewBuild result = builder.run();
    preview = builder.preview_file();
    return result;
}
