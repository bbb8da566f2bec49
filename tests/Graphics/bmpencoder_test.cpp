#include "bmpencoder.h"
#include "simd.h"
#include "decoders.h"
#include "testimages.h"
#include "expecterror.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <streambuf>

using Vantorum::AvailableInstructionSets;
using Vantorum::BestInstructionSet;
using Vantorum::BitmapImage;
using Vantorum::BmpEncoder;
using Vantorum::GraphicsAbort;
using Vantorum::GraphicsException;
using Vantorum::ImageEncoder;
using Vantorum::InstructionSet;
using Vantorum::InstructionSetName;
using Vantorum::UseInstructionSet;
using namespace testing_support;

namespace
{

std::vector<uint8_t> Encode(const BitmapImage &image, int bits, bool alpha = true)
{
  BmpEncoder encoder;
  encoder.SetBitDepth(bits);
  encoder.SetAlphaChannel(alpha);
  std::ostringstream stream;
  encoder.WriteImage(stream, image);
  const std::string text = stream.str();
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct ProgressLog
{
  std::vector<uint32_t> percents;
  int cancelAt = -1;  // call index that sets cancel
};

void RecordProgress(ImageEncoder &, void *data, uint32_t pass, uint32_t count, uint32_t percent, bool &cancel)
{
  ProgressLog &log = *static_cast<ProgressLog *>(data);
  EXPECT_EQ(pass, 1u);
  EXPECT_EQ(count, 1u);
  EXPECT_FALSE(cancel);
  if (static_cast<int>(log.percents.size()) == log.cancelAt)
    cancel = true;
  log.percents.push_back(percent);
}

}  // namespace

TEST(BmpEncoder, TwentyFourBitFilesUseTheShortHeaderAndBottomUpRows)
{
  BitmapImage one(1, 1, PixelWord({0x30, 0x20, 0x10}, 0x99));
  const std::vector<uint8_t> file = Encode(one, 24);
  ASSERT_EQ(file.size(), 58u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(ReadLittle32(file, 2), 58u);
  EXPECT_EQ(ReadLittle32(file, 10), 54u);
  EXPECT_EQ(ReadLittle32(file, 14), 40u);
  EXPECT_EQ(ReadLittle32(file, 22), 1u);
  EXPECT_EQ(ReadLittle16(file, 28), 24u);
  EXPECT_EQ(ReadLittle32(file, 30), 0u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.end()), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0}));

  // Row order: the last image row comes first.
  BitmapImage tall(1, 2, 0);
  SetPixel(tall, 0, 0, {1, 1, 1});
  SetPixel(tall, 0, 1, {2, 2, 2});
  const std::vector<uint8_t> rows = Encode(tall, 24);
  EXPECT_EQ(rows[54], 2);
  EXPECT_EQ(rows[58], 1);

  EXPECT_EQ(Encode(BitmapImage(800, 600, 0), 24).size(), 1440054u);
}

TEST(BmpEncoder, SixteenBitFilesPackFiveFiveFiveTopDown)
{
  BitmapImage one(1, 1, PixelWord({0x07, 0x08, 0xFF}));
  std::vector<uint8_t> file = Encode(one, 16);
  ASSERT_EQ(file.size(), 126u);
  EXPECT_EQ(ReadLittle32(file, 14), 108u);
  EXPECT_EQ(ReadLittle32(file, 22), 0xFFFFFFFFu);  // -1: top down
  EXPECT_EQ(ReadLittle32(file, 30), 3u);
  EXPECT_EQ(ReadLittle32(file, 54), 0x7C00u);
  EXPECT_EQ(ReadLittle32(file, 58), 0x03E0u);
  EXPECT_EQ(ReadLittle32(file, 62), 0x001Fu);
  EXPECT_EQ(ReadLittle32(file, 66), 0xFF000000u);
  EXPECT_EQ(ReadLittle16(file, 122), 0x003F);
  EXPECT_EQ(ReadLittle16(file, 124), 0);  // pad

  EXPECT_EQ(Encode(BitmapImage(3, 1, 0), 16).size(), 122u + 8);
  EXPECT_EQ(Encode(BitmapImage(2, 2, 0), 16).size(), 122u + 8);
  EXPECT_EQ(ReadLittle32(Encode(one, 16, false), 66), 0u);
}

