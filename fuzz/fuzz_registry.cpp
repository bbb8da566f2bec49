// The host's registry file: written by the host, but edited by hand and
// left half-written by crashes.
#include "registry.h"

#include "fuzzinput.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  const std::string path = WriteInputFile(data, size, ".reg");
  if (path.empty())
    return 0;
  zulan::Registry registry;
  registry.Load(path);
  registry.Get("HKEY_CURRENT_USER\\Software\\Quorvel\\Tamblin\\XP\\Larnby\\Rastello (Tamblin)", "Options");
  return 0;
}
