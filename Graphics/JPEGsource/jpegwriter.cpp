// The JPEG stream: marker segments, sequential and progressive frames, the
// two passes of each Huffman-coded scan, restart intervals and progress.
#include "jpegencoder.h"
#include "jpgstagedconversion.h"

#include "jpeg/jpgoutputstream.h"
#include "jpgprogress.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Vantorum
{

namespace
{

const char LibraryComment[] = "Created using the Vantorum Builders JPEG library";

enum Marker : uint8_t
{
  SOF0 = 0xC0,
  SOF2 = 0xC2,
  DHT = 0xC4,
  RST0 = 0xD0,
  SOI = 0xD8,
  EOI = 0xD9,
  SOS = 0xDA,
  DQT = 0xDB,
  DRI = 0xDD,
  APP0 = 0xE0,
  COM = 0xFE,
};

}  // namespace

void JpegEncoder::WriteImageFile(const std::string &fileName, const BitmapImage &image)
{
  JpegOutputFileStream stream;
  errno = 0;
  stream.Open(fileName);
  if (!stream.IsGood())
  {
    const int error = errno;
    throw JpegError(std::string("Cannot Open Input File ") + (error != 0 ? std::strerror(error) : "Unknown error"));
  }
  WriteImage(stream, image);
  stream.Close();
}

void JpegEncoder::PrepareQuantizationTables()
{
  for (QuantizationTable &table : quantizationTables)
    table.SetInUse(false);
  quantizationTables[quantizationSelectors[0]].SetInUse(true);
  if (!greyscale)
  {
    quantizationTables[quantizationSelectors[1]].SetInUse(true);
    quantizationTables[quantizationSelectors[2]].SetInUse(true);
  }
  for (QuantizationTable &table : quantizationTables)
    if (table.IsInUse())
      table.PrepareScaleFactors();
}

void JpegEncoder::LayOutImage(const BitmapImage &image)
{
  imageHeight = image.GetHeight();
  imageWidth = image.GetWidth();
  ComputeMcuLayout();
  CheckScanPlan();
  CheckImageLimits(image);
}

void JpegEncoder::BeginImage(const BitmapImage &image)
{
  AbandonStagedConversion();
  imageSpent = false;
  if (greyscale || threadCount < 2)
    return;
  // A plan or picture the write will refuse gets no early work: the write
  // reports the problem as before.
  try
  {
    LayOutImage(image);
    PrepareQuantizationTables();
    staged = StartConversion(image);
  }
  catch (const std::exception &)
  {
    AbandonStagedConversion();
  }
}

void JpegEncoder::RowsFilled(uint32_t rows)
{
  if (staged)
    staged->Filled(rows);
}

void JpegEncoder::WriteImage(JpegOutputStream &stream, const BitmapImage &image)
{
  // The grids are released also when the write is abandoned, after any
  // thread still filling them has stopped.
  struct Release
  {
    JpegEncoder *encoder;
    ~Release()
    {
      encoder->AbandonStagedConversion();
      for (int id = 1; id <= 3; ++id)
        encoder->components[id].FreeCoefficients();
    }
  } release{this};
  if (staged
      && (&staged->Image() != &image || staged->Width() != image.GetWidth() || staged->Height() != image.GetHeight()))
    AbandonStagedConversion();
  if (imageSpent)
    throw JpegError("Image Given Back Before The Write");

  outputStream = &stream;
  for (int id = 1; id <= 3; ++id)
    components[id].SetOutputStream(stream);
  // Early work has prepared them, and its threads read them.
  if (!staged)
    PrepareQuantizationTables();

  LayOutImage(image);
  CountProgressPasses();
  currentPass = 0;
  lastRestartInterval = 0;

  WriteMarker(SOI);
  static const uint8_t jfif[] = {0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  WriteMarker(APP0);
  outputStream->PutBytes(jfif, sizeof jfif);
  if (!comment.empty())
    WriteComment(comment);
  WriteComment(LibraryComment);

  if (progressive)
    WriteProgressiveFrame(image);
  else
    WriteSequentialFrame(image);
  WriteMarker(EOI);
}

// --- Segments ---------------------------------------------------------------

void JpegEncoder::WriteMarker(uint8_t code)
{
  outputStream->PutByte(0xFF);
  outputStream->PutByte(code);
}

void JpegEncoder::WriteComment(const std::string &text)
{
  WriteMarker(COM);
  outputStream->PutWord(static_cast<uint16_t>(text.size() + 3));
  outputStream->PutBytes(text.data(), static_cast<int32_t>(text.size()));
  outputStream->PutByte(0);
}

void JpegEncoder::WriteFrameHeader(uint8_t marker)
{
  const int componentCount = greyscale ? 1 : 3;
  WriteMarker(marker);
  outputStream->PutWord(static_cast<uint16_t>(8 + 3 * componentCount));
  outputStream->PutByte(8);  // sample precision
  outputStream->PutWord(static_cast<uint16_t>(imageHeight));
  outputStream->PutWord(static_cast<uint16_t>(imageWidth));
  outputStream->PutByte(static_cast<uint8_t>(componentCount));
  for (int id = 1; id <= componentCount; ++id)
  {
    outputStream->PutByte(static_cast<uint8_t>(id));
    outputStream->PutByte(
      static_cast<uint8_t>(components[id].GetHorizontalFrequency() * 16 + components[id].GetVerticalFrequency()));
    outputStream->PutByte(static_cast<uint8_t>(quantizationSelectors[id - 1]));
  }
}

void JpegEncoder::WriteQuantizationTables()
{
  int inUse = 0;
  for (const QuantizationTable &table : quantizationTables)
    inUse += table.IsInUse();
  WriteMarker(DQT);
  outputStream->PutWord(static_cast<uint16_t>(2 + 65 * inUse));
  for (int index = 0; index < 4; ++index)
  {
    if (!quantizationTables[index].IsInUse())
      continue;
    outputStream->PutByte(static_cast<uint8_t>(index));  // precision 0: 8-bit values
    for (int k = 0; k < 64; ++k)
      outputStream->PutByte(static_cast<uint8_t>(quantizationTables[index].GetValue(JpegZigZagToNatural[k])));
  }
}

void JpegEncoder::WriteRestartIntervalSegment(uint32_t interval)
{
  if (interval == lastRestartInterval)
    return;
  lastRestartInterval = interval;
  WriteMarker(DRI);
  outputStream->PutWord(4);
  outputStream->PutWord(static_cast<uint16_t>(interval));
}

void JpegEncoder::WriteHuffmanSegment(bool withDc, bool withAc)
{
  uint32_t length = 2;
  ForEachScanTable(withDc, withAc, [&length](JpegHuffmanTable &table, uint8_t) { length += table.TableLength(); });
  WriteMarker(DHT);
  outputStream->PutWord(static_cast<uint16_t>(length));
  ForEachScanTable(withDc, withAc, [this](JpegHuffmanTable &table, uint8_t classAndIndex) {
    outputStream->PutByte(classAndIndex);
    table.WriteTable(*outputStream);
  });
}

void JpegEncoder::WriteScanHeader(int Ss, int Se, int Ah, int Al, bool dcRefinement)
{
  WriteMarker(SOS);
  outputStream->PutWord(static_cast<uint16_t>(6 + 2 * scanComponentCount));
  outputStream->PutByte(static_cast<uint8_t>(scanComponentCount));
  for (uint32_t i = 0; i < scanComponentCount; ++i)
  {
    const JpegEncoderComponent *component = scanComponents[i];
    outputStream->PutByte(static_cast<uint8_t>(component - components));
    // DC refinement codes no symbols: its selectors are 0.
    const int table = dcRefinement ? 0 : HuffmanTableIndex(*component);
    outputStream->PutByte(static_cast<uint8_t>(table * 16 + table));
  }
  outputStream->PutByte(static_cast<uint8_t>(Ss));
  outputStream->PutByte(static_cast<uint8_t>(Se));
  outputStream->PutByte(static_cast<uint8_t>(Ah * 16 + Al));
}

void JpegEncoder::WriteRestartMarker(uint32_t number)
{
  outputStream->ExitBitMode();
  WriteMarker(static_cast<uint8_t>(RST0 + number));
  outputStream->EnterBitMode(8);
}

// --- Scan bookkeeping ---------------------------------------------------------

uint32_t JpegEncoder::SelectScanComponents(int32_t mask)
{
  scanComponentCount = 0;
  if ((mask & MaskY) != 0)
    scanComponents[scanComponentCount++] = &components[1];
  if (!greyscale && (mask & MaskCb) != 0)
    scanComponents[scanComponentCount++] = &components[2];
  if (!greyscale && (mask & MaskCr) != 0)
    scanComponents[scanComponentCount++] = &components[3];
  return scanComponentCount;
}

void JpegEncoder::ResetDcPredictions()
{
  for (uint32_t i = 0; i < scanComponentCount; ++i)
    scanComponents[i]->ResetDcPrediction();
}

// In the order of the DHT segment: by index, DC before AC.
template <class Action> void JpegEncoder::ForEachScanTable(bool dc, bool ac, Action action)
{
  for (int index = 0; index < 2; ++index)
  {
    bool used = false;
    for (uint32_t i = 0; i < scanComponentCount; ++i)
      used |= HuffmanTableIndex(*scanComponents[i]) == index;
    if (used && dc)
      action(dcTables[index], static_cast<uint8_t>(0x00 + index));
    if (used && ac)
      action(acTables[index], static_cast<uint8_t>(0x10 + index));
  }
}

void JpegEncoder::ResetTables(bool dc, bool ac)
{
  ForEachScanTable(dc, ac, [](JpegHuffmanTable &table, uint8_t) { table.Reset(); });
}

void JpegEncoder::BuildTables(bool dc, bool ac)
{
  ForEachScanTable(dc, ac, [](JpegHuffmanTable &table, uint8_t) { table.Build(); });
}

// Units in a row of a scan: the MCU columns at the widest sampling, times
// the component's own H when it is alone in the scan (1 for an MCU).
static uint64_t UnitsPerRow(uint32_t width, uint32_t maxHorizontal, uint32_t horizontal)
{
  return static_cast<uint64_t>((width + 8 * maxHorizontal - 1) / (8 * maxHorizontal)) * horizontal;
}

uint64_t JpegEncoder::RestartInterval() const
{
  // One component alone: a row of its grid, ceil(width / 8) in greyscale and
  // H per MCU column in colour.
  uint64_t unitsPerRow = UnitsPerRow(imageWidth, maxHorizontalFrequency, 1);
  if (scanComponentCount == 1)
    unitsPerRow = greyscale
                    ? UnitsPerRow(imageWidth, 1, 1)
                    : UnitsPerRow(imageWidth, maxHorizontalFrequency, scanComponents[0]->GetHorizontalFrequency());
  return restartRows * unitsPerRow;
}

uint64_t JpegEncoder::LargestRestartInterval(const BitmapImage &image) const
{
  // The widest row is a scan of the component with the largest H alone; the
  // colour layout bounds the greyscale one too.
  uint32_t maxHorizontal = 1;
  for (int id = 1; id <= 3; ++id)
    maxHorizontal = std::max(maxHorizontal, components[id].GetHorizontalFrequency());
  return restartRows * UnitsPerRow(image.GetWidth(), maxHorizontal, maxHorizontal);
}

// --- Data-unit loops ----------------------------------------------------------

// A writer's pending bits reach the stream before anything can look at it:
// a progress report or a restart marker.
inline void Sync(JpegBitWriter *writer)
{
  if (writer != nullptr)
    writer->Sync();
}

// The step between two intervals: pending bits out, RSTn, the writer
// reloaded, DC predictions from zero.
void JpegEncoder::Restart(bool writing, JpegBitWriter *writer, RestartPosition &restart)
{
  Sync(writer);
  if (writing)
    WriteRestartMarker(restart.number);
  if (writer != nullptr)
    writer->Load();
  ResetDcPredictions();
  restart.number = (restart.number + 1) % 8;
  restart.count = 0;
}

template <class Coder> void JpegEncoder::RunInterleavedPass(bool writing, Coder code, JpegBitWriter *writer)
{
  RowProgress progress = PassProgress(writing, mcuRows);
  RestartPosition restart;
  ResetDcPredictions();
  for (uint32_t mcuRow = 0; mcuRow < mcuRows; ++mcuRow)
  {
    for (uint32_t mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn)
    {
      if (RestartDue(restart))
        Restart(writing, writer, restart);
      for (uint32_t i = 0; i < scanComponentCount; ++i)
      {
        JpegEncoderComponent &component = *scanComponents[i];
        const uint32_t v = component.GetVerticalFrequency();
        const uint32_t h = component.GetHorizontalFrequency();
        for (uint32_t row = 0; row < v; ++row)
          for (uint32_t column = 0; column < h; ++column)
            code(component, mcuRow * v + row, mcuColumn * h + column);
      }
      ++restart.count;
    }
    Sync(writer);
    ReportProgress(progress.Row());
  }
  ReportProgress(progress.End());
}

// flush ends a pending end-of-band run before a restart and after the last
// unit; it does nothing in sequential and DC scans.
template <class Coder, class Flush>
void JpegEncoder::RunSingleComponentPass(bool writing, Coder code, Flush flush, JpegBitWriter *writer)
{
  JpegEncoderComponent &component = *scanComponents[0];
  RowProgress progress = PassProgress(writing, component.GetDataUnitRows());
  RestartPosition restart;
  ResetDcPredictions();
  for (uint32_t row = 0; row < component.GetNoninterleavedRows(); ++row)
  {
    for (uint32_t column = 0; column < component.GetNoninterleavedColumns(); ++column)
    {
      if (RestartDue(restart))
      {
        flush(component);
        Restart(writing, writer, restart);
      }
      code(component, row, column);
      ++restart.count;
    }
    Sync(writer);
    ReportProgress(progress.Row());
  }
  flush(component);
  Sync(writer);
  ReportProgress(progress.End());
}

// --- Frames and scans ---------------------------------------------------------

void JpegEncoder::ConvertImage(const BitmapImage &image)
{
  ++currentPass;
  if (greyscale)
  {
    JpegEncoderComponent::ConvertGreyscale(*this, image, components[1]);
    return;
  }
  std::unique_ptr<StagedConversion> conversion = std::move(staged);
  if (!conversion)
    conversion = StartConversion(image);
  RowProgress progress(imageHeight);
  conversion->Finish([this, &progress] { ReportProgress(progress.Row()); });
  ReportProgress(progress.End());
  for (int id = 1; id <= 3; ++id)
  {
    ++currentPass;
    components[id].ReportTransformProgress(*this);
  }
}

void JpegEncoder::WriteSequentialFrame(const BitmapImage &image)
{
  ConvertImage(image);
  WriteFrameHeader(SOF0);
  WriteQuantizationTables();
  if (greyscale)
  {
    ++currentPass;
    SelectScanComponents(MaskY);
    WriteSequentialScan();
    return;
  }
  for (uint32_t i = 0; i < scanCount; ++i)
  {
    ++currentPass;
    if (scans[i].componentMask != 0 && SelectScanComponents(scans[i].componentMask) > 0)
      WriteSequentialScan();
  }
}

void JpegEncoder::WriteSequentialScan()
{
  WriteRestartIntervalSegment(static_cast<uint32_t>(RestartInterval()));  // checked before any byte
  ResetTables(true, true);
  if (WriteScanInShares({ScanJob::Sequential, 0, 63, 0}))
    return;

  auto noFlush = [](JpegEncoderComponent &) {};
  auto count = [](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
    component.CountSequential(row, column);
  };
  if (scanComponentCount > 1)
    RunInterleavedPass(false, count, nullptr);
  else
    RunSingleComponentPass(false, count, noFlush, nullptr);

  BuildTables(true, true);
  WriteHuffmanSegment(true, true);
  WriteScanHeader(0, 63, 0, 0, false);
  outputStream->EnterBitMode(8);
  JpegBitWriter writer(*outputStream);
  auto write = [&writer](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
    component.WriteSequential(row, column, writer);
  };
  if (scanComponentCount > 1)
    RunInterleavedPass(true, write, &writer);
  else
    RunSingleComponentPass(true, write, noFlush, &writer);
  outputStream->ExitBitMode();
}

void JpegEncoder::WriteProgressiveFrame(const BitmapImage &image)
{
  ConvertImage(image);
  WriteFrameHeader(SOF2);
  WriteQuantizationTables();
  // Each sweep emits, in plan order, every entry with approximation bits
  // left: first with Ah 0 and Al = its bits, then Ah = the previous Al.
  bool emitted;
  do
  {
    emitted = false;
    for (uint32_t i = 0; i < scanCount; ++i)
    {
      ScanDefinition &scan = scans[i];
      const int32_t mask = greyscale ? (scan.componentMask & MaskY) : scan.componentMask;
      if (SelectScanComponents(mask) == 0 || scan.approximationLow < 0)
        continue;
      ++currentPass;
      WriteProgressiveScan(scan);
      emitted = true;
      scan.approximationHigh = scan.approximationLow;
      --scan.approximationLow;
    }
  } while (emitted);
}

void JpegEncoder::WriteProgressiveScan(const ScanDefinition &scan)
{
  const int Ss = scan.spectralStart, Se = scan.spectralEnd;
  const int Ah = scan.approximationHigh, Al = scan.approximationLow;
  auto noFlush = [](JpegEncoderComponent &) {};

  if (Ss == 0 && Ah != 0)
  {
    // DC refinement: one raw bit per data unit, no tables, output pass only.
    WriteScanHeader(0, 0, Ah, Al, true);
    outputStream->EnterBitMode(8);
    auto code = [Al](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
      component.EncodeDcRefine(row, column, Al);
    };
    if (scanComponentCount > 1)
      RunInterleavedPass(true, code, nullptr);
    else
      RunSingleComponentPass(true, code, noFlush, nullptr);
    outputStream->ExitBitMode();
    return;
  }

  const bool dc = Ss == 0;
  ResetTables(dc, !dc);
  WriteRestartIntervalSegment(lastRestartInterval);
  if (Ah == 0 && WriteScanInShares({dc ? ScanJob::DcFirst : ScanJob::AcFirst, Ss, Se, Al}))
    return;
  if (Ah == 0)
  {
    // First scans of a band: the hot paths, counting into the tables, then
    // writing through a bit writer.
    if (dc)
    {
      auto count = [Al](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
        component.CountDcFirst(row, column, Al);
      };
      if (scanComponentCount > 1)
        RunInterleavedPass(false, count, nullptr);
      else
        RunSingleComponentPass(false, count, noFlush, nullptr);
    }
    else
    {
      scanComponents[0]->ResetEobRun();
      RunSingleComponentPass(
        false,
        [=](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
          component.CountAcFirst(row, column, Ss, Se, Al);
        },
        [](JpegEncoderComponent &component) { component.CountEobRun(); }, nullptr);
    }
    BuildTables(dc, !dc);
    WriteHuffmanSegment(dc, !dc);
    WriteScanHeader(Ss, Se, Ah, Al, false);
    outputStream->EnterBitMode(8);
    JpegBitWriter writer(*outputStream);
    if (dc)
    {
      auto write = [Al, &writer](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
        component.WriteDcFirst(row, column, writer, Al);
      };
      if (scanComponentCount > 1)
        RunInterleavedPass(true, write, &writer);
      else
        RunSingleComponentPass(true, write, noFlush, &writer);
    }
    else
    {
      scanComponents[0]->ResetEobRun();
      RunSingleComponentPass(
        true,
        [=, &writer](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
          component.WriteAcFirst(row, column, writer, Ss, Se, Al);
        },
        [&writer](JpegEncoderComponent &component) { component.WriteEobRun(writer); }, &writer);
    }
    outputStream->ExitBitMode();
    return;
  }

  // AC refinement: symbols through the sinks.
  for (const bool writing : {false, true})
  {
    const JpegEncoderComponent::AcSink acSink =
      writing ? &JpegEncoderComponent::WriteAc : &JpegEncoderComponent::CountAc;
    if (writing)
    {
      BuildTables(dc, !dc);
      WriteHuffmanSegment(dc, !dc);
      WriteScanHeader(Ss, Se, Ah, Al, false);
      outputStream->EnterBitMode(8);
    }
    scanComponents[0]->ResetEobRun();
    RunSingleComponentPass(
      writing,
      [=](JpegEncoderComponent &component, uint32_t row, uint32_t column) {
        component.EncodeAcRefine(row, column, acSink, Ss, Se, Al);
      },
      [=](JpegEncoderComponent &component) { component.FlushRefineEobRun(acSink, Ss, Se, Al); }, nullptr);
  }
  outputStream->ExitBitMode();
}

}  // namespace Vantorum
