// Optimal Huffman tables from symbol counts (ITU-T T.81 Annex K.2, Figures
// C.1 to C.3). A reserved symbol keeps every real code off the all-ones
// pattern; lengths above 16 are folded back as K.2 describes.
#ifndef VANTORUM_JPGHUFFMANTABLE_H
#define VANTORUM_JPGHUFFMANTABLE_H

#include <cstdint>

namespace Vantorum
{

class OutputByteStream;

class JpegHuffmanTable
{
public:
  JpegHuffmanTable() { Reset(); }
  virtual ~JpegHuffmanTable() = default;

  // Clears the counts and gives the reserved symbol 256 a count of 1.
  void Reset();
  void IncrementFrequency(unsigned int symbol) { ++frequencies[symbol]; }
  // Builds the codes from the counts, once: a second call is a no-op until
  // the next Reset. Consumes the counts.
  void Build();

  void GetCode(unsigned int symbol, uint16_t &code, uint8_t &length) const
  {
    code = codes[symbol];
    length = codeSizes[symbol];
  }
  // For the coders' hot loops: counts by symbol, and after Build the code
  // and its length by symbol.
  uint32_t *Frequencies() { return frequencies; }
  const uint16_t *Codes() const { return codes; }
  const uint8_t *CodeSizes() const { return codeSizes; }
  // Bytes the table adds to a DHT segment, its class/identifier byte included.
  uint32_t TableLength() const;
  // The 16 length counts, then the symbols in code order.
  void WriteTable(OutputByteStream &stream) const;

  const uint8_t *GetBits() const { return bits; }      // entry L - 1: codes of length L
  const uint8_t *GetValues() const { return values; }  // symbols in code order

private:
  uint32_t CodeCount() const;

  uint32_t frequencies[257];  // per symbol, 256 = reserved
  uint8_t bits[32] = {};      // entry L - 1 = codes of length L; only 1..16 used after Build
  uint8_t values[256] = {};   // HUFFVAL
  uint8_t codeSizes[257] = {};
  uint16_t codes[257] = {};
  bool built = false;
};

}  // namespace Vantorum

#endif
