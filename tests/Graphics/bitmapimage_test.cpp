#include "bitmapimage.h"
#include "expecterror.h"
#include "testimages.h"

#include <gtest/gtest.h>

#include <limits>
#include <type_traits>
#include <utility>

using Vantorum::BitmapImage;
using namespace testing_support;

TEST(BitmapImage, SizingGivesZeroedRowsWithoutPadding)
{
  BitmapImage image;
  EXPECT_EQ(image.GetWidth(), 0u);
  EXPECT_EQ(image.GetPixels(), nullptr);

  image.SetSize(3, 2);
  for (uint32_t i = 0; i < 6; ++i)
    EXPECT_EQ(*image.PixelAddress(i), 0u);
  EXPECT_EQ(image.PixelAddress(3), image.GetPixels() + 3);  // start of row 1

  *image.PixelAddress(4) = 0xAABBCCDD;
  image.SetSize(2, 2);
  for (uint32_t i = 0; i < 4; ++i)
    EXPECT_EQ(*image.PixelAddress(i), 0u) << "SetSize keeps no old pixels";
}

TEST(BitmapImage, CopiesOwnTheirPixels)
{
  BitmapImage source = LetterF();
  BitmapImage copy(source);
  SetPixel(copy, 0, 0, {1, 2, 3});
  EXPECT_EQ(GetPixel(source, 0, 0).blue, 255);

  BitmapImage assigned;
  assigned = source;
  // Through a reference: the compilers warn of a plain self-assignment.
  const BitmapImage &itself = assigned;
  assigned = itself;
  EXPECT_EQ(assigned.GetWidth(), 6u);
  EXPECT_EQ(GetPixel(assigned, 1, 0).red, 255);
  EXPECT_NE(assigned.GetPixels(), source.GetPixels());
}

TEST(BitmapImage, MovesHandOverThePixelsAndLeaveTheSourceEmpty)
{
  BitmapImage source(3, 2, 0x11223344);
  const uint32_t *buffer = source.GetPixels();
  BitmapImage moved(std::move(source));
  EXPECT_EQ(moved.GetPixels(), buffer);
  EXPECT_EQ(moved.GetWidth(), 3u);
  EXPECT_EQ(moved.GetHeight(), 2u);
  EXPECT_EQ(*moved.PixelAddress(5), 0x11223344u);
  EXPECT_EQ(source.GetWidth(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(source.GetHeight(), 0u);
  EXPECT_EQ(source.GetPixels(), nullptr);

  // Assignment drops the target's own pixels for the source's.
  BitmapImage assigned = LetterF();
  assigned = std::move(moved);
  EXPECT_EQ(assigned.GetPixels(), buffer);
  EXPECT_EQ(assigned.GetWidth(), 3u);
  EXPECT_EQ(moved.GetWidth(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.GetHeight(), 0u);
  EXPECT_EQ(moved.GetPixels(), nullptr);

  BitmapImage &alias = assigned;
  assigned = std::move(alias);
  EXPECT_EQ(assigned.GetPixels(), buffer);
  EXPECT_EQ(assigned.GetHeight(), 2u);
  EXPECT_EQ(*assigned.PixelAddress(0), 0x11223344u);

  // A moved-from image is usable again.
  source.SetSize(1, 1);
  EXPECT_EQ(*source.PixelAddress(0), 0u);
  static_assert(std::is_nothrow_move_constructible<BitmapImage>::value, "vectors of images move");
}

TEST(BitmapImage, EmptyImagesCopyAndGrowLikeAnyOther)
{
  // No pixels to fill or copy: the encoders, not the image, refuse them.
  const BitmapImage empty(0, 7, 0xFFFFFFFF);
  BitmapImage copy(empty);
  EXPECT_EQ(copy.GetHeight(), 7u);
  copy = LetterF();
  copy = empty;
  EXPECT_EQ(copy.GetWidth(), 0u);
  copy.SetSize(2, 1);
  EXPECT_EQ(*copy.PixelAddress(1), 0u);
}

TEST(BitmapImage, OversizedImagesAreRejectedBeforeTheOldBufferIsTouched)
{
  BitmapImage image(2, 2, 0x01020304);
  const uint32_t huge = std::numeric_limits<uint32_t>::max();
  EXPECT_THROW(image.SetSize(huge, huge), BitmapImage::SizeError);
  EXPECT_THROW(image.SetSize(0x10000, 0x10000), BitmapImage::SizeError);  // 2^32 pixels
  EXPECT_EQ(image.GetWidth(), 2u);
  EXPECT_EQ(*image.PixelAddress(3), 0x01020304u);
  ExpectError<BitmapImage::SizeError>([&] { image.SetSize(70000, 70000); }, "Image too large: 70000 x 70000 pixels");
}
