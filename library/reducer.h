#pragma once
// The 2x2 reducer: halves a stream of RGB scanlines, two rows at a time.

#include <cstdint>
#include <functional>
#include <vector>

class Reducer {
public:
    // Receives each reduced row (3 bytes per pixel); false stops the reduction.
    using RowSink = std::function<bool(const std::uint8_t* rgb)>;

    // A reducer for a source of width x height pixels.
    Reducer(int width, int height, RowSink sink);

    // Size of the reduced picture: ceil(width / 2) x ceil(height / 2).
    int output_width() const { return m_output_width; }
    int output_height() const { return m_output_height; }

    // Where the next source row may be written (3 * width bytes), so that push_row takes it without a copy.
    std::uint8_t* next_row() { return m_rows_in % 2 == 0 ? m_pending.data() : m_second.data(); }
    // Takes the next source row (3 * width bytes, anywhere or at next_row()); false when the sink failed.
    bool push_row(const std::uint8_t* rgb);
    // Emits a pending unpaired last row; false when the sink failed or rows are missing.
    bool finish();

private:
    bool emit(const std::uint8_t* top, const std::uint8_t* bottom);

    int m_width;
    int m_height;
    int m_output_width;
    int m_output_height;
    int m_rows_in = 0;
    RowSink m_sink;
    std::vector<std::uint8_t> m_pending;  // the first row of a pair
    std::vector<std::uint8_t> m_second;   // room for the second row of a pair, written in place
    std::vector<std::uint16_t> m_sums;    // the pair's column sums, per channel
    std::vector<std::uint8_t> m_output;
};
