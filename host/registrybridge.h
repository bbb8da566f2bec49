// The module's registry operations (RMGetValue, RMSetValue) over the
// registry file, and the host's own settings kept there.
#ifndef ZULAN_REGISTRYBRIDGE_H
#define ZULAN_REGISTRYBRIDGE_H

#include "console.h"
#include "hostapi.h"
#include "registry.h"

#include <functional>
#include <string>

namespace zulan
{

class RegistryBridge
{
public:
  // Key paths and value names may be host string ids; hostString gives them.
  typedef std::function<const char *(int32_t stringId)> HostStrings;

  // Loads the file, warning when it cannot be read or is corrupt.
  RegistryBridge(const std::string &path, Console &console, HostStrings hostString);

  // 1 when the value was copied into (or saved from) the record, else 0.
  int32_t GetValue(RegValueRecord *record);
  int32_t SetValue(RegValueRecord *record);

  // The host's own setting: smooth drawings ("Antialias", a DWORD, not 0).
  bool DrawingAntialias() const;

  Registry &GetRegistry() { return registry; }
  // From now on the module's values are set for this run only: the file
  // keeps what it holds.
  void KeepInMemory() { inMemory = true; }

private:
  std::string ResolveText(const char *field) const;

  Console &console;
  HostStrings hostString;
  Registry registry;
  bool inMemory = false;
};

}  // namespace zulan

#endif
