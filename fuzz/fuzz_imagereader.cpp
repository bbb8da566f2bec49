// rastello-encode's input images: PNG through libpng, PGM and PPM by hand,
// the format taken from the first bytes.
#include "imagereader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string path = "/tmp/rastello-fuzz-" + std::to_string(getpid()) + ".image";
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  Rastello::ImageLimits limits;
  limits.maxSide = 4096;
  limits.format = "fuzz";
  try
  {
    Rastello::ReadImage(path, limits);
  }
  catch (const Rastello::ImageReadError &)
  {
  }
  return 0;
}
