// The host's optional entry for system values, exported under its stdcall
// name "_GetSysVAdr@4" (the export list in platform/zulan32.def): it answers
// only for the clipboard block, and only when --clipboard offered one.
#include "host.h"

extern "C" void *WINAPI GetSysVAdr(int32_t which)
{
  zulan::Host *host = zulan::CurrentHost();
  if (host == nullptr || which != SystemValuesClipboard)
    return nullptr;
  int32_t *block = host->ClipboardBlock();
  return block[3] > 0 && block[4] > 0 ? block : nullptr;
}
