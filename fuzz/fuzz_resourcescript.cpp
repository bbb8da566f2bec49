// The host reads dialog templates from a module's resource script: a
// module is not to be trusted to have written it well.
#include "resourcescript.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  try
  {
    zulan::ParseResourceScript(std::string(reinterpret_cast<const char *>(data), size));
  }
  catch (const zulan::ResourceScriptError &)
  {
  }
  return 0;
}
