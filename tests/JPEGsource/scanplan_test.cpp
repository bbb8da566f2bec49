#include "jpegencoder.h"
#include "expecterror.h"
#include "jpegsegments.h"
#include "testimages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>

using namespace Vantorum;
using namespace testing_support;

namespace
{

// Writes a small image and returns the error text ("" on success); a
// rejected plan must leave the file empty.
std::string WriteError(JpegEncoder &encoder)
{
  const std::string path = TempPath("plan.jpg");
  try
  {
    encoder.WriteImageFile(path, NoiseImage(16, 16, 1));
    return "";
  }
  catch (const JpegEncoder::JpegError &error)
  {
    EXPECT_EQ(std::filesystem::file_size(path), 0u) << error.what();
    return error.what();
  }
}

std::string SetterError(const std::function<void()> &call)
{
  try
  {
    call();
    return "";
  }
  catch (const JpegEncoder::JpegError &error)
  {
    return error.what();
  }
}

JpegEncoder Progressive(std::initializer_list<std::array<int32_t, 3>> entries, bool greyscale = false)
{
  JpegEncoder encoder;
  encoder.SetProgressive(true);
  encoder.SetGreyscale(greyscale);
  for (uint32_t i = 0; i < 4; ++i)
    encoder.SetScan(i, 0, 0, 0);
  uint32_t index = 0;
  for (const auto &entry : entries)
    encoder.SetScan(index++, entry[0], entry[1], entry[2]);
  return encoder;
}

JpegEncoder Sequential(std::initializer_list<int32_t> masks)
{
  JpegEncoder encoder;
  uint32_t index = 0;
  for (int32_t mask : masks)
    encoder.SetScan(index++, mask, 0, 0);
  return encoder;
}

}  // namespace

TEST(JpegParameters, SettersCheckTheirArgumentsAndStoreNothingOnFailure)
{
  JpegEncoder encoder;
  EXPECT_EQ(SetterError([&] { encoder.SetSamplingFrequency(4, 1, 1); }), "Invalid Component ID");
  EXPECT_EQ(SetterError([&] { encoder.SetSamplingFrequency(1, 0, 9); }), "Invalid Horizontal Sampling Frequency");
  EXPECT_EQ(SetterError([&] { encoder.SetSamplingFrequency(1, 2, 5); }), "Invalid Vertical Sampling Frequency");
  uint32_t h = 0, v = 0;
  encoder.GetSamplingFrequency(1, h, v);
  EXPECT_EQ(h * 10 + v, 11u);
  EXPECT_EQ(SetterError([&] { encoder.GetSamplingFrequency(4, h, v); }), "Invalid Component ID");
  EXPECT_EQ(SetterError([&] { encoder.SetScan(256, 2, 0, 0); }), "Scan Index Out of Range");
  int32_t mask, end, bits;
  EXPECT_EQ(SetterError([&] { encoder.GetScan(256, mask, end, bits); }), "Scan Index Out of Rang");
  encoder.SetScan(255, 6, 7, 8);
  encoder.GetScan(255, mask, end, bits);
  EXPECT_EQ(mask * 100 + end * 10 + bits, 678);

  // Component 0 can be configured and changes nothing in the output.
  JpegEncoder plain, zero;
  zero.SetSamplingFrequency(0, 2, 2);
  EXPECT_EQ(WriteError(zero), "");
  const std::string a = TempPath("a.jpg"), b = TempPath("b.jpg");
  plain.WriteImageFile(a, LetterF());
  zero.WriteImageFile(b, LetterF());
  EXPECT_EQ(ReadFileBytes(a), ReadFileBytes(b));
}

