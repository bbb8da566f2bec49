#include "jpghuffmantable.h"
#include "outputbytestream.h"

#include "memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Vantorum;

namespace
{


struct Code
{
  uint16_t code;
  uint8_t length;
};

Code CodeOf(const JpegHuffmanTable &table, unsigned symbol)
{
  Code c;
  table.GetCode(symbol, c.code, c.length);
  return c;
}

JpegHuffmanTable Built(const std::vector<std::pair<unsigned, unsigned>> &counts)
{
  JpegHuffmanTable table;
  for (const auto &[symbol, count] : counts)
    for (unsigned i = 0; i < count; ++i)
      table.IncrementFrequency(symbol);
  table.Build();
  return table;
}

} // namespace

TEST(HuffmanTable, NoSymbolGivesAnEmptyTable)
{
  JpegHuffmanTable table = Built({});
  EXPECT_EQ(table.TableLength(), 17u);
  testing_support::MemoryStream stream;
  table.WriteTable(stream);
  EXPECT_EQ(stream.Bytes(), std::vector<uint8_t>(16, 0));
}

TEST(HuffmanTable, SmallAlphabetsAndTies)
{
  JpegHuffmanTable one = Built({{42, 9}});
  EXPECT_EQ(CodeOf(one, 42).length, 1);
  EXPECT_EQ(CodeOf(one, 42).code, 0);
  EXPECT_EQ(one.TableLength(), 18u);

  JpegHuffmanTable two = Built({{7, 10}, {3, 5}});
  EXPECT_EQ(CodeOf(two, 7).length, 1);
  EXPECT_EQ(CodeOf(two, 7).code, 0);
  EXPECT_EQ(CodeOf(two, 3).length, 2);
  EXPECT_EQ(CodeOf(two, 3).code, 2);
  testing_support::MemoryStream stream;
  two.WriteTable(stream);
  std::vector<uint8_t> expected(16, 0);
  expected[0] = 1;
  expected[1] = 1;
  expected.push_back(7);
  expected.push_back(3);
  EXPECT_EQ(stream.Bytes(), expected);

  // Equal counts: the reserved symbol pairs with the larger value first.
  JpegHuffmanTable tie = Built({{3, 1}, {7, 1}});
  EXPECT_EQ(CodeOf(tie, 3).length, 1);
  EXPECT_EQ(CodeOf(tie, 3).code, 0);
  EXPECT_EQ(CodeOf(tie, 7).length, 2);
  EXPECT_EQ(CodeOf(tie, 7).code, 2);
  EXPECT_EQ(CodeOf(tie, 5).length, 0) << "an uncounted symbol has no code";
}

TEST(HuffmanTable, BuildIsOncePerReset)
{
  JpegHuffmanTable table = Built({{1, 10}, {2, 5}});
  table.Reset();
  table.IncrementFrequency(2);
  table.IncrementFrequency(2);
  table.IncrementFrequency(2);
  table.Build();
  table.IncrementFrequency(9);
  table.Build();  // no-op
  EXPECT_EQ(CodeOf(table, 2).length, 1);
  EXPECT_EQ(CodeOf(table, 9).length, 0);
}

TEST(HuffmanTable, SkewedCountsFoldToSixteenBitsWithoutAllOnesCodes)
{
  // Fibonacci counts build a maximally deep tree.
  std::vector<std::pair<unsigned, unsigned>> counts;
  unsigned a = 1, b = 1;
  for (unsigned symbol = 0; symbol < 40; ++symbol)
  {
    counts.push_back({symbol, a});
    const unsigned next = a + b;
    a = b;
    b = next;
    if (a > 3000000)
      break;
  }
  JpegHuffmanTable table = Built(counts);
  uint32_t total = 0;
  for (int length = 1; length <= 16; ++length)
    total += table.GetBits()[length - 1];
  for (int length = 17; length <= 32; ++length)
    EXPECT_EQ(table.GetBits()[length - 1], 0);
  EXPECT_EQ(total, counts.size());

  // Prefix-free, at most 16 bits, never all ones, and Kraft-complete but
  // for the one reserved point.
  double kraft = 0;
  for (const auto &entry : counts)
  {
    const Code c = CodeOf(table, entry.first);
    ASSERT_GE(c.length, 1);
    ASSERT_LE(c.length, 16);
    EXPECT_NE(c.code, (1u << c.length) - 1) << entry.first;
    kraft += std::ldexp(1.0, -c.length);
    for (const auto &other : counts)
    {
      if (other.first == entry.first)
        continue;
      const Code d = CodeOf(table, other.first);
      if (d.length >= c.length)
      {
        EXPECT_NE(d.code >> (d.length - c.length), c.code) << entry.first << " prefixes " << other.first;
      }
    }
  }
  const Code longest = CodeOf(table, counts.front().first);
  EXPECT_DOUBLE_EQ(kraft + std::ldexp(1.0, -longest.length), 1.0);
}

TEST(HuffmanTable, BranchesDeeperThanThirtyTwoAreFoldedNotOverrun)
{
  // 37 Fibonacci counts make a tree 36 levels deep before folding: deeper
  // than the 32 lengths a size count array can hold.
  JpegHuffmanTable table;
  unsigned a = 1, b = 1;
  for (unsigned symbol = 0; symbol < 37; ++symbol)
  {
    for (unsigned i = 0; i < a; ++i)
      table.IncrementFrequency(symbol);
    const unsigned next = a + b;
    a = b;
    b = next;
  }
  table.Build();
  uint32_t total = 0;
  for (int length = 1; length <= 16; ++length)
    total += table.GetBits()[length - 1];
  EXPECT_EQ(total, 37u);
  for (unsigned symbol = 0; symbol < 37; ++symbol)
  {
    const Code c = CodeOf(table, symbol);
    EXPECT_GE(c.length, 1);
    EXPECT_LE(c.length, 16);
  }
}
