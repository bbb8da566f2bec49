// JPEG encoder parameters, default scan plans and the check of sampling
// frequencies and scan plan that runs before any byte of a write.
#include "jpegencoder.h"

#include "jpgcoders.h"
#include "jpgstagedconversion.h"

#include <algorithm>
#include <cstring>

namespace Vantorum
{

namespace
{

const int64_t Unset = -1;

struct ComponentMessages
{
  int32_t mask;
  const char *duplicate;
  const char *beforeDc;
  const char *overlap;
};

const ComponentMessages YMessages = {JpegEncoder::MaskY, "Duplicate Y Component Scan",
                                     "AC Scan specified before DC scan for Y Component",
                                     "Duplicate or overlapping spectral selection for Y Component"};
const ComponentMessages CbMessages = {JpegEncoder::MaskCb, "Duplicate Cb Component Scan",
                                      "AC Scan specified before DC scan for cb Component",
                                      "Duplicate or overlapping spectral selection for Cb Component"};
const ComponentMessages CrMessages = {JpegEncoder::MaskCr, "Duplicate Cr Component Scan",
                                      "AC Scan specified before DC scan for Cr Component",
                                      "Duplicate or overlapping spectral selection for Cr Component"};

// One component's share of a progressive plan entry. covered is the last
// coefficient covered so far (Unset before its DC scan); spectral ends are
// compared unsigned, so a negative end can never complete a component.
void CheckProgressiveComponent(ScanDefinition &scan, int64_t &covered, const ComponentMessages &messages)
{
  if (scan.spectralEnd == 0)
  {
    if (covered != Unset)
      throw JpegEncoder::JpegError(messages.duplicate);
    scan.spectralStart = 0;
    covered = 0;
    return;
  }
  if (scan.componentMask != messages.mask)
    throw JpegEncoder::JpegError("Multiple Components in AC Scan");
  if (covered == Unset)
    throw JpegEncoder::JpegError(messages.beforeDc);
  if (static_cast<uint32_t>(scan.spectralEnd) <= static_cast<uint32_t>(covered))
    throw JpegEncoder::JpegError(messages.overlap);
  scan.spectralStart = static_cast<int32_t>(covered + 1);
  covered = static_cast<uint32_t>(scan.spectralEnd);
}

}  // namespace

JpegEncoder::JpegEncoder()
{
  std::memset(scans, 0, sizeof scans);
  scans[0].componentMask = MaskAll;
  SetQuality(75);
  for (JpegEncoderComponent &component : components)
  {
    component.SetHorizontalFrequency(1);
    component.SetVerticalFrequency(1);
  }
  for (int id = 1; id <= 3; ++id)
  {
    const int table = HuffmanTableIndex(components[id]);
    components[id].SetHuffmanTables(dcTables[table], acTables[table]);
  }
  components[1].SetQuantizationTable(quantizationTables[quantizationSelectors[0]]);
  components[2].SetQuantizationTable(quantizationTables[quantizationSelectors[1]]);
  components[3].SetQuantizationTable(quantizationTables[quantizationSelectors[2]]);
}

JpegEncoder::JpegEncoder(const JpegEncoder &other) : JpegEncoder()
{
  *this = other;
}

JpegEncoder::~JpegEncoder() = default;

JpegEncoder &JpegEncoder::operator=(const JpegEncoder &other)
{
  if (this == &other)
    return *this;
  AbandonStagedConversion();
  ProgressReporter::operator=(other);
  greyscale = other.greyscale;
  restartRows = other.restartRows;
  comment = other.comment;
  quality = other.quality;
  threadCount = other.threadCount;
  for (int i = 0; i < 4; ++i)
    quantizationTables[i] = other.quantizationTables[i];
  progressive = other.progressive;
  consumeImage = other.consumeImage;
  std::copy(other.scans, other.scans + MaxScans, scans);
  std::copy(other.quantizationSelectors, other.quantizationSelectors + 3, quantizationSelectors);
  return *this;
}

void JpegEncoder::SetQuality(uint32_t value)
{
  if (value < 1 || value > 100)
    throw JpegError("Value Out of Range");
  AbandonStagedConversion();
  const int32_t *luminance = JpegLuminanceTables[QualityToLevel(value, JpegLuminanceLevels)];
  const int32_t *chrominance = JpegChrominanceTables[QualityToLevel(value, JpegChrominanceLevels)];
  quantizationTables[0].SetValues(luminance);
  quantizationTables[2].SetValues(luminance);
  quantizationTables[1].SetValues(chrominance);
  quantizationTables[3].SetValues(chrominance);
  quality = value;
}

void JpegEncoder::SetThreadCount(uint32_t value)
{
  if (value < 1 || value > MaxThreads)
    throw JpegError("Thread count out of range: " + std::to_string(value) + " (1 to " + std::to_string(MaxThreads)
                    + ")");
  AbandonStagedConversion();
  threadCount = value;
}

void JpegEncoder::SetGreyscale(bool value)
{
  AbandonStagedConversion();
  greyscale = value;
}

void JpegEncoder::AbandonStagedConversion()
{
  if (staged && staged->GaveBack())
    imageSpent = true;
  staged.reset();
  std::vector<Coders::SymbolCounts>().swap(rowCounts);
}

bool JpegEncoder::CountsWhileConverting() const
{
  return !progressive && !greyscale && threadCount >= 2 && restartRows == 0 && scans[0].componentMask == MaskAll;
}

std::unique_ptr<StagedConversion> JpegEncoder::StartConversion(const BitmapImage &image)
{
  rowCounts.assign(CountsWhileConverting() ? mcuRows : 0, Coders::SymbolCounts());
  return std::make_unique<StagedConversion>(image, maxHorizontalFrequency, maxVerticalFrequency, components[1],
                                            components[2], components[3], threadCount,
                                            rowCounts.empty() ? nullptr : rowCounts.data(), consumeImage);
}

void JpegEncoder::SetProgressive(bool value)
{
  if (value == progressive)
    return;  // a hand-made plan survives
  progressive = value;
  InstallDefaultPlan();
}

void JpegEncoder::InstallDefaultPlan()
{
  std::memset(scans, 0, sizeof scans);
  scans[0].componentMask = MaskAll;
  if (!progressive)
    return;
  // DC of all three interleaved, then the AC band of each component.
  const int32_t acMasks[3] = {MaskY, MaskCb, MaskCr};
  for (int i = 0; i < 3; ++i)
  {
    scans[i + 1].componentMask = acMasks[i];
    scans[i + 1].spectralEnd = 63;
  }
}

void JpegEncoder::SetSamplingFrequency(uint32_t componentId, uint32_t horizontal, uint32_t vertical)
{
  if (componentId > 3)
    throw JpegError("Invalid Component ID");
  if (horizontal < JPEGMINSAMPLINGFREQUENCY || horizontal > JPEGMAXSAMPLINGFREQUENCY)
    throw JpegError("Invalid Horizontal Sampling Frequency");
  if (vertical < JPEGMINSAMPLINGFREQUENCY || vertical > JPEGMAXSAMPLINGFREQUENCY)
    throw JpegError("Invalid Vertical Sampling Frequency");
  AbandonStagedConversion();
  components[componentId].SetHorizontalFrequency(horizontal);
  components[componentId].SetVerticalFrequency(vertical);
}

void JpegEncoder::GetSamplingFrequency(uint32_t componentId, uint32_t &horizontal, uint32_t &vertical) const
{
  if (componentId > 3)
    throw JpegError("Invalid Component ID");
  horizontal = components[componentId].GetHorizontalFrequency();
  vertical = components[componentId].GetVerticalFrequency();
}

void JpegEncoder::SetScan(uint32_t index, int32_t componentMask, int32_t spectralEnd, int32_t approximationBits)
{
  if (index >= MaxScans)
    throw JpegError("Scan Index Out of Range");
  scans[index].componentMask = componentMask;
  scans[index].spectralEnd = spectralEnd;
  scans[index].approximationBits = approximationBits;
}

void JpegEncoder::GetScan(uint32_t index, int32_t &componentMask, int32_t &spectralEnd,
                          int32_t &approximationBits) const
{
  if (index >= MaxScans)
    throw JpegError("Scan Index Out of Rang");
  componentMask = scans[index].componentMask;
  spectralEnd = scans[index].spectralEnd;
  approximationBits = scans[index].approximationBits;
}

void JpegEncoder::SetComment(const std::string &text)
{
  // The COM length field counts itself and a terminating zero byte.
  if (text.size() > 65532)
    throw JpegError("Comment too long: " + std::to_string(text.size()) + " bytes (limit 65532)");
  comment = text;
}

void JpegEncoder::ComputeMcuLayout()
{
  if (greyscale)
  {
    maxHorizontalFrequency = components[1].GetHorizontalFrequency();
    maxVerticalFrequency = components[1].GetVerticalFrequency();
  }
  else
  {
    maxHorizontalFrequency = maxVerticalFrequency = 1;
    for (int id = 1; id <= 3; ++id)
    {
      maxHorizontalFrequency = std::max(maxHorizontalFrequency, components[id].GetHorizontalFrequency());
      maxVerticalFrequency = std::max(maxVerticalFrequency, components[id].GetVerticalFrequency());
    }
  }
  mcuRows = (imageHeight + 8 * maxVerticalFrequency - 1) / (8 * maxVerticalFrequency);
  mcuColumns = (imageWidth + 8 * maxHorizontalFrequency - 1) / (8 * maxHorizontalFrequency);
}

// Limits of ITU-T T.81: a point transform of at most 13 bits, at most 10
// data units in an interleaved MCU.
void JpegEncoder::CheckScanPlan()
{
  if (!greyscale)
  {
    bool three = false, evenH = false, threeV = false, evenV = false;
    for (int id = 1; id <= 3; ++id)
    {
      const uint32_t h = components[id].GetHorizontalFrequency();
      const uint32_t v = components[id].GetVerticalFrequency();
      three |= h == 3;
      evenH |= h == 2 || h == 4;
      threeV |= v == 3;
      evenV |= v == 2 || v == 4;
    }
    if (three && evenH)
      throw JpegError("Fractional Horizontal Sampling");
    if (threeV && evenV)
      throw JpegError("Fractional Vertical Sampling");
  }

  if (progressive)
  {
    int64_t y = Unset;
    int64_t cb = greyscale ? 63 : Unset;
    int64_t cr = greyscale ? 63 : Unset;
    uint32_t index = 0;
    for (; index < MaxScans && !(y == 63 && cb == 63 && cr == 63); ++index)
    {
      ScanDefinition &scan = scans[index];
      if (scan.componentMask == 0)
        throw JpegError("Scan contains no components");
      if (static_cast<uint32_t>(scan.approximationBits) > 13)
        throw JpegError("Successive Approximation too large");
      scan.approximationLow = scan.approximationBits;
      scan.approximationHigh = 0;
      if ((scan.componentMask & MaskY) != 0)
        CheckProgressiveComponent(scan, y, YMessages);
      if (!greyscale && (scan.componentMask & MaskCb) != 0)
        CheckProgressiveComponent(scan, cb, CbMessages);
      if (!greyscale && (scan.componentMask & MaskCr) != 0)
        CheckProgressiveComponent(scan, cr, CrMessages);
    }
    scanCount = index;
    if (y != 63)
      throw JpegError("Y Component not completely defined by scans");
    if (!greyscale && cb != 63)
      throw JpegError("Cb Component not completely defined by scans");
    if (!greyscale && cr != 63)
      throw JpegError("Cr Component not completely defined by scans");
  }
  else if (greyscale)
  {
    scanCount = 1;
  }
  else
  {
    int32_t all = 0;
    int64_t sum = 0;
    for (int i = 0; i < 3; ++i)
    {
      all |= scans[i].componentMask;
      sum += scans[i].componentMask;
    }
    if (all != MaskAll)
      throw JpegError("Not all components specified in scans");
    if (sum != MaskAll)
      throw JpegError("Component in more than one scan");
    scanCount = scans[2].componentMask != 0 ? 3 : scans[1].componentMask != 0 ? 2 : 1;
  }

  if (!greyscale)
    for (uint32_t i = 0; i < scanCount; ++i)
    {
      uint32_t dataUnits = 0, count = 0;
      for (int id = 1; id <= 3; ++id)
        if ((scans[i].componentMask & (1 << id)) != 0)
        {
          dataUnits += components[id].GetHorizontalFrequency() * components[id].GetVerticalFrequency();
          ++count;
        }
      if (dataUnits > 10 && count > 1)
        throw JpegError("Data units in MCU exceeds 10");
    }
}

void JpegEncoder::CheckImageLimits(const BitmapImage &image)
{
  const uint32_t width = image.GetWidth(), height = image.GetHeight();
  if (width == 0 || height == 0)
    throw JpegError("Empty Image");
  if (width > MaxDimension || height > MaxDimension)
    throw JpegError("Image too large for JPEG: " + std::to_string(width) + " x " + std::to_string(height)
                    + " pixels (limit " + std::to_string(MaxDimension) + ")");
  if (progressive || restartRows == 0)
    return;
  // The DRI field is 16 bits wide: check every sequential scan's interval.
  for (uint32_t i = 0; i < scanCount; ++i)
  {
    if (SelectScanComponents(greyscale ? MaskY : scans[i].componentMask) == 0)
      continue;
    const uint64_t interval = RestartInterval();
    if (interval > 65535)
      throw JpegError("Restart interval too large: " + std::to_string(interval) + " data units (limit 65535)");
  }
}

void JpegEncoder::CountProgressPasses()
{
  if (!progressive)
  {
    passCount = greyscale ? 2 : scanCount + 4;
    return;
  }
  passCount = greyscale ? 1 : 4;
  for (uint32_t i = 0; i < scanCount; ++i)
    if (!greyscale || (scans[i].componentMask & MaskY) != 0)
      passCount += static_cast<uint32_t>(scans[i].approximationBits) + 1;
}

}  // namespace Vantorum
