#include "jpgtransform.h"

#include "jpgencodercomponent.h"
#include "jpgquantizationtable.h"
#include "simd.h"

#include <cfloat>
#include <cmath>
#include <cstring>

// The transform's doubles must round to double after every operation: x87
// arithmetic (the 32-bit x86 default) keeps extended precision and gives
// other coefficients, so other files. Build such targets with SSE2 maths.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "Vantorum needs FLT_EVAL_METHOD 0 (on 32-bit x86: -msse2 -mfpmath=sse) to write the same bytes everywhere"
#endif

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define VANTORUM_HAVE_AVX2 1
// GCC 12's AVX-512 intrinsics start their results from a self-initialised
// "undefined" vector, which -W(maybe-)uninitialized reports where they are
// inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#define VANTORUM_HAVE_AVX2 0
#endif

// 64-bit x86 only: 32-bit targets keep no 64-byte stack alignment for zmm
// spills.
#if defined(__x86_64__) && defined(__GNUC__)
#define VANTORUM_HAVE_AVX512 1
#else
#define VANTORUM_HAVE_AVX512 0
#endif

namespace Vantorum
{

namespace
{

// Forward DCT constants, fixed once at static initialisation.
const double Pi = std::acos(-1.0);
const double C4 = std::cos(Pi * 4 / 16);        // cos(4 pi / 16)
const double K2 = 0.5 / std::cos(Pi * 2 / 16);  // K2 (1 + C4) = cos(pi / 8), K2 C4 = sin(pi / 8)
const double K3 = 0.5 / std::cos(Pi * 6 / 16);  // K3 C4 = cos(pi / 8), K3 (C4 - 1) = -sin(pi / 8)

// The 8-point AAN butterfly on any lane type with +, - and * (double, or a
// vector of doubles): every lane performs these IEEE operations in this
// order, whatever the width.
template <class V> __attribute__((always_inline)) inline void Butterfly(const V (&in)[8], V (&out)[8], const V &c4,
                                                                        const V &k2, const V &k3)
{
  const V tmp0 = in[0], tmp1 = in[1], tmp2 = in[2], tmp3 = in[3];
  const V tmp4 = in[4], tmp5 = in[5], tmp6 = in[6], tmp7 = in[7];

  // Even part.
  const V t10 = tmp0 + tmp3;
  const V t13 = tmp0 - tmp3;
  const V t11 = tmp1 + tmp2;
  const V t12 = tmp1 - tmp2;
  out[0] = t10 + t11;
  out[4] = t10 - t11;
  const V z1 = c4 * (t12 + t13);
  out[2] = t13 + z1;
  out[6] = t13 - z1;

  // Odd part: the rotation is formed from C4, K2 and K3 only.
  const V u10 = tmp4 + tmp5;
  const V u11 = tmp5 + tmp6;
  const V u12 = tmp6 + tmp7;
  const V w = c4 * (u10 + u12);
  const V z4 = k2 * (w + u12);
  const V z2 = k3 * (w - u12);
  const V z3 = c4 * u11;
  const V z11 = tmp7 + z3;
  const V z13 = tmp7 - z3;
  out[5] = z13 + z2;
  out[3] = z13 - z2;
  out[1] = z11 + z4;
  out[7] = z11 - z4;
}

// Quantisation rounded half away from zero. Adding copysign(0.5) is the
// same IEEE operation as the two-way "+ 0.5 / - 0.5" (x - 0.5 == x + -0.5
// exactly; -0 rounds to 0 either way) without a branch that mispredicts on
// every other coefficient.
inline int16_t Quantise(double coefficient, double scale)
{
  const double product = coefficient * scale;
  return static_cast<int16_t>(static_cast<int32_t>(product + std::copysign(0.5, product)));
}

// The butterfly above written out for eight transforms side by side (lane x
// of in and out), so the compiler can pair lanes in the baseline's vector
// registers (SSE2 on x86); each lane performs the same IEEE operations in
// the same order. (Through the template the compiler keeps the lanes apart.)
inline void ButterflyLanes(const double in[8][8], double out[8][8])
{
  for (int x = 0; x < 8; ++x)
  {
    const double tmp0 = in[0][x], tmp1 = in[1][x], tmp2 = in[2][x], tmp3 = in[3][x];
    const double tmp4 = in[4][x], tmp5 = in[5][x], tmp6 = in[6][x], tmp7 = in[7][x];

    // Even part.
    const double t10 = tmp0 + tmp3;
    const double t13 = tmp0 - tmp3;
    const double t11 = tmp1 + tmp2;
    const double t12 = tmp1 - tmp2;
    out[0][x] = t10 + t11;
    out[4][x] = t10 - t11;
    const double z1 = C4 * (t12 + t13);
    out[2][x] = t13 + z1;
    out[6][x] = t13 - z1;

    // Odd part: the rotation is formed from C4, K2 and K3 only.
    const double u10 = tmp4 + tmp5;
    const double u11 = tmp5 + tmp6;
    const double u12 = tmp6 + tmp7;
    const double w = C4 * (u10 + u12);
    const double z4 = K2 * (w + u12);
    const double z2 = K3 * (w - u12);
    const double z3 = C4 * u11;
    const double z11 = tmp7 + z3;
    const double z13 = tmp7 - z3;
    out[5][x] = z13 + z2;
    out[3][x] = z13 - z2;
    out[1][x] = z11 + z4;
    out[7][x] = z11 - z4;
  }
}

void TransformPortable(const uint8_t *samples, size_t stride, const double *scale, int16_t *lanes)
{
  // Columns (lane x), with the level shift by 128 of both samples done in
  // integers.
  uint8_t block[8][8];  // a fixed stride lets the compiler pair the lanes
  for (int y = 0; y < 8; ++y)
    std::memcpy(block[y], samples + stride * y, 8);
  double in[8][8];
  for (int x = 0; x < 8; ++x)
  {
    int d[8];
    for (int y = 0; y < 8; ++y)
      d[y] = block[y][x];
    in[0][x] = d[0] + d[7] - 256;
    in[1][x] = d[1] + d[6] - 256;
    in[2][x] = d[2] + d[5] - 256;
    in[3][x] = d[3] + d[4] - 256;
    in[4][x] = d[3] - d[4];
    in[5][x] = d[2] - d[5];
    in[6][x] = d[1] - d[6];
    in[7][x] = d[0] - d[7];
  }
  double work[8][8];  // work[v][x]: vertical frequency v of column x
  ButterflyLanes(in, work);
  // Rows (lane v): row v of work.
  for (int v = 0; v < 8; ++v)
  {
    const double *d = work[v];
    in[0][v] = d[0] + d[7];
    in[1][v] = d[1] + d[6];
    in[2][v] = d[2] + d[5];
    in[3][v] = d[3] + d[4];
    in[4][v] = d[3] - d[4];
    in[5][v] = d[2] - d[5];
    in[6][v] = d[1] - d[6];
    in[7][v] = d[0] - d[7];
  }
  double result[8][8];  // result[u][v]
  ButterflyLanes(in, result);
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v)
      lanes[u * 8 + v] = Quantise(result[u][v], scale[u * 8 + v]);
}

#if VANTORUM_HAVE_AVX2

// Four doubles, one lane each; GCC and Clang give vector types their
// arithmetic operators, lane by lane.
typedef __m256d Quad;

// Transposes the 4 x 4 block of a, b, c, d (rows) into columns.
__attribute__((target("avx2"), always_inline)) inline void Transpose4(Quad &a, Quad &b, Quad &c, Quad &d)
{
  const __m256d t0 = _mm256_unpacklo_pd(a, b);
  const __m256d t1 = _mm256_unpackhi_pd(a, b);
  const __m256d t2 = _mm256_unpacklo_pd(c, d);
  const __m256d t3 = _mm256_unpackhi_pd(c, d);
  a = _mm256_permute2f128_pd(t0, t2, 0x20);
  b = _mm256_permute2f128_pd(t1, t3, 0x20);
  c = _mm256_permute2f128_pd(t0, t2, 0x31);
  d = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// The column pass's inputs, in 32-bit integers, lane x: the sums of mirrored
// rows less the level shift of both samples, then their differences.
__attribute__((target("avx2"), always_inline)) inline void MirroredRows(const uint8_t *samples, size_t stride,
                                                                        __m256i (&sums)[8])
{
  __m256i row[8];
  for (int y = 0; y < 8; ++y)
    row[y] = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(samples + stride * y)));
  const __m256i bias = _mm256_set1_epi32(256);
  for (int i = 0; i < 4; ++i)
  {
    sums[i] = _mm256_sub_epi32(_mm256_add_epi32(row[i], row[7 - i]), bias);
    sums[7 - i] = _mm256_sub_epi32(row[i], row[7 - i]);
  }
}

