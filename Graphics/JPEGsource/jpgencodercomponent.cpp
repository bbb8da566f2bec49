// Colour conversion, sampling and the forward DCT of one component.
#include "jpgencodercomponent.h"

#include "jpegencoder.h"
#include "jpgquantizationtable.h"
#include "simd.h"

#include <cmath>
#include <cstring>

namespace Vantorum
{

namespace
{

// Forward DCT constants, fixed once at static initialisation.
const double Pi = std::acos(-1.0);
const double C4 = std::cos(Pi * 4 / 16);        // cos(4 pi / 16)
const double K2 = 0.5 / std::cos(Pi * 2 / 16);  // K2 (1 + C4) = cos(pi / 8), K2 C4 = sin(pi / 8)
const double K3 = 0.5 / std::cos(Pi * 6 / 16);  // K3 C4 = cos(pi / 8), K3 (C4 - 1) = -sin(pi / 8)

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

// YCbCr weights x 4096, truncated; 2048 rounds, 0x80800 = 128 x 4096 + 2048.
inline uint8_t LuminanceOf(int32_t red, int32_t green, int32_t blue)
{
  return Clamp((1224 * red + 2404 * green + 466 * blue + 2048) >> 12);
}

// GCC's default -O2 cost model leaves the colour conversion scalar; asking
// for its dynamic model vectorises it (integer arithmetic: same results).
#if defined(__GNUC__) && !defined(__clang__)
#define VANTORUM_VECTORISE __attribute__((optimize("vect-cost-model=dynamic")))
#else
#define VANTORUM_VECTORISE
#endif

// The hot loops are compiled a second time for AVX2 where the compiler can
// (x86 with GCC or Clang); simd.cpp picks the copy at run time. AVX2 alone:
// FMA would fuse the DCT's multiplies and adds and change its doubles.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define VANTORUM_HAVE_AVX2_CLONES 1
#else
#define VANTORUM_HAVE_AVX2_CLONES 0
#endif

// One row of pixels to the three planes; the planes and the image never
// overlap. Integer arithmetic, so every instruction set gives the same bytes.
inline void ConvertRowBody(const uint8_t *__restrict pixels, uint8_t *__restrict y, uint8_t *__restrict cb,
                           uint8_t *__restrict cr, size_t width)
{
  for (size_t x = 0; x < width; ++x)
  {
    const int32_t blue = pixels[4 * x], green = pixels[4 * x + 1], red = pixels[4 * x + 2];
    y[x] = LuminanceOf(red, green, blue);
    cb[x] = Clamp((-690 * red - 1357 * green + 2048 * blue + 0x80800) >> 12);
    cr[x] = Clamp((2048 * red - 1714 * green - 333 * blue + 0x80800) >> 12);
  }
}

typedef void (*RowConverter)(const uint8_t *, uint8_t *, uint8_t *, uint8_t *, size_t);

VANTORUM_VECTORISE void ConvertRowPortable(const uint8_t *__restrict pixels, uint8_t *__restrict y,
                                           uint8_t *__restrict cb, uint8_t *__restrict cr, size_t width)
{
  ConvertRowBody(pixels, y, cb, cr, width);
}

#if VANTORUM_HAVE_AVX2_CLONES
VANTORUM_VECTORISE __attribute__((target("avx2"))) void ConvertRowAvx2(const uint8_t *__restrict pixels,
                                                                        uint8_t *__restrict y,
                                                                        uint8_t *__restrict cb,
                                                                        uint8_t *__restrict cr, size_t width)
{
  ConvertRowBody(pixels, y, cb, cr, width);
}
#endif

// The 8-point AAN butterfly, shared by the column and row passes. It runs
// eight independent transforms side by side (lane x of in and out), so the
// compiler can pair lanes in vector registers; each lane still performs the
// same IEEE operations in the same order as a single scalar transform.
inline void Butterflies(const double in[8][8], double out[8][8])
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

// The scale factors in the row pass's lane order: entry u * 8 + v scales
// natural coefficient v * 8 + u.
struct LaneScales
{
  explicit LaneScales(const double *natural)
  {
    for (int u = 0; u < 8; ++u)
      for (int v = 0; v < 8; ++v)
        values[u * 8 + v] = natural[v * 8 + u];
  }
  alignas(32) double values[64];
};

// The forward DCT and quantisation of one block, into lane order (entry
// u * 8 + v is natural coefficient v * 8 + u).
inline void TransformBody(const uint8_t block[8][8], const double *__restrict scale, int16_t *__restrict lanes)
{
  alignas(32) double in[8][8];
  alignas(32) double work[8][8];  // [v][x]: vertical frequency v of column x
  // Columns, with the level shift by 128 of both samples done in integers.
  for (int x = 0; x < 8; ++x)
  {
    const int d0 = block[0][x], d1 = block[1][x], d2 = block[2][x], d3 = block[3][x];
    const int d4 = block[4][x], d5 = block[5][x], d6 = block[6][x], d7 = block[7][x];
    in[0][x] = d0 + d7 - 256;
    in[1][x] = d1 + d6 - 256;
    in[2][x] = d2 + d5 - 256;
    in[3][x] = d3 + d4 - 256;
    in[4][x] = d3 - d4;
    in[5][x] = d2 - d5;
    in[6][x] = d1 - d6;
    in[7][x] = d0 - d7;
  }
  Butterflies(in, work);

  // Rows: lane v is row v of work.
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
  alignas(32) double result[8][8];  // [u][v]
  Butterflies(in, result);

  // Quantisation rounded half away from zero. Adding copysign(0.5) is the
  // same IEEE operation as the two-way "+ 0.5 / - 0.5" (x - 0.5 == x + -0.5
  // exactly; -0 rounds to 0 either way) without a branch that mispredicts
  // on every other coefficient.
  const double *flat = &result[0][0];
  for (int i = 0; i < 64; ++i)
  {
    const double product = flat[i] * scale[i];
    lanes[i] = static_cast<int16_t>(static_cast<int32_t>(product + std::copysign(0.5, product)));
  }
}

typedef void (*BlockTransform)(const uint8_t block[8][8], const double *scale, int16_t *lanes);

void TransformPortable(const uint8_t block[8][8], const double *scale, int16_t *lanes)
{
  TransformBody(block, scale, lanes);
}

#if VANTORUM_HAVE_AVX2_CLONES
__attribute__((target("avx2"))) void TransformAvx2(const uint8_t block[8][8], const double *scale, int16_t *lanes)
{
  TransformBody(block, scale, lanes);
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
    }
  }
  uint8_t position[64];
};