TEST(JpegParameters, ModeChangesInstallDefaultPlansOnlyOnChange)
{
  JpegEncoder encoder;
  int32_t mask, end, bits;
  encoder.GetScan(0, mask, end, bits);
  EXPECT_EQ(mask, 14);
  encoder.GetScan(1, mask, end, bits);
  EXPECT_EQ(mask, 0);

  encoder.SetProgressive(true);
  const int32_t defaults[4][2] = {{14, 0}, {2, 63}, {4, 63}, {8, 63}};
  for (uint32_t i = 0; i < 4; ++i)
  {
    encoder.GetScan(i, mask, end, bits);
    EXPECT_EQ(mask, defaults[i][0]);
    EXPECT_EQ(end, defaults[i][1]);
    EXPECT_EQ(bits, 0);
  }
  encoder.SetScan(1, 2, 63, 2);
  encoder.SetProgressive(true);
  encoder.GetScan(1, mask, end, bits);
  EXPECT_EQ(bits, 2) << "a hand-made plan survives a no-op mode change";
  encoder.SetProgressive(false);
  encoder.SetProgressive(true);
  encoder.GetScan(1, mask, end, bits);
  EXPECT_EQ(bits, 0);
}

TEST(JpegParameters, CopiesTakeParametersButNotSampling)
{
  JpegEncoder source;
  source.SetQuality(90);
  source.SetProgressive(true);
  source.SetGreyscale(true);
  source.SetRestartRows(3);
  source.SetComment("hello");
  source.SetSamplingFrequency(1, 2, 2);
  JpegEncoder copy(source);
  EXPECT_EQ(copy.GetQuality(), 90u);
  EXPECT_TRUE(copy.GetProgressive());
  EXPECT_TRUE(copy.GetGreyscale());
  EXPECT_EQ(copy.GetRestartRows(), 3u);
  EXPECT_EQ(copy.GetComment(), "hello");
  uint32_t h, v;
  copy.GetSamplingFrequency(1, h, v);
  EXPECT_EQ(h, 1u);

  JpegEncoder assigned;
  assigned.SetSamplingFrequency(1, 4, 1);
  assigned = source;
  // Through a reference: the compilers warn of a plain self-assignment.
  const JpegEncoder &itself = assigned;
  assigned = itself;
  assigned.GetSamplingFrequency(1, h, v);
  EXPECT_EQ(h, 4u) << "assignment keeps the target's own sampling";
  EXPECT_EQ(assigned.GetQuantizationTable(0).GetValue(0), source.GetQuantizationTable(0).GetValue(0));
}

TEST(ScanPlanCheck, Sampling)
{
  JpegEncoder fractional;
  fractional.SetSamplingFrequency(1, 3, 1);
  fractional.SetSamplingFrequency(2, 2, 1);
  EXPECT_EQ(WriteError(fractional), "Fractional Horizontal Sampling");
  fractional.SetProgressive(true);
  EXPECT_EQ(WriteError(fractional), "Fractional Horizontal Sampling");
  fractional.SetGreyscale(true);
  EXPECT_EQ(WriteError(fractional), "");

  JpegEncoder vertical;
  vertical.SetSamplingFrequency(1, 1, 4);
  vertical.SetSamplingFrequency(3, 1, 3);
  EXPECT_EQ(WriteError(vertical), "Fractional Vertical Sampling");

  JpegEncoder six;
  six.SetSamplingFrequency(1, 2, 2);
  EXPECT_EQ(WriteError(six), "");
  JpegEncoder eleven;
  eleven.SetSamplingFrequency(1, 4, 2);
  eleven.SetSamplingFrequency(2, 2, 1);
  EXPECT_EQ(WriteError(eleven), "Data units in MCU exceeds 10");
  eleven.SetScan(0, 2, 0, 0);
  eleven.SetScan(1, 4, 0, 0);
  eleven.SetScan(2, 8, 0, 0);
  EXPECT_EQ(WriteError(eleven), "");
}

TEST(ScanPlanCheck, SequentialPlans)
{
  JpegEncoder separate = Sequential({2, 4, 8});
  EXPECT_EQ(WriteError(separate), "");
  EXPECT_EQ(separate.GetScanCount(), 3u);
  JpegEncoder overlapping = Sequential({6, 12});
  EXPECT_EQ(WriteError(overlapping), "Component in more than one scan");
  JpegEncoder missing = Sequential({2, 4});
  EXPECT_EQ(WriteError(missing), "Not all components specified in scans");
  JpegEncoder stray = Sequential({14 | 16});
  EXPECT_EQ(WriteError(stray), "Not all components specified in scans");
  JpegEncoder skipped = Sequential({0, 14});
  EXPECT_EQ(WriteError(skipped), "");
  EXPECT_EQ(skipped.GetScanCount(), 2u);
}

