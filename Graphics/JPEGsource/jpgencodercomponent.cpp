// Colour conversion, sampling and transform of the components, in strips
// and, when asked, on several threads.
#include "jpgencodercomponent.h"

#include "jpegencoder.h"
#include "jpgcoders.h"
#include "jpgprogress.h"
#include "jpgquantizationtable.h"
#include "jpgtransform.h"
#include "largebuffer.h"
#include "simd.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
// GCC 12's AVX-512 intrinsics start their results from a self-initialised
// "undefined" vector, which -W(maybe-)uninitialized reports where inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace Vantorum
{

namespace
{

uint32_t RoundUp(uint32_t value, uint32_t multiple)
{
  return (value + multiple - 1) / multiple * multiple;
}

uint32_t CeilDivide(uint32_t value, uint32_t divisor)
{
  return (value + divisor - 1) / divisor;
}

uint8_t Clamp(int32_t value)
{
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// YCbCr weights x 4096, truncated, of red, green and blue for Y, Cb and
// Cr, and what each plane adds before the shift: 2048 rounds, 0x80800 =
// 128 x 4096 + 2048. Every conversion below reads them from here.
constexpr int32_t PlaneWeights[3][3] = {{1224, 2404, 466}, {-690, -1357, 2048}, {2048, -1714, -333}};
constexpr int32_t PlaneRounding[3] = {2048, 0x80800, 0x80800};

inline int32_t PlaneSum(int plane, int32_t red, int32_t green, int32_t blue)
{
  const int32_t *w = PlaneWeights[plane];
  return (w[0] * red + w[1] * green + w[2] * blue + PlaneRounding[plane]) >> 12;
}

inline uint8_t LuminanceOf(int32_t red, int32_t green, int32_t blue)
{
  return Clamp(PlaneSum(0, red, green, blue));
}

// GCC's default -O2 cost model leaves the colour conversion scalar; asking
// for its dynamic model vectorises it (integer arithmetic: same results).
#if defined(__GNUC__) && !defined(__clang__)
#define VANTORUM_VECTORISE __attribute__((optimize("vect-cost-model=dynamic")))
#else
#define VANTORUM_VECTORISE
#endif

#if defined(__GNUC__)
#define VANTORUM_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define VANTORUM_ALWAYS_INLINE inline
#endif

// The conversion is compiled a second time for AVX2 where the compiler can
// (x86 with GCC or Clang), and the copy chosen at run time.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define VANTORUM_HAVE_AVX2_CLONES 1
#else
#define VANTORUM_HAVE_AVX2_CLONES 0
#endif

// One row of pixels to the three planes; the planes and the image never
// overlap. Integer arithmetic, so every instruction set gives the same bytes.
VANTORUM_ALWAYS_INLINE void ConvertRowBody(const uint8_t *__restrict pixels, uint8_t *__restrict y,
                                           uint8_t *__restrict cb, uint8_t *__restrict cr, size_t width)
{
  for (size_t x = 0; x < width; ++x)
  {
    const int32_t blue = pixels[4 * x], green = pixels[4 * x + 1], red = pixels[4 * x + 2];
    y[x] = LuminanceOf(red, green, blue);
    cb[x] = Clamp(PlaneSum(1, red, green, blue));
    cr[x] = Clamp(PlaneSum(2, red, green, blue));
  }
}

typedef void (*RowConverter)(const uint8_t *, uint8_t *, uint8_t *, uint8_t *, size_t);

VANTORUM_VECTORISE void ConvertRowPortable(const uint8_t *__restrict pixels, uint8_t *__restrict y,
                                           uint8_t *__restrict cb, uint8_t *__restrict cr, size_t width)
{
  ConvertRowBody(pixels, y, cb, cr, width);
}

// On 64-bit x86 the AVX2 and AVX-512 conversions are written out (32-bit
// targets keep no 32- or 64-byte stack alignment for the registers they
// would spill): the compiler's version spends most of its time taking the
// pixels' bytes apart. Here each pixel's blue and red, and its green and
// fourth byte, are pairs of 16-bit words, and one multiply-add per pair and
// plane gives the scalar code's sums exactly (the fourth byte's weight is
// 0). The sums are never negative, so the unsigned narrowing is the clamp.
#if VANTORUM_HAVE_AVX2_CLONES && defined(__x86_64__)
#define VANTORUM_AVX2 __attribute__((target("avx2")))
VANTORUM_AVX2 inline __m256i WordPairs256(int32_t low, int32_t high)
{
  return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | (low & 0xFFFF)));
}

// Eight samples of one plane, in 32-bit lanes.
VANTORUM_AVX2 inline __m256i PlaneSums(__m256i blueRed, __m256i greenX, __m256i blueRedWeights, __m256i greenWeights,
                                       __m256i round)
{
  const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(blueRed, blueRedWeights),
                                       _mm256_add_epi32(_mm256_madd_epi16(greenX, greenWeights), round));
  return _mm256_srai_epi32(sum, 12);
}

