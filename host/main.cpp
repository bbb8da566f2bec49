// zulan: the replacement host. Loads the module, runs the typed commands,
// exports and menu items given on the command line in their order, and
// reports through its exit status whether an error box was shown. With an
// output folder it exports many drawings, each in a run of its own. Built
// for Windows it is zulan32, the test host of the module's DLL: the same
// commands, over plain geometry that zulan wrote from a DXF file; what
// differs lives in hostmain.h's platform files.
#include "host.h"
#include "hostmain.h"
#include "text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>

using namespace zulan;

namespace
{

const char HelpExporting[] = R"(Exporting a drawing:
  zulan plan.dxf --export 'JPEG File' plan.jpg    the whole drawing (or 'PNG File')
  zulan plan.dxf -c 'SAVEBMP plan.bmp'            the whole drawing as BMP
  zulan plan.dxf -c 'WBSM part.png 0,0 500,300'   a section picked by two corners
  The settings (size, quality, progressive...) are set with JPEGOPT and stored.
)";

const char HelpRest[] = R"(
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
  be read. A batch exits with the status of the first drawing that failed,
  in the order given.)";

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

int Refuse(const std::string &text)
{
  std::cerr << ProgramName << ": " << text << "\n";
  return ExitUsage;
}

// An output folder makes --export take the filter alone: the file names
// come from the drawings'.
bool BatchRequested(int argc, char **argv)
{
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--output-dir") == 0 || std::strncmp(argv[i], "--output-dir=", 13) == 0)
      return true;
  return false;
}

int EndStatus(Host &host)
{
  const bool errorShown = host.ErrorBoxShown();
  const bool refused = host.InputRefused();
  host.UnloadModule();
  if (errorShown)
    return ExitErrorBox;
  return refused ? ExitUsage : 0;
}

// What a batch may be asked besides its drawings: one export each.
std::string CheckBatch(const MainOptions &options, const std::vector<std::string> &commandLines,
                       const std::vector<std::string> &exportArguments, bool otherActions)
{
  if (options.drawings.empty())
    return "--output-dir wants drawings to export, such as zulan --export 'PNG File' --output-dir out/ *.dxf";
  const bool saveBitmap = commandLines.size() == 1 && Text::EqualNoCase(Text::Trim(commandLines[0]), "SAVEBMP");
  if (otherActions || exportArguments.size() + commandLines.size() != 1 || (!commandLines.empty() && !saveBitmap))
    return "with --output-dir, give one --export FILTER or -c SAVEBMP, and nothing else to run";
  if (!options.entitiesPath.empty())
    return "--write-entities takes one drawing, not --output-dir";
  return "";
}

}  // namespace

