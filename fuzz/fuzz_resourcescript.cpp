// The host reads dialog templates from a module: as a resource script on
// Linux, compiled on Windows. A module is not to be trusted to have written
// either well.
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
  try
  {
    zulan::ParseDialogResource("fuzz", data, size);
  }
  catch (const zulan::ResourceScriptError &)
  {
  }
  return 0;
}
