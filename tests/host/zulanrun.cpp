#include "zulanrun.h"

#include "testimages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support
{

CommandResult RunZulan(const std::string &registry, const std::string &arguments)
{
  return RunCommand(ZulanCommandLine(registry, arguments) + " </dev/null");
}

std::vector<uint8_t> StoredValue(const std::string &registry, const std::string &name)
{
  std::ifstream file(registry);
  std::string line;
  const std::string start = "\"" + name + "\"=hex:";
  std::vector<uint8_t> bytes;
  while (std::getline(file, line))
    if (line.rfind(start, 0) == 0)
    {
      std::istringstream hex(line.substr(start.size()));
      std::string byte;
      while (std::getline(hex, byte, ','))
        bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    }
  return bytes;
}

std::vector<uint8_t> OptionsBytes(const std::vector<int32_t> &words)
{
  std::vector<uint8_t> bytes;
  for (int32_t word : words)
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(word) >> shift));
  return bytes;
}

void WriteRegistry(const std::string &registry, const std::string &valueLines)
{
  std::ofstream file(registry);
  file << "[HKEY_CURRENT_USER\\Software\\Quorvel\\Tamblin\\XP\\Larnby\\Rastello (Tamblin)]\n" << valueLines;
}

std::string OptionsLine(const std::vector<int32_t> &words)
{
  std::string line = "\"Options\"=hex:";
  char byte[4];
  for (uint8_t value : OptionsBytes(words))
  {
    std::snprintf(byte, sizeof byte, line.back() == ':' ? "%02x" : ",%02x", value);
    line += byte;
  }
  return line + "\n";
}

size_t Occurrences(const std::string &text, const std::string &part)
{
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

std::string ZulanCommandLine(const std::string &registry, const std::string &arguments)
{
  return ShellQuote(ZULAN_PATH) + " --module " + ShellQuote(RASTELLO_MODULE_PATH) + " --registry "
         + ShellQuote(registry) + " " + arguments;
}

CommandResult RunZulanIn(const std::string &folder, const std::string &registry, const std::string &arguments)
{
  return RunCommand("cd " + ShellQuote(folder) + " && " + ZulanCommandLine(registry, arguments) + " </dev/null");
}

std::string FreshFolder(const std::string &name)
{
  const std::string folder = TempPath(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace testing_support
