// zulan: the replacement host. Loads the module, runs the typed commands,
// exports and menu items given on the command line in their order, and
// reports through its exit status whether an error box was shown. Built
// for Windows it is zulan32, the test host of the module's DLL: the same
// commands, over plain geometry that zulan wrote from a DXF file.
#include "exportfile.h"
#include "host.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#ifdef _WIN32
#include "gdidrawing.h"
#include <io.h>
#include <windows.h>
#define ZULAN_NAME "zulan32"
#define ZULAN_MODULE_FILE "rastello.dll"
#define ZULAN_DRAWING_HELP "Entity file to open, written by zulan --write-entities (none: an empty drawing)"
#define ZULAN_MODULE_HELP "Module to load (default: rastello.dll beside zulan32)"
#define ZULAN_REGISTRY_HELP "Registry file (default: %APPDATA%\\zulan\\registry.reg)"
#else
#include "hostdrawing.h"
#include <unistd.h>
#define ZULAN_NAME "zulan"
#define ZULAN_MODULE_FILE "rastello.so"
#define ZULAN_DRAWING_HELP "Drawing to open (none: an empty drawing)"
#define ZULAN_MODULE_HELP                                                                                              \
  "Module to load (default: " ZULAN_MODULE_RELATIVE_DIR "/rastello.so from zulan's folder, else rastello.so "          \
  "beside zulan)"
#define ZULAN_REGISTRY_HELP "Registry file (default: $XDG_CONFIG_HOME/zulan/registry.reg)"
#endif

namespace
{

const int ExitErrorBox = 1;
const int ExitUsage = 2;
const int ExitModule = 3;
const int ExitDrawing = 4;

const char HelpFooter[] = R"(Exporting a drawing:
  zulan plan.dxf --export 'JPEG File' plan.jpg    the whole drawing (or 'PNG File')
  zulan plan.dxf -c 'SAVEBMP plan.bmp'            the whole drawing as BMP
  zulan plan.dxf -c 'WBSM part.png 0,0 500,300'   a section picked by two corners
  The settings (size, quality, progressive...) are set with JPEGOPT and stored.

Inputs:
  The words after a command answer its requests in order: a point as x,y,
  a file name as it is, esc to cancel. JPEGOPT's words set the dialog's
  controls and must end with ok or cancel; a refused word cancels the
  whole dialog:
    zulan -c 'JPEGOPT 1010=off Width=1024 Quality=90 Progressive=on Crop ok'
  A control is named by its text or its label (without regard to case; a
  leading word such as Quality will do) or by its id; edits take whole
  numbers, check boxes on or off, radio buttons on (or just their name).
  When the inputs run out and stdin is a terminal, zulan asks there with the
  module's own prompt, where the Esc key cancels as esc does; otherwise the
  request is cancelled and the run ends with status 2.

Order:
  -c, --export, -m and --event run in the order given, all within one run
  of the host. The module's menu is added at start-up, so JPEGMENUON and
  JPEGMENUOFF show at the next run.

Registry:
  Values the module stores persist in a text file (default
  $XDG_CONFIG_HOME/zulan/registry.reg); every value is shown byte by byte.

Exit status:
  0 all went well, 1 an error box was shown, 2 a command, input or option
  was refused, 3 the module could not be loaded, 4 the drawing could not
  be read.)";

#ifdef _WIN32

// The module beside the host, as it is installed on Windows.
std::string DefaultModulePath()
{
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length == sizeof self)
    return ZULAN_MODULE_FILE;
  return (std::filesystem::path(std::string(self, length)).parent_path() / ZULAN_MODULE_FILE).string();
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

#else

bool IsTerminal(std::FILE *stream)
{
  return isatty(fileno(stream)) != 0;
}

