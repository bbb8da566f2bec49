#include "jpghuffmantable.h"

#include "outputbytestream.h"

#include <algorithm>

namespace Vantorum
{

namespace
{

const int SymbolCount = 257;  // 256 byte values and the reserved symbol
const int NoSymbol = -1;

}  // namespace

void JpegHuffmanTable::Reset()
{
  std::fill_n(frequencies, 256, 0u);
  frequencies[256] = 1;
  built = false;
}

void JpegHuffmanTable::Build()
{
  if (built)
    return;

  // Code sizes (Figure K.1). Merged counts are summed in 64 bits and sizes
  // kept in full: with 257 symbols a branch can grow beyond the 32 lengths
  // the bits array holds, and such sizes must be folded, not stored past it.
  uint64_t frequency[SymbolCount];
  int codeSize[SymbolCount];
  int others[SymbolCount];
  for (int i = 0; i < SymbolCount; ++i)
  {
    frequency[i] = frequencies[i];
    codeSize[i] = 0;
    others[i] = NoSymbol;
  }
  for (;;)
  {
    // Least and second least frequency; ties go to the larger symbol.
    int v1 = NoSymbol, v2 = NoSymbol;
    for (int i = 0; i < SymbolCount; ++i)
    {
      if (frequency[i] == 0)
        continue;
      if (v1 == NoSymbol || frequency[i] <= frequency[v1])
      {
        v2 = v1;
        v1 = i;
      }
      else if (v2 == NoSymbol || frequency[i] <= frequency[v2])
      {
        v2 = i;
      }
    }
    if (v2 == NoSymbol)
      break;
    frequency[v1] += frequency[v2];
    frequency[v2] = 0;
    ++codeSize[v1];
    int last = v1;
    while (others[last] != NoSymbol)
    {
      last = others[last];
      ++codeSize[last];
    }
    others[last] = v2;
    ++codeSize[v2];
    for (int next = others[v2]; next != NoSymbol; next = others[next])
      ++codeSize[next];
  }
  for (int i = 0; i < SymbolCount; ++i)
    frequencies[i] = static_cast<uint32_t>(std::min<uint64_t>(frequency[i], 0xFFFFFFFFu));

  // Count the sizes (Figure K.2).
  int count[SymbolCount + 1] = {};
  int longest = 0;
  for (int i = 0; i < SymbolCount; ++i)
    if (codeSize[i] > 0)
    {
      ++count[codeSize[i]];
      longest = std::max(longest, codeSize[i]);
    }

  // Limit to 16 bits (Figure K.3).
  for (int length = longest; length > 16; --length)
    while (count[length] > 0)
    {
      int j = length - 2;
      while (count[j] == 0)
        --j;
      count[length] -= 2;
      count[length - 1] += 1;
      count[j + 1] += 2;
      count[j] -= 1;
    }

  // Give up the reserved symbol's code point, the all-ones code of the
  // longest length.
  for (int length = 16; length > 0; --length)
    if (count[length] > 0)
    {
      --count[length];
      break;
    }
  std::fill_n(bits, 32, 0);
  for (int length = 1; length <= 16; ++length)
    bits[length - 1] = static_cast<uint8_t>(count[length]);

  // Symbols in order of their unadjusted sizes, then value (Figure K.4).
  int k = 0;
  for (int length = 1; length <= longest; ++length)
    for (int symbol = 0; symbol < 256; ++symbol)
      if (codeSize[symbol] == length)
        values[k++] = static_cast<uint8_t>(symbol);

  // Codes from sizes (Figures C.1 to C.3).
  std::fill_n(codes, SymbolCount, 0);
  std::fill_n(codeSizes, SymbolCount, 0);
  uint32_t code = 0;
  int index = 0;
  for (int length = 1; length <= 16; ++length)
  {
    for (int i = 0; i < count[length]; ++i, ++index)
    {
      codes[values[index]] = static_cast<uint16_t>(code);
      codeSizes[values[index]] = static_cast<uint8_t>(length);
      ++code;
    }
    code <<= 1;
  }
  built = true;
}

uint32_t JpegHuffmanTable::CodeCount() const
{
  uint32_t total = 0;
  for (int i = 0; i < 16; ++i)
    total += bits[i];
  return total;
}

uint32_t JpegHuffmanTable::TableLength() const
{
  return 17 + CodeCount();
}

void JpegHuffmanTable::WriteTable(OutputByteStream &stream) const
{
  for (int i = 0; i < 16; ++i)
    stream.PutByte(bits[i]);
  stream.PutBytes(values, static_cast<int32_t>(CodeCount()));
}

}  // namespace Vantorum