// The same transform, four lanes per register: the column pass on lanes
// x 0..3 and 4..7, a transpose, the row pass on lanes v 0..3 and 4..7.
__attribute__((target("avx2"))) void TransformAvx2(const uint8_t *samples, size_t stride, const double *scale,
                                                   int16_t *lanes)
{
  const Quad c4 = _mm256_set1_pd(C4), k2 = _mm256_set1_pd(K2), k3 = _mm256_set1_pd(K3);
  __m256i sums[8];
  MirroredRows(samples, stride, sums);
  Quad work[2][8];  // [half of x][v]
  for (int half = 0; half < 2; ++half)
  {
    Quad in[8];
    for (int i = 0; i < 8; ++i)
      in[i] = _mm256_cvtepi32_pd(half == 0 ? _mm256_castsi256_si128(sums[i]) : _mm256_extracti128_si256(sums[i], 1));
    Butterfly(in, work[half], c4, k2, k3);
  }
  // columns[x][h]: column x of work, lanes v = 4h..4h+3.
  Quad columns[8][2];
  for (int h = 0; h < 2; ++h)             // which four rows v
    for (int half = 0; half < 2; ++half)  // which four columns x
    {
      Quad a = work[half][4 * h], b = work[half][4 * h + 1], c = work[half][4 * h + 2], d = work[half][4 * h + 3];
      Transpose4(a, b, c, d);
      columns[4 * half][h] = a;
      columns[4 * half + 1][h] = b;
      columns[4 * half + 2][h] = c;
      columns[4 * half + 3][h] = d;
    }
  const __m256d sign = _mm256_set1_pd(-0.0), half = _mm256_set1_pd(0.5);
  const __m128i low16 = _mm_set1_epi32(0xFFFF);
  for (int h = 0; h < 2; ++h)
  {
    const Quad in[8] = {columns[0][h] + columns[7][h], columns[1][h] + columns[6][h], columns[2][h] + columns[5][h],
                        columns[3][h] + columns[4][h], columns[3][h] - columns[4][h], columns[2][h] - columns[5][h],
                        columns[1][h] - columns[6][h], columns[0][h] - columns[7][h]};
    Quad out[8];
    Butterfly(in, out, c4, k2, k3);
    for (int u = 0; u < 8; ++u)
    {
      const __m256d product = _mm256_mul_pd(out[u], _mm256_load_pd(scale + u * 8 + 4 * h));
      const __m256d rounded = _mm256_add_pd(product, _mm256_or_pd(_mm256_and_pd(product, sign), half));
      const __m128i whole = _mm256_cvttpd_epi32(rounded);
      // The low 16 bits of each, as the scalar cast to int16_t keeps them.
      const __m128i packed = _mm_packus_epi32(_mm_and_si128(whole, low16), _mm_setzero_si128());
      _mm_storel_epi64(reinterpret_cast<__m128i *>(lanes + u * 8 + 4 * h), packed);
    }
  }
}

