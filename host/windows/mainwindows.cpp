// zulan32's side of main: the module and registry where Windows keeps them,
// and the entity file zulan wrote in place of a DXF drawing. It has none of
// zulan's drawing options and runs one drawing at a time.
#include "gdidrawing.h"
#include "hostmain.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <io.h>
#include <windows.h>

namespace zulan
{

const char ProgramName[] = "zulan32";
const char DrawingHelp[] = "Entity file to open, written by zulan --write-entities (none: an empty drawing)";
const char ModuleHelp[] = "Module to load (default: rastello.dll beside zulan32)";
const char RegistryHelp[] = "Registry file (default: %APPDATA%\\zulan\\registry.reg)";
const char ExamplesHelp[] = "";

// The module beside the host, as it is installed on Windows.
std::string DefaultModulePath()
{
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length == sizeof self)
    return "rastello.dll";
  return (std::filesystem::path(std::string(self, length)).parent_path() / "rastello.dll").string();
}

std::string DefaultRegistryPath()
{
  const char *appData = std::getenv("APPDATA");
  return std::string(appData != nullptr ? appData : ".") + "\\zulan\\registry.reg";
}

// A console, not merely a character device: NUL is one too.
bool IsTerminal(std::FILE *stream)
{
  DWORD mode;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

void AddHostOptions(CLI::App &, MainOptions &) {}

std::optional<int> OpenDrawing(const MainOptions &, const std::string &path,
                               std::optional<std::pair<int32_t, int32_t>> &)
{
  if (path.empty())
    return std::nullopt;
  const std::string error = CurrentDrawing().Open(path);
  if (error.empty())
    return std::nullopt;
  std::cerr << "zulan32: " << error << "\n";
  return ExitDrawing;
}

// Not reached: zulan32 offers no --output-dir.
int RunBatchCommand(const MainOptions &, const char *, const std::string &, const std::string &)
{
  std::cerr << "zulan32: exports one drawing a run\n";
  return ExitUsage;
}

}  // namespace zulan
