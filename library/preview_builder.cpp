// Building a preview file: the records of every level, the chain of
// half-size JPEGs and the thumbnail, streaming scanline by scanline.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "library/baseline_decoder.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_encoder.h"
#include "platform/memory_stream.h"
#include "library/preview_file.h"
#include "library/preview_format.h"
#include "library/reducer.h"
#include "library/resume_record.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "pixels/pixel_types.h"

namespace {

constexpr std::size_t write_chunk = 64 * 1024;
// How often the caller's stop check is asked while only the records pass runs.
constexpr unsigned stop_poll_milliseconds = 10;

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

// The next level being made while a level is decoded: the 2x2 reducer feeds
// a JPEG encoder that compresses into memory.
class NextLevel {
public:
    bool start(int width, int height)
    {
        m_reducer = std::make_unique<Reducer>(width, height,
                                              [this](const std::uint8_t* rgb) { return m_encoder.write_scanline(rgb); });
        return m_encoder.create(m_jpeg, m_reducer->output_width(), m_reducer->output_height(),
                                JpegEncoder::level_quality);
    }
    std::uint8_t* next_row() { return m_reducer->next_row(); }
    bool push_row(const std::uint8_t* rgb) { return m_reducer->push_row(rgb); }
    bool finish() { return m_reducer->finish() && m_encoder.finish(); }
    MemoryStream& jpeg() { return m_jpeg; }

private:
    MemoryStream m_jpeg;
    JpegEncoder m_encoder;
    std::unique_ptr<Reducer> m_reducer;
};

// Work that runs on a worker thread beside the calling one. When no thread
// can be started it runs on the calling thread when it is waited for.
class SideTask : public Thread {
public:
    explicit SideTask(std::function<bool()> work) : m_work(std::move(work)) {}
    ~SideTask() override { join(); }

    void begin() { m_threaded = start(); }

    // Waits for the work to end, calling poll every few milliseconds meanwhile; its result.
    bool wait(const std::function<void()>& poll)
    {
        if (!m_threaded)
            return m_work();
        while (!m_done.wait_for(stop_poll_milliseconds))
            poll();
        join();
        return m_result;
    }

protected:
    void run() override
    {
        m_result = m_work();
        m_done.set();
    }

private:
    std::function<bool()> m_work;
    Event m_done{true};
    bool m_result = false;
    bool m_threaded = false;
};

// Builds one preview file, streaming: at any time it holds the few MCU rows
// of the two decoders (one per pass, each on its own thread), the reducer's
// rows, the JPEG of the level being decoded and the JPEG of the next level
// being compressed.
class PreviewBuilder {
public:
    PreviewBuilder(StringView picture, StringView root, const StopCheck& stop_requested)
        : m_picture_path(picture), m_root(root), m_stop_requested(stop_requested)
    {
    }

    PreviewBuild run();

private:
    bool stop_now();
    PreviewBuild failure();
    bool build_level(InputStream& data, InputStream& records_data, std::uint64_t length, Size size,
                     NextLevel* next);
    bool record(const ResumeRecord& record);
    bool record_level(InputStream& data, std::uint64_t length, Size expected);
    bool reduce_level(InputStream& data, std::uint64_t length, Size expected, NextLevel& next);
    bool write_thumbnail(InputStream& source, std::uint64_t length);
    bool write_table();

