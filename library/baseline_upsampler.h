#pragma once
// The last two stages of the baseline decoder: upsampling of subsampled
// components (libjpeg's "fancy" triangle filters) and YCbCr to RGB.

#include <cstdint>
#include <vector>
#include "library/baseline_markers.h"

// Samples of one component for a band of rows: rows are kept in a ring
// (row index modulo ring_rows) and columns from col_origin on.
struct SamplePlane {
    std::vector<std::uint8_t> data;
    int width = 0;
    int ring_rows = 0;
    int col_origin = 0;

    void allocate(int columns, int rows, int origin);
    std::uint8_t* row(int index) { return data.data() + static_cast<std::size_t>(index % ring_rows) * width; }
};

// Whether the component's upsampling reads the neighbouring sample column (and row).
bool uses_column_context(const BaselineComponent& component);
bool uses_row_context(const BaselineComponent& component);

class BaselineUpsampler {
public:
    // Prepares for the picture's components and colour space, rows of at most width pixels.
    void setup(const BaselineState& state, int width);
    // Writes picture row y, columns [x0, x1), as RGB from the planes (one per component),
    // which must hold every sample row and column the filters read.
    void convert_row(SamplePlane* planes, int y, int x0, int x1, std::uint8_t* rgb);

private:
    // The component's samples of the row: the plane's own row when no filter
    // applies, else written to out.
    const std::uint8_t* upsample(int c, SamplePlane& plane, int y, int x0, int x1, std::uint8_t* out);

    const BaselineState* m_state = nullptr;
    std::vector<std::uint8_t> m_rows[3];
    std::vector<int> m_sums;  // column sums of the row being filtered
};
