// The Windows test host's drawing: an entity file, written by zulan but
// read by zulan32 from wherever it is told.
#include "entityfile.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
  try
  {
    const zulan::FlatDrawing drawing = zulan::ReadEntityFile(in);
    std::ostringstream out;
    zulan::WriteEntityFile(out, drawing);
  }
  catch (const zulan::EntityFileError &)
  {
  }
  return 0;
}
