// An in-memory destination for the byte and bit streams under test.
#ifndef RASTELLO_TESTS_MEMORYSTREAM_H
#define RASTELLO_TESTS_MEMORYSTREAM_H

#include "jpeg/jpgoutputstream.h"

#include <cstdint>
#include <vector>

namespace testing_support
{

// Never flushes: the buffer must hold everything a test writes.
class MemoryBitStream : public Vantorum::JpegOutputStream
{
public:
  explicit MemoryBitStream(size_t size = 1024) : buffer(size)
  {
    current = buffer.data();
    bufferEnd = buffer.data() + buffer.size();
  }
  void Flush() override {}
  std::vector<uint8_t> Bytes() const
  {
    return std::vector<uint8_t>(buffer.data(), static_cast<const uint8_t *>(current));
  }

private:
  std::vector<uint8_t> buffer;
};

} // namespace testing_support

#endif
