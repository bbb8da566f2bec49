// Every mode of the encoder judged by libjpeg-turbo, in process: it must
// decode without a warning to the source's size, close to the source.
#include "decoders_common.h"

#include <gtest/gtest.h>

namespace
{

using namespace testing_support;

class JpegDecoders : public testing::TestWithParam<ModeCase>
{
};

TEST_P(JpegDecoders, LibjpegReadsItCleanlyAndClose)
{
  const ModeCase &cell = GetParam();
  const Vantorum::BitmapImage image = cell.picture->make();
  const DecodedImage decoded = DecodeJpeg(EncodeForDecoders(*cell.mode, image));
  ASSERT_TRUE(decoded.ok) << decoded.messages;
  EXPECT_FALSE(decoded.warned) << decoded.messages;
  ASSERT_EQ(decoded.width, image.GetWidth());
  ASSERT_EQ(decoded.height, image.GetHeight());
  // Sharp colour edges in tiny images lose to chroma subsampling and each
  // decoder upsamples its own way: judge closeness on smooth ones.
  if (cell.picture->smooth)
  {
    EXPECT_GT(Psnr(decoded.Rgb(), SourceRgb(image, cell.mode->greyscale)), cell.mode->closeness);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, JpegDecoders, testing::ValuesIn(ModeMatrix(DecoderPictures())), ModeCaseName);

}  // namespace
