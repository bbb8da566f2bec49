#include "jpegencoder.h"
#include "jpgencodercomponent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Vantorum;

namespace
{

struct Symbol
{
  char kind;  // 'D' DC, 'A' AC, 'R' raw bits
  int symbol, bits, count;
  bool operator==(const Symbol &o) const
  {
    return kind == o.kind && symbol == o.symbol && bits == o.bits && count == o.count;
  }
};

std::ostream &operator<<(std::ostream &out, const Symbol &s)
{
  return out << s.kind << "(" << std::hex << s.symbol << std::dec << ", " << s.bits << ", " << s.count << ")";
}

// A component whose sinks record what the coders hand them.
class RecordingComponent : public JpegEncoderComponent
{
public:
  RecordingComponent(uint32_t rows, uint32_t columns)
  {
    AllocateSampleBuffer(columns * 8, rows * 8, 1, 1);  // sets the single-component extent
    AllocateCoefficients(rows, columns);
    std::memset(DataUnit(0, 0), 0, sizeof(int16_t) * 64 * rows * columns);
    ResetEobRun();
  }
  void Dc(int size, int bits) { log.push_back({'D', size, size > 0 ? bits & ((1 << size) - 1) : 0, size}); }
  void Ac(int symbol, int bits, int count)
  {
    log.push_back({symbol < 0 ? 'R' : 'A', symbol, count > 0 ? bits & ((1 << count) - 1) : 0, count});
  }
  // Sets the coefficient at zigzag position k of data unit (row, column).
  void Set(uint32_t row, uint32_t column, int k, int16_t value) { DataUnit(row, column)[k] = value; }

  const DcSink dcSink = static_cast<DcSink>(&RecordingComponent::Dc);
  const AcSink acSink = static_cast<AcSink>(&RecordingComponent::Ac);
  std::vector<Symbol> log;
};

Symbol Dc(int size, int bits)
{
  return {'D', size, bits, size};
}
Symbol Ac(int symbol, int bits = 0, int count = 0)
{
  return {'A', symbol, bits, count};
}
Symbol Raw(int bit)
{
  return {'R', -1, bit, 1};
}
using Log = std::vector<Symbol>;

}  // namespace

TEST(SequentialCoding, DcDifferenceAcRunsAndEndOfBlock)
{
  RecordingComponent unit(1, 2);
  unit.Set(0, 0, 0, 10);
  unit.Set(0, 0, 1, -3);
  unit.ResetDcPrediction();
  unit.EncodeSequential(0, 0, unit.dcSink, unit.acSink);
  EXPECT_EQ(unit.log, (Log{Dc(4, 0b1010), Ac(0x02, 0b00, 2), Ac(0x00)}));

  // The next unit codes its DC against 10; 16 zeros then a 1 need a ZRL; a
  // non-zero last coefficient leaves no EOB.
  unit.log.clear();
  unit.Set(0, 1, 0, 7);
  unit.Set(0, 1, 17, 1);
  unit.Set(0, 1, 35, 1);
  unit.Set(0, 1, 63, -1);
  unit.EncodeSequential(0, 1, unit.dcSink, unit.acSink);
  EXPECT_EQ(unit.log, (Log{Dc(2, 0b00), Ac(0xF0), Ac(0x01, 1, 1), Ac(0xF0), Ac(0x11, 1, 1), Ac(0xF0), Ac(0xB1, 0, 1)}));
}

TEST(SequentialCoding, TrailingZerosAreOneEndOfBlock)
{
  RecordingComponent unit(1, 1);
  unit.Set(0, 0, 23, 5);
  unit.EncodeSequential(0, 0, unit.dcSink, unit.acSink);
  EXPECT_EQ(unit.log, (Log{Dc(0, 0), Ac(0xF0), Ac(0x63, 5, 3), Ac(0x00)}));
}

