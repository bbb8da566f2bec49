// One colour component of a JPEG write: its sample plane, its grid of
// quantised DCT coefficients, and the coders that turn data units into
// Huffman symbols. All coefficients stay in memory for the whole write, so
// every scan and both passes of a scan re-read them without a second DCT.
#ifndef VANTORUM_JPGENCODERCOMPONENT_H
#define VANTORUM_JPGENCODERCOMPONENT_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "bitmapimage.h"

namespace Vantorum
{

class BlockTransform;
class JpegBitWriter;
class JpegEncoder;
class JpegHuffmanTable;
class JpegOutputStream;
class QuantizationTable;

const uint32_t JPEGMINSAMPLINGFREQUENCY = 1;
const uint32_t JPEGMAXSAMPLINGFREQUENCY = 4;

// Natural-order index of each zigzag position (ITU-T T.81 Figure A.6).
extern const uint8_t JpegZigZagToNatural[64];

class JpegEncoderComponent
{
public:
  // Symbol sinks. The coders do not know which pass they run in: counting
  // sinks gather statistics, writing sinks emit codes, so both passes of a
  // scan see the same symbols in the same order.
  typedef void (JpegEncoderComponent::*DcSink)(int size, int extraBits);
  // symbol -1: raw bits only (correction bits).
  typedef void (JpegEncoderComponent::*AcSink)(int symbol, int extraBits, int bitCount);

  JpegEncoderComponent();
  JpegEncoderComponent(const JpegEncoderComponent &) = delete;
  JpegEncoderComponent &operator=(const JpegEncoderComponent &) = delete;
  virtual ~JpegEncoderComponent();

  void SetHorizontalFrequency(uint32_t value);
  void SetVerticalFrequency(uint32_t value);
  uint32_t GetHorizontalFrequency() const { return horizontalFrequency; }
  uint32_t GetVerticalFrequency() const { return verticalFrequency; }

  void SetHuffmanTables(JpegHuffmanTable &dc, JpegHuffmanTable &ac)
  {
    dcTable = &dc;
    acTable = &ac;
  }
  void SetQuantizationTable(QuantizationTable &table) { quantizationTable = &table; }
  void SetOutputStream(JpegOutputStream &stream) { outputStream = &stream; }
  void ResetDcPrediction() { lastDc = 0; }

  uint32_t GetDataUnitRows() const { return dataUnitRows; }
  uint32_t GetDataUnitColumns() const { return dataUnitColumns; }
  uint32_t GetNoninterleavedRows() const { return noninterleavedRows; }
  uint32_t GetNoninterleavedColumns() const { return noninterleavedColumns; }

  // Sizes the plane to whole MCUs (or to rows rows, a strip) and sets the
  // single-component extent.
  void AllocateSampleBuffer(uint32_t imageWidth, uint32_t imageHeight, uint32_t maxH, uint32_t maxV, uint32_t rows = 0);
  // Fills the three planes, replicating the right and bottom edges.
  static void ConvertRgb(JpegEncoder &encoder, const BitmapImage &image, uint32_t maxH, uint32_t maxV,
                         JpegEncoderComponent &y, JpegEncoderComponent &cb, JpegEncoderComponent &cr);
  // Plane to coefficient grid, downsampling by truncated means; frees the plane.
  void SampleAndTransform(JpegEncoder &encoder, uint32_t maxH, uint32_t maxV);
  // ConvertRgb and SampleAndTransform of all three components in one sweep
  // of MCU-high strips, so that the planes never exist in full, are done by
  // a StagedConversion; the transforms' reports, which the separate steps
  // would make, follow from ReportTransformProgress.
  void ReportTransformProgress(JpegEncoder &encoder) const;
  // Pixels straight to Y coefficients; padding is mid-grey, not replication.
  static void ConvertGreyscale(JpegEncoder &encoder, const BitmapImage &image, JpegEncoderComponent &y);
  // One block's quantised coefficients in natural order (the portable path).
  static void ForwardDct(const uint8_t block[8][8], const QuantizationTable &table, int16_t output[64]);
  void FreeCoefficients();
  // A grid of rows x columns data units, contents unset.
  void AllocateCoefficients(uint32_t rows, uint32_t columns);

  // The coefficients of data unit (row, column), in zigzag order: the order
  // every coder reads them in.
  const int16_t *DataUnit(uint32_t row, uint32_t column) const
  {
    return coefficients + static_cast<size_t>(blockSlots[static_cast<size_t>(row) * dataUnitColumns + column]) * 64;
  }
  int16_t *DataUnit(uint32_t row, uint32_t column)
  {
    return coefficients + static_cast<size_t>(blockSlots[static_cast<size_t>(row) * dataUnitColumns + column]) * 64;
  }
  // The DC coefficient of data unit (row, column) as the transform left it,
  // from a grid of its own: a DC scan reads it without touching the blocks.
  int16_t DcValue(uint32_t row, uint32_t column) const
  {
    return dcValues[static_cast<size_t>(row) * dataUnitColumns + column];
  }
  const uint8_t *GetSamples() const { return samples; }
  uint32_t GetSampleRows() const { return sampleRows; }
  uint32_t GetSampleColumns() const { return sampleColumns; }

