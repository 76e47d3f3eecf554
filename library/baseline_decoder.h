#pragma once
// BaselineDecoder: our own decoder for sequential (baseline or extended)
// Huffman JPEGs with 8-bit samples, one scan holding all components, 1 or 3
// components and the sampling layouts 4:4:4, 4:2:2, 4:2:0, 4:4:0 and grey.
//
// It exists for random access: the sequential decode reports a ResumeRecord
// at the first MCU of every 256-pixel tile column in every MCU row, and a
// window of the picture can later be decoded from those records alone,
// reading only the compressed bytes of the window's MCUs.
//
// Pipeline: source reader -> marker reader -> Huffman entropy decoder ->
// dequantise + accurate integer IDCT -> fancy upsampler -> YCbCr to RGB.
// Pixels match libjpeg's default decode (accurate DCT, fancy upsampling).
//
// Records, in the order the sequential decode produces them:
//   index = tile_column + tile_columns * mcu_row,
//   count = tile_columns * mcu_rows (see BaselineInfo),
// where tile column c starts at MCU column c * (256 / mcu_width). When the
// chroma is horizontally subsampled, the records of tile columns c > 0 sit one
// MCU earlier (the MCU holding the upsampler's left context of the tile) and
// carry record_one_mcu_early; records without it are read at the column start.
// `remaining` is counted over the data given to open() (its `length`).
//
// Every input is untrusted: damaged data, tables or records give false,
// never a crash; work and memory are bounded by the picture width and the
// data length. One object is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>
#include "library/resume_record.h"

class InputStream;
struct BaselineState;

// What open() found.
enum class BaselineStatus {
    ok,           // a picture this decoder handles; info() is valid
    unsupported,  // a readable JPEG of another kind (progressive, arithmetic, CMYK, 12-bit, several scans, odd
                  // sampling): use JpegDecoder
    bad,          // not a JPEG, truncated or damaged header
};

// Geometry of an opened picture.
struct BaselineInfo {
    int width = 0;                 // pixels
    int height = 0;                // pixels
    int components = 0;            // 1 (grey) or 3 (YCbCr, or RGB when the file says so)
    int mcu_width = 0;             // 8 or 16 pixels
    int mcu_height = 0;            // 8 or 16 pixels
    int mcus_per_row = 0;          // ceil(width / mcu_width)
    int mcu_rows = 0;              // ceil(height / mcu_height)
    int tile_columns = 0;          // ((width - 1) >> 8) + 1
    int mcus_per_tile_column = 0;  // 256 / mcu_width
    int restart_interval = 0;      // MCUs per restart interval, 0 = none
    std::size_t record_count() const { return static_cast<std::size_t>(tile_columns) * mcu_rows; }
};

// A rectangle of the picture in pixels; it must lie inside the picture.
struct PixelWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class BaselineDecoder {
public:
    // Called once per record in order; return false to stop the decode (it then fails).
    using RecordCallback = std::function<bool(const ResumeRecord& record)>;
    // Called once per picture row, top to bottom, with width * 3 bytes of RGB; return false to stop.
    using RowCallback = std::function<bool(const std::uint8_t* rgb, int y)>;
    // Called for every 8x8 block of quantised coefficients (natural order, not dequantised)
    // at MCU (mcu_x, mcu_y); block counts the component's blocks within the MCU row-major.
    using BlockCallback =
        std::function<void(int mcu_x, int mcu_y, int component, int block, const std::int16_t* coefficients)>;

    BaselineDecoder();
    ~BaselineDecoder();
    BaselineDecoder(const BaselineDecoder&) = delete;
    BaselineDecoder& operator=(const BaselineDecoder&) = delete;

    // Reads the markers of the JPEG stored in stream at [offset, offset + length)
    // up to its scan header. The stream must stay alive while the decoder is used.
    BaselineStatus open(InputStream& stream, std::uint64_t offset, std::uint64_t length);
    // Geometry of the opened picture (zeros before a successful open).
    const BaselineInfo& info() const { return m_info; }

    // Whether record is the one the sequential decode reports first: at the scan's
    // first byte, counted over this data's length, with fresh predictors. The
    // records of other or truncated data fail this.
    bool is_first_record(const ResumeRecord& record) const;

    // Decodes the whole picture from its start. Reports every ResumeRecord to
    // on_record (may be empty) and, when on_row is set, every RGB row to on_row;
    // without on_row only the entropy stage runs (records at a fraction of the cost).
    // Holds at most three MCU rows of samples. False on damaged data or a stop.
    bool decode_with_records(const RecordCallback& on_record, const RowCallback& on_row);
    // The same pass with the rows of the picture at half size, ceil(width / 2) x
    // ceil(height / 2), as libjpeg's scaled decoding at 1/2 makes them (reduced
    // inverse DCTs): the records and the first reduced level from one entropy pass.
    bool decode_half_with_records(const RecordCallback& on_record, const RowCallback& on_half_row);

    // Decodes the window to RGB (window.width * 3 bytes per row, rows stride bytes
    // apart) from the records of the whole picture (record_count() of them, as the
    // sequential decode produced them). Each MCU row starts at the last record at or
    // before its first wanted MCU (context included); the upsampler's context (one MCU on each
    // side, one MCU row above and below) is decoded too, so the pixels equal those of
    // decode_with_records exactly: no seams between tiles. Reads only those MCUs' bytes.
    bool decode_window(const std::vector<ResumeRecord>& records, const PixelWindow& window, std::uint8_t* rgb,
                       std::size_t stride);

    // MCUs the entropy stage went through in the last window decode (wanted or not).
    std::uint64_t window_mcus_decoded() const { return m_window_mcus; }

    // Entropy-decodes the whole picture and reports every block.
    bool decode_coefficients(const BlockCallback& on_block);
    // Entropy-decodes MCU rows [first_row, first_row + row_count) of tile column
    // tile_column, each row from its record, and reports the blocks of that column.
    bool decode_window_coefficients(const std::vector<ResumeRecord>& records, int tile_column, int first_row,
                                    int row_count, const BlockCallback& on_block);

private:
    int record_tile_column(int mcu_column) const;
    int record_column(int tile_column, const ResumeRecord& record) const;
    int window_tile_column(const std::vector<ResumeRecord>& records, int row, int first_column) const;
    template <typename Write, typename Emit>
    bool decode_sequential(const RecordCallback& on_record, bool pixels, Write write, Emit emit);

    BaselineInfo m_info;
    int m_record_lead = 0;  // 1 when records of tile columns > 0 sit one MCU early
    std::uint64_t m_window_mcus = 0;
    std::unique_ptr<BaselineState> m_state;  // tables and frame layout from the marker reader
};