#endif

#if VANTORUM_HAVE_AVX512

// Eight doubles, one lane each.
typedef __m512d Octet;

// Transposes rows r[0..7] (lanes x) into columns (lanes y).
__attribute__((target("avx2,avx512f,avx512bw,avx512vl"), always_inline)) inline void Transpose8(Octet (&r)[8])
{
  Octet t[8], u[8];
  for (int i = 0; i < 4; ++i)
  {
    t[2 * i] = _mm512_unpacklo_pd(r[2 * i], r[2 * i + 1]);      // pairs (r2i[x], r2i+1[x]) for even x
    t[2 * i + 1] = _mm512_unpackhi_pd(r[2 * i], r[2 * i + 1]);  // and for odd x
  }
  for (int half = 0; half < 2; ++half)  // rows 0..3, rows 4..7
  {
    const int b = 4 * half;
    u[b] = _mm512_shuffle_f64x2(t[b], t[b + 2], 0x88);          // x 0, 4
    u[b + 1] = _mm512_shuffle_f64x2(t[b], t[b + 2], 0xDD);      // x 2, 6
    u[b + 2] = _mm512_shuffle_f64x2(t[b + 1], t[b + 3], 0x88);  // x 1, 5
    u[b + 3] = _mm512_shuffle_f64x2(t[b + 1], t[b + 3], 0xDD);  // x 3, 7
  }
  r[0] = _mm512_shuffle_f64x2(u[0], u[4], 0x88);
  r[4] = _mm512_shuffle_f64x2(u[0], u[4], 0xDD);
  r[2] = _mm512_shuffle_f64x2(u[1], u[5], 0x88);
  r[6] = _mm512_shuffle_f64x2(u[1], u[5], 0xDD);
  r[1] = _mm512_shuffle_f64x2(u[2], u[6], 0x88);
  r[5] = _mm512_shuffle_f64x2(u[2], u[6], 0xDD);
  r[3] = _mm512_shuffle_f64x2(u[3], u[7], 0x88);
  r[7] = _mm512_shuffle_f64x2(u[3], u[7], 0xDD);
}

