// Uncompressed Windows bitmap output at 16 (5-5-5 bit fields), 24 and 32 bits
// per pixel. 24-bit files use the 40-byte header and bottom-up rows; 16- and
// 32-bit files use the 108-byte header with masks and top-down rows.
#ifndef VANTORUM_BMPENCODER_H
#define VANTORUM_BMPENCODER_H

#include <ostream>
#include <string>

#include "imageencoder.h"

namespace Vantorum
{

class BmpEncoder : public ImageEncoder
{
public:
  class BmpError : public GraphicsException
  {
  public:
    explicit BmpError(const std::string &text) : GraphicsException(text) {}
  };

  BmpEncoder() = default;
  BmpEncoder(const BmpEncoder &) = default;
  BmpEncoder &operator=(const BmpEncoder &) = default;
  ~BmpEncoder() override = default;

  // 16, 24 or 32; anything else throws "Invalid Bit Depth" and keeps the old value.
  void SetBitDepth(int32_t bits);
  int32_t GetBitDepth() const { return bitDepth; }
  // Whether 16- and 32-bit headers declare an alpha mask.
  void SetAlphaChannel(bool value) { alphaChannel = value; }
  bool GetAlphaChannel() const { return alphaChannel; }

  // A write error (a full disk) throws BmpError naming the file.
  void WriteImageFile(const std::string &fileName, const BitmapImage &image) override;
  // A stream that fails while the rows go out throws BmpError "Write Error".
  virtual void WriteImage(std::ostream &stream, const BitmapImage &image);

  // The bytes of a file of this size and depth (16, 24 or 32 bits), rows
  // padded to 4 bytes (the largest number when it is beyond 64 bits);
  // WriteImage refuses what exceeds MaxFileSize, since the size fields are
  // 32 bits wide.
  static uint64_t FileSize(uint32_t width, uint32_t height, int32_t bitDepth);
  static constexpr uint64_t MaxFileSize = 0xFFFFFFFFu;

private:
  void ReportProgress(uint32_t percent) { CallProgress(1, 1, percent); }

  bool alphaChannel = true;
  int32_t bitDepth = 24;
};

}  // namespace Vantorum

#endif
