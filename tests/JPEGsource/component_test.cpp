#include "jpegencoder.h"
#include "jpgencodercomponent.h"
#include "jpgquantizationtable.h"
#include "jpgtransform.h"
#include "testimages.h"
#include "expecterror.h"
#include "memorystream.h"
#include "simd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace Vantorum;
using namespace testing_support;

namespace
{

struct Planes
{
  JpegEncoder encoder;
  JpegEncoderComponent y, cb, cr;
  QuantizationTable table;
  Planes()
  {
    int32_t ones[64];
    std::fill_n(ones, 64, 1);
    table.SetValues(ones);
    table.PrepareScaleFactors();
    for (JpegEncoderComponent *c : {&y, &cb, &cr})
      c->SetQuantizationTable(table);
  }
  void Convert(const BitmapImage &image, uint32_t maxH = 1, uint32_t maxV = 1)
  {
    JpegEncoderComponent::ConvertRgb(encoder, image, maxH, maxV, y, cb, cr);
  }
};

uint8_t Sample(const JpegEncoderComponent &c, uint32_t row, uint32_t column)
{
  return c.GetSamples()[row * c.GetSampleColumns() + column];
}

// The forward DCT of T.81 A.3.3, evaluated directly.
double DirectDct(const uint8_t block[8][8], int v, int u)
{
  const double pi = std::acos(-1.0);
  double sum = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      sum += (block[y][x] - 128.0) * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
  const double cu = u == 0 ? 1 / std::sqrt(2.0) : 1, cv = v == 0 ? 1 / std::sqrt(2.0) : 1;
  return 0.25 * cu * cv * sum;
}

}  // namespace

TEST(ColourConversion, GreyStaysNeutralAndPrimariesClamp)
{
  for (int v = 0; v < 256; ++v)
  {
    Planes planes;
    const uint8_t g = static_cast<uint8_t>(v);
    planes.Convert(BitmapImage(1, 1, PixelWord({g, g, g})));
    ASSERT_EQ(Sample(planes.y, 0, 0), v);
    ASSERT_EQ(Sample(planes.cb, 0, 0), 128);
    ASSERT_EQ(Sample(planes.cr, 0, 0), 128);
  }
  struct Case
  {
    Rgb colour;
    int y, cb, cr;
  } cases[] = {{{255, 0, 0}, 76, 85, 255}, {{0, 255, 0}, 150, 44, 21}, {{0, 0, 255}, 29, 255, 107}};
  for (const Case &c : cases)
  {
    Planes planes;
    planes.Convert(BitmapImage(1, 1, PixelWord(c.colour, 0x77)));
    EXPECT_EQ(Sample(planes.y, 0, 0), c.y);
    EXPECT_EQ(Sample(planes.cb, 0, 0), c.cb);
    EXPECT_EQ(Sample(planes.cr, 0, 0), c.cr);
  }
}

TEST(ColourConversion, EveryColourGivesTheSameSamplesOnEveryInstructionSet)
{
  // All 2^24 colours, each with some fourth byte, in rows whose width leaves
  // a tail after every vector width.
  const uint32_t Width = 4093, Rows = 256, Colours = 1u << 24;
  BitmapImage image(Width, Rows, 0);
  for (uint32_t firstColour = 0; firstColour < Colours; firstColour += Width * Rows)
  {
    for (uint32_t i = 0; i < Width * Rows; ++i)
      image.GetPixels()[i] = ((firstColour + i) & 0xFFFFFF) | (i * 37u) << 24;
    std::vector<uint8_t> expected[3];
    for (const InstructionSet set : AvailableInstructionSets())
    {
      UseInstructionSet(set);
      Planes planes;
      planes.Convert(image);
      const JpegEncoderComponent *components[3] = {&planes.y, &planes.cb, &planes.cr};
      for (int p = 0; p < 3; ++p)
      {
        const uint8_t *samples = components[p]->GetSamples();
        const std::vector<uint8_t> plane(samples, samples + size_t(components[p]->GetSampleColumns()) * Rows);
        if (set == InstructionSet::Portable)
          expected[p] = plane;
        else
          ASSERT_EQ(plane, expected[p]) << InstructionSetName(set) << ", plane " << p << ", colours from "
                                        << firstColour;
      }
    }
  }
  UseInstructionSet(BestInstructionSet());
}

