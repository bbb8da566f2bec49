#include "jpegencoder.h"
#include "jpgquantizationtable.h"
#include "expecterror.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Vantorum;

namespace
{

const QuantizationTable &Luminance(const JpegEncoder &encoder)
{
  return encoder.GetQuantizationTable(0);
}
const QuantizationTable &Chrominance(const JpegEncoder &encoder)
{
  return encoder.GetQuantizationTable(1);
}

uint16_t At(const QuantizationTable &table, int row, int column)
{
  return table.GetValue(row * 8 + column);
}

}  // namespace

TEST(QuantizationTables, QualityPicksTheLevelOfEachFamily)
{
  struct Case
  {
    unsigned quality, luminance, chrominance;
  } cases[] = {{1, 0, 0},  {2, 1, 1},  {9, 1, 1},   {10, 2, 1},  {19, 2, 1},  {20, 3, 1}, {30, 4, 1},
               {32, 4, 1}, {33, 4, 2}, {39, 4, 2},  {49, 5, 2},  {50, 6, 2},  {65, 7, 2}, {66, 7, 3},
               {75, 8, 3}, {89, 9, 3}, {90, 10, 3}, {99, 10, 3}, {100, 11, 4}};
  for (const Case &c : cases)
  {
    EXPECT_EQ(QualityToLevel(c.quality, JpegLuminanceLevels), c.luminance) << c.quality;
    EXPECT_EQ(QualityToLevel(c.quality, JpegChrominanceLevels), c.chrominance) << c.quality;
  }
}

TEST(QuantizationTables, FixedTablesStandAsListedAsymmetriesIncluded)
{
  JpegEncoder encoder;
  encoder.SetQuality(1);
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(Luminance(encoder).GetValue(i) + Chrominance(encoder).GetValue(i), 510);
  encoder.SetQuality(100);
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(Luminance(encoder).GetValue(i) + Chrominance(encoder).GetValue(i), 2);

  encoder.SetQuality(30);  // the standard's luminance table
  EXPECT_EQ(At(Luminance(encoder), 0, 0), 16);
  EXPECT_EQ(At(Luminance(encoder), 0, 1), 11);
  EXPECT_EQ(At(Luminance(encoder), 1, 0), 12);
  EXPECT_EQ(At(Luminance(encoder), 7, 7), 99);
  encoder.SetQuality(33);  // the standard's chrominance table
  EXPECT_EQ(At(Chrominance(encoder), 0, 3), 47);
  EXPECT_EQ(At(Chrominance(encoder), 7, 7), 99);
  encoder.SetQuality(66);  // chrominance halved
  EXPECT_EQ(At(Chrominance(encoder), 0, 0), 8);
  EXPECT_EQ(At(Chrominance(encoder), 3, 1), 33);
  EXPECT_EQ(At(Chrominance(encoder), 7, 7), 49);
  encoder.SetQuality(32);
  EXPECT_EQ(At(Chrominance(encoder), 7, 6), 88);
  EXPECT_EQ(At(Chrominance(encoder), 6, 7), 99);
  encoder.SetQuality(55);
  EXPECT_EQ(At(Luminance(encoder), 0, 1), 5);
  EXPECT_EQ(At(Luminance(encoder), 1, 0), 6);
  EXPECT_EQ(At(Luminance(encoder), 7, 5), 50);
  encoder.SetQuality(25);
  EXPECT_EQ(At(Luminance(encoder), 3, 0), 26);
  EXPECT_EQ(At(Luminance(encoder), 0, 3), 25);

  // Tables 2 and 3 mirror 0 and 1.
  for (int i = 0; i < 64; ++i)
  {
    EXPECT_EQ(encoder.GetQuantizationTable(2).GetValue(i), Luminance(encoder).GetValue(i));
    EXPECT_EQ(encoder.GetQuantizationTable(3).GetValue(i), Chrominance(encoder).GetValue(i));
  }

  // Quality 9 and 10 differ, 10 and 19 do not.
  JpegEncoder nine, ten, nineteen;
  nine.SetQuality(9);
  ten.SetQuality(10);
  nineteen.SetQuality(19);
  EXPECT_NE(At(Luminance(nine), 0, 1), At(Luminance(ten), 0, 1));
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(Luminance(ten).GetValue(i), Luminance(nineteen).GetValue(i));
}

TEST(QuantizationTables, OutOfRangeQualityChangesNothing)
{
  JpegEncoder encoder;
  encoder.SetQuality(40);
  for (unsigned bad : {0u, 101u, 4000000000u})
  {
    SCOPED_TRACE(bad);
    testing_support::ExpectError<JpegEncoder::JpegError>([&] { encoder.SetQuality(bad); }, "Value Out of Range");
  }
  EXPECT_EQ(encoder.GetQuality(), 40u);
  EXPECT_EQ(At(Luminance(encoder), 0, 0), 8);  // level 5
}

TEST(QuantizationTables, ScaleConstantsAreTheNearestDoubles)
{
  auto a = [](int k) -> long double {
    return k == 0 ? 1.0L : std::sqrt(2.0L) * std::cos(k * 3.14159265358979323846264338327950288L / 16);
  };
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u)
    {
      const long double exact = 1.0L / (8 * a(v) * a(u));
      const double nearest = static_cast<double>(exact);
      // Within long double's error the literal must be the nearest double.
      EXPECT_LE(std::fabs(static_cast<long double>(JpegDctScale[v * 8 + u]) - exact),
                std::fabs(static_cast<long double>(std::nextafter(nearest, 0.0)) - exact))
        << v << "," << u;
      EXPECT_EQ(JpegDctScale[v * 8 + u], nearest) << v << "," << u;
    }
  EXPECT_EQ(JpegDctScale[4], 0.125);
  EXPECT_EQ(JpegDctScale[32], 0.125);

  QuantizationTable table;
  int32_t values[64];
  for (int i = 0; i < 64; ++i)
    values[i] = i + 1;
  table.SetValues(values);
  table.PrepareScaleFactors();
  EXPECT_EQ(table.GetScaleFactors()[0], 0.125);
  EXPECT_EQ(table.GetScaleFactors()[63], JpegDctScale[63] / 64);
}
