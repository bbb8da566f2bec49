// Data-unit coders of JpegEncoderComponent: baseline (ITU-T T.81 F.1.2) and
// the four progressive scans (G.1.2). Each hands its symbols to a sink, so
// the statistics and output passes of a scan run the same code. The
// refinement coder keeps no correction-bit buffer: it re-reads the
// coefficients when a run is flushed.
#include "jpgencodercomponent.h"

#include "jpeg/jpgoutputstream.h"
#include "jpegencoder.h"
#include "jpgcoders.h"
#include "jpghuffmantable.h"

#include <cstdlib>

namespace Vantorum
{

using namespace Coders;

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
  CodeSequential(DataUnit(row, column), lastDc, Writer{dcTable->Codes(), dcTable->CodeSizes(), &writer},
                 Writer{acTable->Codes(), acTable->CodeSizes(), &writer});
}

void JpegEncoderComponent::EncodeDcFirst(uint32_t row, uint32_t column, DcSink dcSink, int Al)
{
  CodeDcFirst(DataUnit(row, column)[0], Al, lastDc,
              [this, dcSink](int size, int extraBits, int) { (this->*dcSink)(size, extraBits); });
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
      block, Ss, Se, Al, eobRun,
      [this](int symbol, int extraBits, int bitCount) { CountAc(symbol, extraBits, bitCount); }, flush);
  else if (acSink == &JpegEncoderComponent::WriteAc)
    CodeAcFirst(
      block, Ss, Se, Al, eobRun,
      [this](int symbol, int extraBits, int bitCount) { WriteAc(symbol, extraBits, bitCount); }, flush);
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
  CodeAcFirst(DataUnit(row, column), Ss, Se, Al, eobRun, Writer{acTable->Codes(), acTable->CodeSizes(), &writer},
              [this, &writer] { WriteEobRun(writer); });
}

void JpegEncoderComponent::CountEobRun()
{
  Coders::FlushEobRun(eobRun, Counter{acTable->Frequencies()});
}

void JpegEncoderComponent::WriteEobRun(JpegBitWriter &writer)
{
  Coders::FlushEobRun(eobRun, Writer{acTable->Codes(), acTable->CodeSizes(), &writer});
}

void JpegEncoderComponent::CountDcFirst(uint32_t row, uint32_t column, int Al)
{
  CodeDcFirst(DcValue(row, column), Al, lastDc, Counter{dcTable->Frequencies()});
}

void JpegEncoderComponent::WriteDcFirst(uint32_t row, uint32_t column, JpegBitWriter &writer, int Al)
{
  CodeDcFirst(DcValue(row, column), Al, lastDc, Writer{dcTable->Codes(), dcTable->CodeSizes(), &writer});
}

void JpegEncoderComponent::ResetEobRun()
{
  eobRun = 0;
  bandStart = 64;
  bandRow = bandColumn = dataUnitRows * dataUnitColumns;
}

void JpegEncoderComponent::FlushEobRun(AcSink acSink)
{
  Coders::FlushEobRun(
    eobRun, [this, acSink](int symbol, int extraBits, int bitCount) { (this->*acSink)(symbol, extraBits, bitCount); });
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

}  // namespace Vantorum