TEST(ProgressiveCoding, DcPointTransformRoundsDownAcTruncates)
{
  RecordingComponent unit(1, 2);
  unit.Set(0, 0, 0, 3);
  unit.Set(0, 1, 0, -3);
  unit.EncodeDcFirst(0, 0, unit.dcSink, 1);
  unit.EncodeDcFirst(0, 1, unit.dcSink, 1);
  EXPECT_EQ(unit.log, (Log{Dc(1, 1), Dc(2, 0b00)}));  // 1, then -2 - 1 = -3

  unit.log.clear();
  unit.Set(0, 0, 1, 3);
  unit.Set(0, 0, 2, -3);
  unit.EncodeAcFirst(0, 0, unit.acSink, 1, 63, 1);
  unit.FlushEobRun(unit.acSink);
  EXPECT_EQ(unit.log, (Log{Ac(0x01, 1, 1), Ac(0x01, 0, 1), Ac(0x00)}));
}

TEST(ProgressiveCoding, EndOfBandRunsAreCountedAndCapped)
{
  RecordingComponent unit(1, 6);
  unit.Set(0, 5, 4, 2);
  for (uint32_t column = 0; column < 6; ++column)
    unit.EncodeAcFirst(0, column, unit.acSink, 1, 63, 0);
  unit.FlushEobRun(unit.acSink);
  EXPECT_EQ(unit.log, (Log{Ac(0x20, 0b01, 2), Ac(0x32, 2, 2), Ac(0x00)}));

  RecordingComponent many(1, 1);
  for (int i = 0; i < 32767; ++i)
    many.EncodeAcFirst(0, 0, many.acSink, 1, 63, 0);
  EXPECT_EQ(many.log, (Log{Ac(0xE0, 0x3FFF, 14)}));
  many.FlushEobRun(many.acSink);
  EXPECT_EQ(many.log.size(), 1u);
}

TEST(ProgressiveCoding, RefinementSendsCorrectionBitsAfterTheirSymbols)
{
  // History 3 at 1, zero at 2, new -1 at 3: symbol 0x11 with sign 0, then
  // the correction bit of position 1; the tail joins a pending run.
  RecordingComponent unit(1, 3);
  unit.Set(0, 0, 1, 3);
  unit.Set(0, 0, 3, -1);
  unit.Set(0, 0, 9, 2);
  unit.EncodeAcRefine(0, 0, unit.acSink, 1, 63, 0);
  EXPECT_EQ(unit.log, (Log{Ac(0x11, 0, 1), Raw(1)}));

  // A unit with only history values adds to the run silently; the run's
  // end-of-band carries both units' correction bits, in position order.
  unit.log.clear();
  unit.Set(0, 1, 5, -5);
  unit.Set(0, 1, 6, 6);
  unit.EncodeAcRefine(0, 1, unit.acSink, 1, 63, 0);
  EXPECT_TRUE(unit.log.empty());
  unit.Set(0, 2, 1, 1);
  unit.EncodeAcRefine(0, 2, unit.acSink, 1, 63, 0);
  EXPECT_EQ(unit.log, (Log{Ac(0x10, 0, 1), Raw(0), Raw(1), Raw(0), Ac(0x01, 1, 1)}));
  unit.FlushRefineEobRun(unit.acSink, 1, 63, 0);
  EXPECT_EQ(unit.log.back(), Ac(0x00));
}

TEST(ProgressiveCoding, RefinementZeroRunsCarryTheBitsTheySkip)
{
  // Zeros at 1..8, history at 9, zeros at 10..17, new at 18: a ZRL that
  // passes position 9, so its correction bit follows the ZRL.
  RecordingComponent unit(1, 1);
  unit.Set(0, 0, 9, -2);
  unit.Set(0, 0, 18, 1);
  unit.Set(0, 0, 63, 1);
  unit.EncodeAcRefine(0, 0, unit.acSink, 1, 63, 0);
  EXPECT_EQ(unit.log, (Log{Ac(0xF0), Raw(0), Ac(0x01, 1, 1), Ac(0xF0), Ac(0xF0), Ac(0xC1, 1, 1)}));
}
