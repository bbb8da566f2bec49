// The one in-memory raster: 32-bit pixels (bytes blue, green, red, alpha),
// row 0 at the top, no row padding. The layout is that of a top-down 32-bit
// DIB, so a capture can have GetDIBits fill the buffer in place.
#ifndef VANTORUM_BITMAPIMAGE_H
#define VANTORUM_BITMAPIMAGE_H

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "largebuffer.h"

namespace Vantorum
{

class BitmapImage
{
public:
  // Thrown by SetSize when width x height pixels cannot be addressed with a
  // 32-bit pixel index or their byte count does not fit in memory sizes.
  class SizeError : public std::length_error
  {
  public:
    explicit SizeError(const std::string &message) : std::length_error(message) {}
  };

  BitmapImage() = default;
  BitmapImage(uint32_t width, uint32_t height, uint32_t fill);
  BitmapImage(const BitmapImage &other);
  BitmapImage &operator=(const BitmapImage &other);
  // The pixels change hands without a copy; the source is left 0 x 0.
  BitmapImage(BitmapImage &&other) noexcept;
  BitmapImage &operator=(BitmapImage &&other) noexcept;
  virtual ~BitmapImage();

  // Discards the old pixels; the new ones are all 0. Checks the size before
  // touching the old buffer, so a rejected size leaves the image as it was.
  void SetSize(uint32_t width, uint32_t height);
  // SetSize without clearing the new pixels, for a caller that writes every
  // one before any is read: clearing a large picture costs about as much
  // as drawing it.
  void SetSizeForOverwrite(uint32_t width, uint32_t height);

  uint32_t GetWidth() const { return width; }
  uint32_t GetHeight() const { return height; }

  // No bounds check: callers pass row x GetWidth() for the start of a row.
  uint32_t *PixelAddress(uint32_t index) { return pixels.get() + index; }
  const uint32_t *PixelAddress(uint32_t index) const { return pixels.get() + index; }
  uint32_t *GetPixels() { return pixels.get(); }
  const uint32_t *GetPixels() const { return pixels.get(); }

private:
  uint32_t width = 0;
  uint32_t height = 0;
  std::unique_ptr<uint32_t[], LargeBufferDeleter> pixels;  // width x height words, null while there are none
};

}  // namespace Vantorum

#endif