TEST(ColourConversion, PlanesCoverWholeMcusByReplicatingEdges)
{
  Planes planes;
  const BitmapImage image = NoiseImage(10, 10, 9);
  planes.Convert(image);
  EXPECT_EQ(planes.y.GetSampleColumns(), 16u);
  EXPECT_EQ(planes.y.GetSampleRows(), 16u);
  for (uint32_t row = 0; row < 16; ++row)
    for (uint32_t column = 10; column < 16; ++column)
      ASSERT_EQ(Sample(planes.cb, row, column), Sample(planes.cb, std::min(row, 9u), 9));
  for (uint32_t row = 10; row < 16; ++row)
    for (uint32_t column = 0; column < 16; ++column)
      ASSERT_EQ(Sample(planes.cr, row, column), Sample(planes.cr, 9, column));
  planes.y.SampleAndTransform(planes.encoder, 1, 1);
  EXPECT_EQ(planes.y.GetDataUnitRows(), 2u);
  EXPECT_EQ(planes.y.GetDataUnitColumns(), 2u);
  EXPECT_EQ(planes.y.GetNoninterleavedRows(), 2u);
  EXPECT_EQ(planes.y.GetSamples(), nullptr) << "the plane is released after the transform";
}

TEST(ColourConversion, DownsamplingTakesTruncatedMeans)
{
  Planes planes;
  planes.y.SetHorizontalFrequency(2);
  planes.y.SetVerticalFrequency(2);
  const BitmapImage image = NoiseImage(100, 100, 2);
  planes.Convert(image, 2, 2);
  EXPECT_EQ(planes.y.GetSampleColumns(), 112u);
  EXPECT_EQ(planes.y.GetNoninterleavedColumns(), 13u);
  EXPECT_EQ(planes.cb.GetNoninterleavedColumns(), 7u);
  EXPECT_EQ(planes.cb.GetNoninterleavedRows(), 7u);

  // The DC of a block is its mean: check the first Cb block against the
  // truncated 2 x 2 means of the plane.
  uint32_t sum = 0;
  for (uint32_t i = 0; i < 8; ++i)
    for (uint32_t k = 0; k < 8; ++k)
    {
      uint32_t quad = 0;
      for (uint32_t a = 0; a < 2; ++a)
        for (uint32_t b = 0; b < 2; ++b)
          quad += Sample(planes.cb, 2 * i + a, 2 * k + b);
      sum += quad / 4;
    }
  planes.y.SampleAndTransform(planes.encoder, 2, 2);
  planes.cb.SampleAndTransform(planes.encoder, 2, 2);
  EXPECT_EQ(planes.y.GetDataUnitRows(), 14u);
  EXPECT_EQ(planes.y.GetDataUnitColumns(), 14u);
  EXPECT_EQ(planes.cb.GetDataUnitColumns(), 7u);
  EXPECT_EQ(planes.cb.DataUnit(0, 0)[0], static_cast<int16_t>(std::lround((static_cast<double>(sum) - 8192) / 8)));

  Planes thirds;
  thirds.y.SetHorizontalFrequency(3);
  thirds.Convert(NoiseImage(100, 8, 1), 3, 1);
  EXPECT_EQ(thirds.y.GetSampleColumns(), 120u);
  thirds.y.SampleAndTransform(thirds.encoder, 3, 1);
  thirds.cb.SampleAndTransform(thirds.encoder, 3, 1);
  EXPECT_EQ(thirds.y.GetDataUnitColumns(), 15u);
  EXPECT_EQ(thirds.cb.GetDataUnitColumns(), 5u);
}

TEST(ColourConversion, GreyscalePadsWithMidGrey)
{
  Planes planes;
  BitmapImage image(10, 10, PixelWord({255, 255, 255}));
  JpegEncoderComponent::ConvertGreyscale(planes.encoder, image, planes.y);
  ASSERT_EQ(planes.y.GetDataUnitRows(), 2u);
  ASSERT_EQ(planes.y.GetNoninterleavedColumns(), 2u);
  // Block (1, 1) holds a 2 x 2 white corner on 128: DC = (4 x 127) / 8.
  EXPECT_EQ(planes.y.DataUnit(1, 1)[0], 64);
  EXPECT_EQ(planes.y.DataUnit(0, 0)[0], 1016);  // all white: 64 x 127 / 8
}

