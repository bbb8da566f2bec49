// Data-unit coders of JpegEncoderComponent: baseline (ITU-T T.81 F.1.2) and
// the four progressive scans (G.1.2). Each hands its symbols to a sink, so
// the statistics and output passes of a scan run the same code. The
// refinement coder keeps no correction-bit buffer: it re-reads the
// coefficients when a run is flushed.
#include "jpgencodercomponent.h"

#include "jpeg/jpgoutputstream.h"
#include "jpegencoder.h"
#include "jpghuffmantable.h"

#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Vantorum
{

namespace
{

// The largest run one EOB14 symbol can carry.
const uint32_t MaxEobRun = 0x7FFF;

// Number of significant bits of |value|.
inline int SizeOf(int32_t value)
{
  const uint32_t magnitude = static_cast<uint32_t>(value < 0 ? -value : value);
  return magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
}

// Negative values are sent as the complement of their magnitude.
inline int ExtraBits(int32_t value)
{
  return value >= 0 ? value : value - 1;
}

int HighestBit(uint32_t value)
{
  return value == 0 ? -1 : 31 - __builtin_clz(value);
}

// AC point transform: division truncating toward zero (T.81 G.1.2.2).
inline int32_t Transformed(const int16_t *block, int k, int Al)
{
  // Shifts of the magnitude: a division by a variable power of two would
  // cost a hardware divide per coefficient; without a branch, which would
  // mispredict on every other sign.
  const int32_t value = block[k];
  const int32_t sign = value >> 31;  // 0 or -1
  return ((((value ^ sign) - sign) >> Al) ^ sign) - sign;
}

// Bit k set when zigzag coefficient k of the block is not 0, so the coders
// visit only those instead of testing every position.
inline uint64_t NonzeroMask(const int16_t *block)
{
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  uint64_t zeros = 0;
  for (int i = 0; i < 4; ++i)
  {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * i));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * i + 8));
    const __m128i equal = _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
    zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(equal))) << (16 * i);
  }
  return ~zeros;
#else
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k)
    mask |= static_cast<uint64_t>(block[k] != 0) << k;
  return mask;
#endif
}

inline uint64_t NonzeroAcMask(const int16_t *block)
{
  return NonzeroMask(block) & ~static_cast<uint64_t>(1);
}

// The low size bits of a value's extra bits.
inline uint32_t Masked(int32_t extraBits, int size)
{
  return static_cast<uint32_t>(extraBits) & ((1u << size) - 1);
}

// Sinks of the hot paths: counts go straight into a table's frequencies;
// a code and its extra bits go out in one Put.
struct Counter
{
  uint32_t *frequencies;
  void operator()(int symbol, int32_t, int) const { ++frequencies[symbol]; }
};

struct Writer
{
  const uint16_t *codes;
  const uint8_t *sizes;
  JpegBitWriter &bits;
  __attribute__((always_inline)) void operator()(int symbol, int32_t extraBits, int size) const
  {
    bits.Put(static_cast<uint32_t>(codes[symbol]) << size | Masked(extraBits, size),
             sizes[symbol] + static_cast<uint32_t>(size));
  }
};

// T.81 F.1.2: DC difference, then (run, size) symbols with ZRL for runs of
// 16 and EOB when the block ends in zeros.
template <class DcEmit, class AcEmit>
inline void CodeSequential(const int16_t *block, int32_t &lastDc, DcEmit dc, AcEmit ac)
{
  const int32_t diff = block[0] - lastDc;
  lastDc = block[0];
  const int dcSize = SizeOf(diff);
  dc(dcSize, ExtraBits(diff), dcSize);

  uint64_t nonzero = NonzeroAcMask(block);
  int previous = 0;  // zigzag position of the last coefficient sent
  while (nonzero != 0)
  {
    const int k = __builtin_ctzll(nonzero);
    nonzero &= nonzero - 1;
    int run = k - previous - 1;
    for (; run >= 16; run -= 16)
      ac(0xF0, 0, 0);
    const int32_t value = block[k];
    const int size = SizeOf(value);
    ac(run * 16 + size, ExtraBits(value), size);
    previous = k;
  }
  if (previous < 63)
    ac(0x00, 0, 0);
}

