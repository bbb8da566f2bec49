// The JPEG writer: baseline sequential (SOF0) or progressive (SOF2), colour
// (Y, Cb, Cr) or greyscale, with Huffman tables optimised per scan. Every
// Huffman-coded scan runs twice over the stored coefficients: once to count
// symbols, once to write them with the tables built from the counts.
#ifndef VANTORUM_JPEGENCODER_H
#define VANTORUM_JPEGENCODER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imageencoder.h"
#include "jpgencodercomponent.h"
#include "jpghuffmantable.h"
#include "jpgquantizationtable.h"

namespace Vantorum
{

class JpegBitWriter;
class JpegOutputStream;
class StagedConversion;
namespace Coders
{
struct SymbolCounts;
}

// One entry of the scan plan. Components are named by a mask in which
// component id n is bit value 2^n (Y 2, Cb 4, Cr 8).
struct ScanDefinition
{
  int32_t componentMask;      // components in the scan
  int32_t spectralStart;      // derived: first coefficient of the band
  int32_t spectralEnd;        // last coefficient of the band; 0 marks a DC scan
  int32_t approximationBits;  // successive-approximation depth
  int32_t approximationHigh;  // derived: Ah of the next emission
  int32_t approximationLow;   // derived: Al of the next emission; below 0 when used up
};

class JpegEncoder : public ImageEncoder
{
public:
  class JpegError : public GraphicsException
  {
  public:
    explicit JpegError(const std::string &text) : GraphicsException(text) {}
  };

  // Component masks: component id n is bit value 2^n.
  static const int32_t MaskY = 2, MaskCb = 4, MaskCr = 8, MaskAll = 14;
  static const unsigned int MaxScans = 256;
  // Frame and restart fields are 16 bits wide.
  static const uint32_t MaxDimension = 65535;
  static const uint32_t MaxThreads = 16;

  JpegEncoder();
  // Copies the parameters; sampling frequencies are not copied (a copy has
  // 1 x 1 everywhere, an assigned encoder keeps its own).
  JpegEncoder(const JpegEncoder &other);
  JpegEncoder &operator=(const JpegEncoder &other);
  ~JpegEncoder() override;

  void SetQuality(uint32_t value);
  uint32_t GetQuality() const { return quality; }
  // Installs the new mode's default plan, but only when the mode changes.
  void SetProgressive(bool value);
  bool GetProgressive() const { return progressive; }
  void SetGreyscale(bool value);
  bool GetGreyscale() const { return greyscale; }
  // Rows of MCUs (or data units) per restart interval; 0 = no restart markers.
  void SetRestartRows(uint32_t value) { restartRows = value; }
  uint32_t GetRestartRows() const { return restartRows; }
  // The most data units between two restarts that any scan plan can give
  // for this image with these rows and sampling frequencies, in colour or
  // greyscale; the DRI field holds at most 65535.
  uint64_t LargestRestartInterval(const BitmapImage &image) const;
  void SetSamplingFrequency(uint32_t componentId, uint32_t horizontal, uint32_t vertical);
  void GetSamplingFrequency(uint32_t componentId, uint32_t &horizontal, uint32_t &vertical) const;
  // Nothing is validated until the next write.
  void SetScan(uint32_t index, int32_t componentMask, int32_t spectralEnd, int32_t approximationBits);
  void GetScan(uint32_t index, int32_t &componentMask, int32_t &spectralEnd, int32_t &approximationBits) const;
  // Threads that share the colour conversion and transform of a write, 1
  // (the default) to MaxThreads; the output bytes and the progress reports
  // are the same for every count.
  void SetThreadCount(uint32_t value);
  uint32_t GetThreadCount() const { return threadCount; }
  // Written as an extra COM segment when not empty; at most 65532 bytes.
  void SetComment(const std::string &text);
  const std::string &GetComment() const { return comment; }

  const QuantizationTable &GetQuantizationTable(unsigned int index) const { return quantizationTables[index]; }
  uint32_t GetScanCount() const { return scanCount; }
  uint32_t GetPassCount() const { return passCount; }

  // Lets the colour conversion and transform of image start while the
  // caller is still filling it, on the threads beyond the caller's: after
  // BeginImage, RowsFilled(n) says that image rows 0 .. n - 1 hold their
  // final pixels. The next write of the image takes over what is left; its
  // bytes and progress reports are those of a write without. The image
  // must keep its size until then. Nothing starts on one thread, in
  // greyscale, or for a picture too small to share; a change to the
  // quality, sampling, greyscale or threads abandons what was done.
  void BeginImage(const BitmapImage &image);
  void RowsFilled(uint32_t rows);
  // For a caller that writes each picture once and then drops it: the
  // write, and the work BeginImage starts, give the memory of the image
  // rows they have converted back to the system, and those rows read as
  // black afterwards. Early work abandoned after that makes the next write
  // throw, until BeginImage starts again.
  void SetConsumeImage(bool value) { consumeImage = value; }

  // A write error throws OutputByteStream::StreamError naming the file.
  void WriteImageFile(const std::string &fileName, const BitmapImage &image) override;
  virtual void WriteImage(JpegOutputStream &stream, const BitmapImage &image);

