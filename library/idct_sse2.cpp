// The inverse DCTs on SSE2, eight columns or rows at a time in 16-bit lanes
// with 32-bit products (pmaddwd on pairs of inputs), like libjpeg-turbo's
// SIMD code, whose output the tiles must equal.
//
// Every product and sum is exact in 32 bits for any 16-bit inputs: the
// largest sum, a pass's even part plus its odd part, stays below
// 32767 * (16384 + 15137 + 8697 + 20996) + 2^17 < 2^31. The 16-bit steps are
// the dequantised coefficients and the first pass's results: they hold the
// blocks of 8-bit pictures; for damaged data the former wrap and the latter
// saturate, giving some block.

#include "library/idct_kernels.h"

#if defined(__SSE2__)

#include <cstring>
#include <emmintrin.h>

namespace {

using Vector = __m128i;

// Fixed-point factors (value * 2^13) of the transforms, combined so that each
// output is a sum of pairs of inputs times pairs of factors.
constexpr int const_bits = 13;
constexpr int pass1_bits = 2;

// 32-bit results for the low four and the high four lanes.
struct Wide {
    Vector low;
    Vector high;
};

[[gnu::always_inline]] inline Wide operator+(Wide a, Wide b)
{
    return {_mm_add_epi32(a.low, b.low), _mm_add_epi32(a.high, b.high)};
}

[[gnu::always_inline]] inline Wide operator-(Wide a, Wide b)
{
    return {_mm_sub_epi32(a.low, b.low), _mm_sub_epi32(a.high, b.high)};
}

// a * a_factor + b * b_factor in every lane.
[[gnu::always_inline]] inline Wide multiply_pairs(Vector a, Vector b, short a_factor, short b_factor)
{
    const Vector factors =
        _mm_set_epi16(b_factor, a_factor, b_factor, a_factor, b_factor, a_factor, b_factor, a_factor);
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), factors), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), factors)};
}

// The lanes times 2^shift, widened.
[[gnu::always_inline]] inline Wide widen_shifted(Vector a, int shift)
{
    const Vector zero = _mm_setzero_si128();
    return {_mm_srai_epi32(_mm_unpacklo_epi16(zero, a), 16 - shift),
            _mm_srai_epi32(_mm_unpackhi_epi16(zero, a), 16 - shift)};
}

[[gnu::always_inline]] inline Vector descale_to_16(Wide value, int bits)
{
    const Vector rounding = _mm_set1_epi32(1 << (bits - 1));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(value.low, rounding), bits),
                           _mm_srai_epi32(_mm_add_epi32(value.high, rounding), bits));
}

// One pass of the accurate transform over in[0..7], each result descaled by bits.
[[gnu::always_inline]] inline void accurate_pass(const Vector in[8], Vector out[8], int bits)
{
    const Wide even0 = multiply_pairs(in[0], in[4], 8192, 8192);
    const Wide even1 = multiply_pairs(in[0], in[4], 8192, -8192);
    const Wide even3 = multiply_pairs(in[2], in[6], 4433 + 6270, 4433);
    const Wide even2 = multiply_pairs(in[2], in[6], 4433, 4433 - 15137);
    const Wide tmp10 = even0 + even3;
    const Wide tmp13 = even0 - even3;
    const Wide tmp11 = even1 + even2;
    const Wide tmp12 = even1 - even2;

    // The odd part's products, each input's factors summed: for in[7],
    // 0.298631336 - 0.899976223 - 1.961570560 + 1.175875602, and so on.
    const Wide odd0 = multiply_pairs(in[7], in[5], -11363, 9633) + multiply_pairs(in[3], in[1], -6436, 2260);
    const Wide odd1 = multiply_pairs(in[7], in[5], 9633, 2261) + multiply_pairs(in[3], in[1], -11362, 6437);
    const Wide odd2 = multiply_pairs(in[7], in[5], -6436, -11362) + multiply_pairs(in[3], in[1], -2259, 9633);
    const Wide odd3 = multiply_pairs(in[7], in[5], 2260, 6437) + multiply_pairs(in[3], in[1], 9633, 11363);

    out[0] = descale_to_16(tmp10 + odd3, bits);
    out[7] = descale_to_16(tmp10 - odd3, bits);
    out[1] = descale_to_16(tmp11 + odd2, bits);
    out[6] = descale_to_16(tmp11 - odd2, bits);
    out[2] = descale_to_16(tmp12 + odd1, bits);
    out[5] = descale_to_16(tmp12 - odd1, bits);
    out[3] = descale_to_16(tmp13 + odd0, bits);
    out[4] = descale_to_16(tmp13 - odd0, bits);
}

// One pass of the reduced transform: four results from in[0..7] (in[4] is not
// used), left scaled by 2^(const_bits + 1).
[[gnu::always_inline]] inline void reduced_pass(const Vector in[8], Wide out[4])
{
    const Wide tmp0 = widen_shifted(in[0], const_bits + 1);
    const Wide tmp2 = multiply_pairs(in[2], in[6], 15137, -6270);
    const Wide tmp10 = tmp0 + tmp2;
    const Wide tmp12 = tmp0 - tmp2;
    const Wide odd0 = multiply_pairs(in[7], in[5], -1730, 11893) + multiply_pairs(in[3], in[1], -17799, 8697);
    const Wide odd2 = multiply_pairs(in[7], in[5], -4176, -4926) + multiply_pairs(in[3], in[1], 7373, 20995);
    out[0] = tmp10 + odd2;
    out[3] = tmp10 - odd2;
    out[1] = tmp12 + odd0;
    out[2] = tmp12 - odd0;
}

