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
  return block[JpegZigZagToNatural[k]] / (1 << Al);
}

// Bit k set when zigzag coefficient k (1..63) of the block is not 0, so the
// coder visits only those instead of testing every position.
inline uint64_t NonzeroAcMask(const int16_t *block)
{
  uint64_t mask = 0;
  for (int k = 1; k < 64; ++k)
    mask |= static_cast<uint64_t>(block[JpegZigZagToNatural[k]] != 0) << k;
  return mask;
}

// T.81 F.1.2: DC difference, then (run, size) symbols with ZRL for runs of
// 16 and EOB when the block ends in zeros.
template <class DcEmit, class AcEmit>
inline void CodeSequential(const int16_t *block, int32_t &lastDc, DcEmit dc, AcEmit ac)
{
  const int32_t diff = block[0] - lastDc;
  lastDc = block[0];
  dc(SizeOf(diff), ExtraBits(diff));

  uint64_t nonzero = NonzeroAcMask(block);
  int previous = 0;  // zigzag position of the last coefficient sent
  while (nonzero != 0)
  {
    const int k = __builtin_ctzll(nonzero);
    nonzero &= nonzero - 1;
    int run = k - previous - 1;
    for (; run >= 16; run -= 16)
      ac(0xF0, 0, 0);
    const int32_t value = block[JpegZigZagToNatural[k]];
    const int size = SizeOf(value);
    ac(run * 16 + size, ExtraBits(value), size);
    previous = k;
  }
  if (previous < 63)
    ac(0x00, 0, 0);
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
      block, lastDc, [this](int size, int extraBits) { CountDc(size, extraBits); },
      [this](int symbol, int extraBits, int bitCount) { CountAc(symbol, extraBits, bitCount); });
  else if (dcSink == &JpegEncoderComponent::WriteDc && acSink == &JpegEncoderComponent::WriteAc)
    CodeSequential(
      block, lastDc, [this](int size, int extraBits) { WriteDc(size, extraBits); },
      [this](int symbol, int extraBits, int bitCount) { WriteAc(symbol, extraBits, bitCount); });
  else
    CodeSequential(
      block, lastDc, [this, dcSink](int size, int extraBits) { (this->*dcSink)(size, extraBits); },
      [this, acSink](int symbol, int extraBits, int bitCount) { (this->*acSink)(symbol, extraBits, bitCount); });
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
  // As in EncodeSequential: the writer's own sinks inlined, the band's
  // nonzero positions visited through a mask (Se is at most 63 here: the
  // scan plan check rejects any plan with a band beyond it).
  auto code = [&](auto ac) {
    uint64_t nonzero = 0;
    for (int k = Ss; k <= Se; ++k)
      nonzero |= static_cast<uint64_t>(Transformed(block, k, Al) != 0) << k;
    int previous = Ss - 1;  // zigzag position of the last coefficient sent
    while (nonzero != 0)
    {
      const int k = __builtin_ctzll(nonzero);
      nonzero &= nonzero - 1;
      FlushEobRun(acSink);
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
      FlushEobRun(acSink);
  };
  if (acSink == &JpegEncoderComponent::CountAc)
    code([this](int symbol, int extraBits, int bitCount) { CountAc(symbol, extraBits, bitCount); });
  else if (acSink == &JpegEncoderComponent::WriteAc)
    code([this](int symbol, int extraBits, int bitCount) { WriteAc(symbol, extraBits, bitCount); });
  else
    code([this, acSink](int symbol, int extraBits, int bitCount) { (this->*acSink)(symbol, extraBits, bitCount); });
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