TEST(ForwardDct, ConstantBlocksGiveOnlyDc)
{
  QuantizationTable table;
  int32_t values[64];
  std::fill_n(values, 64, 16);
  table.SetValues(values);
  table.PrepareScaleFactors();
  struct Case
  {
    uint8_t sample;
    int16_t dc;
  } cases[] = {{128, 0}, {255, 64}, {0, -64}};
  for (const Case &c : cases)
  {
    uint8_t block[8][8];
    std::memset(block, c.sample, sizeof block);
    int16_t output[64];
    JpegEncoderComponent::ForwardDct(block, table, output);
    EXPECT_EQ(output[0], c.dc);
    for (int i = 1; i < 64; ++i)
      EXPECT_EQ(output[i], 0);
  }
}

TEST(ForwardDct, MatchesTheDirectFormulaOnRandomBlocks)
{
  QuantizationTable table;
  int32_t ones[64];
  std::fill_n(ones, 64, 1);
  table.SetValues(ones);
  table.PrepareScaleFactors();
  std::mt19937 random(7);
  for (int trial = 0; trial < 200; ++trial)
  {
    uint8_t block[8][8];
    for (auto &row : block)
      for (uint8_t &sample : row)
        sample = static_cast<uint8_t>(random() % 256);
    int16_t output[64];
    JpegEncoderComponent::ForwardDct(block, table, output);
    for (int v = 0; v < 8; ++v)
      for (int u = 0; u < 8; ++u)
        ASSERT_NEAR(output[v * 8 + u], DirectDct(block, v, u), 0.5 + 1e-9) << v << "," << u;
  }
}

// Every instruction set's transform must give the portable one's
// coefficients, also where they are largest (quality 100 quantises by 1):
// flat black and white, the checkerboard, stripes both ways, a ramp, noise.
TEST(ForwardDct, EveryInstructionSetWritesThePortableBytesOnExtremeBlocks)
{
  const uint32_t kinds = 8;
  BitmapImage image(8 * kinds, 8, 0);
  std::mt19937 random(11);
  for (uint32_t kind = 0; kind < kinds; ++kind)
    for (uint32_t y = 0; y < 8; ++y)
      for (uint32_t x = 0; x < 8; ++x)
      {
        const uint32_t patterns[kinds] = {0u,
                                          255u,
                                          (x + y) % 2 * 255u,
                                          x % 2 * 255u,
                                          y % 2 * 255u,
                                          (x * 8 + y) * 4u,
                                          x < 4 ? 255u : 0u,
                                          static_cast<uint32_t>(random() % 256)};
        const uint32_t grey = patterns[kind];
        // Channels differ, so that chroma is extreme too.
        *image.PixelAddress(y * image.GetWidth() + kind * 8 + x) = grey | (255 - grey) << 8 | (grey ^ 0x5A) << 16;
      }
  std::vector<uint8_t> portable;
  for (const InstructionSet set : AvailableInstructionSets())
  {
    UseInstructionSet(set);
    JpegEncoder encoder;
    encoder.SetQuality(100);
    MemoryStream stream;
    encoder.WriteImage(stream, image);
    if (set == InstructionSet::Portable)
      portable = stream.Bytes();
    else
      EXPECT_EQ(stream.Bytes(), portable) << InstructionSetName(set);
  }
  UseInstructionSet(BestInstructionSet());
}

