// The host's registry area, kept in a text file in the layout of a Windows
// .reg export so that people can read it: [key] lines, then one
// "Name"=hex:.. line per value, every byte shown.
#ifndef ZULAN_REGISTRY_H
#define ZULAN_REGISTRY_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zulan
{

struct RegistryValue
{
  int32_t type = 3;  // 3: raw bytes, as Windows' REG_BINARY
  std::vector<uint8_t> bytes;
};

class Registry
{
public:
  // Reads the file, following symbolic links; a missing file is an empty
  // registry. A corrupt file also gives an empty registry, and the reason is
  // kept for a warning. A file that cannot be read, or is not a regular file,
  // or is larger than MaxFileBytes, is refused: the registry starts empty and
  // the file is never written in this run, so none of its values is lost.
  void Load(const std::string &path);
  const std::string &GetPath() const { return path; }
  // Empty unless the file could not be read as a registry.
  const std::string &GetLoadProblem() const { return loadProblem; }
  // Empty unless the file was refused; the reason, such as "Permission denied".
  const std::string &GetRefusal() const { return refusal; }

  // Key paths are matched without regard to case or a trailing backslash.
  std::optional<RegistryValue> Get(const std::string &key, const std::string &name) const;
  // Changes the value and writes the file at once; returns the write error.
  // Concurrent runs saving the same file take turns through FILE.lock, and
  // each sets its value on the file as it stands then, so values saved by
  // another run meanwhile are kept.
  std::string Set(const std::string &key, const std::string &name, const RegistryValue &value);
  // Changes the value in memory only: the file is left as it is.
  void Put(const std::string &key, const std::string &name, const RegistryValue &value);

  // The whole registry as file text.
  std::string Format() const;
  // Throws std::runtime_error naming the line that is not understood.
  void Parse(const std::string &text);

  static constexpr size_t MaxFileBytes = 16u << 20;

private:
  struct Key
  {
    std::string name;                               // as first written
    std::map<std::string, std::string> valueNames;  // folded name -> as written
    std::map<std::string, RegistryValue> values;    // by folded name
  };

  std::string Save(const std::string &key, const std::string &name, const RegistryValue &value);

  std::string path;
  std::string loadProblem;
  std::string refusal;
  std::map<std::string, Key> keys;  // by folded key path
};

// "HKEY_CURRENT_USER\Software\..." without the trailing backslash.
std::string RegistryKeyName(uintptr_t rootKey, const std::string &keyPath);

}  // namespace zulan

#endif