// The transform the current instruction set asks for, and its scales.
class ZigZagTransform
{
public:
  explicit ZigZagTransform(const QuantizationTable &table) : scales(table.GetScaleFactors())
  {
#if VANTORUM_HAVE_AVX2_CLONES
    if (CurrentInstructionSet() == InstructionSet::Avx2)
      transform = TransformAvx2;
#endif
  }
  void operator()(const uint8_t block[8][8], int16_t *zigzag) const
  {
    static const LaneToZigZag order;
    alignas(32) int16_t lanes[64];
    transform(block, scales.values, lanes);
    for (int i = 0; i < 64; ++i)
      zigzag[order.position[i]] = lanes[i];
  }

private:
  LaneScales scales;
  BlockTransform transform = TransformPortable;
};

RowConverter SelectRowConverter()
{
#if VANTORUM_HAVE_AVX2_CLONES
  if (CurrentInstructionSet() == InstructionSet::Avx2)
    return ConvertRowAvx2;
#endif
  return ConvertRowPortable;
}

// Progress in 1/256 percent: the step is added after each of count rows.
class RowProgress
{
public:
  RowProgress(JpegEncoder &owner, uint32_t count) : encoder(owner), step(25600 / count) {}
  void Row()
  {
    accumulator += step;
    encoder.ReportProgress(accumulator / 256);
  }
  void Done() { encoder.ReportProgress(100); }

private:
  JpegEncoder &encoder;
  uint32_t step;
  uint32_t accumulator = 0;
};

const char FrequencyAssertion[] =
  "Assertion Failure (Bad Parameter): value <= JPEGMAXSAMPLINGFREQUENCY && value >= JPEGMINSAMPLINGFREQUENCY "
  "Graphics\\JPEGsource\\jpgencodercomponent";

} // namespace