    String m_picture_path;
    String m_root;
    const StopCheck& m_stop_requested;
    bool m_stopped = false;
    // Set when either pass of a level fails or the build stops: the other pass ends early.
    std::atomic<bool> m_cancel{false};
    FileIdentity m_identity;
    File m_picture;
    File m_picture_for_records;  // the records pass reads the picture through its own file
    int m_width = 0;
    int m_height = 0;
    int m_levels = 0;
    PreviewWriter m_writer;
    std::vector<PreviewLevel> m_entries;
    PreviewLevel m_thumbnail;
};

// Only the calling thread asks the caller's stop check (which need not be
// thread-safe); the records pass learns of a stop through m_cancel.
bool PreviewBuilder::stop_now()
{
    if (!m_stopped && m_stop_requested && m_stop_requested()) {
        m_stopped = true;
        m_cancel = true;
    }
    return m_stopped;
}

// A failed decode means a bad picture only when nothing else explains it: the
// build was not stopped, every write succeeded and the picture is still the
// file it was when the build began. Otherwise the preview stays incomplete.
PreviewBuild PreviewBuilder::failure()
{
    FileIdentity now;
    if (m_stopped || m_writer.failed() || !file_identity(m_picture_path, now) || !(now == m_identity))
        return PreviewBuild::incomplete;
    return PreviewBuild::bad_picture;
}

bool PreviewBuilder::record(const ResumeRecord& record)
{
    std::uint8_t bytes[resume_record_size];
    serialise_resume_record(record, bytes);
    m_writer.append(bytes, resume_record_size);
    return !m_writer.failed();
}

// Each level is passed over twice, at the same time. The records come from
// our baseline decoder running its entropy stage only, on a worker thread;
// the rows for the next level come from libjpeg's decode on the calling
// thread, whose optimised pixel stages are several times faster than our
// decoder's full decode (which would give the same rows). Each pass reads the
// level's compressed data through its own stream; neither holds the picture.
// The records pass alone appends to the writer until it is joined, so the
// file's bytes are those of the two passes run one after the other.
bool PreviewBuilder::build_level(InputStream& data, InputStream& records_data, std::uint64_t length, Size size,
                                 NextLevel* next)
{
    SideTask records([&] {
        const bool recorded = record_level(records_data, length, size);
        if (!recorded)
            m_cancel = true;
        return recorded;
    });
    records.begin();
    if (next && (!next->start(size.width, size.height) || !reduce_level(data, length, size, *next)))
        m_cancel = true;
    const bool recorded = records.wait([this] { stop_now(); });
    return recorded && !m_cancel;
}

// The records of a level; a picture our decoder does not handle (progressive,
// arithmetic-coded, CMYK) has none. False when the data is damaged or the build stops.
bool PreviewBuilder::record_level(InputStream& data, std::uint64_t length, Size expected)
{
    BaselineDecoder decoder;
    const BaselineStatus status = decoder.open(data, 0, length);
    if (status == BaselineStatus::unsupported)
        return true;
    if (status == BaselineStatus::bad || decoder.info().width != expected.width ||
        decoder.info().height != expected.height)
        return false;
    return decoder.decode_with_records([this](const ResumeRecord& r) { return !m_cancel && record(r); }, {});
}

// Feeds every RGB row of a level to the reducer of the next level.
bool PreviewBuilder::reduce_level(InputStream& data, std::uint64_t length, Size expected, NextLevel& next)
{
    JpegDecoder decoder;
    if (!data.seek(0) || !decoder.open(data, length) || !decoder.start() ||
        decoder.output_width() != expected.width || decoder.output_height() != expected.height)
        return false;
    for (int y = 0; y < expected.height; ++y) {
        std::uint8_t* row = next.next_row();
        if (stop_now() || m_cancel || !decoder.read_scanline(row) || !next.push_row(row))
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

PreviewBuild PreviewBuilder::run()
{
    const String path = preview_path(m_picture_path, m_root);
    if (path.empty() || !file_identity(m_picture_path, m_identity) ||
        !m_picture.open_expanded(expand_path(m_picture_path), File::read_mode) ||
        !m_picture_for_records.open_expanded(expand_path(m_picture_path), File::read_mode))
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
        return PreviewBuild::incomplete;
    // The zeroed header goes to disk at once: a build cut short must leave a
    // file that starts with 0 (incomplete), never an empty one (bad picture).
    m_writer.append(std::vector<std::uint8_t>(preview_header_size(m_levels), 0).data(), preview_header_size(m_levels));
    if (!m_writer.flush())
        return PreviewBuild::incomplete;
    m_entries.assign(static_cast<std::size_t>(m_levels) + 1, PreviewLevel{});

    // Level 0 is the picture itself; level k is made while level k - 1 is
    // reduced, and reducing level L makes the source of the thumbnail.
    Size size{m_width, m_height};
    std::unique_ptr<NextLevel> next;
    for (int k = 0; k <= m_levels; ++k) {
        auto current = std::move(next);
        if (m_levels > 0)
            next = std::make_unique<NextLevel>();
        const std::uint64_t length = k == 0 ? m_identity.size : current->jpeg().size();
        PreviewLevel& entry = m_entries[static_cast<std::size_t>(k)];
        entry.records_offset = m_writer.offset();
        // Level 0 is read from the picture file, opened twice; level k from
        // the JPEG made while level k - 1 was reduced.
        InputStream* data = &m_picture;
        InputStream* records_data = &m_picture_for_records;
        std::unique_ptr<MemoryReader> level_reader;
        if (k > 0) {
            level_reader = std::make_unique<MemoryReader>(current->jpeg().bytes());
            data = &current->jpeg();
            records_data = level_reader.get();
        }
        if (!build_level(*data, *records_data, length, size, next.get()))
            return failure();
        entry.records_length = m_writer.offset() - entry.records_offset;
        if (k > 0) {
            entry.jpeg_offset = m_writer.offset();
            entry.jpeg_length = static_cast<std::uint32_t>(length);
            m_writer.append(current->jpeg().bytes().data(), current->jpeg().bytes().size());
        }
        size = {(size.width + 1) / 2, (size.height + 1) / 2};
    }
    const bool thumbnail = m_levels > 0 ? write_thumbnail(next->jpeg(), next->jpeg().size())
                                        : write_thumbnail(m_picture, m_identity.size);
    if (!thumbnail)
        return failure();
    FileIdentity now;
    if (!file_identity(m_picture_path, now) || !(now == m_identity))
        return PreviewBuild::incomplete;
    return write_table() ? PreviewBuild::ready : PreviewBuild::incomplete;
}

}  // namespace

PreviewBuild build_preview(StringView picture, StringView root, const StopCheck& stop_requested)
{
    return PreviewBuilder(picture, root, stop_requested).run();
}
