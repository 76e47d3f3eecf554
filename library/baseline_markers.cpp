#include "library/baseline_markers.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include "library/baseline_tables.h"

namespace {

// Marker codes the reader tells apart.
constexpr int marker_soi = 0xD8;
constexpr int marker_eoi = 0xD9;
constexpr int marker_sof0 = 0xC0;
constexpr int marker_sof1 = 0xC1;
constexpr int marker_dht = 0xC4;
constexpr int marker_sos = 0xDA;
constexpr int marker_dqt = 0xDB;
constexpr int marker_dri = 0xDD;
constexpr int marker_app0 = 0xE0;
constexpr int marker_app14 = 0xEE;

// A marker segment read whole into memory (at most 65533 bytes).
class Segment {
public:
    bool load(BaselineSource& source)
    {
        std::uint8_t length_bytes[2];
        if (!source.read(length_bytes, 2))
            return false;
        const int length = (length_bytes[0] << 8) | length_bytes[1];
        if (length < 2)
            return false;
        m_bytes.resize(static_cast<std::size_t>(length - 2));
        m_at = 0;
        return m_bytes.empty() || source.read(m_bytes.data(), static_cast<std::uint32_t>(m_bytes.size()));
    }
    std::size_t left() const { return m_bytes.size() - m_at; }
    bool has(std::size_t count) const { return left() >= count; }
    int byte() { return m_bytes[m_at++]; }
    int word()
    {
        const int high = byte();
        return (high << 8) | byte();
    }
    const std::uint8_t* take(std::size_t count)
    {
        const std::uint8_t* at = m_bytes.data() + m_at;
        m_at += count;
        return at;
    }
    bool starts_with(const char* text, std::size_t count) const
    {
        return m_bytes.size() >= count && std::memcmp(m_bytes.data(), text, count) == 0;
    }
    int at(std::size_t index) const { return m_bytes[index]; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};

// Markers that start frames this decoder does not handle but libjpeg may:
// progressive, lossless, hierarchical and arithmetic-coded ones.
// (0xC2..0xCF except DHT, including JPG 0xC8 and the arithmetic conditioning DAC).
bool is_other_frame(int marker)
{
    return marker >= 0xC2 && marker <= 0xCF && marker != marker_dht;
}

// Next marker code: 0xFF, any fill 0xFF bytes, then the code; -1 when the
// bytes there are not a marker.
int next_marker(BaselineSource& source)
{
    if (source.next() != 0xFF)
        return -1;
    int code = source.next();
    while (code == 0xFF)
        code = source.next();
    return code <= 0 ? -1 : code;
}

struct MarkerReader {
    BaselineState& state;
    bool frame_seen = false;
    bool jfif = false;
    int adobe_transform = -1;

    bool read_quant(Segment& segment)
    {
        while (segment.left() > 0) {
            const int info = segment.byte();
            const int precision = info >> 4;
            const int id = info & 15;
            if (precision > 1 || id > 3 || !segment.has(precision ? 128 : 64))
                return false;
            for (int k = 0; k < 64; ++k)
                state.quant[id][zigzag_to_natural[k]] =
                    static_cast<std::uint16_t>(precision ? segment.word() : segment.byte());
            state.quant_present[id] = true;
        }
        return true;
    }

    bool read_huffman(Segment& segment)
    {
        while (segment.left() > 0) {
            if (!segment.has(17))
                return false;
            const int info = segment.byte();
            const int table_class = info >> 4;
            const int id = info & 15;
            if (table_class > 1 || id > 3)
                return false;
            const std::uint8_t* counts = segment.take(16);
            int total = 0;
            for (int i = 0; i < 16; ++i)
                total += counts[i];
            if (total > 256 || !segment.has(static_cast<std::size_t>(total)))
                return false;
            const std::uint8_t* symbols = segment.take(static_cast<std::size_t>(total));
            HuffmanTable& table = table_class == 0 ? state.dc_tables[id] : state.ac_tables[id];
            if (!table.build(counts, symbols, total, table_class == 0))
                return false;
        }
        return true;
    }

    BaselineStatus read_frame(Segment& segment)
    {
        if (frame_seen || !segment.has(6))
            return BaselineStatus::bad;
        frame_seen = true;
        const int precision = segment.byte();
        state.height = segment.word();
        state.width = segment.word();
        const int count = segment.byte();
        if (state.width == 0 || count == 0 || !segment.has(static_cast<std::size_t>(count) * 3))
            return BaselineStatus::bad;
        // Height 0 (set later by a DNL marker), other precisions and
        // component counts are left to libjpeg.
        if (precision != 8 || state.height == 0 || (count != 1 && count != 3))
            return BaselineStatus::unsupported;
        state.component_count = count;
        for (int c = 0; c < count; ++c) {
            BaselineComponent& component = state.components[c];
            component.id = segment.byte();
            const int factors = segment.byte();
            component.h = factors >> 4;
            component.v = factors & 15;
            component.quant_table = segment.byte();
            if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4 || component.quant_table > 3)
                return BaselineStatus::bad;
        }
        return BaselineStatus::ok;
    }