int main(int argc, char **argv)
{
#if defined(__GLIBC__)
  // Blocks of a megabyte and more (a strip bitmap, a drawing's points) are
  // mapped apart and go back to the system when freed. By default glibc
  // raises that threshold as such blocks are freed and then keeps the next
  // ones in its heap after use, where an export's picture, mapped apart,
  // cannot reuse them.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
  CLI::App app{std::string(ProgramName) + ": a replacement host for Quorvel/Tamblin modules (XPs) such as Rastello."};
  app.footer(std::string(HelpExporting) + ExamplesHelp + HelpRest);
  // Options are --long and -s everywhere, so that one script serves both
  // hosts, and a /path is a file.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string(ProgramName) + " " RASTELLO_VERSION);
  MainOptions options;
  options.modulePath = DefaultModulePath();
  options.registryPath = DefaultRegistryPath();
  std::vector<std::string> commandLines, exportArguments, menuItems;
  std::vector<int32_t> events;
  const bool batch = BatchRequested(argc, argv);

  app.add_option("drawing", options.drawings, DrawingHelp);
  CLI::Option *commandOption =
    app.add_option("-c,--command", commandLines, "Run a typed command with its inputs, e.g. 'JPEGMENUOFF'")
      ->allow_extra_args(false);
  CLI::Option *exportOption =
    app
      .add_option("--export", exportArguments,
                  "Run an export filter, e.g. --export 'PNG File' out.png (with --output-dir, the filter alone)")
      ->type_size(batch ? 1 : 2)
      ->allow_extra_args(false)
      ->type_name("FILTER FILE");
  CLI::Option *menuOption =
    app.add_option("-m,--menu-item", menuItems, "Run a menu item's command: 'Label' or 'Label: inputs...'")
      ->allow_extra_args(false);
  CLI::Option *eventOption =
    app.add_option("--event", events, "Send the module a host event code (start-up sends 14 by itself)")
      ->allow_extra_args(false);
  app.add_option("--module", options.modulePath, ModuleHelp);
  app.add_option("--registry", options.registryPath, RegistryHelp);
  app
    .add_option("--clipboard", options.clipboard,
                "Offer a clipboard bitmap of WIDTHxHEIGHT pixels through \"_GetSysVAdr@4\"")
    ->type_name("WxH");
  app.add_flag("--show-dialog", options.showDialogs, "Print each dialog as it stands when it opens and closes");
  app.add_flag("--menus", options.listMenus, "List the menus the module added, after everything else");
  app.add_flag("--commands", options.listCommands, "List the registered commands and export filters");
  AddHostOptions(app, options);
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

  HostSettings settings;
  settings.registryPath = options.registryPath;
  settings.interactive = IsTerminal(stdin);
  settings.liveStatus = IsTerminal(stderr);
  settings.showDialogs = options.showDialogs;
  if (!options.clipboard.empty())
  {
    std::pair<int32_t, int32_t> size;
    if (!ParseSize(options.clipboard, size))
      return Refuse("--clipboard wants WIDTHxHEIGHT, such as 1024x768, not " + options.clipboard);
    if (options.run.SizesPicture())
      return Refuse("--clipboard and --" + std::string(options.run.scale.empty() ? "paper" : "scale")
                    + " both give the picture's size; leave one out");
    settings.clipboardSize = size;
  }
  const std::string runProblem = CheckRunSettings(options.run);
  if (!runProblem.empty())
    return Refuse(runProblem);
  if (batch)
  {
    const bool otherActions =
      !menuItems.empty() || !events.empty() || options.listMenus || options.listCommands || options.showDialogs;
    const std::string problem = CheckBatch(options, commandLines, exportArguments, otherActions);
    if (!problem.empty())
      return Refuse(problem);
  }
  else if (options.drawings.size() > 1)
    return Refuse("several drawings need --output-dir FOLDER to export them into, such as --output-dir out/");
  else if (options.jobs != 0)
    return Refuse("-j goes with --output-dir: one drawing runs in one process");

  // Opened before the host, so a bad drawing ends the run before the
  // registry is read. A batch opens its drawings in their own runs.
  std::optional<std::pair<int32_t, int32_t>> size;
  if (!batch)
    if (const std::optional<int> status =
          OpenDrawing(options, options.drawings.empty() ? "" : options.drawings[0], size))
      return *status;

  Host host(settings);
  const std::string loadError = host.LoadModule(options.modulePath);
  if (!loadError.empty())
  {
    std::cerr << ProgramName << ": cannot load module " << options.modulePath << ": " << loadError << "\n";
    return ExitModule;
  }
  // In a batch this checks the settings once, before any drawing's run
  // repeats it.
  if ((!options.run.controlWords.empty() || size) && !host.ApplyRunSettings(DialogWords(options.run), size))
    return EndStatus(host);
  if (batch)
  {
    std::string ending = ".bmp";
    if (!exportArguments.empty())
    {
      const std::optional<std::string> extension = host.ExportExtension(exportArguments[0]);
      if (!extension)
      {
        host.UnloadModule();
        return Refuse("no export filter \"" + exportArguments[0] + "\"");
      }
      ending = "." + Text::LowerCase(*extension);
    }
    host.UnloadModule();
    return RunBatchCommand(options, argv[0], exportArguments.empty() ? "" : exportArguments[0], ending);
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
  if (options.listCommands)
    std::cout << host.FormatCommands();
  if (options.listMenus)
    std::cout << FormatMenus(host.GetMenus());
  return EndStatus(host);
}
