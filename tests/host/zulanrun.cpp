#include "zulanrun.h"

#include "testimages.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

CommandResult RunOnTerminal(const std::string &folder, const std::string &registry, const std::string &arguments,
                            const std::string &typed)
{
  CommandResult result;
  const std::string command = "cd " + ShellQuote(folder) + " && exec " + ZulanCommandLine(registry, arguments);
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0)
    return result;
  if (child == 0)
  {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  // The terminal keeps the lines until zulan reads them.
  if (write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
    ADD_FAILURE() << "could not type";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  char chunk[4096];
  while (std::chrono::steady_clock::now() < deadline)
  {
    pollfd ready = {master, POLLIN, 0};
    if (poll(&ready, 1, 200) <= 0)
      continue;
    const ssize_t count = read(master, chunk, sizeof chunk);
    if (count <= 0)
      break;  // EIO once zulan and the shell have closed the terminal
    result.output.append(chunk, static_cast<size_t>(count));
  }
  close(master);
  int status = 0;
  if (std::chrono::steady_clock::now() >= deadline)
    kill(child, SIGKILL);
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace testing_support
