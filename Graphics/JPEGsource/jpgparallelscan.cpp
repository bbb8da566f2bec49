// Both passes of a Huffman-coded scan in shares of rows on several threads,
// with the bytes and reports of one thread.
//
// There are a few shares per thread, taken in turn by whichever thread is
// free: rows cost what their coefficients cost, so equal shares of rows
// would leave a thread idle where the picture is busy on one side.
//
// Each share starts from the state the serial coder would have there, read
// off the stored coefficients: the DC predictions are the DC values of the
// unit before it, the end-of-band run is the number of empty bands before
// it. Counts of the shares add up to the serial counts. Once the tables are
// built, each share's length in bits follows from its counts, so every
// helper knows the bit phase its first byte starts at: it codes and stuffs
// its bytes on its own, leaving the top phase bits of its first byte 0, and
// the calling thread splices them in after its own, completing and stuffing
// only that first byte. The calling thread makes every report, row by row,
// with the stream as the serial writer would have left it.
#include "jpegencoder.h"

#include "jpeg/jpgoutputstream.h"
#include "jpgcoders.h"
#include "jpgprogress.h"
#include "paralleltasks.h"

#include <atomic>
#include <memory>
#include <vector>

namespace Vantorum
{

using namespace Coders;

namespace
{

// Coder state at the start of a share.
struct ShareState
{
  int32_t lastDc[3] = {};
  uint32_t eobRun = 0;
};

// A helper's destination: bytes in memory, bit mode from the share's phase.
class ShareStream : public JpegOutputStream
{
public:
  // expected: the share's length, so that its bytes are not copied as they
  // grow (and their pages not faulted in twice, which serialises threads).
  ShareStream(uint32_t phase, size_t expected) : buffer(1 << 16)
  {
    bytes.reserve(expected);
    current = buffer.data();
    bufferEnd = buffer.data() + buffer.size();
    EnterBitMode(static_cast<int32_t>(8 - phase));
  }
  void Flush() override
  {
    bytes.insert(bytes.end(), buffer.data(), current);
    current = buffer.data();
  }
  // Whole bytes so far, and bits waiting in the current one.
  size_t Complete() const { return bytes.size() + static_cast<size_t>(current - buffer.data()); }
  uint32_t Pending() const { return static_cast<uint32_t>(8 - bitPosition); }
  // Everything, the current byte included.
  std::vector<uint8_t> Take()
  {
    bytes.insert(bytes.end(), buffer.data(), current + 1);
    return std::move(bytes);
  }

private:
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> bytes;
};

// Where a share's end-of-band runs stand: the empty bands it starts with,
// whether any band has a coefficient, and the run it leaves unsent.
struct RunSummary
{
  uint64_t leadingEmpty = 0;
  bool anyCoefficient = false;
  uint32_t finalRun = 0;
};

// Adds sign times the EOBn symbols a run of length empty bands produces:
// one EOB14 per full run, then the remainder when the run is flushed.
void CountRunSymbols(uint64_t empty, bool flushed, uint32_t *counts, int sign)
{
  const uint32_t full = static_cast<uint32_t>(empty / MaxEobRun);
  const uint32_t rest = static_cast<uint32_t>(empty % MaxEobRun);
  counts[HighestBit(MaxEobRun) * 16] += static_cast<uint32_t>(sign) * full;
  if (flushed && rest != 0)
    counts[HighestBit(rest) * 16] += static_cast<uint32_t>(sign);
}

struct RowMark
{
  size_t complete;
  uint32_t pending;
};

// Extra bits that follow an AC symbol: its size, or for an EOBn of a first
// progressive scan its n.
inline uint32_t AcExtraBits(int symbol, bool progressive)
{
  const uint32_t size = static_cast<uint32_t>(symbol) & 15;
  if (size != 0 || !progressive || symbol == 0xF0)
    return size;
  return static_cast<uint32_t>(symbol) >> 4;
}

}  // namespace

bool JpegEncoder::WriteScanInShares(const ScanJob &job)
{
  if (threadCount < 2 || lastRestartInterval != 0)
    return false;
  const bool interleaved = scanComponentCount > 1;
  const JpegEncoderComponent &first = *scanComponents[0];
  const uint32_t rows = interleaved ? mcuRows : first.GetNoninterleavedRows();
  const uint32_t columns = interleaved ? mcuColumns : first.GetNoninterleavedColumns();
  const uint32_t workers = UsefulShares(static_cast<uint64_t>(rows) * columns, threadCount);
  if (workers < 2)
    return false;
  const uint32_t SharesPerWorker = 4;
  const WorkSplit split(rows, workers * SharesPerWorker);
  const uint32_t shares = split.Parts();
  if (shares < 2)
    return false;
  // Reports are counted as the serial passes count them.
  const uint32_t progressRows = interleaved ? mcuRows : first.GetDataUnitRows();

  // Codes rows from .. to - 1 of the scan from state into the sinks of each
  // scan component; rowDone(row) follows each row.
  auto codeShare = [&](uint32_t from, uint32_t to, ShareState &state, auto *dcSinks, auto *acSinks, auto rowDone) {
    if (interleaved)
    {
      for (uint32_t mcuRow = from; mcuRow < to; ++mcuRow)
      {
        for (uint32_t mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn)
          for (uint32_t i = 0; i < scanComponentCount; ++i)
          {
            const JpegEncoderComponent &component = *scanComponents[i];
            const uint32_t v = component.GetVerticalFrequency(), h = component.GetHorizontalFrequency();
            for (uint32_t row = 0; row < v; ++row)
              for (uint32_t column = 0; column < h; ++column)
              {
                const uint32_t r = mcuRow * v + row, c = mcuColumn * h + column;
                if (job.kind == ScanJob::Sequential)
                  CodeSequential(component.DataUnit(r, c), state.lastDc[i], dcSinks[i], acSinks[i]);
                else
                  CodeDcFirst(component.DcValue(r, c), job.Al, state.lastDc[i], dcSinks[i]);
              }
          }
        rowDone(mcuRow);
      }
      return;
    }
    for (uint32_t row = from; row < to; ++row)
    {
      for (uint32_t column = 0; column < columns; ++column)
      {
        const int16_t *block = first.DataUnit(row, column);
        switch (job.kind)
        {
        case ScanJob::Sequential:
          CodeSequential(block, state.lastDc[0], dcSinks[0], acSinks[0]);
          break;
        case ScanJob::DcFirst:
          CodeDcFirst(first.DcValue(row, column), job.Al, state.lastDc[0], dcSinks[0]);
          break;
        case ScanJob::AcFirst:
          CodeAcFirst(block, job.Ss, job.Se, job.Al, state.eobRun, acSinks[0],
                      [&] { FlushEobRun(state.eobRun, acSinks[0]); });
          break;
        }
      }
      rowDone(row);
    }
  };

  // DC predictions of each share: the values of the unit before it. The
  // end-of-band runs follow from the statistics pass.
  std::vector<ShareState> states(shares);
  for (uint32_t share = 1; share < shares; ++share)
  {
    ShareState &state = states[share];
    const uint32_t start = split.First(share);
    for (uint32_t i = 0; i < scanComponentCount; ++i)
    {
      const JpegEncoderComponent &component = *scanComponents[i];
      const int16_t *before = interleaved ? component.DataUnit(start * component.GetVerticalFrequency() - 1,
                                                               mcuColumns * component.GetHorizontalFrequency() - 1)
                                          : component.DataUnit(start - 1, columns - 1);
      state.lastDc[i] = job.kind == ScanJob::DcFirst ? before[0] >> job.Al : before[0];
    }
  }

  JpegHuffmanTable *const dcOf[2] = {&dcTables[0], &dcTables[1]};
  JpegHuffmanTable *const acOf[2] = {&acTables[0], &acTables[1]};
  const bool dc = job.kind != ScanJob::AcFirst;
  const bool ac = job.kind != ScanJob::DcFirst;
  const bool lastFlushes = job.kind == ScanJob::AcFirst;

  // Statistics pass. The baseline scan of all three components may have been
  // counted row by row as the rows were transformed, all but the DC
  // difference each row starts with; that one follows from the DC values.
  std::vector<SymbolCounts> counts(shares);
  std::vector<RunSummary> runs(shares);
  const bool precounted =
    job.kind == ScanJob::Sequential && interleaved && scanComponentCount == 3 && rowCounts.size() == mcuRows;
  auto addPrecounted = [&](uint32_t share, const std::function<void(uint32_t)> &rowDone) {
    SymbolCounts &total = counts[share];
    for (uint32_t mcuRow = split.First(share); mcuRow < split.First(share + 1); ++mcuRow)
    {
      const SymbolCounts &row = rowCounts[mcuRow];
      for (int t = 0; t < 2; ++t)
        for (int symbol = 0; symbol < 256; ++symbol)
        {
          total.dc[t][symbol] += row.dc[t][symbol];
          total.ac[t][symbol] += row.ac[t][symbol];
        }
      for (uint32_t i = 0; i < scanComponentCount; ++i)
      {
        const JpegEncoderComponent &component = *scanComponents[i];
        const uint32_t v = component.GetVerticalFrequency(), h = component.GetHorizontalFrequency();
        int32_t lastDc = mcuRow == 0 ? 0 : component.DcValue(mcuRow * v - 1, mcuColumns * h - 1);
        Counter dcSink{total.dc[HuffmanTableIndex(component)]};
        CodeDcDifference(component.DcValue(mcuRow * v, 0), lastDc, dcSink);
      }
      rowDone(mcuRow);
    }
  };
  {
    auto count = [&](uint32_t share, const std::function<void(uint32_t)> &rowDone) {
      if (precounted)
      {
        addPrecounted(share, rowDone);
        return;
      }
      // End-of-band runs are counted from 0 here and mended below, once the
      // runs each share inherits are known.
      ShareState state = states[share];
      Counter dcSinks[3], acSinks[3];
      for (uint32_t i = 0; i < scanComponentCount; ++i)
      {
        const int t = HuffmanTableIndex(*scanComponents[i]);
        dcSinks[i] = Counter{counts[share].dc[t]};
        acSinks[i] = Counter{counts[share].ac[t]};
      }
      if (job.kind == ScanJob::AcFirst)
      {
        RunSummary &summary = runs[share];
        const uint64_t start = static_cast<uint64_t>(split.First(share)) * columns;
        const uint64_t end = static_cast<uint64_t>(split.First(share + 1)) * columns;
        uint64_t unit = start;
        while (unit < end
               && BandMask(first.DataUnit(static_cast<uint32_t>(unit / columns), static_cast<uint32_t>(unit % columns)),
                           job.Ss, job.Se, job.Al)
                    == 0)
          ++unit;
        summary.leadingEmpty = unit - start;
        summary.anyCoefficient = unit < end;
      }
      codeShare(split.First(share), split.First(share + 1), state, dcSinks, acSinks, rowDone);
      runs[share].finalRun = state.eobRun;
      if (share + 1 == shares && lastFlushes)
        FlushEobRun(state.eobRun, acSinks[0]);
    };
    // The calling thread reports each row it counts, whichever share it is
    // in, and the rest once all are counted: the same figures in the same
    // order as one thread's.
    RowProgress progress = PassProgress(false, progressRows);
    uint32_t reported = 0;
    std::atomic<uint32_t> next{0};
    ParallelTasks helpers;
    for (uint32_t helper = 1; helper < workers; ++helper)
      helpers.Run([&] {
        for (uint32_t share = next++; share < shares; share = next++)
          count(share, [](uint32_t) {});
      });
    for (uint32_t share = next++; share < shares; share = next++)
      count(share, [&](uint32_t) {
        ++reported;
        ReportProgress(progress.Row());
      });
    helpers.Wait();
    for (; reported < rows; ++reported)
      ReportProgress(progress.Row());
    ReportProgress(progress.End());
  }
  if (job.kind == ScanJob::AcFirst)
  {
    // The run a share inherits: the one its predecessor left, or, when the
    // predecessor had only empty bands, that run carried through it too.
    // The share's leading empty bands were counted as a run from 0: replace
    // the symbols that run gave with those of the inherited one.
    for (uint32_t share = 1; share < shares; ++share)
    {
      const RunSummary &before = runs[share - 1];
      const uint32_t inherited =
        before.anyCoefficient ? before.finalRun
                              : static_cast<uint32_t>((states[share - 1].eobRun + before.leadingEmpty) % MaxEobRun);
      states[share].eobRun = inherited;
      const RunSummary &own = runs[share];
      const bool flushed = own.anyCoefficient || share + 1 == shares;  // by a coefficient, or the scan's end
      uint32_t *const shareCounts = counts[share].ac[HuffmanTableIndex(*scanComponents[0])];
      CountRunSymbols(own.leadingEmpty, flushed, shareCounts, -1);
      CountRunSymbols(inherited + own.leadingEmpty, flushed, shareCounts, +1);
    }
  }
  for (const SymbolCounts &share : counts)
    for (int t = 0; t < 2; ++t)
      for (int symbol = 0; symbol < 256; ++symbol)
      {
        dcOf[t]->Frequencies()[symbol] += share.dc[t][symbol];
        acOf[t]->Frequencies()[symbol] += share.ac[t][symbol];
      }

  BuildTables(dc, ac);
  WriteHuffmanSegment(dc, ac);
  WriteScanHeader(job.Ss, job.Se, 0, job.Al, false);
  outputStream->EnterBitMode(8);

  // Each share's bits, hence the phase each one starts at.
  std::vector<uint32_t> phases(shares, 0);
  std::vector<uint64_t> shareBits(shares, 0);
  uint64_t bits = 0;
  for (uint32_t share = 0; share < shares; ++share)
  {
    const uint64_t before = bits;
    for (int t = 0; t < 2; ++t)
      for (int symbol = 0; symbol < 256; ++symbol)
      {
        bits += static_cast<uint64_t>(counts[share].dc[t][symbol]) * (dcOf[t]->CodeSizes()[symbol] + symbol);
        bits += static_cast<uint64_t>(counts[share].ac[t][symbol])
                * (acOf[t]->CodeSizes()[symbol] + AcExtraBits(symbol, progressive));
      }
    shareBits[share] = bits - before;
    if (share + 1 < shares)
      phases[share + 1] = static_cast<uint32_t>(bits % 8);
  }

  // Output pass.
  auto sinksFor = [&](JpegBitWriter &writer, Writer *dcSinks, Writer *acSinks) {
    for (uint32_t i = 0; i < scanComponentCount; ++i)
    {
      const int t = HuffmanTableIndex(*scanComponents[i]);
      dcSinks[i] = Writer{dcOf[t]->Codes(), dcOf[t]->CodeSizes(), &writer};
      acSinks[i] = Writer{acOf[t]->Codes(), acOf[t]->CodeSizes(), &writer};
    }
  };
  std::vector<std::vector<uint8_t>> coded(shares);
  std::vector<std::vector<RowMark>> marks(shares);
  std::unique_ptr<std::atomic<bool>[]> done(new std::atomic<bool>[shares]);
  for (uint32_t share = 0; share < shares; ++share)
    done[share].store(false, std::memory_order_relaxed);
  RowProgress progress = PassProgress(true, progressRows);
  // Shares after the first are coded apart, by any thread, and spliced in
  // order below.
  auto codeApart = [&](uint32_t share) {
    // Its bytes, a 1/64 allowance for stuffing and the last buffer's.
    const uint64_t bytes = shareBits[share] / 8;
    ShareStream stream(phases[share], static_cast<size_t>(bytes + bytes / 64 + (1 << 16)));
    JpegBitWriter writer(stream);
    Writer dcSinks[3], acSinks[3];
    sinksFor(writer, dcSinks, acSinks);
    ShareState state = states[share];
    auto mark = [&](uint32_t) {
      writer.Sync();
      marks[share].push_back({stream.Complete(), stream.Pending()});
    };
    codeShare(split.First(share), split.First(share + 1), state, dcSinks, acSinks, mark);
    if (share + 1 == shares && lastFlushes)
    {
      FlushEobRun(state.eobRun, acSinks[0]);
      mark(0);
    }
    coded[share] = stream.Take();
    done[share].store(true, std::memory_order_release);
  };
  std::atomic<uint32_t> next{1};
  ParallelTasks helpers;
  for (uint32_t helper = 1; helper < workers; ++helper)
    helpers.Run([&] {
      for (uint32_t share = next++; share < shares; share = next++)
        codeApart(share);
    });

  JpegBitWriter writer(*outputStream);
  // The calling thread splices the shares in order as they are done, and
  // each share's bytes go once spliced: the scan is not held in memory
  // whole. The reports follow the rows in order, as on one thread.
  uint32_t spliced = 1;
  auto spliceDone = [&] {
    for (; spliced < shares && done[spliced].load(std::memory_order_acquire); ++spliced)
    {
      const uint32_t share = spliced;
      if (writer.Phase() != phases[share])
        throw JpegError("INTERNAL ERROR - Share Length");
      size_t from = 0;
      for (size_t m = 0; m < marks[share].size(); ++m)
      {
        const RowMark &row = marks[share][m];
        writer.Splice(coded[share].data(), from, row.complete, row.pending, from == 0 ? phases[share] : 0);
        from = row.complete;
        const bool flushMark = share + 1 == shares && lastFlushes && m + 1 == marks[share].size();
        if (!flushMark)
          ReportProgress(progress.Row());
      }
      std::vector<uint8_t>().swap(coded[share]);
      std::vector<RowMark>().swap(marks[share]);
    }
  };
  {
    Writer dcSinks[3], acSinks[3];
    sinksFor(writer, dcSinks, acSinks);
    ShareState state = states[0];
    codeShare(0, split.First(1), state, dcSinks, acSinks, [&](uint32_t) {
      writer.Sync();
      ReportProgress(progress.Row());
    });
  }
  spliceDone();
  for (uint32_t share = next++; share < shares; share = next++)
  {
    codeApart(share);
    spliceDone();
  }
  helpers.Wait();
  spliceDone();
  if (spliced != shares)
    throw JpegError("INTERNAL ERROR - Share Missing");
  writer.Sync();
  ReportProgress(progress.End());
  outputStream->ExitBitMode();
  return true;
}

}  // namespace Vantorum