// The same transform, eight lanes per register, straight to zigzag order:
// the column pass on lanes x, a transpose, the row pass on lanes v, and
// one two-register permutation of the 64 results.
__attribute__((target("avx2,avx512f,avx512bw,avx512vl"))) void TransformZigZagAvx512(const uint8_t *samples,
                                                                                     size_t stride, const double *scale,
                                                                                     const uint16_t *source,
                                                                                     int16_t *zigzag)
{
  const Octet c4 = _mm512_set1_pd(C4), k2 = _mm512_set1_pd(K2), k3 = _mm512_set1_pd(K3);
  __m256i mirrored[8];
  MirroredRows(samples, stride, mirrored);
  Octet in[8];
  for (int i = 0; i < 8; ++i)
    in[i] = _mm512_cvtepi32_pd(mirrored[i]);
  Octet work[8];  // work[v]: vertical frequency v, lanes x
  Butterfly(in, work, c4, k2, k3);
  Transpose8(work);  // work[x]: column x, lanes v
  const Octet sums[8] = {work[0] + work[7], work[1] + work[6], work[2] + work[5], work[3] + work[4],
                         work[3] - work[4], work[2] - work[5], work[1] - work[6], work[0] - work[7]};
  Octet out[8];  // out[u]: lanes v
  Butterfly(sums, out, c4, k2, k3);
  const __m512i sign = _mm512_set1_epi64(INT64_MIN);
  const __m512i half = _mm512_castpd_si512(_mm512_set1_pd(0.5));
  __m128i words[8];
  for (int u = 0; u < 8; ++u)
  {
    const __m512d product = _mm512_mul_pd(out[u], _mm512_loadu_pd(scale + u * 8));
    const __m512i away = _mm512_or_si512(_mm512_and_si512(_mm512_castpd_si512(product), sign), half);
    const __m512d rounded = _mm512_add_pd(product, _mm512_castsi512_pd(away));
    // The low 16 bits of each, as the scalar cast to int16_t keeps them.
    words[u] = _mm256_cvtepi32_epi16(_mm512_cvttpd_epi32(rounded));
  }
  const __m512i low =
    _mm512_inserti64x4(_mm512_inserti64x4(_mm512_setzero_si512(), _mm256_set_m128i(words[1], words[0]), 0),
                       _mm256_set_m128i(words[3], words[2]), 1);
  const __m512i high =
    _mm512_inserti64x4(_mm512_inserti64x4(_mm512_setzero_si512(), _mm256_set_m128i(words[5], words[4]), 0),
                       _mm256_set_m128i(words[7], words[6]), 1);
  const __m512i first = _mm512_loadu_si512(source), second = _mm512_loadu_si512(source + 32);
  _mm512_storeu_si512(zigzag, _mm512_permutex2var_epi16(low, first, high));
  _mm512_storeu_si512(zigzag + 32, _mm512_permutex2var_epi16(low, second, high));
}