// T.81 G.1.2.2: the band Ss..Se of a first AC scan, point-transformed by Al;
// a band that ends in zeros joins the end-of-band run, which flush sends.
// (Se is at most 63: the scan plan check rejects any band beyond it.)
template <class AcEmit, class FlushEob>
inline void CodeAcFirst(const int16_t *block, int Ss, int Se, int Al, uint32_t &eobRun, AcEmit ac, FlushEob flush)
{
  const uint64_t band = (Se == 63 ? ~static_cast<uint64_t>(0) : (static_cast<uint64_t>(1) << (Se + 1)) - 1)
                        & ~((static_cast<uint64_t>(1) << Ss) - 1);
  uint64_t nonzero;
  if (Al == 0)
  {
    nonzero = NonzeroMask(block) & band;
  }
  else
  {
    nonzero = 0;
    for (int k = Ss; k <= Se; ++k)
      nonzero |= static_cast<uint64_t>(Transformed(block, k, Al) != 0) << k;
  }
  int previous = Ss - 1;  // zigzag position of the last coefficient sent
  while (nonzero != 0)
  {
    const int k = __builtin_ctzll(nonzero);
    nonzero &= nonzero - 1;
    if (eobRun != 0)
      flush();
    int run = k - previous - 1;
    for (; run >= 16; run -= 16)
      ac(0xF0, 0, 0);
    const int32_t value = Transformed(block, k, Al);
    const int size = SizeOf(value);
    ac(run * 16 + size, ExtraBits(value), size);
    previous = k;
  }
  if (previous == Se)
    return;
  if (++eobRun == MaxEobRun)
    flush();
}

} // namespace

void JpegEncoderComponent::CountDc(int size, int)
{
  dcTable->IncrementFrequency(static_cast<unsigned int>(size));
}

void JpegEncoderComponent::CountAc(int symbol, int, int)
{
  if (symbol >= 0)
    acTable->IncrementFrequency(static_cast<unsigned int>(symbol));
}

// A code and its extra bits go out in one PutBits call when they fit in 16
// bits: the bit sequence, and so every byte, is that of two calls. A code of
// length 0 (a symbol never counted) still reaches PutBits alone and fails.
void JpegEncoderComponent::WriteDc(int size, int extraBits)
{
  uint16_t code;
  uint8_t length;
  dcTable->GetCode(static_cast<unsigned int>(size), code, length);
  if (size > 0 && length > 0 && length + size <= 16)
    outputStream->PutBits(static_cast<int32_t>(static_cast<uint32_t>(code) << size
                                               | (static_cast<uint32_t>(extraBits) & ((1u << size) - 1))),
                          length + static_cast<uint32_t>(size));
  else
  {
    outputStream->PutBits(code, length);
    if (size > 0)
      outputStream->PutBits(extraBits, static_cast<uint32_t>(size));
  }
}

void JpegEncoderComponent::WriteAc(int symbol, int extraBits, int bitCount)
{
  if (symbol >= 0)
  {
    uint16_t code;
    uint8_t length;
    acTable->GetCode(static_cast<unsigned int>(symbol), code, length);
    if (bitCount > 0 && length > 0 && length + bitCount <= 16)
    {
      outputStream->PutBits(static_cast<int32_t>(static_cast<uint32_t>(code) << bitCount
                                                 | (static_cast<uint32_t>(extraBits) & ((1u << bitCount) - 1))),
                            length + static_cast<uint32_t>(bitCount));
      return;
    }
    outputStream->PutBits(code, length);
  }
  if (bitCount > 0)
    outputStream->PutBits(extraBits, static_cast<uint32_t>(bitCount));
}

