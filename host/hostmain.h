// What main needs of the host it is built into: zulan on Linux
// (mainlinux.cpp) or zulan32, the Windows test host (windows/mainwindows.cpp).
// main.cpp itself is the same for both.
#ifndef ZULAN_HOSTMAIN_H
#define ZULAN_HOSTMAIN_H

#include "runsettings.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zulan
{

const int ExitErrorBox = 1;
const int ExitUsage = 2;
const int ExitModule = 3;
const int ExitDrawing = 4;

extern const char ProgramName[];   // "zulan" or "zulan32"
extern const char DrawingHelp[];   // what the drawing argument is
extern const char ModuleHelp[];    // where the module is looked for
extern const char RegistryHelp[];  // where the registry file is
extern const char ExamplesHelp[];  // --help's examples of this host's own options

std::string DefaultModulePath();
std::string DefaultRegistryPath();
bool IsTerminal(std::FILE *stream);

// The command line, parsed.
struct MainOptions
{
  std::vector<std::string> drawings;
  std::string modulePath;
  std::string registryPath;
  std::string clipboard;
  bool showDialogs = false;
  bool listMenus = false;
  bool listCommands = false;
  // zulan's own drawing options.
  bool hairlines = false;
  bool antialias = false;
  std::string entitiesPath;
  RunSettings run;
  std::string outputFolder;  // a batch: each drawing into this folder
  int jobs = 0;              // runs side by side; 0 for one per processor
};

// Adds the options only this host has.
void AddHostOptions(CLI::App &app, MainOptions &options);

// Opens the drawing (none: an empty one) with this host's drawing options
// and works out the picture size the run settings ask for. Returns the
// exit status when the run ends here (a drawing that cannot be read, or
// --write-entities done), else nullopt.
std::optional<int> OpenDrawing(const MainOptions &options, const std::string &path,
                               std::optional<std::pair<int32_t, int32_t>> &size);

// Exports every drawing into options.outputFolder by the filter (or
// SAVEBMP when filter is empty), the files ending in ending. Returns the
// exit status.
int RunBatchCommand(const MainOptions &options, const char *self, const std::string &filter, const std::string &ending);

}  // namespace zulan

#endif
