#include "registrybridge.h"

#include <cstring>

namespace zulan
{

namespace
{

// Larger values are not a record of the module's; refusing them keeps a
// stray size from filling the file.
const int32_t MaxRegistryValueBytes = 1 << 20;

}  // namespace

RegistryBridge::RegistryBridge(const std::string &path, Console &out, HostStrings strings)
  : console(out), hostString(std::move(strings))
{
  registry.Load(path);
  if (!registry.GetRefusal().empty())
    console.Warn("registry file " + path + " cannot be read (" + registry.GetRefusal()
                 + "); using defaults, and it is left as it is in this run.");
  else if (!registry.GetLoadProblem().empty())
    console.Warn("registry file " + path + " is corrupt (" + registry.GetLoadProblem()
                 + "); using defaults. It will be kept as " + path + ".corrupt when a value is saved.");
}

bool RegistryBridge::DrawingAntialias() const
{
  const std::optional<RegistryValue> smooth = registry.Get("HKEY_CURRENT_USER\\Software\\Zulan\\Drawing", "Antialias");
  return smooth && smooth->type == 4 && smooth->bytes.size() == 4
         && (smooth->bytes[0] | smooth->bytes[1] | smooth->bytes[2] | smooth->bytes[3]) != 0;
}

std::string RegistryBridge::ResolveText(const char *field) const
{
  const uintptr_t value = reinterpret_cast<uintptr_t>(field);
  if (value < 0x10000)
    return hostString(static_cast<int32_t>(value));
  return field;
}

int32_t RegistryBridge::GetValue(RegValueRecord *record)
{
  if (record == nullptr || record->data == nullptr || record->dataSize <= 0)
    return 0;
  const std::string key = RegistryKeyName(record->rootKey, ResolveText(record->keyPath));
  const std::string name = ResolveText(record->valueName);
  const std::optional<RegistryValue> value = registry.Get(key, name);
  if (!value)
    return 0;
  // A value of another size is not the record the module expects; copying
  // part of it would mix stored and default fields.
  if (value->bytes.size() != static_cast<size_t>(record->dataSize))
  {
    console.Warn("registry value " + key + "\\" + name + " holds " + std::to_string(value->bytes.size())
                 + " bytes where " + std::to_string(record->dataSize) + " were expected; using defaults");
    return 0;
  }
  std::memcpy(record->data, value->bytes.data(), value->bytes.size());
  return 1;
}

int32_t RegistryBridge::SetValue(RegValueRecord *record)
{
  if (record == nullptr || record->data == nullptr || record->dataSize < 0 || record->dataSize > MaxRegistryValueBytes)
    return 0;
  const std::string key = RegistryKeyName(record->rootKey, ResolveText(record->keyPath));
  RegistryValue value;
  value.type = record->valueType;
  const auto *bytes = static_cast<const uint8_t *>(record->data);
  value.bytes.assign(bytes, bytes + record->dataSize);
  if (inMemory)
  {
    registry.Put(key, ResolveText(record->valueName), value);
    return 1;
  }
  const std::string error = registry.Set(key, ResolveText(record->valueName), value);
  if (!error.empty())
  {
    console.Warn("registry not saved: " + error);
    return 0;
  }
  return 1;
}

}  // namespace zulan
