// Registry file: read strictly (anything not understood makes the whole file
// count as corrupt, so that a half-read value never reaches the module), and
// written through ExportFile, the careful write the module's exports use, so
// that a crash cannot truncate it. The file is the user's: one that cannot be
// read is never replaced, and other zulan runs may be saving it at the same
// moment.
#include "registry.h"

#include "exportfile.h"
#include "registryfile.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace zulan
{

namespace
{

const char FileHeader[] = "; zulan registry: values the module stored through RMSetValue.\n"
                          "; Each value is shown byte by byte; hex: is type 3 (raw bytes).\n";

// Keys and value names compare as Windows compares them: without case,
// and a key without its trailing separators.
std::string Fold(const std::string &text)
{
  return Text::LowerCase(Text::WithoutTrailing(text, '\\'));
}

int HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// "hex:01,02" or "hex(4):01,02,03,04" after the '='.
RegistryValue ParseValueData(const std::string &text)
{
  RegistryValue value;
  size_t position;
  if (text.rfind("hex:", 0) == 0)
    position = 4;
  else if (text.rfind("hex(", 0) == 0)
  {
    const size_t close = text.find("):");
    if (close == std::string::npos || close == 4)
      throw std::runtime_error("value type not understood");
    const std::string type = text.substr(4, close - 4);
    if (type.find_first_not_of("0123456789") != std::string::npos || type.size() > 9)
      throw std::runtime_error("value type not understood");
    value.type = std::stoi(type);
    position = close + 2;
  }
  else
    throw std::runtime_error("value is not hex: data");
  const std::string bytes = text.substr(position);
  if (bytes.empty())
    return value;
  for (size_t i = 0;; i += 3)
  {
    if (i + 2 > bytes.size() || HexDigit(bytes[i]) < 0 || HexDigit(bytes[i + 1]) < 0)
      throw std::runtime_error("byte " + std::to_string(value.bytes.size()) + " is not two hex digits");
    value.bytes.push_back(static_cast<uint8_t>(HexDigit(bytes[i]) * 16 + HexDigit(bytes[i + 1])));
    if (i + 2 == bytes.size())
      break;
    if (bytes[i + 2] != ',')
      throw std::runtime_error("bytes must be separated by commas");
  }
  return value;
}

std::string FormatValueData(const RegistryValue &value)
{
  std::string text = value.type == 3 ? "hex:" : "hex(" + std::to_string(value.type) + "):";
  char byte[4];
  for (size_t i = 0; i < value.bytes.size(); ++i)
  {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", value.bytes[i]);
    text += byte;
  }
  return text;
}

// Writes text through the careful write shared with the module's exports
// (exportfile.h), under the registry's own wording, so that readers see the
// old file or the new one, never a part. Only the permission bits of the
// replaced file are kept; the file itself too as keepOldAs when that is
// given, between putting the new one on disk and renaming it in place.
std::string ReplaceRegistryFile(const std::string &target, const std::string &text, const std::string &keepOldAs)
{
  ExportFileRules rules;
  rules.temporaryPrefix = ".registry-";
  rules.onlyWritable = false;  // read-only to us, but in our folder: rename may replace it
  rules.keepOwner = false;
  rules.modeRequired = true;
  rules.refuseHardLinks = false;  // as the registry file has always been saved
  const std::string cannotWrite = "cannot write a temporary file beside " + target + ": ";
  std::optional<ExportFile> file;
  try
  {
    file.emplace(target, rules);
    const std::string problem = WriteRegistryText(*file, text);
    if (!problem.empty())
      return cannotWrite + problem;
    file->Flush();
  }
  catch (const ExportFile::Error &error)
  {
    return cannotWrite + error.reason;
  }
  if (!keepOldAs.empty())
  {
    const std::string problem = KeepOldRegistryFile(target, keepOldAs);
    if (!problem.empty())
      return "cannot keep " + target + " as " + keepOldAs + ": " + problem;
  }
  try
  {
    file->Commit();
  }
  catch (const ExportFile::Error &error)
  {
    return "cannot replace " + target + ": " + error.reason;
  }
  return "";
}

}  // namespace

std::string RegistryKeyName(uintptr_t rootKey, const std::string &keyPath)
{
  std::string root;
  switch (rootKey)
  {
  case 0x80000000u:
    root = "HKEY_CLASSES_ROOT";
    break;
  case 0x80000001u:
    root = "HKEY_CURRENT_USER";
    break;
  case 0x80000002u:
    root = "HKEY_LOCAL_MACHINE";
    break;
  default:
    root = "HKEY_" + std::to_string(rootKey);
    break;
  }
  const std::string path = Text::WithoutTrailing(keyPath, '\\');
  return path.empty() ? root : root + "\\" + path;
}

void Registry::Parse(const std::string &text)
{
  std::map<std::string, Key> parsed;
  Key *current = nullptr;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line))
  {
    ++lineNumber;
    try
    {
      line = std::string(Text::Trim(line));
      if (line.empty() || line[0] == ';')
        continue;
      if (line.front() == '[')
      {
        if (line.back() != ']' || line.size() < 3)
          throw std::runtime_error("key line without its closing ]");
        const std::string name = line.substr(1, line.size() - 2);
        Key &key = parsed[Fold(name)];
        if (key.name.empty())
          key.name = name;
        current = &key;
        continue;
      }
      if (line.front() != '"')
        throw std::runtime_error("neither a [key] nor a \"value\"=... line");
      const size_t close = line.find("\"=", 1);
      if (close == std::string::npos)
        throw std::runtime_error("value line without \"=");
      if (current == nullptr)
        throw std::runtime_error("value before any [key] line");
      const std::string name = line.substr(1, close - 1);
      const RegistryValue value = ParseValueData(line.substr(close + 2));
      current->valueNames[Fold(name)] = name;
      current->values[Fold(name)] = value;
    }
    catch (const std::exception &problem)
    {
      throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + problem.what());
    }
  }
  keys = std::move(parsed);
}

