#include "bmpencoder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "simd.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace Vantorum
{

namespace
{

const uint32_t FileHeaderSize = 14;

void PutLittle16(uint8_t *at, uint32_t value)
{
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLittle32(uint8_t *at, uint32_t value)
{
  PutLittle16(at, value & 0xFFFF);
  PutLittle16(at + 2, value >> 16);
}

// Rows go to the stream in batches of about this many bytes.
const size_t BatchBytes = 1 << 20;

// Blue, green, red of each 32-bit pixel, alpha dropped: the portable copy
// works on 32-bit words where the byte order allows, the x86 one shuffles
// four pixels per instruction.
inline void PackTail(const uint8_t *source, uint8_t *target, uint32_t x, uint32_t width)
{
  for (source += 4 * x, target += 3 * x; x < width; ++x, source += 4, target += 3)
  {
    target[0] = source[0];
    target[1] = source[1];
    target[2] = source[2];
  }
}

void PackRow24Portable(const uint8_t *__restrict source, uint8_t *__restrict target, uint32_t width)
{
  uint32_t x = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; x + 4 <= width; x += 4)
  {
    uint32_t p[4];
    std::memcpy(p, source + 4 * x, 16);
    const uint32_t words[3] = {(p[0] & 0xFFFFFF) | p[1] << 24, (p[1] >> 8 & 0xFFFF) | p[2] << 16,
                               (p[2] >> 16 & 0xFF) | p[3] << 8};
    std::memcpy(target + 3 * x, words, 12);
  }
#endif
  PackTail(source, target, x, width);
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
__attribute__((target("avx2"))) void PackRow24Avx2(const uint8_t *__restrict source, uint8_t *__restrict target,
                                                   uint32_t width)
{
  const __m256i order = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9,
                                         10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  uint32_t x = 0;
  // Each step stores 32 bytes of which 24 are pixels: it stops while the
  // row still has the 8 bytes beyond.
  for (; x + 11 <= width; x += 8)
  {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(source + 4 * x));
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, order), gather);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(target + 3 * x), packed);
  }
  const __m128i order4 = _mm256_castsi256_si128(order);
  for (; x + 6 <= width; x += 4)
  {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + 4 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(target + 3 * x), _mm_shuffle_epi8(pixels, order4));
  }
  PackTail(source, target, x, width);
}
#endif

void PackRow24(const uint8_t *source, uint8_t *target, uint32_t width)
{
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
  if (CurrentInstructionSet() != InstructionSet::Portable)  // AVX-512 processors take the AVX2 path
    return PackRow24Avx2(source, target, width);
#endif
  PackRow24Portable(source, target, width);
}

void WriteBlock(std::ostream &stream, const void *data, size_t count)
{
  stream.write(static_cast<const char *>(data), static_cast<std::streamsize>(count));
  if (stream.fail())
    throw BmpEncoder::BmpError("Write Error");
}

}  // namespace

void BmpEncoder::SetBitDepth(int32_t bits)
{
  if (bits != 16 && bits != 24 && bits != 32)
    throw BmpError("Invalid Bit Depth");
  bitDepth = bits;
}

void BmpEncoder::WriteImageFile(const std::string &fileName, const BitmapImage &image)
{
  std::ofstream stream(fileName, std::ios::out | std::ios::binary | std::ios::trunc);
  if (stream.fail())
    throw BmpError("Cannot Open Input File " + fileName);
  errno = 0;
  try
  {
    WriteImage(stream, image);
    stream.flush();
    if (!stream.fail())
      stream.close();
  }
  catch (const BmpError &)
  {
    if (!stream.fail())
      throw;  // not a write failure: "Empty Image" and the like
  }
  if (stream.fail())
    throw BmpError(WriteFailureText(fileName, errno));
}

uint64_t BmpEncoder::FileSize(uint32_t width, uint32_t height, int32_t bitDepth)
{
  const uint32_t bytesPerPixel = static_cast<uint32_t>(bitDepth) / 8;
  const uint64_t pixelBytes = static_cast<uint64_t>(width) * bytesPerPixel;
  const uint64_t rowBytes = (pixelBytes + 3) & ~static_cast<uint64_t>(3);
  const uint32_t infoSize = bitDepth == 24 ? 40 : 108;
  if (height != 0 && rowBytes > (std::numeric_limits<uint64_t>::max() - FileHeaderSize - infoSize) / height)
    return std::numeric_limits<uint64_t>::max();
  return FileHeaderSize + infoSize + rowBytes * height;
}