TEST(BmpEncoder, ThirtyTwoBitFilesCarryTheBufferUnchanged)
{
  const BitmapImage image = NoiseImage(2, 3, 5);
  const std::vector<uint8_t> file = Encode(image, 32);
  ASSERT_EQ(file.size(), 146u);
  EXPECT_EQ(ReadLittle32(file, 22), static_cast<uint32_t>(-3));
  EXPECT_EQ(ReadLittle32(file, 54), 0x00FF0000u);
  EXPECT_EQ(ReadLittle32(file, 66), 0xFF000000u);
  const uint8_t *pixels = reinterpret_cast<const uint8_t *>(image.GetPixels());
  EXPECT_TRUE(std::equal(file.begin() + 122, file.end(), pixels));
}

TEST(BmpEncoder, ProgressFallsWithTheBottomUpRowsAndCancelKeepsTheHeaders)
{
  BmpEncoder encoder;
  ProgressLog log;
  encoder.SetProgressCallback(RecordProgress, &log);
  std::ostringstream stream;
  encoder.WriteImage(stream, BitmapImage(800, 600, 0));
  ASSERT_EQ(log.percents.size(), 602u);
  EXPECT_EQ(log.percents.front(), 0u);
  EXPECT_EQ(log.percents[1], 99u);
  EXPECT_EQ(log.percents[600], 0u);
  EXPECT_EQ(log.percents.back(), 100u);

  ProgressLog cancelling;
  cancelling.cancelAt = 0;
  encoder.SetProgressCallback(RecordProgress, &cancelling);
  const std::string path = TempPath("cancel.bmp");
  EXPECT_THROW(encoder.WriteImageFile(path, BitmapImage(10, 10, 0)), GraphicsAbort);
  EXPECT_EQ(std::filesystem::file_size(path), 54u);

  // Without a callback the same file comes out.
  ProgressLog quiet;
  encoder.SetProgressCallback(RecordProgress, &quiet);
  encoder.SetBitDepth(16);
  std::ostringstream withCallback;
  encoder.WriteImage(withCallback, LetterF());
  encoder.SetProgressCallback(nullptr, nullptr);
  std::ostringstream without;
  encoder.WriteImage(without, LetterF());
  EXPECT_EQ(withCallback.str(), without.str());
  EXPECT_EQ(quiet.percents, (std::vector<uint32_t>{0, 0, 20, 40, 60, 80, 100}));
}

// Rows go out in batches of about a megabyte, packed four pixels at a time:
// a cancel inside a later batch still leaves every row reported so far, and
// each packing path gives each row's bytes for any width.
TEST(BmpEncoder, BatchedRowsMatchRowByRowOutputOnEveryPath)
{
  for (const InstructionSet set : AvailableInstructionSets())
  {
    UseInstructionSet(set);
    for (uint32_t width = 1; width <= 27; ++width)
    {
      const BitmapImage image = NoiseImage(width, 3, width);
      const std::vector<uint8_t> bytes = Encode(image, 24);
      const uint32_t rowBytes = (width * 3 + 3) & ~3u;
      ASSERT_EQ(bytes.size(), 54u + rowBytes * 3);
      for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < width; ++x)
        {
          const Rgb pixel = GetPixel(image, x, y);
          const size_t at = 54 + rowBytes * (2 - y) + 3 * x;
          EXPECT_EQ(bytes[at], pixel.blue) << InstructionSetName(set) << " width " << width;
          EXPECT_EQ(bytes[at + 1], pixel.green);
          EXPECT_EQ(bytes[at + 2], pixel.red);
        }
      for (uint32_t at = 54 + width * 3; at < 54 + rowBytes; ++at)
        EXPECT_EQ(bytes[at], 0) << "row padding";
    }

    // 3000-byte rows: about 350 to a batch; cancel at row 500.
    BmpEncoder encoder;
    ProgressLog log;
    log.cancelAt = 501;  // report 0 is the header's
    encoder.SetProgressCallback(RecordProgress, &log);
    std::ostringstream stream;
    EXPECT_THROW(encoder.WriteImage(stream, NoiseImage(1000, 600, 1)), GraphicsAbort);
    EXPECT_EQ(stream.str().size(), 54u + 3000u * 501) << InstructionSetName(set);
  }
  UseInstructionSet(BestInstructionSet());
}