  // For the encoder and its component pipeline: reports the current pass.
  void ReportProgress(uint32_t percent) { CallProgress(currentPass, passCount, percent); }

private:
  // A Huffman-coded scan whose symbols need no state beyond the DC
  // predictions and the end-of-band run.
  struct ScanJob
  {
    enum Kind
    {
      Sequential,
      DcFirst,
      AcFirst
    } kind;
    int Ss, Se, Al;
  };
  // Both passes of the scan in shares on threadCount threads, from the
  // reset tables to the end of its bit mode; false, with nothing done, when
  // the scan is better run on one (restart markers, few data units).
  bool WriteScanInShares(const ScanJob &job);

  void AbandonStagedConversion();
  // Whether the conversion also counts the symbols of the baseline scan of
  // all three components, row by row, for its statistics pass.
  bool CountsWhileConverting() const;
  // A conversion of image with its threads, counting rows if so.
  std::unique_ptr<StagedConversion> StartConversion(const BitmapImage &image);
  void PrepareQuantizationTables();
  // The image's size, MCU layout and the checks of plan and limits.
  void LayOutImage(const BitmapImage &image);
  void InstallDefaultPlan();
  void ComputeMcuLayout();
  void CheckScanPlan();
  void CheckImageLimits(const BitmapImage &image);
  void CountProgressPasses();
  uint32_t SelectScanComponents(int32_t mask);
  // Data units between restarts for the scan component list, from the MCU
  // layout alone, so that it can be checked before the grids exist.
  uint64_t RestartInterval() const;

  void WriteMarker(uint8_t code);
  void WriteComment(const std::string &text);
  void WriteFrameHeader(uint8_t marker);
  void WriteQuantizationTables();
  void WriteRestartIntervalSegment(uint32_t interval);
  void WriteHuffmanSegment(bool withDc, bool withAc);
  void WriteScanHeader(int Ss, int Se, int Ah, int Al, bool dcRefinement);
  void WriteRestartMarker(uint32_t number);
  // Where a pass is between restarts: the next marker's number (0..7) and
  // the units since the last one.
  struct RestartPosition
  {
    uint32_t number = 0, count = 0;
  };
  bool RestartDue(const RestartPosition &restart) const
  {
    return lastRestartInterval != 0 && restart.count == lastRestartInterval;
  }
  void Restart(bool writing, JpegBitWriter *writer, RestartPosition &restart);
  void ResetDcPredictions();
  // Huffman table 0 serves Y, table 1 Cb and Cr; a scan uses the tables of
  // its components.
  int HuffmanTableIndex(const JpegEncoderComponent &component) const { return &component == &components[1] ? 0 : 1; }
  // action(table, class and index byte) for each table of the scan's
  // components, of the classes asked for.
  template <class Action> void ForEachScanTable(bool dc, bool ac, Action action);
  void ResetTables(bool dc, bool ac);
  void BuildTables(bool dc, bool ac);

  void WriteSequentialFrame(const BitmapImage &image);
  void WriteSequentialScan();
  void WriteProgressiveFrame(const BitmapImage &image);
  void WriteProgressiveScan(const ScanDefinition &scan);
  void ConvertImage(const BitmapImage &image);

  // writer, when not null, is synced before every progress report and
  // restart marker and reloaded after the marker.
  template <class Coder> void RunInterleavedPass(bool writing, Coder code, JpegBitWriter *writer);
  template <class Coder, class Flush>
  void RunSingleComponentPass(bool writing, Coder code, Flush flush, JpegBitWriter *writer);

  QuantizationTable quantizationTables[4];
  JpegHuffmanTable acTables[2];
  JpegHuffmanTable dcTables[2];
  bool greyscale = false;
  uint32_t restartRows = 0;
  uint32_t lastRestartInterval = 0;  // interval in force in the stream being written
  uint32_t quality = 75;
  uint32_t threadCount = 1;
  std::string comment;
  bool progressive = false;
  uint32_t passCount = 0, currentPass = 0;
  uint32_t imageWidth = 0, imageHeight = 0;
  uint32_t maxHorizontalFrequency = 1, maxVerticalFrequency = 1;
  uint32_t mcuRows = 0, mcuColumns = 0;
  uint32_t scanCount = 0;
  ScanDefinition scans[MaxScans];
  JpegEncoderComponent components[4];  // index = component id; 0 is never written
  uint32_t quantizationSelectors[3] = {0, 1, 1};
  uint32_t scanComponentCount = 0;
  JpegEncoderComponent *scanComponents[3] = {};
  JpegOutputStream *outputStream = nullptr;
  // Each MCU row's counts, while the conversion fills them and until the
  // write ends.
  std::vector<Coders::SymbolCounts> rowCounts;
  bool consumeImage = false;
  bool imageSpent = false;  // rows given back by early work that was abandoned
  // Started by BeginImage; last, so that its threads stop before the
  // components and counts they fill are destroyed.
  std::unique_ptr<StagedConversion> staged;
};

}  // namespace Vantorum

#endif