// Rows of the 8x8 matrix of 16-bit lanes become its columns.
[[gnu::always_inline]] inline void transpose(Vector m[8])
{
    Vector pairs[8], quads[8];
    for (int i = 0; i < 4; ++i) {
        pairs[2 * i] = _mm_unpacklo_epi16(m[2 * i], m[2 * i + 1]);
        pairs[2 * i + 1] = _mm_unpackhi_epi16(m[2 * i], m[2 * i + 1]);
    }
    for (int i = 0; i < 2; ++i) {
        const Vector* p = pairs + 4 * i;
        quads[4 * i] = _mm_unpacklo_epi32(p[0], p[2]);
        quads[4 * i + 1] = _mm_unpackhi_epi32(p[0], p[2]);
        quads[4 * i + 2] = _mm_unpacklo_epi32(p[1], p[3]);
        quads[4 * i + 3] = _mm_unpackhi_epi32(p[1], p[3]);
    }
    for (int i = 0; i < 4; ++i) {
        m[2 * i] = _mm_unpacklo_epi64(quads[i], quads[i + 4]);
        m[2 * i + 1] = _mm_unpackhi_epi64(quads[i], quads[i + 4]);
    }
}

[[gnu::always_inline]] inline void load_dequantised(const std::int16_t* coefficients, const std::uint16_t* quantisation,
                                                    Vector rows[8])
{
    for (int row = 0; row < 8; ++row)
        rows[row] = _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const Vector*>(coefficients + row * 8)),
                                    _mm_loadu_si128(reinterpret_cast<const Vector*>(quantisation + row * 8)));
}

// Level shift and the clamp to 0..255 of two rows, packed into bytes.
[[gnu::always_inline]] inline Vector to_samples(Vector upper, Vector lower)
{
    const Vector centre = _mm_set1_epi16(128);
    return _mm_packus_epi16(_mm_adds_epi16(upper, centre), _mm_adds_epi16(lower, centre));
}

}  // namespace

void idct_islow_sse2(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                     std::size_t stride)
{
    // Pass 1 on the columns: row r of the workspace holds that row's eight
    // columns at 2^pass1_bits scale. Transposed, pass 2 works on the rows and
    // removes both scales and the factor 8 of the transform.
    Vector rows[8], workspace[8], samples[8];
    load_dequantised(coefficients, quantisation, rows);
    accurate_pass(rows, workspace, const_bits - pass1_bits);
    transpose(workspace);
    accurate_pass(workspace, samples, const_bits + pass1_bits + 3);
    transpose(samples);
    for (int row = 0; row < 8; row += 2) {
        const Vector bytes = to_samples(samples[row], samples[row + 1]);
        _mm_storel_epi64(reinterpret_cast<Vector*>(out + row * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<Vector*>(out + (row + 1) * stride), _mm_srli_si128(bytes, 8));
    }
}

void idct_4x4_sse2(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                   std::size_t stride)
{
    // Pass 1 on the eight columns gives four rows at 2^pass1_bits scale;
    // transposed (the other four rows zero), lane r of workspace[c] is column c
    // of row r, and pass 2 makes the four rows' samples at once in the low lanes.
    Vector rows[8], workspace[8];
    load_dequantised(coefficients, quantisation, rows);
    Wide first[4];
    reduced_pass(rows, first);
    for (int row = 0; row < 4; ++row) {
        workspace[row] = descale_to_16(first[row], const_bits - pass1_bits + 1);
        workspace[row + 4] = _mm_setzero_si128();
    }
    transpose(workspace);
    Wide second[4];
    reduced_pass(workspace, second);
    // second[x] holds column x of the four rows: transposed back into rows.
    const int bits = const_bits + pass1_bits + 3 + 1;
    const Vector rounding = _mm_set1_epi32(1 << (bits - 1));
    Vector columns[4];
    for (int x = 0; x < 4; ++x)
        columns[x] = _mm_srai_epi32(_mm_add_epi32(second[x].low, rounding), bits);
    const Vector t0 = _mm_unpacklo_epi32(columns[0], columns[1]);
    const Vector t1 = _mm_unpackhi_epi32(columns[0], columns[1]);
    const Vector t2 = _mm_unpacklo_epi32(columns[2], columns[3]);
    const Vector t3 = _mm_unpackhi_epi32(columns[2], columns[3]);
    const Vector rows01 = _mm_packs_epi32(_mm_unpacklo_epi64(t0, t2), _mm_unpackhi_epi64(t0, t2));
    const Vector rows23 = _mm_packs_epi32(_mm_unpacklo_epi64(t1, t3), _mm_unpackhi_epi64(t1, t3));
    Vector bytes = to_samples(rows01, rows23);
    for (int row = 0; row < 4; ++row, bytes = _mm_srli_si128(bytes, 4)) {
        const int four = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + row * stride, &four, sizeof four);
    }
}

#endif