    BaselineStatus read_scan(Segment& segment)
    {
        if (!frame_seen || !segment.has(1))
            return BaselineStatus::bad;
        const int count = segment.byte();
        if (!segment.has(static_cast<std::size_t>(count) * 2 + 3))
            return BaselineStatus::bad;
        // Only one scan with every component is ours; several scans go to libjpeg.
        if (count != state.component_count)
            return BaselineStatus::unsupported;
        bool used[3] = {};
        for (int i = 0; i < count; ++i) {
            const int id = segment.byte();
            const int tables = segment.byte();
            int c = 0;
            while (c < state.component_count && (state.components[c].id != id || used[c]))
                ++c;
            if (c == state.component_count)
                return BaselineStatus::bad;
            used[c] = true;
            state.scan_order[i] = c;
            state.components[c].dc_table = tables >> 4;
            state.components[c].ac_table = tables & 15;
            if ((tables >> 4) > 3 || (tables & 15) > 3)
                return BaselineStatus::bad;
        }
        return BaselineStatus::ok;
    }

    BaselineStatus check_tables() const
    {
        for (int c = 0; c < state.component_count; ++c) {
            const BaselineComponent& component = state.components[c];
            if (!state.quant_present[component.quant_table] || !state.dc_tables[component.dc_table].present() ||
                !state.ac_tables[component.ac_table].present())
                return BaselineStatus::bad;
        }
        return BaselineStatus::ok;
    }

    // The colour space as libjpeg decides it: JFIF means YCbCr, else the
    // Adobe transform flag, else the component ids "R", "G", "B".
    void decide_colour()
    {
        if (state.component_count != 3 || jfif)
            return;
        if (adobe_transform >= 0) {
            state.rgb = adobe_transform == 0;
            return;
        }
        state.rgb = state.components[0].id == 'R' && state.components[1].id == 'G' && state.components[2].id == 'B';
    }

    BaselineStatus handle(int marker, Segment& segment)
    {
        switch (marker) {
        case marker_sof0:
        case marker_sof1:
            return read_frame(segment);
        case marker_dht:
            return read_huffman(segment) ? BaselineStatus::ok : BaselineStatus::bad;
        case marker_dqt:
            return read_quant(segment) ? BaselineStatus::ok : BaselineStatus::bad;
        case marker_dri:
            if (!segment.has(2))
                return BaselineStatus::bad;
            state.restart_interval = segment.word();
            return BaselineStatus::ok;
        case marker_app0:
            jfif = jfif || segment.starts_with("JFIF\0", 5);
            return BaselineStatus::ok;
        case marker_app14:
            if (segment.starts_with("Adobe", 5) && segment.left() >= 12)
                adobe_transform = segment.at(11);
            return BaselineStatus::ok;
        default:
            return is_other_frame(marker) ? BaselineStatus::unsupported : BaselineStatus::ok;
        }
    }
};

// Block geometry: a single-component scan has one block per MCU whatever its
// factors say; interleaved scans need factors whose ratios are 1 or 2.
BaselineStatus derive_geometry(BaselineState& state)
{
    if (state.component_count == 1) {
        state.components[0].h = state.components[0].v = 1;
    }
    int hmax = 1, vmax = 1, blocks = 0;
    for (int c = 0; c < state.component_count; ++c) {
        hmax = std::max(hmax, state.components[c].h);
        vmax = std::max(vmax, state.components[c].v);
        blocks += state.components[c].h * state.components[c].v;
    }
    if (hmax > 2 || vmax > 2 || blocks > 10)
        return BaselineStatus::unsupported;
    state.hmax = hmax;
    state.vmax = vmax;
    for (int c = 0; c < state.component_count; ++c) {
        BaselineComponent& component = state.components[c];
        component.h_expand = hmax / component.h;
        component.v_expand = vmax / component.v;
        component.width = static_cast<int>((static_cast<long>(state.width) * component.h + hmax - 1) / hmax);
        component.height = static_cast<int>((static_cast<long>(state.height) * component.v + vmax - 1) / vmax);
    }
    return BaselineStatus::ok;
}

}  // namespace

BaselineStatus read_baseline_markers(BaselineState& state)
{
    BaselineSource& source = state.source;
    if (!source.seek(0) || next_marker(source) != marker_soi)
        return BaselineStatus::bad;
    MarkerReader reader{state};
    Segment segment;
    for (;;) {
        const int marker = next_marker(source);
        if (marker < 0 || marker == marker_eoi)
            return BaselineStatus::bad;
        // Standalone markers carry no length.
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue;
        if (!segment.load(source))
            return BaselineStatus::bad;
        if (marker == marker_sos) {
            BaselineStatus status = reader.read_scan(segment);
            if (status == BaselineStatus::ok)
                status = reader.check_tables();
            if (status == BaselineStatus::ok)
                status = derive_geometry(state);
            if (status != BaselineStatus::ok)
                return status;
            reader.decide_colour();
            state.scan_start = source.position();
            return BaselineStatus::ok;
        }
        const BaselineStatus status = reader.handle(marker, segment);
        if (status != BaselineStatus::ok)
            return status;
    }
}
