// The host's registry file: written by the host, but edited by hand and
// left half-written by crashes.
#include "registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string path = "/tmp/rastello-fuzz-" + std::to_string(getpid()) + ".reg";
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  zulan::Registry registry;
  registry.Load(path);
  registry.Get("HKEY_CURRENT_USER\\Software\\Quorvel\\Tamblin\\XP\\Larnby\\Rastello (Tamblin)", "Options");
  return 0;
}
