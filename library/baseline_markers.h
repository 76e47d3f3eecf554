#pragma once
// The marker reader of the baseline decoder: reads the JPEG's markers from
// SOI up to the scan header and keeps what the later stages need.

#include <cstdint>
#include "library/baseline_decoder.h"
#include "library/baseline_source.h"
#include "library/huffman_table.h"

// One component of the frame, with the geometry the upsampler uses.
struct BaselineComponent {
    int id = 0;
    int h = 1;  // horizontal sampling factor (1 for a single-component scan)
    int v = 1;  // vertical sampling factor
    int quant_table = 0;
    int dc_table = 0;
    int ac_table = 0;
    int width = 0;     // samples per row: ceil(picture width * h / hmax)
    int height = 0;    // sample rows: ceil(picture height * v / vmax)
    int h_expand = 1;  // hmax / h: 1 or 2
    int v_expand = 1;  // vmax / v: 1 or 2
};

// Everything read from the markers.
struct BaselineState {
    BaselineSource source;
    int width = 0;
    int height = 0;
    int component_count = 0;
    BaselineComponent components[3];
    int scan_order[3] = {0, 1, 2};  // frame component of each scan position (MCU block order)
    int hmax = 1;
    int vmax = 1;
    bool rgb = false;  // components are R, G, B (no colour transform)
    int restart_interval = 0;
    std::uint64_t scan_start = 0;     // first byte after the scan header
    std::uint16_t quant[4][64] = {};  // natural order
    bool quant_present[4] = {};
    HuffmanTable dc_tables[4];
    HuffmanTable ac_tables[4];
};

// Reads the markers from the start of state.source; fills state.
BaselineStatus read_baseline_markers(BaselineState& state);