VANTORUM_AVX2 void ConvertRowAvx2(const uint8_t *__restrict pixels, uint8_t *__restrict y, uint8_t *__restrict cb,
                                  uint8_t *__restrict cr, size_t width)
{
  const __m256i bytes02 = _mm256_set1_epi32(0x00FF00FF);
  __m256i weights[3][2], rounds[3];
  for (int p = 0; p < 3; ++p)
  {
    weights[p][0] = WordPairs256(PlaneWeights[p][2], PlaneWeights[p][0]);  // blue, red
    weights[p][1] = WordPairs256(PlaneWeights[p][1], 0);                   // green, the fourth byte
    rounds[p] = _mm256_set1_epi32(PlaneRounding[p]);
  }
  // The two packs interleave the 128-bit lanes: groups of four pixels come
  // out as 0, 2, 4, 6, 1, 3, 5, 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  uint8_t *const planes[3] = {y, cb, cr};
  size_t x = 0;
  for (; x + 32 <= width; x += 32)
  {
    __m256i blueRed[4], greenX[4];
    for (int i = 0; i < 4; ++i)
    {
      const __m256i bgrx = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(pixels + 4 * (x + 8 * i)));
      blueRed[i] = _mm256_and_si256(bgrx, bytes02);
      greenX[i] = _mm256_and_si256(_mm256_srli_epi32(bgrx, 8), bytes02);
    }
    for (int p = 0; p < 3; ++p)
    {
      __m256i sums[4];
      for (int i = 0; i < 4; ++i)
        sums[i] = PlaneSums(blueRed[i], greenX[i], weights[p][0], weights[p][1], rounds[p]);
      const __m256i words =
        _mm256_packus_epi16(_mm256_packus_epi32(sums[0], sums[1]), _mm256_packus_epi32(sums[2], sums[3]));
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(planes[p] + x), _mm256_permutevar8x32_epi32(words, order));
    }
  }
  ConvertRowBody(pixels + 4 * x, y + x, cb + x, cr + x, width - x);
}
#elif VANTORUM_HAVE_AVX2_CLONES
VANTORUM_VECTORISE __attribute__((target("avx2"))) void ConvertRowAvx2(const uint8_t *__restrict pixels,
                                                                       uint8_t *__restrict y, uint8_t *__restrict cb,
                                                                       uint8_t *__restrict cr, size_t width)
{
  ConvertRowBody(pixels, y, cb, cr, width);
}
#endif

#if VANTORUM_HAVE_AVX2_CLONES && defined(__x86_64__)
#define VANTORUM_HAVE_AVX512_CLONES 1
#define VANTORUM_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
VANTORUM_AVX512 inline __m512i WordPairs(int32_t low, int32_t high)
{
  return _mm512_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | (low & 0xFFFF)));
}

// Sixteen samples of one plane.
VANTORUM_AVX512 inline void StorePlane(__m512i blueRed, __m512i greenX, __m512i blueRedWeights, __m512i greenWeights,
                                       __m512i round, uint8_t *out)
{
  const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(blueRed, blueRedWeights),
                                       _mm512_add_epi32(_mm512_madd_epi16(greenX, greenWeights), round));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm512_cvtusepi32_epi8(_mm512_srai_epi32(sum, 12)));
}

VANTORUM_AVX512 void ConvertRowAvx512(const uint8_t *__restrict pixels, uint8_t *__restrict y, uint8_t *__restrict cb,
                                      uint8_t *__restrict cr, size_t width)
{
  const __m512i bytes02 = _mm512_set1_epi32(0x00FF00FF);
  __m512i weights[3][2], rounds[3];
  for (int p = 0; p < 3; ++p)
  {
    weights[p][0] = WordPairs(PlaneWeights[p][2], PlaneWeights[p][0]);  // blue, red
    weights[p][1] = WordPairs(PlaneWeights[p][1], 0);                   // green, the fourth byte
    rounds[p] = _mm512_set1_epi32(PlaneRounding[p]);
  }
  uint8_t *const planes[3] = {y, cb, cr};
  size_t x = 0;
  for (; x + 16 <= width; x += 16)
  {
    const __m512i bgrx = _mm512_loadu_si512(pixels + 4 * x);
    const __m512i blueRed = _mm512_and_si512(bgrx, bytes02);
    const __m512i greenX = _mm512_and_si512(_mm512_srli_epi32(bgrx, 8), bytes02);
    for (int p = 0; p < 3; ++p)
      StorePlane(blueRed, greenX, weights[p][0], weights[p][1], rounds[p], planes[p] + x);
  }
  ConvertRowBody(pixels + 4 * x, y + x, cb + x, cr + x, width - x);
}
#else
#define VANTORUM_HAVE_AVX512_CLONES 0
#endif