const uint8_t JpegZigZagToNatural[64] = {
  0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
  41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
  30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

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

void JpegEncoderComponent::FreeCoefficients()
{
  delete[] coefficients;
  coefficients = nullptr;
}

void JpegEncoderComponent::FreeSamples()
{
  delete[] samples;
  samples = nullptr;
}

void JpegEncoderComponent::AllocateCoefficients(uint32_t rows, uint32_t columns)
{
  FreeCoefficients();
  dataUnitRows = rows;
  dataUnitColumns = columns;
  coefficients = new int16_t[static_cast<size_t>(rows) * columns * 64];
}

void JpegEncoderComponent::AllocateSampleBuffer(uint32_t imageWidth, uint32_t imageHeight, uint32_t maxH,
                                                uint32_t maxV)
{
  sampleColumns = RoundUp(imageWidth, 8 * maxH);
  sampleRows = RoundUp(imageHeight, 8 * maxV);
  FreeSamples();
  samples = new uint8_t[static_cast<size_t>(sampleColumns) * sampleRows];
  // ITU-T T.81 A.2.2: the extent of a scan holding this component alone.
  noninterleavedColumns = CeilDivide(CeilDivide(imageWidth * horizontalFrequency, maxH), 8);
  noninterleavedRows = CeilDivide(CeilDivide(imageHeight * verticalFrequency, maxV), 8);
}

void JpegEncoderComponent::ConvertRgb(JpegEncoder &encoder, const BitmapImage &image, uint32_t maxH,
                                      uint32_t maxV, JpegEncoderComponent &y, JpegEncoderComponent &cb,
                                      JpegEncoderComponent &cr)
{
  const uint32_t width = image.GetWidth();
  const uint32_t height = image.GetHeight();
  y.AllocateSampleBuffer(width, height, maxH, maxV);
  cb.AllocateSampleBuffer(width, height, maxH, maxV);
  cr.AllocateSampleBuffer(width, height, maxH, maxV);
  const size_t stride = y.sampleColumns;
  const RowConverter ConvertRow = SelectRowConverter();
  RowProgress progress(encoder, height);
  for (uint32_t row = 0; row < height; ++row)
  {
    const uint8_t *pixel = reinterpret_cast<const uint8_t *>(image.PixelAddress(row * width));
    uint8_t *yRow = y.samples + stride * row;
    uint8_t *cbRow = cb.samples + stride * row;
    uint8_t *crRow = cr.samples + stride * row;
    ConvertRow(pixel, yRow, cbRow, crRow, width);
    std::memset(yRow + width, yRow[width - 1], stride - width);
    std::memset(cbRow + width, cbRow[width - 1], stride - width);
    std::memset(crRow + width, crRow[width - 1], stride - width);
    progress.Row();
  }
  for (JpegEncoderComponent *component : {&y, &cb, &cr})
    for (uint32_t row = height; row < component->sampleRows; ++row)
      std::memcpy(component->samples + stride * row, component->samples + stride * (row - 1), stride);
  progress.Done();
}

void JpegEncoderComponent::SampleAndTransform(JpegEncoder &encoder, uint32_t maxH, uint32_t maxV)
{
  AllocateCoefficients(verticalFrequency * sampleRows / 8 / maxV, horizontalFrequency * sampleColumns / 8 / maxH);
  const uint32_t vf = maxV / verticalFrequency;
  const uint32_t hf = maxH / horizontalFrequency;
  const uint32_t divisor = vf * hf;
  const size_t stride = sampleColumns;
  const ZigZagTransform transform(*quantizationTable);
  RowProgress progress(encoder, dataUnitRows);
  uint8_t block[8][8];
  for (uint32_t r = 0; r < dataUnitRows; ++r)
  {
    for (uint32_t c = 0; c < dataUnitColumns; ++c)
    {
      if (divisor == 1)
      {
        for (int i = 0; i < 8; ++i)
          std::memcpy(block[i], samples + stride * (8 * r + i) + 8 * c, 8);
      }
      else
      {
        for (uint32_t i = 0; i < 8; ++i)
          for (uint32_t k = 0; k < 8; ++k)
          {
            uint32_t sum = 0;
            for (uint32_t a = 0; a < vf; ++a)
            {
              const uint8_t *source = samples + stride * (8 * vf * r + vf * i + a) + 8 * hf * c + hf * k;
              for (uint32_t b = 0; b < hf; ++b)
                sum += source[b];
            }
            block[i][k] = static_cast<uint8_t>(sum / divisor);
          }
      }
      transform(block, DataUnit(r, c));
    }
    progress.Row();
  }
  progress.Done();
  FreeSamples();
}

void JpegEncoderComponent::ConvertGreyscale(JpegEncoder &encoder, const BitmapImage &image,
                                            JpegEncoderComponent &y)
{
  const uint32_t width = image.GetWidth();
  const uint32_t height = image.GetHeight();
  y.AllocateCoefficients(CeilDivide(height, 8), CeilDivide(width, 8));
  y.noninterleavedRows = y.dataUnitRows;
  y.noninterleavedColumns = y.dataUnitColumns;
  const ZigZagTransform transform(*y.quantizationTable);
  RowProgress progress(encoder, y.dataUnitRows);
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
      transform(block, y.DataUnit(r, c));
    }
    progress.Row();
  }
  progress.Done();
}

void JpegEncoderComponent::ForwardDct(const uint8_t block[8][8], const QuantizationTable &table, int16_t output[64])
{
  LaneScales scales(table.GetScaleFactors());
  int16_t lanes[64];
  TransformPortable(block, scales.values, lanes);
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v)
      output[v * 8 + u] = lanes[u * 8 + v];
}

} // namespace Vantorum
