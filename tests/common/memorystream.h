// An in-memory destination for the byte and bit streams under test. Its
// buffer may be made small, so that flushes fall where a test wants them.
#ifndef RASTELLO_TESTS_MEMORYSTREAM_H
#define RASTELLO_TESTS_MEMORYSTREAM_H

#include "jpeg/jpgoutputstream.h"

#include <cstdint>
#include <vector>

namespace testing_support
{

class MemoryStream : public Vantorum::JpegOutputStream
{
public:
  explicit MemoryStream(size_t size = 1024) : buffer(size)
  {
    current = buffer.data();
    bufferEnd = buffer.data() + buffer.size();
  }
  void Flush() override
  {
    flushes.push_back(static_cast<size_t>(current - buffer.data()));
    bytes.insert(bytes.end(), buffer.data(), current);
    current = buffer.data();
    bufferEnd = buffer.data() + buffer.size();
  }
  // What a caller finds after the write: the flushed bytes, then the buffer's.
  std::vector<uint8_t> Bytes() const
  {
    std::vector<uint8_t> all = bytes;
    all.insert(all.end(), buffer.data(), static_cast<const uint8_t *>(current));
    return all;
  }
  size_t Pending() const { return static_cast<size_t>(current - buffer.data()); }

  std::vector<uint8_t> buffer;
  std::vector<size_t> flushes;  // bytes handed over by each Flush

private:
  std::vector<uint8_t> bytes;
};

}  // namespace testing_support

#endif
