#include "library/idct.h"

#include "library/idct_kernels.h"

#include <algorithm>
#include <cstring>

namespace {

// Fixed-point constants: value * 2^13, rounded.
constexpr int const_bits = 13;
constexpr int pass1_bits = 2;
constexpr int fix_0_298631336 = 2446;
constexpr int fix_0_390180644 = 3196;
constexpr int fix_0_541196100 = 4433;
constexpr int fix_0_765366865 = 6270;
constexpr int fix_0_899976223 = 7373;
constexpr int fix_1_175875602 = 9633;
constexpr int fix_1_501321110 = 12299;
constexpr int fix_1_847759065 = 15137;
constexpr int fix_1_961570560 = 16069;
constexpr int fix_2_053119869 = 16819;
constexpr int fix_2_562915447 = 20995;
constexpr int fix_3_072711026 = 25172;
constexpr int fix_0_211164243 = 1730;
constexpr int fix_0_509795579 = 4176;
constexpr int fix_0_601344887 = 4926;
constexpr int fix_1_061594337 = 8697;
constexpr int fix_1_451774981 = 11893;
constexpr int fix_2_172734803 = 17799;

std::int64_t descale(std::int64_t value, int bits)
{
    return (value + (std::int64_t{1} << (bits - 1))) >> bits;
}

std::uint8_t clamp_sample(std::int64_t value)
{
    value += 128;
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// The portable kernels work on four lanes of 32-bit values at once (the
// compiler maps them to SIMD registers where the target has them): in the
// first pass a lane is a column, in the second a row of the block.
//
// The lanes are unsigned, so that the sums of damaged data wrap around instead
// of overflowing; only the descaling shifts read them as signed. Valid 8-bit
// pictures never come near: their dequantised coefficients stay within about
// +-2^11 and their first-pass results within about +-2^13, the range in which
// libjpeg computes the same sums in 32 bits. For the reduced transform, with
// inputs within +-2^14, |tmp10|, |tmp12| <= 2^14 * (2^14 + 15137 + 6270) =
// 2^14 * 37791 and |odd0|, |odd2| <= 2^14 * (1730 + 11893 + 17799 + 8697) =
// 2^14 * 40119, so every sum, rounding term included, stays below
// 2^14 * 77910 + 2^18 < 1.28e9 < 2^31: read as signed, the lanes hold the exact sums.
using Lanes = std::uint32_t __attribute__((vector_size(16)));
using SignedLanes = std::int32_t __attribute__((vector_size(16)));
using Lanes16 = std::int16_t __attribute__((vector_size(8)));
using LanesU16 = std::uint16_t __attribute__((vector_size(8)));
using LanesU8 = std::uint8_t __attribute__((vector_size(4)));

SignedLanes descale_lanes(Lanes value, int bits)
{
    return reinterpret_cast<SignedLanes>(value + (1U << (bits - 1))) >> bits;
}

// Level shift and the clamp to 0..255.
SignedLanes to_samples(SignedLanes value)
{
    value += 128;
    const SignedLanes below = value < 0;
    const SignedLanes above = value > 255;
    return (value & ~(below | above)) | (above & 255);
}

// Four samples (0..255 in the lanes) to bytes.
void store_samples(Lanes samples, std::uint8_t* out)
{
    const LanesU8 bytes = __builtin_convertvector(samples, LanesU8);
    std::memcpy(out, &bytes, sizeof bytes);
}

// Four dequantised coefficients of one row of the block.
Lanes load_dequantised(const std::int16_t* coefficients, const std::uint16_t* quantisation)
{
    Lanes16 coefficient_lanes;
    LanesU16 quantiser_lanes;
    std::memcpy(&coefficient_lanes, coefficients, sizeof coefficient_lanes);
    std::memcpy(&quantiser_lanes, quantisation, sizeof quantiser_lanes);
    return reinterpret_cast<Lanes>(__builtin_convertvector(coefficient_lanes, SignedLanes)) *
           __builtin_convertvector(quantiser_lanes, Lanes);
}

// Rows of a 4x4 matrix of lanes become its columns.
void transpose(Lanes m[4])
{
    const Lanes t0 = __builtin_shufflevector(m[0], m[1], 0, 4, 1, 5);
    const Lanes t1 = __builtin_shufflevector(m[0], m[1], 2, 6, 3, 7);
    const Lanes t2 = __builtin_shufflevector(m[2], m[3], 0, 4, 1, 5);
    const Lanes t3 = __builtin_shufflevector(m[2], m[3], 2, 6, 3, 7);
    m[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    m[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    m[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    m[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// One 1-D pass over eight values in[0..7]: the even part from in[0], in[2],
// in[4], in[6], the odd part from in[1], in[3], in[5], in[7]; the outputs
// are left scaled by 2^const_bits.
[[gnu::always_inline]] inline void idct_1d(const Lanes in[8], Lanes out[8])
{
    const Lanes z1 = (in[2] + in[6]) * fix_0_541196100;
    const Lanes even2 = z1 - in[6] * fix_1_847759065;
    const Lanes even3 = z1 + in[2] * fix_0_765366865;
    const Lanes even0 = (in[0] + in[4]) << const_bits;
    const Lanes even1 = (in[0] - in[4]) << const_bits;
    const Lanes tmp10 = even0 + even3;
    const Lanes tmp13 = even0 - even3;
    const Lanes tmp11 = even1 + even2;
    const Lanes tmp12 = even1 - even2;

    const Lanes z5 = (in[7] + in[3] + in[5] + in[1]) * fix_1_175875602;
    const Lanes sum71 = (in[7] + in[1]) * fix_0_899976223;
    const Lanes sum53 = (in[5] + in[3]) * fix_2_562915447;
    const Lanes sum73 = z5 - (in[7] + in[3]) * fix_1_961570560;
    const Lanes sum51 = z5 - (in[5] + in[1]) * fix_0_390180644;
    const Lanes odd0 = in[7] * fix_0_298631336 - sum71 + sum73;
    const Lanes odd1 = in[5] * fix_2_053119869 - sum53 + sum51;
    const Lanes odd2 = in[3] * fix_3_072711026 - sum53 + sum73;
    const Lanes odd3 = in[1] * fix_1_501321110 - sum71 + sum51;

    out[0] = tmp10 + odd3;
    out[7] = tmp10 - odd3;
    out[1] = tmp11 + odd2;
    out[6] = tmp11 - odd2;
    out[2] = tmp12 + odd1;
    out[5] = tmp12 - odd1;
    out[3] = tmp13 + odd0;
    out[4] = tmp13 - odd0;
}

// The reduced 1-D pass: four outputs from in[0..7] (in[4] is not used), left
// scaled by 2^(const_bits + 1). Inlined, so that the lanes stay in registers.
[[gnu::always_inline]] inline void idct_1d_4(const Lanes in[8], Lanes out[4])
{
    const Lanes tmp0 = in[0] * (1 << (const_bits + 1));
    const Lanes tmp2 = in[2] * fix_1_847759065 - in[6] * fix_0_765366865;
    const Lanes tmp10 = tmp0 + tmp2;
    const Lanes tmp12 = tmp0 - tmp2;

    const Lanes z1 = in[7];
    const Lanes z2 = in[5];
    const Lanes z3 = in[3];
    const Lanes z4 = in[1];
    const Lanes odd0 = z2 * fix_1_451774981 + z4 * fix_1_061594337 - z1 * fix_0_211164243 - z3 * fix_2_172734803;
    const Lanes odd2 = z3 * fix_0_899976223 + z4 * fix_2_562915447 - z1 * fix_0_509795579 - z2 * fix_0_601344887;

    out[0] = tmp10 + odd2;
    out[3] = tmp10 - odd2;
    out[1] = tmp12 + odd0;
    out[2] = tmp12 - odd0;
}

// Which coefficients of a block are zero, from the rows ORed together.
struct ZeroParts {
    bool all_but_dc;  // the block is flat: both transforms give one value everywhere
    bool right_half;  // columns 4..7: the first pass yields zeros there
};

// Photographs have many flat blocks and most blocks have no high horizontal
// frequencies; both are found with eight row loads.
ZeroParts zero_parts(const std::int16_t* coefficients)
{
    using Row = std::int16_t __attribute__((vector_size(16)));
    Row rest{};
    for (int row = 1; row < 8; ++row) {
        Row lanes;
        std::memcpy(&lanes, coefficients + row * 8, sizeof lanes);
        rest |= lanes;
    }
    Row first;
    std::memcpy(&first, coefficients, sizeof first);
    using Halves = std::uint64_t __attribute__((vector_size(16)));
    const Halves all = reinterpret_cast<Halves>(rest | first);
    const Halves ac = reinterpret_cast<Halves>(rest | (first & Row{0, -1, -1, -1, -1, -1, -1, -1}));
    return {(ac[0] | ac[1]) == 0, all[1] == 0};
}

void fill_flat(const std::int16_t* coefficients, const std::uint16_t* quantisation, int size, std::uint8_t* out,
               std::size_t stride)
{
    const std::int64_t dc = static_cast<std::int64_t>(coefficients[0]) * quantisation[0];
    const std::uint8_t flat = clamp_sample(descale(dc * (1 << pass1_bits), pass1_bits + 3));
    for (int row = 0; row < size; ++row, out += stride)
        for (int i = 0; i < size; ++i)
            out[i] = flat;
}

}  // namespace

void idct_islow_lanes(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                      std::size_t stride)
{
    const bool right_half_zero = zero_parts(coefficients).right_half;
    // Pass 1: the columns, four at a time, into a workspace kept at
    // 2^pass1_bits scale: workspace[half][row] holds that row's four columns.
    Lanes workspace[2][8];
    for (int half = 0; half < 2; ++half) {
        if (half == 1 && right_half_zero) {
            std::fill(workspace[1], workspace[1] + 8, Lanes{});
            continue;
        }
        Lanes in[8];
        for (int row = 0; row < 8; ++row)
            in[row] = load_dequantised(coefficients + row * 8 + half * 4, quantisation + row * 8 + half * 4);
        idct_1d(in, workspace[half]);
        for (Lanes& lanes : workspace[half])
            lanes = reinterpret_cast<Lanes>(descale_lanes(lanes, const_bits - pass1_bits));
    }
    // Pass 2: four rows at a time, their columns brought into lanes by
    // transposing the 4x4 pieces, removing both scales and the factor 8 of the
    // transform; the samples are transposed back to rows.
    for (int rows = 0; rows < 8; rows += 4) {
        Lanes in[8];
        for (int half = 0; half < 2; ++half) {
            std::copy(workspace[half] + rows, workspace[half] + rows + 4, in + half * 4);
            transpose(in + half * 4);
        }
        Lanes result[8];
        idct_1d(in, result);
        for (Lanes& lanes : result)
            lanes = reinterpret_cast<Lanes>(to_samples(descale_lanes(lanes, const_bits + pass1_bits + 3)));
        for (int half = 0; half < 2; ++half) {
            transpose(result + half * 4);
            for (int row = 0; row < 4; ++row)
                store_samples(result[half * 4 + row], out + (rows + row) * stride + half * 4);
        }
    }
}

void idct_4x4_lanes(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                    std::size_t stride)
{
    const bool right_half_zero = zero_parts(coefficients).right_half;
    // Pass 1: the columns, four at a time, into a workspace of 4 rows kept at
    // 2^pass1_bits scale. Transposed, workspace[i] holds column i of the four
    // rows: the lanes of pass 2. Row 4 of the coefficients is not needed.
    Lanes workspace[8];
    for (int half = 0; half < 2; ++half) {
        Lanes* columns = workspace + half * 4;
        if (half == 1 && right_half_zero) {
            std::fill(columns, columns + 4, Lanes{});
            continue;
        }
        Lanes in[8];
        for (int row = 0; row < 8; ++row)
            in[row] = row == 4 ? Lanes{}
                               : load_dequantised(coefficients + row * 8 + half * 4, quantisation + row * 8 + half * 4);
        idct_1d_4(in, columns);
        for (int row = 0; row < 4; ++row)
            columns[row] = reinterpret_cast<Lanes>(descale_lanes(columns[row], const_bits - pass1_bits + 1));
        transpose(columns);
    }
    // Pass 2: the four rows at once, removing both scales and the factor 8 of
    // the transform (workspace column 4 is not used); transposed back to rows.
    Lanes result[4];
    idct_1d_4(workspace, result);
    for (int i = 0; i < 4; ++i)
        result[i] = reinterpret_cast<Lanes>(to_samples(descale_lanes(result[i], const_bits + pass1_bits + 3 + 1)));
    transpose(result);
    for (int row = 0; row < 4; ++row)
        store_samples(result[row], out + row * stride);
}

void idct_islow(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                std::size_t stride)
{
    if (zero_parts(coefficients).all_but_dc) {
        fill_flat(coefficients, quantisation, 8, out, stride);
        return;
    }
#if defined(__SSE2__)
    idct_islow_sse2(coefficients, quantisation, out, stride);
#else
    idct_islow_lanes(coefficients, quantisation, out, stride);
#endif
}

void idct_4x4(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
              std::size_t stride)
{
    if (zero_parts(coefficients).all_but_dc) {
        fill_flat(coefficients, quantisation, 4, out, stride);
        return;
    }
#if defined(__SSE2__)
    idct_4x4_sse2(coefficients, quantisation, out, stride);
#else
    idct_4x4_lanes(coefficients, quantisation, out, stride);
#endif
}
