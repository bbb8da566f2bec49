// rastello-encode's input images: PNG through libpng, PGM and PPM by hand,
// the format taken from the first bytes.
#include "imagereader.h"

#include "fuzzinput.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  const std::string path = WriteInputFile(data, size, ".image");
  if (path.empty())
    return 0;
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
