// A JPEG destination in memory, so that timings measure encoding and not
// the file system. It flushes in 256 KiB steps, like the file stream.
#ifndef RASTELLO_BENCH_MEMORYSTREAM_H
#define RASTELLO_BENCH_MEMORYSTREAM_H

#include <cstdint>
#include <memory>
#include <vector>

#include "jpeg/jpgoutputstream.h"

namespace Bench
{

class MemoryJpegStream : public Vantorum::JpegOutputStream
{
public:
  explicit MemoryJpegStream(size_t expectedBytes = 0) : buffer(new uint8_t[BufferSize])
  {
    bytes.reserve(expectedBytes);
    current = buffer.get();
    bufferEnd = buffer.get() + BufferSize;
  }

  void Flush() override
  {
    bytes.insert(bytes.end(), buffer.get(), current);
    current = buffer.get();
    bufferEnd = buffer.get() + BufferSize;
  }

  // Call after the write: the bytes still in the buffer follow.
  const std::vector<uint8_t> &Bytes()
  {
    Flush();
    return bytes;
  }

private:
  static const size_t BufferSize = 0x40000;
  std::unique_ptr<uint8_t[]> buffer;
  std::vector<uint8_t> bytes;
};

}  // namespace Bench

#endif
