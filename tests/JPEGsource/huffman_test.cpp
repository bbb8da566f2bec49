#include "jpghuffmantable.h"
#include "outputbytestream.h"

#include "memorystream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
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

using Counts = std::map<unsigned, uint32_t>;  // symbol -> count

// Counts set directly: the deep cases need tens of millions of symbols.
JpegHuffmanTable Built(const Counts &counts)
{
  JpegHuffmanTable table;
  for (const auto &[symbol, count] : counts)
    table.Frequencies()[symbol] = count;
  table.Build();
  return table;
}

// Symbols 0 .. n-1 counted 1, 1, 2, 3, 5, ...: the most skewed counts
// there are, so the deepest tree before folding.
Counts Fibonacci(unsigned n)
{
  Counts counts;
  uint32_t a = 1, b = 1;
  for (unsigned symbol = 0; symbol < n; ++symbol)
  {
    counts[symbol] = a;
    const uint32_t next = a + b;
    a = b;
    b = next;
  }
  return counts;
}

struct Expected
{
  unsigned symbol;
  uint8_t length;
  uint16_t code;
};

struct HuffmanCase
{
  const char *name;
  Counts counts;
  std::vector<Expected> codes;                // exact codes where they are known
  std::optional<std::vector<uint8_t>> table;  // WriteTable's bytes
};

std::ostream &operator<<(std::ostream &stream, const HuffmanCase &test)
{
  return stream << test.name;
}

std::vector<uint8_t> TableBytes(std::vector<uint8_t> bits, const std::vector<uint8_t> &values)
{
  bits.resize(16, 0);
  bits.insert(bits.end(), values.begin(), values.end());
  return bits;
}

const HuffmanCase huffmanCases[] = {
  {"NoSymbol", {}, {}, TableBytes({}, {})},
  {"OneSymbol", {{42, 9}}, {{42, 1, 0}}, TableBytes({1}, {42})},
  {"TwoSymbols", {{7, 10}, {3, 5}}, {{7, 1, 0}, {3, 2, 2}}, TableBytes({1, 1}, {7, 3})},
  // Equal counts: the reserved symbol pairs with the larger value first.
  {"TieGivesTheSmallerSymbolTheShorterCode", {{3, 1}, {7, 1}}, {{3, 1, 0}, {7, 2, 2}}, std::nullopt},
  // 32 levels deep before folding to 16.
  {"SkewedCountsFoldToSixteenBits", Fibonacci(32), {}, std::nullopt},
  // 36 levels deep before folding: deeper than the 32 lengths a size
  // count array can hold, so folding must not run past it.
  {"BranchesDeeperThanThirtyTwoLevels", Fibonacci(37), {}, std::nullopt},
};

class HuffmanCodes : public testing::TestWithParam<HuffmanCase>
{
};

}  // namespace

// Every table, whatever its counts: a code for exactly the counted symbols,
// 1 to 16 bits long, prefix-free, never all ones, and Kraft-complete but for
// the one point the reserved symbol takes.
TEST_P(HuffmanCodes, AreValidForEveryCount)
{
  const HuffmanCase &test = GetParam();
  const JpegHuffmanTable table = Built(test.counts);

  uint32_t total = 0;
  for (int length = 1; length <= 16; ++length)
    total += table.GetBits()[length - 1];
  for (int length = 17; length <= 32; ++length)
    EXPECT_EQ(table.GetBits()[length - 1], 0) << length;
  EXPECT_EQ(total, test.counts.size());
  EXPECT_EQ(table.TableLength(), 17u + test.counts.size());

  for (unsigned symbol = 0; symbol < 256; ++symbol)
  {
    if (test.counts.count(symbol) == 0)
    {
      EXPECT_EQ(CodeOf(table, symbol).length, 0) << "uncounted symbol " << symbol << " has a code";
    }
  }

  double kraft = 0;
  uint8_t longest = 0;
  for (const auto &[symbol, count] : test.counts)
  {
    const Code c = CodeOf(table, symbol);
    ASSERT_GE(c.length, 1) << symbol;
    ASSERT_LE(c.length, 16) << symbol;
    EXPECT_NE(c.code, (1u << c.length) - 1) << symbol;
    kraft += std::ldexp(1.0, -c.length);
    longest = std::max(longest, c.length);
    for (const auto &[other, otherCount] : test.counts)
    {
      const Code d = CodeOf(table, other);
      if (other != symbol && d.length >= c.length)
      {
        EXPECT_NE(d.code >> (d.length - c.length), c.code) << symbol << " prefixes " << other;
      }
    }
  }
  if (!test.counts.empty())
  {
    EXPECT_DOUBLE_EQ(kraft + std::ldexp(1.0, -longest), 1.0);
  }

  for (const Expected &expected : test.codes)
  {
    EXPECT_EQ(CodeOf(table, expected.symbol).length, expected.length) << expected.symbol;
    EXPECT_EQ(CodeOf(table, expected.symbol).code, expected.code) << expected.symbol;
  }
  if (test.table)
  {
    testing_support::MemoryStream stream;
    table.WriteTable(stream);
    EXPECT_EQ(stream.Bytes(), *test.table);
  }
}

INSTANTIATE_TEST_SUITE_P(HuffmanTable, HuffmanCodes, testing::ValuesIn(huffmanCases),
                         [](const testing::TestParamInfo<HuffmanCase> &test) { return std::string(test.param.name); });

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
