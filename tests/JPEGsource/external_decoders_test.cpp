// Every mode of the encoder judged by programs of other projects: djpeg and
// Pillow must decode without a warning to libjpeg-turbo's picture in
// process, and ffmpeg, with its own decoder, without an error to one close
// to it. Labelled "external": these spawn processes for every file.
#include "decoders_common.h"

#include <gtest/gtest.h>

namespace
{

using namespace testing_support;

TEST(JpegExternalDecoders, DjpegPillowAndFfmpegReadEveryMode)
{
  for (const ModeCase &cell : ModeMatrix(DecoderPictures()))
  {
    SCOPED_TRACE(testing::PrintToString(cell));
    const Vantorum::BitmapImage image = cell.picture->make();
    const std::vector<uint8_t> bytes = EncodeForDecoders(*cell.mode, image);
    const std::string path = TempPath("matrix.jpg");
    WriteFileBytes(path, bytes);
    const std::vector<uint8_t> reference = DecodeJpeg(bytes).Rgb();

    const DecodedImage djpeg = DecodeImage("djpeg", path);
    ASSERT_TRUE(djpeg.ok) << djpeg.messages;
    EXPECT_FALSE(djpeg.warned) << "djpeg warned: " << djpeg.messages;
    EXPECT_EQ(djpeg.Rgb(), reference) << "djpeg and libjpeg in process disagree";

    const DecodedImage pillow = DecodeImage("pillow", path);
    ASSERT_TRUE(pillow.ok) << pillow.messages;
    EXPECT_FALSE(pillow.warned) << pillow.messages;
    EXPECT_EQ(pillow.Rgb(), reference) << "Pillow and libjpeg disagree";

    if (!cell.mode->ffmpegReads)
      continue;
    const DecodedImage ffmpeg = DecodeImage("ffmpeg", path);
    ASSERT_TRUE(ffmpeg.ok) << ffmpeg.messages;
    EXPECT_FALSE(ffmpeg.warned) << "ffmpeg reported an error: " << ffmpeg.messages;
    ASSERT_EQ(ffmpeg.rgba.size(), reference.size() / 3 * 4);
    if (cell.picture->smooth)
    {
      EXPECT_GT(Psnr(ffmpeg.Rgb(), reference), 30) << "ffmpeg decodes a different picture";
    }
  }
}

}  // namespace