// Installed, the module lives in its own folder (ZULAN_MODULE_RELATIVE_DIR
// from zulan's); in the build tree it is beside zulan.
std::string DefaultModulePath()
{
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    return "rastello.so";
  const std::filesystem::path installed = self.parent_path() / ZULAN_MODULE_RELATIVE_DIR / "rastello.so";
  if (std::filesystem::exists(installed, error))
    return installed.lexically_normal().string();
  return (self.parent_path() / "rastello.so").string();
}

std::string DefaultRegistryPath()
{
  const char *config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && config[0] == '/')
    folder = config;
  else if (const char *home = std::getenv("HOME"))
    folder = std::string(home) + "/.config";
  else
    folder = ".";
  return folder + "/zulan/registry.reg";
}

int WriteEntities(const zulan::HostDrawing &drawing, const std::string &path)
{
  try
  {
    ExportFile file(path);
    {
      std::ofstream out(file.WritePath(), std::ios::binary);
      out.imbue(std::locale::classic());
      zulan::WriteEntityFile(out, drawing.Flatten());
      out.flush();
      if (!out)
        throw ExportFile::CannotWrite(path, "the write failed");
    }
    file.Commit();
  }
  catch (const ExportFile::Error &error)
  {
    std::cerr << "zulan: " << error.what() << "\n";
    return ExitUsage;
  }
  return 0;
}

#endif

bool ParseSize(const std::string &text, std::pair<int32_t, int32_t> &size)
{
  const size_t cross = text.find_first_of("xX");
  if (cross == std::string::npos)
    return false;
  char *end = nullptr;
  const long width = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + cross)
    return false;
  const long height = std::strtol(text.c_str() + cross + 1, &end, 10);
  if (*end != '\0' || width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
    return false;
  size = {static_cast<int32_t>(width), static_cast<int32_t>(height)};
  return true;
}

}  // namespace

