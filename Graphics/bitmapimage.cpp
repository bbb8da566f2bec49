#include "bitmapimage.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <utility>

namespace Vantorum
{

namespace
{

// Pixels are addressed with 32-bit indices (PixelAddress), so the pixel
// count must stay below 2^32, and the byte count must fit in size_t.
size_t CheckedPixelCount(uint32_t width, uint32_t height)
{
  const uint64_t count = static_cast<uint64_t>(width) * height;
  if (count > std::numeric_limits<uint32_t>::max() || count > std::numeric_limits<size_t>::max() / sizeof(uint32_t))
  {
    throw BitmapImage::SizeError("Image too large: " + std::to_string(width) + " x " + std::to_string(height)
                                 + " pixels");
  }
  return static_cast<size_t>(count);
}

}  // namespace

BitmapImage::BitmapImage(uint32_t newWidth, uint32_t newHeight, uint32_t fill)
{
  SetSizeForOverwrite(newWidth, newHeight);
  std::fill_n(pixels.get(), static_cast<size_t>(width) * height, fill);
}

BitmapImage::BitmapImage(const BitmapImage &other)
{
  *this = other;
}

BitmapImage &BitmapImage::operator=(const BitmapImage &other)
{
  if (this == &other)
    return *this;
  SetSizeForOverwrite(other.width, other.height);
  std::copy_n(other.pixels.get(), static_cast<size_t>(width) * height, pixels.get());
  return *this;
}

BitmapImage::BitmapImage(BitmapImage &&other) noexcept
  : width(std::exchange(other.width, 0)), height(std::exchange(other.height, 0)), pixels(std::move(other.pixels))
{
}

BitmapImage &BitmapImage::operator=(BitmapImage &&other) noexcept
{
  if (this == &other)
    return *this;
  width = std::exchange(other.width, 0);
  height = std::exchange(other.height, 0);
  pixels = std::move(other.pixels);
  return *this;
}

BitmapImage::~BitmapImage() = default;

void BitmapImage::SetSize(uint32_t newWidth, uint32_t newHeight)
{
  SetSizeForOverwrite(newWidth, newHeight);
  std::fill_n(pixels.get(), static_cast<size_t>(width) * height, 0u);
}

void BitmapImage::SetSizeForOverwrite(uint32_t newWidth, uint32_t newHeight)
{
  const size_t count = CheckedPixelCount(newWidth, newHeight);
  // Allocated before the old buffer goes, so a failed allocation keeps it.
  const size_t bytes = count * sizeof(uint32_t);
  std::unique_ptr<uint32_t[], LargeBufferDeleter> fresh(
    count == 0 ? nullptr : static_cast<uint32_t *>(AllocateLarge(bytes)), LargeBufferDeleter(bytes));
  pixels = std::move(fresh);
  width = newWidth;
  height = newHeight;
}

}  // namespace Vantorum