// Flat blocks are copied from a table made by the transform itself: on
// every instruction set and table, each of the 256 must get the computed
// coefficients, and a block that differs in any one sample must be
// computed, not copied.
TEST(ForwardDct, FlatBlocksGetTheComputedCoefficients)
{
  const size_t stride = 24;  // blocks inside wider rows, as in a plane
  std::vector<uint8_t> plane(8 * stride);
  for (const InstructionSet set : AvailableInstructionSets())
    for (const uint32_t quality : {1u, 75u, 100u})
    {
      QuantizationTable table;
      table.SetValues(JpegLuminanceTables[QualityToLevel(quality, JpegLuminanceLevels)]);
      table.PrepareScaleFactors();
      UseInstructionSet(set);
      const BlockTransform computed(table);
      BlockTransform copied(table);
      copied.PrepareFlatBlocks();
      for (int value = 0; value < 256; ++value)
        for (int odd = -1; odd < 64; ++odd)  // -1: flat; else that sample differs
        {
          std::fill(plane.begin(), plane.end(), static_cast<uint8_t>(value));
          if (odd >= 0)
            plane[odd / 8 * stride + odd % 8] = static_cast<uint8_t>(value ^ 0x80);
          int16_t expected[64], actual[64];
          computed.ToZigZag(plane.data(), stride, expected);
          copied.ToZigZag(plane.data(), stride, actual);
          ASSERT_EQ(0, std::memcmp(expected, actual, sizeof actual))
            << InstructionSetName(set) << ", quality " << quality << ", value " << value << ", odd sample " << odd;
        }
    }
  UseInstructionSet(BestInstructionSet());
}

// A picture large enough for the flat-block table, mostly paper with lines
// and a grey field: every data unit, packed or flat, in 4:4:4 and with a
// downsampled component, holds the block's own transform.
TEST(ForwardDct, PackedAndFlatDataUnitsHoldEachBlocksTransform)
{
  BitmapImage image(640, 528, PixelWord({255, 255, 255}));
  for (uint32_t x = 0; x < 640; ++x)
  {
    SetPixel(image, x, 37, {0, 0, 0});
    SetPixel(image, x, (x * 3) % 528, {200, 0, 30});
  }
  for (uint32_t y = 400; y < 528; ++y)
    for (uint32_t x = 128; x < 256; ++x)
      SetPixel(image, x, y, {90, 90, 90});
  // Full size Y, then Cb at half size each way (means of 2 x 2 samples).
  for (const uint32_t half : {1u, 2u})
  {
    Planes planes;
    planes.Convert(image, half, half);
    JpegEncoderComponent &component = half == 1 ? planes.y : planes.cb;
    const uint32_t stride = component.GetSampleColumns();
    const std::vector<uint8_t> plane(component.GetSamples(),
                                     component.GetSamples() + component.GetSampleRows() * stride);
    component.SampleAndTransform(planes.encoder, half, half);
    ASSERT_GE(component.GetDataUnitRows() * component.GetDataUnitColumns(), 1024u);
    for (uint32_t r = 0; r < component.GetDataUnitRows(); ++r)
      for (uint32_t c = 0; c < component.GetDataUnitColumns(); ++c)
      {
        uint8_t block[8][8];
        for (uint32_t i = 0; i < 8; ++i)
          for (uint32_t k = 0; k < 8; ++k)
          {
            uint32_t sum = 0;
            for (uint32_t a = 0; a < half; ++a)
              for (uint32_t b = 0; b < half; ++b)
                sum += plane[(half * (8 * r + i) + a) * stride + half * (8 * c + k) + b];
            block[i][k] = static_cast<uint8_t>(sum / (half * half));
          }
        int16_t natural[64];
        JpegEncoderComponent::ForwardDct(block, planes.table, natural);
        for (int k = 0; k < 64; ++k)
          ASSERT_EQ(component.DataUnit(r, c)[k], natural[JpegZigZagToNatural[k]])
            << "half " << half << ", unit " << r << "," << c << ", position " << k;
        ASSERT_EQ(component.DcValue(r, c), natural[0]);
      }
  }
}

TEST(JpegEncoderComponent, FrequenciesOutsideOneToFourAreAssertions)
{
  JpegEncoderComponent component;
  const char *message = "Assertion Failure (Bad Parameter): value <= JPEGMAXSAMPLINGFREQUENCY && value >= "
                        "JPEGMINSAMPLINGFREQUENCY Graphics\\JPEGsource\\jpgencodercomponent";
  ExpectError<AssertionFailure>([&] { component.SetHorizontalFrequency(0); }, message);
  EXPECT_THROW(component.SetVerticalFrequency(5), AssertionFailure);
  component.SetHorizontalFrequency(4);
  component.SetVerticalFrequency(1);
  EXPECT_EQ(component.GetHorizontalFrequency(), 4u);
  EXPECT_EQ(component.GetVerticalFrequency(), 1u);
}