void Registry::Load(const std::string &filePath)
{
  path = filePath;
  loadProblem.clear();
  refusal.clear();
  keys.clear();
  if (path.empty())
    return;
  std::string target, text;
  if (!ExportFile::FollowLinks(path, target, refusal) || ReadRegistryFile(target, text, refusal) != FileRead::Read)
    return;
  try
  {
    Parse(text);
  }
  catch (const std::exception &problem)
  {
    keys.clear();
    loadProblem = problem.what();
  }
}

std::optional<RegistryValue> Registry::Get(const std::string &key, const std::string &name) const
{
  const auto foundKey = keys.find(Fold(key));
  if (foundKey == keys.end())
    return std::nullopt;
  const auto foundValue = foundKey->second.values.find(Fold(name));
  if (foundValue == foundKey->second.values.end())
    return std::nullopt;
  return foundValue->second;
}

void Registry::Put(const std::string &keyPath, const std::string &name, const RegistryValue &value)
{
  Key &key = keys[Fold(keyPath)];
  if (key.name.empty())
  {
    key.name = Text::WithoutTrailing(keyPath, '\\');
  }
  if (key.valueNames.count(Fold(name)) == 0)
    key.valueNames[Fold(name)] = name;
  key.values[Fold(name)] = value;
}

std::string Registry::Set(const std::string &keyPath, const std::string &name, const RegistryValue &value)
{
  Put(keyPath, name, value);
  if (path.empty())
    return "";
  if (!refusal.empty())
    return path + " could not be read (" + refusal + "), so it is left as it is in this run";
  return Save(keyPath, name, value);
}

std::string Registry::Format() const
{
  std::string text = FileHeader;
  for (const auto &[folded, key] : keys)
  {
    text += "\n[" + key.name + "]\n";
    for (const auto &[foldedName, value] : key.values)
      text += "\"" + key.valueNames.at(foldedName) + "\"=" + FormatValueData(value) + "\n";
  }
  return text;
}

std::string Registry::Save(const std::string &keyPath, const std::string &name, const RegistryValue &value)
{
  std::string target, problem;
  if (!ExportFile::FollowLinks(path, target, problem))
    return "cannot save " + path + ": " + problem;
  const std::filesystem::path folder = std::filesystem::path(target).parent_path();
  std::error_code ignored;
  if (!folder.empty())
    std::filesystem::create_directories(folder, ignored);
  const SaveLock lock(target);
  if (!lock.problem.empty())
    return lock.problem;
  // Another run may have saved since this one read the file: set this one
  // value on the file as it stands now.
  std::string text;
  const FileRead read = ReadRegistryFile(target, text, problem);
  if (read == FileRead::Refused)
    return path + " cannot be read now (" + problem + "), so it is left as it is";
  Registry current;
  bool corrupt = false;
  try
  {
    current.Parse(text);
    current.Put(keyPath, name, value);
  }
  catch (const std::exception &)
  {
    // Nothing of it can be used; what this run holds is written instead.
    corrupt = true;
    current.keys = keys;
  }
  // The corrupt file is the user's: keep it beside the new one.
  problem = ReplaceRegistryFile(target, current.Format(), corrupt ? target + ".corrupt" : "");
  if (!problem.empty())
    return problem;
  keys = std::move(current.keys);
  return "";
}

}  // namespace zulan
