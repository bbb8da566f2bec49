// Runs of MCU rows are handed out to whichever thread is free, so a picture
// busier on one side keeps every thread working, and a helper can start on
// the top of a picture whose bottom is still being drawn.
#include "jpgstagedconversion.h"

#include "jpgcoders.h"
#include "jpgencodercomponent.h"
#include "largebuffer.h"

#include <algorithm>

namespace Vantorum
{

StagedConversion::StagedConversion(const BitmapImage &source, uint32_t maxHorizontal, uint32_t maxVertical,
                                   JpegEncoderComponent &y, JpegEncoderComponent &cb, JpegEncoderComponent &cr,
                                   uint32_t threads, Coders::SymbolCounts *counts, bool giveBack)
  : image(source), width(source.GetWidth()), height(source.GetHeight()), maxH(maxHorizontal), maxV(maxVertical),
    mcuHeight(8 * maxVertical), mcuRows((height + mcuHeight - 1) / mcuHeight), components{&y, &cb, &cr},
    rowCounts(counts)
{
  if (giveBack)
  {
    converted.assign(mcuRows, false);
    givenBackFrom = givenBackTo = reinterpret_cast<uintptr_t>(image.GetPixels());
  }
  uint64_t units = 0;
  for (JpegEncoderComponent *component : components)
  {
    component->AllocateSampleBuffer(width, height, maxH, maxV, mcuHeight);
    component->AllocateCoefficientGrid(mcuRows, component->sampleColumns / 8 / maxH);
    component->PrepareTransform();
    units += static_cast<uint64_t>(component->dataUnitRows) * component->dataUnitColumns;
  }
  const size_t stride = y.sampleColumns;
  try
  {
    sharing = UsefulShares(units, threads);
    for (uint32_t helper = 1; helper < sharing; ++helper)
      helpers.Run([this, stride] {
        std::vector<uint8_t> strips(3 * stride * mcuHeight);
        uint8_t *const planes[3] = {strips.data(), strips.data() + stride * mcuHeight,
                                    strips.data() + 2 * stride * mcuHeight};
        uint32_t first, count;
        while (Take(first, count))
        {
          for (uint32_t mcuRow = first; mcuRow < first + count; ++mcuRow)
            Convert(mcuRow, planes, nullptr);
          Converted(first, count);
        }
      });
  }
  catch (...)
  {
    // The helpers already running wait for rows: release them before the
    // members are destroyed (the destructor body does not run).
    Stop();
    throw;
  }
}

StagedConversion::~StagedConversion()
{
  Stop();
}

void StagedConversion::Stop()
{
  std::lock_guard<std::mutex> lock(mutex);
  stopping = true;
  filledMore.notify_all();
}

void StagedConversion::Filled(uint32_t rows)
{
  const uint32_t complete = rows >= height ? mcuRows : rows / mcuHeight;
  std::lock_guard<std::mutex> lock(mutex);
  if (complete <= filledRows)
    return;
  filledRows = complete;
  filledMore.notify_all();
}

namespace
{
const uint32_t GiveBackRun = 8;  // MCU rows: a megabyte or two of a wide picture
}

bool StagedConversion::Take(uint32_t &first, uint32_t &count)
{
  std::unique_lock<std::mutex> lock(mutex);
  filledMore.wait(lock, [this] { return stopping || nextRow < filledRows || nextRow >= mcuRows; });
  if (stopping || nextRow >= mcuRows)
    return false;
  // Long runs while much is left, so that each thread streams through the
  // picture, shorter ones towards the end, so that the threads end
  // together. Rows given back go after each run: then runs stay short, so
  // that the picture shrinks while the coefficients grow.
  const uint32_t left = mcuRows - nextRow;
  count = std::min(filledRows - nextRow, (left + 2 * sharing - 1) / (2 * sharing));
  if (!converted.empty())
    count = std::min(count, GiveBackRun);
  first = nextRow;
  nextRow += count;
  return true;
}

void StagedConversion::Convert(uint32_t mcuRow, uint8_t *const planes[3], const std::function<void()> &rowDone)
{
  JpegEncoderComponent::ConvertRows(image, mcuRow * mcuHeight, mcuHeight, planes, components[0]->sampleColumns,
                                    rowDone);
  for (int p = 0; p < 3; ++p)
  {
    const uint32_t rows = components[p]->verticalFrequency;
    uint32_t *acCounts = rowCounts != nullptr ? rowCounts[mcuRow].ac[p == 0 ? 0 : 1] : nullptr;
    components[p]->TransformRows(planes[p], mcuRow * rows, rows, maxH, maxV, acCounts);
  }
  if (rowCounts != nullptr)
    CountDcDifferences(mcuRow);
}

void StagedConversion::Converted(uint32_t first, uint32_t count)
{
  if (converted.empty())
    return;
  uintptr_t from, to;
  {
    std::lock_guard<std::mutex> lock(mutex);
    std::fill(converted.begin() + first, converted.begin() + first + count, true);
    while (convertedRows < mcuRows && converted[convertedRows])
      ++convertedRows;
    const size_t rows = std::min(size_t(convertedRows) * mcuHeight, size_t(height));
    // Whole pages only, so that a page is not left behind between two runs.
    from = givenBackTo;
    to = std::max(from, (givenBackFrom + rows * width * sizeof(uint32_t)) & ~uintptr_t(LargePage - 1));
    givenBackTo = to;
  }
  // No thread reads these rows again; the caller agreed that they go.
  DiscardLarge(reinterpret_cast<void *>(from), to - from);
}

bool StagedConversion::GaveBack()
{
  std::lock_guard<std::mutex> lock(mutex);
  return givenBackTo > givenBackFrom;
}

// The AC symbols were counted as the blocks were made; the DC differences
// follow the scan's order of units, a row of MCUs each v x h.
void StagedConversion::CountDcDifferences(uint32_t mcuRow) const
{
  using namespace Coders;
  SymbolCounts &counts = rowCounts[mcuRow];
  const uint32_t mcuColumns = components[0]->GetDataUnitColumns() / components[0]->GetHorizontalFrequency();
  for (int p = 0; p < 3; ++p)
  {
    const JpegEncoderComponent &component = *components[p];
    const Counter dc{counts.dc[p == 0 ? 0 : 1]};
    const uint32_t v = component.GetVerticalFrequency(), h = component.GetHorizontalFrequency();
    int32_t lastDc = component.DcValue(mcuRow * v, 0);  // the row's first difference is left out
    for (uint32_t mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn)
      for (uint32_t row = 0; row < v; ++row)
        for (uint32_t column = 0; column < h; ++column)
          if (mcuColumn != 0 || row != 0 || column != 0)
            CodeDcDifference(component.DcValue(mcuRow * v + row, mcuColumn * h + column), lastDc, dc);
  }
}

void StagedConversion::Finish(const std::function<void()> &rowDone)
{
  Filled(height);
  uint32_t reported = 0;
  const std::function<void()> counted = [&reported, &rowDone] {
    ++reported;
    rowDone();
  };
  uint8_t *const planes[3] = {components[0]->samples, components[1]->samples, components[2]->samples};
  uint32_t first, count;
  while (Take(first, count))
  {
    for (uint32_t mcuRow = first; mcuRow < first + count; ++mcuRow)
      Convert(mcuRow, planes, counted);
    Converted(first, count);
  }
  helpers.Wait();
  for (; reported < height; ++reported)
    rowDone();
  for (JpegEncoderComponent *component : components)
    component->FreeSamples();
}

}  // namespace Vantorum
