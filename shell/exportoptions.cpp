// Export settings: one 32-byte record stored as the raw value "Options".
// The clipboard resolution comes from the optional host entry
// "_GetSysVAdr@4", or failing that from a host registry value.
#include "exportoptions.h"
#include "commandtable.h"

#include <cstring>

namespace
{

const char ModuleName[] = "Rastello (Tamblin)";
const int32_t ClipboardBlockBytes = 40;

// Fills block with the host's clipboard block; false when none is offered.
bool ReadClipboardBlock(int32_t (&block)[10])
{
  HMODULE host = commandTable.hostModule;
  auto getSystemValues = EntryCast<GetSysVAdrEntry>(GetProcAddress(host, XP_GETSYSVADR_NAME));
  if (getSystemValues != nullptr)
  {
    const void *source = getSystemValues(SystemValuesClipboard);
    if (source == nullptr)
      return false;
    std::memcpy(block, source, ClipboardBlockBytes);
    return true;
  }
  RegValueRecord record = {XP_HKEY_CURRENT_USER,
                           reinterpret_cast<const char *>(static_cast<uintptr_t>(StringClipboardKey)),
                           reinterpret_cast<const char *>(static_cast<uintptr_t>(StringClipboardValue)),
                           block,
                           ClipboardBlockBytes,
                           XP_REG_BINARY,
                           ClipboardBlockBytes,
                           0};
  RMGetValue(&record);
  return true;
}

}  // namespace

ExportOptions exportOptions = {800, 600, FlagClipboardSize, 75, 2, UnusedNormal, 9, 0};
char registryKeyPath[256];

void FormatKeyPath()
{
  // The precision keeps an overlong host string from overrunning the buffer.
  wsprintfA(registryKeyPath, "%.200s\\XP\\Larnby\\%s\\", RscAdr(StringHostProduct), ModuleName);
}

RegValueRecord MakeValueRecord(const char *valueName, void *data, int32_t dataSize)
{
  return {XP_HKEY_CURRENT_USER, registryKeyPath, valueName, data, dataSize, XP_REG_BINARY, dataSize, 0};
}

bool LoadOptions(int withClipboardSize)
{
  FormatKeyPath();
  RegValueRecord record = MakeValueRecord("Options", &exportOptions, sizeof exportOptions);
  RMGetValue(&record);
  if (withClipboardSize == 0 || (exportOptions.flags & FlagClipboardSize) == 0)
    return false;
  // Zeroed, so a host that offers no block leaves a recognisable "no size"
  // rather than whatever the stack held.
  int32_t block[10] = {};
  if (!ReadClipboardBlock(block))
    return false;
  // No usable clipboard size: keep the stored one instead of a zero or
  // negative bitmap.
  if (block[3] <= 0 || block[4] <= 0)
    return false;
  exportOptions.width = block[3];
  exportOptions.height = block[4];
  return true;
}

void SaveOptions()
{
  FormatKeyPath();
  RegValueRecord record = MakeValueRecord("Options", &exportOptions, sizeof exportOptions);
  RMSetValue(&record);
}