int main(int argc, char **argv)
{
  CLI::App app{ZULAN_NAME ": a replacement host for Quorvel/Tamblin modules (XPs) such as Rastello."};
  app.footer(HelpFooter);
  // Options are --long and -s everywhere, so that one script serves both
  // hosts, and a /path is a file.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", ZULAN_NAME " " RASTELLO_VERSION);
  std::string drawing;
  std::vector<std::string> commandLines, exportArguments, menuItems;
  std::vector<int32_t> events;
  std::string modulePath = DefaultModulePath();
  std::string registryPath = DefaultRegistryPath();
  std::string clipboard, entitiesPath;
  bool showDialogs = false, listMenus = false, listCommands = false, hairlines = false, antialias = false;

  app.add_option("drawing", drawing, ZULAN_DRAWING_HELP);
  CLI::Option *commandOption =
    app.add_option("-c,--command", commandLines, "Run a typed command with its inputs, e.g. 'JPEGMENUOFF'")
      ->allow_extra_args(false);
  CLI::Option *exportOption =
    app.add_option("--export", exportArguments, "Run an export filter, e.g. --export 'PNG File' out.png")
      ->type_size(2)
      ->allow_extra_args(false)
      ->type_name("FILTER FILE");
  CLI::Option *menuOption =
    app.add_option("-m,--menu-item", menuItems, "Run a menu item's command: 'Label' or 'Label: inputs...'")
      ->allow_extra_args(false);
  CLI::Option *eventOption =
    app.add_option("--event", events, "Send the module a host event code (start-up sends 14 by itself)")
      ->allow_extra_args(false);
  app.add_option("--module", modulePath, ZULAN_MODULE_HELP);
  app.add_option("--registry", registryPath, ZULAN_REGISTRY_HELP);
  app.add_option("--clipboard", clipboard, "Offer a clipboard bitmap of WIDTHxHEIGHT pixels through \"_GetSysVAdr@4\"")
    ->type_name("WxH");
  app.add_flag("--show-dialog", showDialogs, "Print each dialog as it stands when it opens and closes");
  app.add_flag("--menus", listMenus, "List the menus the module added, after everything else");
  app.add_flag("--commands", listCommands, "List the registered commands and export filters");
#ifndef _WIN32
  app.add_flag("--hairlines", hairlines, "Draw every line one pixel wide, whatever its line weight");
  app.add_flag("--antialias", antialias,
               "Smooth lines, fills and text (exports then hold colours beyond the palette's)");
  app
    .add_option("--write-entities", entitiesPath,
                "Write the drawing as plain geometry for the Windows test host (zulan32), and stop")
    ->type_name("FILE");
#endif
  try
  {
    app.parse(argc, argv);
  }
  catch (const CLI::ParseError &error)
  {
    // --help is a "success"; every refused command line exits as documented.
    const int status = app.exit(error);
    return status == 0 ? 0 : ExitUsage;
  }

  zulan::HostSettings settings;
  settings.registryPath = registryPath;
  settings.interactive = IsTerminal(stdin);
  settings.liveStatus = IsTerminal(stderr);
  settings.showDialogs = showDialogs;
  if (!clipboard.empty())
  {
    std::pair<int32_t, int32_t> size;
    if (!ParseSize(clipboard, size))
    {
      std::cerr << ZULAN_NAME ": --clipboard wants WIDTHxHEIGHT, such as 1024x768, not " << clipboard << "\n";
      return ExitUsage;
    }
    settings.clipboardSize = size;
  }
  // Opened before the host, so a bad drawing ends the run before the registry is read.
#ifdef _WIN32
  zulan::GdiDrawing &hostDrawing = zulan::CurrentDrawing();
  (void)hairlines;
  (void)antialias;
#else
  zulan::HostDrawing hostDrawing;
  zulan::SetCurrentDrawing(&hostDrawing);
  hostDrawing.SetHairlines(hairlines);
  if (antialias)
    hostDrawing.SetAntialias(true);
#endif
  if (!drawing.empty())
  {
    const std::string drawingError = hostDrawing.Open(drawing);
    if (!drawingError.empty())
    {
      std::cerr << ZULAN_NAME ": " << drawingError << "\n";
      return ExitDrawing;
    }
#ifndef _WIN32
    for (const std::string &warning : hostDrawing.Warnings())
      std::cerr << ZULAN_NAME ": " << warning << "\n";
#endif
  }

#ifndef _WIN32
  if (!entitiesPath.empty())
    return WriteEntities(hostDrawing, entitiesPath);
#endif

  zulan::Host host(settings);
  const std::string loadError = host.LoadModule(modulePath);
  if (!loadError.empty())
  {
    std::cerr << ZULAN_NAME ": cannot load module " << modulePath << ": " << loadError << "\n";
    return ExitModule;
  }

  size_t nextCommand = 0, nextExport = 0, nextMenuItem = 0, nextEvent = 0, exportValuesSeen = 0;
  for (CLI::Option *option : app.parse_order())
  {
    if (option == commandOption && nextCommand < commandLines.size())
      host.RunCommandLine(commandLines[nextCommand++]);
    else if (option == exportOption)
    {
      // The parser lists an export once per value: act on its second one.
      if (++exportValuesSeen % 2 == 0 && nextExport + 1 < exportArguments.size())
      {
        host.RunExport(exportArguments[nextExport], exportArguments[nextExport + 1]);
        nextExport += 2;
      }
    }
    else if (option == menuOption && nextMenuItem < menuItems.size())
      host.RunMenuItem(menuItems[nextMenuItem++]);
    else if (option == eventOption && nextEvent < events.size())
      host.SendEvent(events[nextEvent++]);
  }
  if (listCommands)
    std::cout << host.FormatCommands();
  if (listMenus)
    std::cout << zulan::FormatMenus(host.GetMenus());
  const bool errorShown = host.ErrorBoxShown();
  const bool refused = host.InputRefused();
  host.UnloadModule();
  if (errorShown)
    return ExitErrorBox;
  return refused ? ExitUsage : 0;
}