  // Data-unit coders (ITU-T T.81 F.1.2 and G.1.2).
  void EncodeSequential(uint32_t row, uint32_t column, DcSink dcSink, AcSink acSink);
  void EncodeDcFirst(uint32_t row, uint32_t column, DcSink dcSink, int Al);
  void EncodeDcRefine(uint32_t row, uint32_t column, int Al);
  void EncodeAcFirst(uint32_t row, uint32_t column, AcSink acSink, int Ss, int Se, int Al);
  void EncodeAcRefine(uint32_t row, uint32_t column, AcSink acSink, int Ss, int Se, int Al);
  void ResetEobRun();
  void FlushEobRun(AcSink acSink);
  void FlushRefineEobRun(AcSink acSink, int Ss, int Se, int Al);

  // The hot paths of the writer's own passes: the same symbols as the
  // coders above with the counting or writing sinks, counted straight into
  // the tables or written through a JpegBitWriter.
  void CountSequential(uint32_t row, uint32_t column);
  void WriteSequential(uint32_t row, uint32_t column, JpegBitWriter &writer);
  void CountDcFirst(uint32_t row, uint32_t column, int Al);
  void WriteDcFirst(uint32_t row, uint32_t column, JpegBitWriter &writer, int Al);
  void CountAcFirst(uint32_t row, uint32_t column, int Ss, int Se, int Al);
  void WriteAcFirst(uint32_t row, uint32_t column, JpegBitWriter &writer, int Ss, int Se, int Al);
  void CountEobRun();
  void WriteEobRun(JpegBitWriter &writer);

  void CountDc(int size, int extraBits);
  void CountAc(int symbol, int extraBits, int bitCount);
  void WriteDc(int size, int extraBits);
  void WriteAc(int symbol, int extraBits, int bitCount);

private:
  friend class StagedConversion;

  void FreeSamples();
  static void ConvertRows(const BitmapImage &image, uint32_t first, uint32_t count, uint8_t *const planes[3],
                          size_t stride, const std::function<void()> &rowDone);
  void AllocateCoefficientGrid(uint32_t mcuRows, uint32_t mcuColumns);
  void KeepDc(uint32_t row, uint32_t column)
  {
    dcValues[static_cast<size_t>(row) * dataUnitColumns + column] = DataUnit(row, column)[0];
  }
  // Makes the transform TransformRows uses for the write, from the
  // quantisation table as prepared now.
  void PrepareTransform();
  // acCounts, when not null, receives the AC symbols of a sequential scan
  // of every block transformed (its table's 256 frequencies).
  void TransformRows(const uint8_t *origin, uint32_t first, uint32_t count, uint32_t maxH, uint32_t maxV,
                     uint32_t *acCounts = nullptr);
  void CorrectionBits(const int16_t *block, int from, int to, AcSink acSink, int Al);

  uint32_t dataUnitRows = 0;
  uint32_t dataUnitColumns = 0;
  // Blocks of 64 coefficients in zigzag order: rows x columns slots, then
  // one for each flat block. AllocateCoefficients gives each data unit its
  // own slot, in grid order. The transform instead packs the blocks it
  // computes from the first slot on, in the order it makes them, and points
  // a flat block at the slot of its value: a picture mostly of paper then
  // touches a fraction of the grid's memory.
  int16_t *coefficients = nullptr;
  uint32_t *blockSlots = nullptr;                       // rows x columns: the slot of each data unit
  std::atomic<uint32_t> packedBlocks{0};                // slots taken: the flat blocks', then the computed
  int16_t *dcValues = nullptr;                          // rows x columns: coefficient 0 of each block
  uint32_t eobRun = 0;                                  // data units whose end-of-band is still owed
  uint32_t bandRow = 0, bandColumn = 0, bandStart = 0;  // first unit and position of a pending refinement run
  uint32_t verticalFrequency = 1;
  uint32_t horizontalFrequency = 1;
  JpegHuffmanTable *acTable = nullptr;
  JpegHuffmanTable *dcTable = nullptr;
  QuantizationTable *quantizationTable = nullptr;
  std::unique_ptr<BlockTransform> blockTransform;  // of the write in progress
  JpegOutputStream *outputStream = nullptr;
  int32_t lastDc = 0;          // DC prediction of the scan being coded
  uint8_t *samples = nullptr;  // padded plane, between conversion and transform
  uint32_t sampleRows = 0;
  uint32_t sampleColumns = 0;  // also the plane's row stride
  uint32_t noninterleavedRows = 0;
  uint32_t noninterleavedColumns = 0;
};

}  // namespace Vantorum

#endif