#endif

// Zigzag position of lane entry u * 8 + v.
struct LaneToZigZag
{
  LaneToZigZag()
  {
    for (int k = 0; k < 64; ++k)
    {
      const int natural = JpegZigZagToNatural[k];
      position[(natural % 8) * 8 + natural / 8] = static_cast<uint8_t>(k);
      source[k] = static_cast<uint16_t>((natural % 8) * 8 + natural / 8);
    }
  }
  uint8_t position[64];
  uint16_t source[64];  // the lane entry zigzag position k comes from
};

}  // namespace

BlockTransform::BlockTransform(const QuantizationTable &table) : transform(TransformPortable)
{
  const double *natural = table.GetScaleFactors();
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v)
      laneScales[u * 8 + v] = natural[v * 8 + u];
#if VANTORUM_HAVE_AVX2
  if (CurrentInstructionSet() != InstructionSet::Portable)
    transform = TransformAvx2;
#endif
#if VANTORUM_HAVE_AVX512
  if (CurrentInstructionSet() == InstructionSet::Avx512)
    zigzagTransform = TransformZigZagAvx512;
#endif
}

void BlockTransform::PrepareFlatBlocks()
{
  std::vector<int16_t> flat(256 * 64);
  uint8_t block[64];
  for (int value = 0; value < 256; ++value)
  {
    std::memset(block, value, sizeof block);
    Compute(block, 8, &flat[static_cast<size_t>(value) * 64]);
  }
  flatBlocks = std::move(flat);
}

int BlockTransform::FlatValue(const uint8_t *samples, size_t stride) const
{
  if (flatBlocks.empty())
    return -1;
  uint64_t row, first;
  std::memcpy(&first, samples, 8);
  if (first != samples[0] * 0x0101010101010101ull)
    return -1;
  for (int i = 1; i < 8; ++i)
  {
    std::memcpy(&row, samples + stride * i, 8);
    if (row != first)
      return -1;
  }
  return samples[0];
}

void BlockTransform::ToZigZag(const uint8_t *samples, size_t stride, int16_t zigzag[64]) const
{
  const int flat = FlatValue(samples, stride);
  if (flat >= 0)
    std::memcpy(zigzag, FlatBlock(flat), 64 * sizeof(int16_t));
  else
    Compute(samples, stride, zigzag);
}

void BlockTransform::Compute(const uint8_t *samples, size_t stride, int16_t zigzag[64]) const
{
  static const LaneToZigZag order;
  if (zigzagTransform != nullptr)
  {
    zigzagTransform(samples, stride, laneScales, order.source, zigzag);
    return;
  }
  alignas(32) int16_t lanes[64];
  transform(samples, stride, laneScales, lanes);
  for (int i = 0; i < 64; ++i)
    zigzag[order.position[i]] = lanes[i];
}

void BlockTransform::ToNatural(const uint8_t *samples, size_t stride, int16_t natural[64]) const
{
  alignas(32) int16_t lanes[64];
  transform(samples, stride, laneScales, lanes);
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v)
      natural[v * 8 + u] = lanes[u * 8 + v];
}

}  // namespace Vantorum