RowConverter SelectRowConverter()
{
#if VANTORUM_HAVE_AVX512_CLONES
  if (CurrentInstructionSet() == InstructionSet::Avx512)
    return ConvertRowAvx512;
#endif
#if VANTORUM_HAVE_AVX2_CLONES
  if (CurrentInstructionSet() != InstructionSet::Portable)
    return ConvertRowAvx2;
#endif
  return ConvertRowPortable;
}

const char FrequencyAssertion[] =
  "Assertion Failure (Bad Parameter): value <= JPEGMAXSAMPLINGFREQUENCY && value >= JPEGMINSAMPLINGFREQUENCY "
  "Graphics\\JPEGsource\\jpgencodercomponent";

}  // namespace

const uint8_t JpegZigZagToNatural[64] = {
  0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
  41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
  30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

JpegEncoderComponent::JpegEncoderComponent() = default;

JpegEncoderComponent::~JpegEncoderComponent()
{
  FreeCoefficients();
  FreeSamples();  // a write abandoned between conversion and transform
}

void JpegEncoderComponent::SetHorizontalFrequency(uint32_t value)
{
  if (value > JPEGMAXSAMPLINGFREQUENCY || value < JPEGMINSAMPLINGFREQUENCY)
    throw AssertionFailure(FrequencyAssertion);
  horizontalFrequency = value;
}

void JpegEncoderComponent::SetVerticalFrequency(uint32_t value)
{
  if (value > JPEGMAXSAMPLINGFREQUENCY || value < JPEGMINSAMPLINGFREQUENCY)
    throw AssertionFailure(FrequencyAssertion);
  verticalFrequency = value;
}

namespace
{

const uint32_t FlatValues = 256;

// Whether the 256 transforms of the flat blocks can pay for themselves: in
// a small picture they cost more than the picture's own (a thumbnail, an
// icon), and such pictures are transformed block by block as before.
bool FlatBlocksPay(uint32_t rows, uint32_t columns)
{
  return static_cast<uint64_t>(rows) * columns >= 4 * FlatValues;
}

// The grid: the 256 flat blocks first, then the blocks computed, packed
// from the front, so that a mostly flat picture touches only its first
// pages.
size_t GridBytes(uint32_t rows, uint32_t columns)
{
  return (static_cast<size_t>(rows) * columns + FlatValues) * 64 * sizeof(int16_t);
}

}  // namespace

void JpegEncoderComponent::FreeCoefficients()
{
  delete[] dcValues;
  dcValues = nullptr;
  delete[] blockSlots;
  blockSlots = nullptr;
  if (coefficients != nullptr)
    FreeLarge(coefficients, GridBytes(dataUnitRows, dataUnitColumns));
  coefficients = nullptr;
  blockTransform.reset();  // its flat blocks are the grid's
}

void JpegEncoderComponent::FreeSamples()
{
  delete[] samples;
  samples = nullptr;
}

void JpegEncoderComponent::AllocateCoefficients(uint32_t rows, uint32_t columns)
{
  FreeCoefficients();
  const size_t units = static_cast<size_t>(rows) * columns;
  coefficients = static_cast<int16_t *>(AllocateLarge(GridBytes(rows, columns)));
  dataUnitRows = rows;
  dataUnitColumns = columns;
  blockSlots = new uint32_t[units];
  for (size_t unit = 0; unit < units; ++unit)
    blockSlots[unit] = static_cast<uint32_t>(FlatValues + unit);
  dcValues = new int16_t[units];
  packedBlocks = FlatValues;
}

void JpegEncoderComponent::AllocateSampleBuffer(uint32_t imageWidth, uint32_t imageHeight, uint32_t maxH, uint32_t maxV,
                                                uint32_t rows)
{
  sampleColumns = RoundUp(imageWidth, 8 * maxH);
  sampleRows = rows != 0 ? rows : RoundUp(imageHeight, 8 * maxV);
  FreeSamples();
  samples = new uint8_t[static_cast<size_t>(sampleColumns) * sampleRows];
  // ITU-T T.81 A.2.2: the extent of a scan holding this component alone.
  noninterleavedColumns = CeilDivide(CeilDivide(imageWidth * horizontalFrequency, maxH), 8);
  noninterleavedRows = CeilDivide(CeilDivide(imageHeight * verticalFrequency, maxV), 8);
}

// Image rows first .. first + count - 1 into rows 0.. of the three planes
// (Y, Cb, Cr; stride bytes per row). Rows below the image repeat its last
// row and columns right of it repeat the row's last sample: the planes are
// padded to whole MCUs by replication. rowDone follows each image row.
void JpegEncoderComponent::ConvertRows(const BitmapImage &image, uint32_t first, uint32_t count,
                                       uint8_t *const planes[3], size_t stride, const std::function<void()> &rowDone)
{
  const uint32_t width = image.GetWidth();
  const uint32_t height = image.GetHeight();
  const RowConverter ConvertRow = SelectRowConverter();
  for (uint32_t i = 0; i < count; ++i)
  {
    const uint32_t row = first + i;
    if (row >= height)
    {
      for (int p = 0; p < 3; ++p)
        std::memcpy(planes[p] + stride * i, planes[p] + stride * (i - 1), stride);
      continue;
    }
    uint8_t *rows[3] = {planes[0] + stride * i, planes[1] + stride * i, planes[2] + stride * i};
    ConvertRow(reinterpret_cast<const uint8_t *>(image.PixelAddress(row * width)), rows[0], rows[1], rows[2], width);
    for (uint8_t *samples : rows)
      std::memset(samples + width, samples[width - 1], stride - width);
    if (rowDone)
      rowDone();
  }
}

void JpegEncoderComponent::ConvertRgb(JpegEncoder &encoder, const BitmapImage &image, uint32_t maxH, uint32_t maxV,
                                      JpegEncoderComponent &y, JpegEncoderComponent &cb, JpegEncoderComponent &cr)
{
  const uint32_t width = image.GetWidth();
  const uint32_t height = image.GetHeight();
  y.AllocateSampleBuffer(width, height, maxH, maxV);
  cb.AllocateSampleBuffer(width, height, maxH, maxV);
  cr.AllocateSampleBuffer(width, height, maxH, maxV);
  RowProgress progress(height);
  uint8_t *const planes[3] = {y.samples, cb.samples, cr.samples};
  ConvertRows(image, 0, y.sampleRows, planes, y.sampleColumns,
              [&encoder, &progress] { encoder.ReportProgress(progress.Row()); });
  encoder.ReportProgress(progress.End());
}

void JpegEncoderComponent::AllocateCoefficientGrid(uint32_t mcuRows, uint32_t mcuColumns)
{
  AllocateCoefficients(verticalFrequency * mcuRows, horizontalFrequency * mcuColumns);
}

// Data-unit rows first .. first + count - 1 from the plane rows starting at
// origin (the first plane row of data-unit row first), packed. Counted
// here, each block is still in the cache.
void JpegEncoderComponent::TransformRows(const uint8_t *origin, uint32_t first, uint32_t count, uint32_t maxH,
                                         uint32_t maxV, uint32_t *acCounts)
{
  const auto countAc = [acCounts](const int16_t *block) {
    if (acCounts != nullptr)
      Coders::CodeSequentialAc(block, Coders::Counter{acCounts});
  };
  const uint32_t vf = maxV / verticalFrequency;
  const uint32_t hf = maxH / horizontalFrequency;
  const uint32_t divisor = vf * hf;
  const size_t stride = sampleColumns;
  const BlockTransform &transform = *blockTransform;
  const uint32_t Computed = UINT32_MAX;
  uint8_t block[8][8];
  for (uint32_t r = 0; r < count; ++r)
  {
    const uint32_t row = first + r;
    uint32_t *slots = blockSlots + static_cast<size_t>(row) * dataUnitColumns;
    if (divisor == 1)
    {
      // The row's computed blocks take consecutive slots, reserved at once.
      const uint8_t *samplesRow = origin + stride * 8 * r;
      uint32_t computed = 0;
      for (uint32_t c = 0; c < dataUnitColumns; ++c)
      {
        const int flat = transform.FlatValue(samplesRow + 8 * c, stride);
        slots[c] = flat >= 0 ? static_cast<uint32_t>(flat) : Computed;
        computed += flat < 0;
      }
      uint32_t next = packedBlocks.fetch_add(computed, std::memory_order_relaxed);
      for (uint32_t c = 0; c < dataUnitColumns; ++c)
      {
        if (slots[c] == Computed)
        {
          slots[c] = next++;
          transform.Compute(samplesRow + 8 * c, stride, DataUnit(row, c));
        }
        KeepDc(row, c);
        countAc(DataUnit(row, c));
      }
      continue;
    }
    for (uint32_t c = 0; c < dataUnitColumns; ++c)
    {
      // Downsampling by truncated means.
      for (uint32_t i = 0; i < 8; ++i)
        for (uint32_t k = 0; k < 8; ++k)
        {
          uint32_t sum = 0;
          for (uint32_t a = 0; a < vf; ++a)
          {
            const uint8_t *source = origin + stride * (8 * vf * r + vf * i + a) + 8 * hf * c + hf * k;
            for (uint32_t b = 0; b < hf; ++b)
              sum += source[b];
          }
          block[i][k] = static_cast<uint8_t>(sum / divisor);
        }
      const int flat = transform.FlatValue(&block[0][0], 8);
      if (flat >= 0)
      {
        slots[c] = static_cast<uint32_t>(flat);
      }
      else
      {
        slots[c] = packedBlocks.fetch_add(1, std::memory_order_relaxed);
        transform.Compute(&block[0][0], 8, DataUnit(row, c));
      }
      KeepDc(row, c);
      countAc(DataUnit(row, c));
    }
  }
}

void JpegEncoderComponent::PrepareTransform()
{
  blockTransform = std::make_unique<BlockTransform>(*quantizationTable);
  if (!FlatBlocksPay(dataUnitRows, dataUnitColumns))
    return;
  blockTransform->PrepareFlatBlocks();
  std::memcpy(coefficients, blockTransform->FlatBlock(0), FlatValues * 64 * sizeof(int16_t));
}

void JpegEncoderComponent::SampleAndTransform(JpegEncoder &encoder, uint32_t maxH, uint32_t maxV)
{
  AllocateCoefficientGrid(sampleRows / 8 / maxV, sampleColumns / 8 / maxH);
  PrepareTransform();
  RowProgress progress(dataUnitRows);
  for (uint32_t r = 0; r < dataUnitRows; ++r)
  {
    TransformRows(samples + static_cast<size_t>(sampleColumns) * 8 * (maxV / verticalFrequency) * r, r, 1, maxH, maxV);
    encoder.ReportProgress(progress.Row());
  }
  encoder.ReportProgress(progress.End());
  FreeSamples();
}

void JpegEncoderComponent::ReportTransformProgress(JpegEncoder &encoder) const
{
  RowProgress progress(dataUnitRows);
  for (uint32_t r = 0; r < dataUnitRows; ++r)
    encoder.ReportProgress(progress.Row());
  encoder.ReportProgress(progress.End());
}

void JpegEncoderComponent::ConvertGreyscale(JpegEncoder &encoder, const BitmapImage &image, JpegEncoderComponent &y)
{
  const uint32_t width = image.GetWidth();
  const uint32_t height = image.GetHeight();
  y.AllocateCoefficients(CeilDivide(height, 8), CeilDivide(width, 8));
  y.noninterleavedRows = y.dataUnitRows;
  y.noninterleavedColumns = y.dataUnitColumns;
  BlockTransform transform(*y.quantizationTable);
  if (FlatBlocksPay(y.dataUnitRows, y.dataUnitColumns))
    transform.PrepareFlatBlocks();
  RowProgress progress(y.dataUnitRows);
  uint8_t block[8][8];
  for (uint32_t r = 0; r < y.dataUnitRows; ++r)
  {
    for (uint32_t c = 0; c < y.dataUnitColumns; ++c)
    {
      for (uint32_t i = 0; i < 8; ++i)
      {
        const uint32_t row = 8 * r + i;
        for (uint32_t k = 0; k < 8; ++k)
        {
          const uint32_t column = 8 * c + k;
          if (row < height && column < width)
          {
            const uint8_t *pixel = reinterpret_cast<const uint8_t *>(image.PixelAddress(row * width + column));
            block[i][k] = LuminanceOf(pixel[2], pixel[1], pixel[0]);
          }
          else
          {
            block[i][k] = 128;
          }
        }
      }
      transform.ToZigZag(&block[0][0], 8, y.DataUnit(r, c));
      y.KeepDc(r, c);
    }
    encoder.ReportProgress(progress.Row());
  }
  encoder.ReportProgress(progress.End());
}

void JpegEncoderComponent::ForwardDct(const uint8_t block[8][8], const QuantizationTable &table, int16_t output[64])
{
  BlockTransform(table).ToNatural(&block[0][0], 8, output);
}

}  // namespace Vantorum
