// Reading a fuzzer's bytes as a sequence of choices; past the end every
// choice is 0, so each input means something.
#ifndef RASTELLO_FUZZ_FUZZINPUT_H
#define RASTELLO_FUZZ_FUZZINPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

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

// For parsers that read files: the input written to a file of this
// process's own, whose path is returned ("" when it cannot be written).
inline std::string WriteInputFile(const uint8_t *data, size_t size, const char *suffix)
{
  const std::string path = "/tmp/rastello-fuzz-" + std::to_string(getpid()) + suffix;
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return "";
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written ? path : "";
}

#endif