TEST(ScanPlanCheck, ProgressivePlans)
{
  struct Case
  {
    JpegEncoder encoder;
    const char *message;
  };
  Case cases[] = {
    {Progressive({{14, 0, 0}, {2, 63, 0}, {4, 63, 0}, {8, 63, 0}}), ""},
    {Progressive({{2, 63, 0}, {14, 0, 0}}), "AC Scan specified before DC scan for Y Component"},
    {Progressive({{14, 0, 0}, {4, 63, 0}, {2, 63, 0}, {8, 63, 0}}), ""},
    {Progressive({{12, 0, 0}, {4, 63, 0}, {2, 0, 0}, {2, 63, 0}, {8, 63, 0}}), ""},
    {Progressive({{12, 0, 0}, {4, 63, 0}, {8, 63, 0}, {2, 63, 0}}), "AC Scan specified before DC scan for Y Component"},
    {Progressive({{14, 0, 0}, {4, 62, 0}, {8, 63, 0}, {2, 63, 0}, {0, 0, 0}}), "Scan contains no components"},
    {Progressive({{6, 0, 0}, {4, 63, 0}, {8, 63, 0}}), "AC Scan specified before DC scan for Cr Component"},
    {Progressive({{10, 0, 0}, {4, 63, 0}}), "AC Scan specified before DC scan for cb Component"},
    {Progressive({{14, 0, 0}, {2, 5, 0}, {2, 63, 0}, {14, 63, 0}}), "Multiple Components in AC Scan"},
    {Progressive({{14, 0, 0}, {2, 5, 0}, {2, 3, 0}}), "Duplicate or overlapping spectral selection for Y Component"},
    {Progressive({{14, 0, 0}, {4, 63, 0}, {4, 63, 0}}), "Duplicate or overlapping spectral selection for Cb Component"},
    {Progressive({{14, 0, 0}, {8, 63, 0}, {8, 62, 0}}), "Duplicate or overlapping spectral selection for Cr Component"},
    {Progressive({{14, 0, 0}, {2, 0, 0}}), "Duplicate Y Component Scan"},
    {Progressive({{14, 0, 0}, {4, 0, 0}}), "Duplicate Cb Component Scan"},
    {Progressive({{14, 0, 0}, {8, 0, 0}}), "Duplicate Cr Component Scan"},
    {Progressive({{14, 0, 14}}), "Successive Approximation too large"},
    {Progressive({{14, 0, -1}}), "Successive Approximation too large"},
    {Progressive({{14, 0, 13}, {2, 63, 13}, {4, 63, 0}, {8, 63, 0}}), ""},
    {Progressive({{14, 0, 0}, {2, 5, 0}, {2, 40, 0}}), "Scan contains no components"},
    {Progressive({{14, 0, 0}, {2, 70, 0}}), "Scan contains no components"},
    {Progressive({{14, 0, 0}, {2, 63, 0}, {4, 63, 0}}), "Scan contains no components"},
  };
  for (Case &c : cases)
    EXPECT_EQ(WriteError(c.encoder), c.message) << c.message;

  // Completion checks run after the walk: 256 entries without Y's AC.
  JpegEncoder endless = Progressive({{2, 0, 0}}, true);
  for (uint32_t i = 1; i < 256; ++i)
    endless.SetScan(i, 4, 63, 0);
  EXPECT_EQ(WriteError(endless), "Y Component not completely defined by scans");
  JpegEncoder cbShort = Progressive({{14, 0, 0}, {2, 63, 0}, {8, 63, 0}});
  for (uint32_t i = 3; i < 256; ++i)
    cbShort.SetScan(i, 16, 0, 0);
  EXPECT_EQ(WriteError(cbShort), "Cb Component not completely defined by scans");
  JpegEncoder crShort = Progressive({{14, 0, 0}, {2, 63, 0}, {4, 63, 0}});
  for (uint32_t i = 3; i < 256; ++i)
    crShort.SetScan(i, 16, 0, 0);
  EXPECT_EQ(WriteError(crShort), "Cr Component not completely defined by scans");

  // Greyscale ignores Cb and Cr and stops once Y is complete.
  JpegEncoder grey = Progressive({{14, 0, 0}, {2, 63, 0}, {4, 5, 0}, {0, 0, 0}}, true);
  EXPECT_EQ(WriteError(grey), "");
  EXPECT_EQ(grey.GetScanCount(), 2u);
}

