// Reading a fuzzer's bytes as a sequence of choices; past the end every
// choice is 0, so each input means something.
#ifndef RASTELLO_FUZZ_FUZZINPUT_H
#define RASTELLO_FUZZ_FUZZINPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput
{
public:
  FuzzInput(const uint8_t *data, size_t size) : data(data), size(size) {}

  uint8_t Byte() { return at < size ? data[at++] : 0; }
  uint32_t Word()
  {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value = value << 8 | Byte();
    return value;
  }
  // A number from 0 to limit - 1.
  uint32_t Below(uint32_t limit) { return limit == 0 ? 0 : Word() % limit; }
  std::string Rest()
  {
    std::string text(reinterpret_cast<const char *>(data + at), size - at);
    at = size;
    return text;
  }

private:
  const uint8_t *data;
  size_t size;
  size_t at = 0;
};

#endif
