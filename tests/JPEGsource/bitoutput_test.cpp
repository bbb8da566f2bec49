#include "jpeg/jpgoutputstream.h"

#include "memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Vantorum;

namespace
{


std::vector<uint8_t> Bits(const std::vector<std::pair<int32_t, uint32_t>> &fields, bool exit = true)
{
  testing_support::MemoryBitStream stream;
  stream.EnterBitMode(8);
  for (const auto &[value, count] : fields)
    stream.PutBits(value, count);
  if (exit)
    stream.ExitBitMode();
  return stream.Bytes();
}

using Bytes = std::vector<uint8_t>;

} // namespace

TEST(BitOutput, CompletedFfBytesAreStuffed)
{
  EXPECT_EQ(Bits({{3, 2}, {63, 6}}, false), (Bytes{0xFF, 0x00}));
  EXPECT_EQ(Bits({{0xFFFF, 16}}, false), (Bytes{0xFF, 0x00, 0xFF, 0x00}));
  EXPECT_EQ(Bits({{0x1FF, 8}}, false), (Bytes{0xFF, 0x00}));
  EXPECT_EQ(Bits({{0x1234, 16}}, false), (Bytes{0x12, 0x34}));
}

TEST(BitOutput, LowBitsOfNegativeValuesAreWritten)
{
  EXPECT_EQ(Bits({{-3, 2}, {0, 6}}, false), (Bytes{0x40}));
}

TEST(BitOutput, LeavingBitModePadsWithOnes)
{
  EXPECT_EQ(Bits({{5, 3}}), (Bytes{0xBF}));
  EXPECT_EQ(Bits({{0x7F, 7}}), (Bytes{0xFF, 0x00}));
  EXPECT_EQ(Bits({}), Bytes{});
  EXPECT_EQ(Bits({{0xAB, 8}}), (Bytes{0xAB}));
}

TEST(BitOutput, CountsOutsideOneToSixteenAreAssertions)
{
  for (uint32_t count : {0u, 17u})
  {
    testing_support::MemoryBitStream stream;
    stream.EnterBitMode(8);
    try
    {
      stream.PutBits(1, count);
      FAIL() << count;
    }
    catch (const AssertionFailure &error)
    {
      EXPECT_STREQ(error.what(), "Assertion Failure (Bad Parameter): count != 0 && count <= 16 jpeg\\jpgoutputstream");
    }
    stream.ExitBitMode();
    EXPECT_TRUE(stream.Bytes().empty());
  }
}
