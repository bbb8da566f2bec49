#include "jpeg/jpgoutputstream.h"

#include "expecterror.h"
#include "memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Vantorum;

namespace
{

std::vector<uint8_t> Bits(const std::vector<std::pair<int32_t, uint32_t>> &fields, bool exit = true)
{
  testing_support::MemoryStream stream;
  stream.EnterBitMode(8);
  for (const auto &[value, count] : fields)
    stream.PutBits(value, count);
  if (exit)
    stream.ExitBitMode();
  return stream.Bytes();
}

using Bytes = std::vector<uint8_t>;

}  // namespace

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
    testing_support::MemoryStream stream;
    stream.EnterBitMode(8);
    testing_support::ExpectError<AssertionFailure>(
      [&] { stream.PutBits(1, count); },
      "Assertion Failure (Bad Parameter): count != 0 && count <= 16 jpeg\\jpgoutputstream");
    stream.ExitBitMode();
    EXPECT_TRUE(stream.Bytes().empty());
  }
}

namespace
{

// The plain rule, one bit at a time: most significant first, a 0x00 after
// every completed 0xFF, the last byte completed with 1-bits.
Bytes BitAtATime(const std::vector<std::pair<uint32_t, uint32_t>> &fields)
{
  Bytes out;
  uint32_t byte = 0, filled = 0;
  const auto put = [&](uint32_t bit) {
    byte = byte << 1 | bit;
    if (++filled == 8)
    {
      out.push_back(static_cast<uint8_t>(byte));
      if (byte == 0xFF)
        out.push_back(0);
      byte = filled = 0;
    }
  };
  for (const auto &[value, count] : fields)
    for (uint32_t i = count; i-- > 0;)
      put(value >> i & 1);
  while (filled != 0)
    put(1);
  return out;
}

}  // namespace

// PutBits and the encoder's JpegBitWriter against the plain rule, with
// buffers small enough that flushes fall inside fields, and with runs of
// ones so that 0xFF bytes, and their stuffing, straddle the flushes.
TEST(BitOutput, PutBitsAndTheBitWriterMatchBitAtATimeAcrossFlushes)
{
  uint64_t state = 12345;
  const auto next = [&state](uint32_t range) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33) % range;
  };
  for (int round = 0; round < 200; ++round)
  {
    std::vector<std::pair<uint32_t, uint32_t>> fields;
    const bool onesHeavy = round % 2 == 0;
    for (uint32_t n = next(400); n > 0; --n)
    {
      const uint32_t count = 1 + next(16);
      const uint32_t value = onesHeavy && next(3) != 0 ? (1u << count) - 1 : next(1u << count);
      fields.push_back({value, count});
    }
    const Bytes expected = BitAtATime(fields);
    const size_t bufferSize = 2 + next(40);
    SCOPED_TRACE("round " + std::to_string(round) + ", buffer " + std::to_string(bufferSize));

    testing_support::MemoryStream plain(bufferSize);
    plain.EnterBitMode(8);
    for (const auto &[value, count] : fields)
      plain.PutBits(static_cast<int32_t>(value), count);
    plain.ExitBitMode();
    EXPECT_EQ(plain.Bytes(), expected) << "PutBits";

    // The writer takes up to 32 bits at once; merge neighbours, as the
    // entropy coder merges a code with its extra bits.
    testing_support::MemoryStream fast(bufferSize);
    fast.EnterBitMode(8);
    {
      JpegBitWriter writer(fast);
      for (size_t i = 0; i < fields.size(); ++i)
        if (i + 1 < fields.size() && next(2) == 0)
        {
          writer.Put(fields[i].first << fields[i + 1].second | fields[i + 1].first,
                     fields[i].second + fields[i + 1].second);
          ++i;
        }
        else
          writer.Put(fields[i].first, fields[i].second);
      writer.Sync();
    }
    fast.ExitBitMode();
    EXPECT_EQ(fast.Bytes(), expected) << "JpegBitWriter";
    // The same flush points as PutBits: each flush hands over a full buffer.
    EXPECT_EQ(fast.flushes, plain.flushes);
  }
}