void JpegEncoderComponent::EncodeSequential(uint32_t row, uint32_t column, DcSink dcSink, AcSink acSink)
{
  // The two sink pairs the writer uses get their calls inlined; any other
  // pair goes through the member pointers. Symbols and order are the same.
  const int16_t *block = DataUnit(row, column);
  if (dcSink == &JpegEncoderComponent::CountDc && acSink == &JpegEncoderComponent::CountAc)
    CodeSequential(
      block, lastDc, [this](int size, int extraBits, int) { CountDc(size, extraBits); },
      [this](int symbol, int extraBits, int bitCount) { CountAc(symbol, extraBits, bitCount); });
  else if (dcSink == &JpegEncoderComponent::WriteDc && acSink == &JpegEncoderComponent::WriteAc)
    CodeSequential(
      block, lastDc, [this](int size, int extraBits, int) { WriteDc(size, extraBits); },
      [this](int symbol, int extraBits, int bitCount) { WriteAc(symbol, extraBits, bitCount); });
  else
    CodeSequential(
      block, lastDc, [this, dcSink](int size, int extraBits, int) { (this->*dcSink)(size, extraBits); },
      [this, acSink](int symbol, int extraBits, int bitCount) { (this->*acSink)(symbol, extraBits, bitCount); });
}

void JpegEncoderComponent::CountSequential(uint32_t row, uint32_t column)
{
  CodeSequential(DataUnit(row, column), lastDc, Counter{dcTable->Frequencies()}, Counter{acTable->Frequencies()});
}

void JpegEncoderComponent::WriteSequential(uint32_t row, uint32_t column, JpegBitWriter &writer)
{
  CodeSequential(DataUnit(row, column), lastDc, Writer{dcTable->Codes(), dcTable->CodeSizes(), writer},
                 Writer{acTable->Codes(), acTable->CodeSizes(), writer});
}

void JpegEncoderComponent::EncodeDcFirst(uint32_t row, uint32_t column, DcSink dcSink, int Al)
{
  const int32_t value = DataUnit(row, column)[0] >> Al;  // arithmetic: rounds toward minus infinity
  const int32_t diff = value - lastDc;
  lastDc = value;
  (this->*dcSink)(SizeOf(diff), ExtraBits(diff));
}

void JpegEncoderComponent::EncodeDcRefine(uint32_t row, uint32_t column, int Al)
{
  outputStream->PutBits((DataUnit(row, column)[0] >> Al) & 1, 1);
}

void JpegEncoderComponent::EncodeAcFirst(uint32_t row, uint32_t column, AcSink acSink, int Ss, int Se, int Al)
{
  const int16_t *block = DataUnit(row, column);
  auto flush = [this, acSink] { FlushEobRun(acSink); };
  if (acSink == &JpegEncoderComponent::CountAc)
    CodeAcFirst(
      block, Ss, Se, Al, eobRun, [this](int symbol, int extraBits, int bitCount) { CountAc(symbol, extraBits, bitCount); },
      flush);
  else if (acSink == &JpegEncoderComponent::WriteAc)
    CodeAcFirst(
      block, Ss, Se, Al, eobRun, [this](int symbol, int extraBits, int bitCount) { WriteAc(symbol, extraBits, bitCount); },
      flush);
  else
    CodeAcFirst(
      block, Ss, Se, Al, eobRun,
      [this, acSink](int symbol, int extraBits, int bitCount) { (this->*acSink)(symbol, extraBits, bitCount); }, flush);
}

void JpegEncoderComponent::CountAcFirst(uint32_t row, uint32_t column, int Ss, int Se, int Al)
{
  CodeAcFirst(DataUnit(row, column), Ss, Se, Al, eobRun, Counter{acTable->Frequencies()}, [this] { CountEobRun(); });
}

void JpegEncoderComponent::WriteAcFirst(uint32_t row, uint32_t column, JpegBitWriter &writer, int Ss, int Se, int Al)
{
  CodeAcFirst(DataUnit(row, column), Ss, Se, Al, eobRun, Writer{acTable->Codes(), acTable->CodeSizes(), writer},
              [this, &writer] { WriteEobRun(writer); });
}

void JpegEncoderComponent::CountEobRun()
{
  if (eobRun == 0)
    return;
  Counter{acTable->Frequencies()}(HighestBit(eobRun) * 16, 0, 0);
  eobRun = 0;
}

void JpegEncoderComponent::WriteEobRun(JpegBitWriter &writer)
{
  if (eobRun == 0)
    return;
  const int n = HighestBit(eobRun);
  Writer{acTable->Codes(), acTable->CodeSizes(), writer}(n * 16, static_cast<int32_t>(eobRun), n);
  eobRun = 0;
}