TEST(ImageLimits, EmptyAndOversizedImagesAreRejectedBeforeAnyByte)
{
  JpegEncoder encoder;
  const std::string path = TempPath("limits.jpg");
  ExpectError<JpegEncoder::JpegError>([&] { encoder.WriteImageFile(path, BitmapImage(0, 3, 0)); }, "Empty Image");
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  ExpectError<JpegEncoder::JpegError>([&] { encoder.WriteImageFile(path, BitmapImage(70000, 1, 0)); },
                                      "Image too large for JPEG: 70000 x 1 pixels (limit 65535)");
  EXPECT_EQ(std::filesystem::file_size(path), 0u);

  // The DRI field is 16 bits: 2000 rows x 40 MCUs does not fit.
  encoder.SetRestartRows(2000);
  ExpectError<JpegEncoder::JpegError>([&] { encoder.WriteImageFile(path, BitmapImage(320, 8, 0)); },
                                      "Restart interval too large: 80000 data units (limit 65535)");
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  encoder.SetRestartRows(1000);
  EXPECT_NO_THROW(encoder.WriteImageFile(path, BitmapImage(320, 8, 0)));

  ExpectError<JpegEncoder::JpegError>([&] { encoder.SetComment(std::string(65533, 'x')); },
                                      "Comment too long: 65533 bytes (limit 65532)");
  EXPECT_NO_THROW(encoder.SetComment(std::string(65532, 'x')));
}

// The bound the tool drops an unreachable interval by: no sequential scan's
// DRI exceeds it, and a scan of the widest-sampled component alone meets it.
TEST(ImageLimits, LargestRestartIntervalBoundsEveryScan)
{
  struct Case
  {
    const char *name;
    bool greyscale;
    uint32_t yH, cbH;
    std::vector<int32_t> masks;
    bool meetsBound;
  };
  const Case cases[] = {
    {"interleaved 1x1", false, 1, 1, {JpegEncoder::MaskAll}, true},
    {"interleaved 2x1", false, 2, 1, {JpegEncoder::MaskAll}, false},
    {"one scan each, Y widest", false, 2, 1, {JpegEncoder::MaskY, JpegEncoder::MaskCb, JpegEncoder::MaskCr}, true},
    {"Cb widest alone", false, 1, 2, {JpegEncoder::MaskY | JpegEncoder::MaskCr, JpegEncoder::MaskCb}, true},
    {"greyscale 1x1", true, 1, 1, {JpegEncoder::MaskAll}, true},
    {"greyscale, Cb 2x1", true, 1, 2, {JpegEncoder::MaskAll}, false},
  };
  const BitmapImage image = NoiseImage(65, 20, 3);  // 65 = 5 MCUs of 16, 9 units of 8
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    JpegEncoder encoder;
    encoder.SetGreyscale(c.greyscale);
    encoder.SetSamplingFrequency(1, c.yH, 1);
    encoder.SetSamplingFrequency(2, c.cbH, 1);
    for (uint32_t i = 0; i < c.masks.size(); ++i)
      encoder.SetScan(i, c.masks[i], 0, 0);
    encoder.SetRestartRows(3);
    const uint64_t bound = encoder.LargestRestartInterval(image);
    uint64_t largest = 0;
    for (const Segment &segment : ParseJpeg(EncodeJpeg(encoder, image)))
      if (segment.marker == 0xDD)
        largest = std::max<uint64_t>(largest, (segment.payload[0] << 8) | segment.payload[1]);
    EXPECT_LE(largest, bound);
    EXPECT_EQ(largest == bound, c.meetsBound) << largest << " of " << bound;
  }
}
