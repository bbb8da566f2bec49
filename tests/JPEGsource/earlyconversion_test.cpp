// A picture handed to the encoder strip by strip while it is still being
// filled (BeginImage, RowsFilled) must be written with the bytes and the
// progress reports of a plain one-thread write of the finished picture,
// whatever the strips, threads, sampling or mode, and whatever the caller
// changes or abandons in between.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "graphicsexception.h"
#include "jpegencoder.h"
#include "memorystream.h"
#include "paralleltasks.h"
#include "testimages.h"

namespace
{

using Vantorum::BitmapImage;
using Vantorum::JpegEncoder;
using namespace testing_support;

struct Written
{
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> reports;  // pass << 8 | percent, in order
};

void Record(Vantorum::ImageEncoder &, void *data, uint32_t pass, uint32_t, uint32_t percent, bool &)
{
  static_cast<Written *>(data)->reports.push_back(pass << 8 | percent);
}

void Configure(JpegEncoder &encoder, bool progressive, uint32_t sampling, uint32_t quality)
{
  encoder.SetProgressive(progressive);
  encoder.SetQuality(quality);
  encoder.SetSamplingFrequency(1, sampling, sampling);
}

Written Plain(const BitmapImage &image, bool progressive, uint32_t sampling, uint32_t quality = 75)
{
  JpegEncoder encoder;
  Configure(encoder, progressive, sampling, quality);
  Written written;
  encoder.SetProgressCallback(Record, &written);
  MemoryStream stream(0x10000);
  encoder.WriteImage(stream, image);
  written.bytes = stream.Bytes();
  return written;
}

void CopyRows(const BitmapImage &from, BitmapImage &to, uint32_t first, uint32_t end)
{
  const size_t width = from.GetWidth();
  std::memcpy(to.GetPixels() + first * width, from.GetPixels() + first * width, (end - first) * width * 4);
}

class EarlyConversion : public testing::Test
{
protected:
  // Small pictures are shared among threads too.
  void SetUp() override { Vantorum::SetMinimumShareUnits(8); }
  void TearDown() override { Vantorum::SetMinimumShareUnits(16384); }
};

TEST_F(EarlyConversion, StripsFilledAfterTheStartGiveThePlainWrite)
{
  struct Case
  {
    uint32_t width, height, threads, sampling, stripRows;
    bool progressive;
  } cases[] = {
    {301, 203, 2, 1, 50, false},  // strips end inside MCU rows
    {301, 203, 3, 2, 16, true},   // strips of whole 16-row MCUs
    {97, 61, 2, 1, 61, false},    // one strip: all at once
    {64, 40, 4, 2, 1, true},      // a row at a time, more threads than MCU rows
    {1, 1, 2, 1, 1, false},
  };
  for (const Case &c : cases)
  {
    const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + " on "
                             + std::to_string(c.threads) + " threads, strips of " + std::to_string(c.stripRows);
    const BitmapImage finished = NoiseImage(c.width, c.height, c.width);
    const Written expected = Plain(finished, c.progressive, c.sampling);

    BitmapImage image(c.width, c.height, PixelWord({255, 255, 255}));
    JpegEncoder encoder;
    Configure(encoder, c.progressive, c.sampling, 75);
    encoder.SetThreadCount(c.threads);
    Written written;
    encoder.SetProgressCallback(Record, &written);
    encoder.BeginImage(image);
    for (uint32_t row = 0; row < c.height; row += c.stripRows)
    {
      const uint32_t end = std::min(c.height, row + c.stripRows);
      CopyRows(finished, image, row, end);
      encoder.RowsFilled(end);
      // Time for the helpers to take what they may: a row taken before it
      // is final would show in the bytes.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    MemoryStream stream(0x10000);
    encoder.WriteImage(stream, image);
    EXPECT_EQ(stream.Bytes(), expected.bytes) << name;
    EXPECT_EQ(written.reports, expected.reports) << name;
  }
}

// What happens between the start and the write: a setting changed, another
// picture written, the rows never said final, the write cancelled and done
// again, or no write at all.
TEST_F(EarlyConversion, ChangesAndAbandonsBetweenStartAndWriteLeaveCorrectFiles)
{
  const BitmapImage finished = GradientImage(160, 120);
  const Written plain = Plain(finished, false, 1);
  const auto started = [&](JpegEncoder &encoder, BitmapImage &image, uint32_t filledRows) {
    encoder.SetThreadCount(2);
    encoder.BeginImage(image);
    CopyRows(finished, image, 0, filledRows);
    encoder.RowsFilled(filledRows);
  };
  const auto write = [](JpegEncoder &encoder, const BitmapImage &image) {
    MemoryStream stream(0x10000);
    encoder.WriteImage(stream, image);
    return stream.Bytes();
  };

  {
    SCOPED_TRACE("quality changed after the start");
    BitmapImage image(160, 120, 0);
    JpegEncoder encoder;
    started(encoder, image, 64);
    encoder.SetQuality(40);
    CopyRows(finished, image, 64, 120);
    EXPECT_EQ(write(encoder, image), Plain(finished, false, 1, 40).bytes);
  }
  {
    SCOPED_TRACE("another picture written");
    BitmapImage image(160, 120, 0);
    JpegEncoder encoder;
    started(encoder, image, 120);
    EXPECT_EQ(write(encoder, finished), plain.bytes);
  }
  {
    SCOPED_TRACE("rows filled but never said so");
    BitmapImage image(160, 120, 0);
    JpegEncoder encoder;
    started(encoder, image, 0);
    CopyRows(finished, image, 0, 120);
    EXPECT_EQ(write(encoder, image), plain.bytes);
  }
  {
    SCOPED_TRACE("greyscale: nothing starts");
    BitmapImage image(160, 120, 0);
    JpegEncoder encoder;
    encoder.SetGreyscale(true);
    started(encoder, image, 120);
    JpegEncoder plainGrey;
    plainGrey.SetGreyscale(true);
    EXPECT_EQ(write(encoder, image), write(plainGrey, finished));
  }
  {
    SCOPED_TRACE("cancelled during the conversion, then written again");
    BitmapImage image(160, 120, 0);
    JpegEncoder encoder;
    started(encoder, image, 120);
    encoder.SetProgressCallback(
      [](Vantorum::ImageEncoder &, void *, uint32_t, uint32_t, uint32_t, bool &cancel) { cancel = true; }, nullptr);
    EXPECT_THROW(write(encoder, image), Vantorum::GraphicsAbort);
    encoder.SetProgressCallback(nullptr, nullptr);
    EXPECT_EQ(write(encoder, image), plain.bytes);
  }
  {
    SCOPED_TRACE("started and never written");
    BitmapImage image(160, 120, 0);
    JpegEncoder encoder;
    started(encoder, image, 40);
  }
}

// A picture written once may give its rows back as they are converted,
// on one thread or several, started early or not: the file is the same.
// Early work that gave rows back and was then abandoned leaves nothing to
// write from, and the write says so instead of writing black rows.
TEST_F(EarlyConversion, ConsumedPicturesGiveTheSameFileAndCannotBeWrittenAfterAnAbandon)
{
  // Several 2 MiB pages of rows, so that some really go back.
  const uint32_t width = 1024, height = 1024;
  const BitmapImage finished = NoiseImage(width, height, 5);
  for (const bool progressive : {false, true})
    for (const uint32_t threads : {1u, 2u, 3u})
    {
      const std::string name =
        std::string(progressive ? "progressive" : "baseline") + " on " + std::to_string(threads) + " threads";
      const Written expected = Plain(finished, progressive, 1);
      BitmapImage image(width, height, 0);
      JpegEncoder encoder;
      Configure(encoder, progressive, 1, 75);
      encoder.SetThreadCount(threads);
      encoder.SetConsumeImage(true);
      Written written;
      encoder.SetProgressCallback(Record, &written);
      encoder.BeginImage(image);
      for (uint32_t row = 0; row < height; row += 256)
      {
        CopyRows(finished, image, row, row + 256);
        encoder.RowsFilled(row + 256);
      }
      MemoryStream stream(0x10000);
      encoder.WriteImage(stream, image);
      EXPECT_EQ(stream.Bytes(), expected.bytes) << name;
      EXPECT_EQ(written.reports, expected.reports) << name;
#if defined(__linux__)
      // The rows went back to the system: the top of the picture reads black.
      EXPECT_EQ(image.GetPixels()[0], 0u) << name;
      EXPECT_EQ(image.GetPixels()[size_t(width) * 256], 0u) << name;
#endif
    }

#if defined(__linux__)
  BitmapImage image(width, height, 0);
  JpegEncoder encoder;
  encoder.SetThreadCount(2);
  encoder.SetConsumeImage(true);
  encoder.BeginImage(image);
  CopyRows(finished, image, 0, height);
  encoder.RowsFilled(height);
  // Until the helper has given some rows back.
  for (int wait = 0; wait < 5000 && image.GetPixels()[0] != 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(image.GetPixels()[0], 0u) << "no rows given back";
  encoder.SetQuality(60);
  MemoryStream stream(0x10000);
  EXPECT_THROW(encoder.WriteImage(stream, image), JpegEncoder::JpegError);
  CopyRows(finished, image, 0, height);
  encoder.BeginImage(image);
  encoder.RowsFilled(height);
  MemoryStream again(0x10000);
  encoder.WriteImage(again, image);
  EXPECT_EQ(again.Bytes(), Plain(finished, false, 1, 60).bytes);
#endif
}

}  // namespace