TEST(BmpEncoder, ReportedPercentIsLimitedTo100)
{
  struct Reporter : ImageEncoder
  {
    void WriteImageFile(const std::string &, const BitmapImage &) override { CallProgress(1, 1, 250); }
  } reporter;
  ProgressLog log;
  reporter.SetProgressCallback(RecordProgress, &log);
  reporter.WriteImageFile("", BitmapImage());
  EXPECT_EQ(log.percents, std::vector<uint32_t>{100});
}

TEST(BmpEncoder, FileSizeStopsAtFourGibibytes)
{
  using Vantorum::BmpEncoder;
  // Rows padded to 4 bytes, headers of 54 (24 bits) and 122 bytes.
  EXPECT_EQ(BmpEncoder::FileSize(1, 1, 24), 54u + 4u);
  EXPECT_EQ(BmpEncoder::FileSize(3, 2, 16), 122u + 2 * 8u);
  EXPECT_EQ(BmpEncoder::FileSize(5, 1, 32), 122u + 20u);
  // 65,536 columns of 3 bytes: 21,845 rows fit below 4 GiB, one more does not.
  EXPECT_LE(BmpEncoder::FileSize(65536, 21845, 24), BmpEncoder::MaxFileSize);
  EXPECT_GT(BmpEncoder::FileSize(65536, 21846, 24), BmpEncoder::MaxFileSize);
  // Sizes beyond 64 bits do not wrap round to small ones.
  EXPECT_EQ(BmpEncoder::FileSize(0xFFFFFFFFu, 0xFFFFFFFFu, 32), UINT64_MAX);
  EXPECT_EQ(BmpEncoder::FileSize(0x7FFFFFFFu, 0x7FFFFFFFu, 32), 122u + uint64_t(0x7FFFFFFFu) * 4u * 0x7FFFFFFFu);
}

TEST(BmpEncoder, UnknownDepthIsRefusedAndKeepsTheOldOne)
{
  BmpEncoder encoder;
  ExpectError<GraphicsException>([&] { encoder.SetBitDepth(8); }, "Invalid Bit Depth");
  EXPECT_EQ(encoder.GetBitDepth(), 24);
}

TEST(BmpEncoder, EmptyImageLeavesAnEmptyFile)
{
  BmpEncoder encoder;
  const std::string empty = TempPath("empty.bmp");
  ExpectError<BmpEncoder::BmpError>([&] { encoder.WriteImageFile(empty, BitmapImage(0, 5, 0)); }, "Empty Image");
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
}

TEST(BmpEncoder, UnopenableFileIsNamed)
{
  BmpEncoder encoder;
  const std::string missing = TempPath("missing") + "/x.bmp";
  ExpectError<BmpEncoder::BmpError>([&] { encoder.WriteImageFile(missing, LetterF()); },
                                    "Cannot Open Input File " + missing);
}

TEST(BmpEncoder, FullDiskIsAFailureNotAShortFile)
{
  BmpEncoder encoder;
  for (uint32_t side : {4u, 1000u})
  {
    SCOPED_TRACE(side);
    ExpectError<BmpEncoder::BmpError>([&] { encoder.WriteImageFile("/dev/full", BitmapImage(side, side, 0)); },
                                      "Cannot write to file /dev/full: No space left on device");
  }
}

// A stream buffer that takes a given number of bytes and then refuses.
class RefusingBuffer : public std::streambuf
{
public:
  explicit RefusingBuffer(size_t bytes) : room(bytes) {}

protected:
  int_type overflow(int_type c) override
  {
    if (room == 0 || traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::eof();
    --room;
    return c;
  }

private:
  size_t room;
};

TEST(BmpEncoder, StreamThatStopsTakingBytesIsAWriteError)
{
  // In the headers, and in the rows after them.
  for (const size_t room : {size_t(0), size_t(60)})
  {
    RefusingBuffer buffer(room);
    std::ostream stream(&buffer);
    BmpEncoder encoder;
    ExpectError<BmpEncoder::BmpError>([&] { encoder.WriteImage(stream, NoiseImage(40, 30, 2)); }, "Write Error");
  }
}