void BmpEncoder::WriteImage(std::ostream &stream, const BitmapImage &image)
{
  const uint32_t width = image.GetWidth();
  const uint32_t height = image.GetHeight();
  if (width == 0 || height == 0)
    throw BmpError("Empty Image");

  const uint32_t infoSize = bitDepth == 24 ? 40 : 108;
  const uint64_t fileSize = FileSize(width, height, bitDepth);
  // The size fields are 32 bits wide; a larger file could not be read back.
  if (fileSize > MaxFileSize || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
    throw BmpError("Image too large for BMP: " + std::to_string(width) + " x " + std::to_string(height) + " pixels");

  uint8_t header[FileHeaderSize + 108] = {};
  header[0] = 'B';
  header[1] = 'M';
  PutLittle32(header + 2, static_cast<uint32_t>(fileSize));
  PutLittle32(header + 10, FileHeaderSize + infoSize);
  PutLittle32(header + 14, infoSize);
  PutLittle32(header + 18, width);
  // 24-bit rows go bottom up (positive height); 16 and 32 bits top down.
  PutLittle32(header + 22, bitDepth == 24 ? height : 0u - height);
  PutLittle16(header + 26, 1);
  PutLittle16(header + 28, static_cast<uint32_t>(bitDepth));
  if (bitDepth != 24)
  {
    PutLittle32(header + 30, 3);  // bit fields
    const bool sixteen = bitDepth == 16;
    PutLittle32(header + 54, sixteen ? 0x7C00 : 0x00FF0000);
    PutLittle32(header + 58, sixteen ? 0x03E0 : 0x0000FF00);
    PutLittle32(header + 62, sixteen ? 0x001F : 0x000000FF);
    PutLittle32(header + 66, alphaChannel ? 0xFF000000 : 0);
  }
  WriteBlock(stream, header, FileHeaderSize + infoSize);
  ReportProgress(0);

  const uint8_t *pixels = reinterpret_cast<const uint8_t *>(image.GetPixels());
  const size_t sourceRowBytes = static_cast<size_t>(width) * 4;
  if (bitDepth == 32)
  {
    WriteBlock(stream, pixels, sourceRowBytes * height);
  }
  else
  {
    // Rows are converted into a batch of about a megabyte and written
    // together; progress is still reported row by row, and rows already
    // converted reach the stream before a cancel or failure propagates, so
    // the stream sees what a row-by-row writer would have written.
    const size_t rowBytes = (static_cast<size_t>(width) * static_cast<uint32_t>(bitDepth) / 8 + 3) & ~size_t(3);
    const size_t rowsPerBatch = std::max<size_t>(1, BatchBytes / rowBytes);
    std::vector<uint8_t> batch(static_cast<size_t>(rowBytes) * std::min<size_t>(rowsPerBatch, height), 0);
    size_t pending = 0;  // rows converted and not yet written
    auto writePending = [&] {
      WriteBlock(stream, batch.data(), pending * rowBytes);
      pending = 0;
    };
    try
    {
      for (uint32_t step = 0; step < height; ++step)
      {
        const uint32_t y = bitDepth == 24 ? height - 1 - step : step;
        const uint8_t *source = pixels + sourceRowBytes * y;
        uint8_t *target = batch.data() + pending * rowBytes;
        // The row padding stays zero: only the pixel bytes are rewritten.
        if (bitDepth == 24)
          PackRow24(source, target, width);
        else
          for (uint32_t x = 0; x < width; ++x, source += 4, target += 2)
            PutLittle16(target, (source[0] >> 3) | (source[1] >> 3) << 5 | (source[2] >> 3) << 10);
        if (++pending == rowsPerBatch)
          writePending();
        ReportProgress(static_cast<uint32_t>(static_cast<uint64_t>(y) * 100 / height));
      }
      writePending();
    }
    catch (const GraphicsAbort &)
    {
      if (pending > 0)
        writePending();
      throw;
    }
  }
  ReportProgress(100);
}

}  // namespace Vantorum
