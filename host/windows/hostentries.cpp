// The host's optional entry for system values, exported under its stdcall
// name "_GetSysVAdr@4" (the export list in platform/zulan32.def).
#include "host.h"

extern "C" void *WINAPI GetSysVAdr(int32_t which)
{
  return zulan::SystemValues(which);
}