void JpegEncoderComponent::CountDcFirst(uint32_t row, uint32_t column, int Al)
{
  const int32_t value = DataUnit(row, column)[0] >> Al;
  const int32_t diff = value - lastDc;
  lastDc = value;
  ++dcTable->Frequencies()[SizeOf(diff)];
}

void JpegEncoderComponent::WriteDcFirst(uint32_t row, uint32_t column, JpegBitWriter &writer, int Al)
{
  const int32_t value = DataUnit(row, column)[0] >> Al;
  const int32_t diff = value - lastDc;
  lastDc = value;
  const int size = SizeOf(diff);
  Writer{dcTable->Codes(), dcTable->CodeSizes(), writer}(size, ExtraBits(diff), size);
}

void JpegEncoderComponent::ResetEobRun()
{
  eobRun = 0;
  bandStart = 64;
  bandRow = bandColumn = dataUnitRows * dataUnitColumns;
}

void JpegEncoderComponent::FlushEobRun(AcSink acSink)
{
  if (eobRun == 0)
    return;
  const int n = HighestBit(eobRun);
  (this->*acSink)(n * 16, static_cast<int>(eobRun), n);
  eobRun = 0;
}

void JpegEncoderComponent::CorrectionBits(const int16_t *block, int from, int to, AcSink acSink, int Al)
{
  for (int p = from; p <= to; ++p)
  {
    const int32_t magnitude = std::abs(Transformed(block, p, Al));
    if (magnitude > 1)
      (this->*acSink)(-1, magnitude & 1, 1);
  }
}

void JpegEncoderComponent::EncodeAcRefine(uint32_t row, uint32_t column, AcSink acSink, int Ss, int Se, int Al)
{
  const int16_t *block = DataUnit(row, column);
  int run = 0;
  int start = Ss;  // first position whose correction bit may still be owed
  for (int k = Ss; k <= Se; ++k)
  {
    const int32_t value = Transformed(block, k, Al);
    if (value == 0)
    {
      ++run;
      continue;
    }
    if (value > 1 || value < -1)
      continue;  // history value: its correction bit goes out later

    FlushRefineEobRun(acSink, Ss, Se, Al);
    // T.81 G.1.2.3: the correction bits of the history values that a ZRL
    // skips follow that ZRL.
    for (; run >= 16; run -= 16)
    {
      (this->*acSink)(0xF0, 0, 0);
      for (int zeros = 0; zeros < 16; ++start)
      {
        const int32_t passed = std::abs(Transformed(block, start, Al));
        if (passed == 0)
          ++zeros;
        else if (passed > 1)
          (this->*acSink)(-1, passed & 1, 1);
        else
          throw JpegEncoder::JpegError("INTERNAL ERROR - Bad Value");
      }
    }
    (this->*acSink)(run * 16 + 1, value > 0 ? 1 : 0, 1);
    run = 0;
    CorrectionBits(block, start, k - 1, acSink, Al);
    start = k + 1;
    if (k == Se)
      return;
  }
  // No new coefficient at the end of the band: its tail joins the pending run.
  if (eobRun == 0)
  {
    bandRow = row;
    bandColumn = column;
    bandStart = static_cast<uint32_t>(start);
  }
  if (++eobRun == MaxEobRun)
    FlushRefineEobRun(acSink, Ss, Se, Al);
}

void JpegEncoderComponent::FlushRefineEobRun(AcSink acSink, int Ss, int Se, int Al)
{
  if (eobRun == 0)
    return;
  const int n = HighestBit(eobRun);
  (this->*acSink)(n * 16, static_cast<int>(eobRun), n);
  // The pending units are consecutive in the scan's own extent: runs are
  // flushed before restarts, at the end of a scan and before any unit that
  // emits a symbol.
  uint32_t row = bandRow, column = bandColumn;
  int from = static_cast<int>(bandStart);
  for (uint32_t unit = 0; unit < eobRun; ++unit)
  {
    CorrectionBits(DataUnit(row, column), from, Se, acSink, Al);
    from = Ss;
    if (++column == noninterleavedColumns)
    {
      column = 0;
      ++row;
    }
  }
  bandStart = 64;
  bandRow = bandColumn = dataUnitRows * dataUnitColumns;
  eobRun = 0;
}

} // namespace Vantorum
