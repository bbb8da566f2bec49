// The replacement host: the one object the exported operations talk to. It
// hands each operation to the part that owns what it touches: the loaded
// module and what it registered, the commands and their requests, the
// input words, the dialogs, the registry, and what is shown to the user.
#ifndef ZULAN_HOST_H
#define ZULAN_HOST_H

#include "commandrunner.h"
#include "console.h"
#include "dialoghost.h"
#include "hostapi.h"
#include "inputwords.h"
#include "menus.h"
#include "moduleloader.h"
#include "registrybridge.h"

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace zulan
{

struct HostSettings
{
  std::string registryPath;
  bool interactive = false;          // stdin is a terminal: ask when inputs run out
  std::istream *terminal = nullptr;  // where to ask; null for std::cin
  bool liveStatus = false;           // stderr is a terminal
  bool showDialogs = false;
  std::optional<std::pair<int32_t, int32_t>> clipboardSize;
};

class Host
{
public:
  explicit Host(const HostSettings &settings);
  ~Host();
  Host(const Host &) = delete;
  Host &operator=(const Host &) = delete;

  // Loads the module and sends it attach, its initialisation entry and
  // event 14. Returns an error text, empty on success.
  std::string LoadModule(const std::string &path) { return module.Load(path); }
  void UnloadModule();
  void SendEvent(int32_t eventCode) { module.SendEvent(eventCode); }

  // A command line: the command name, then the words that answer its
  // requests and dialogs. Host commands (OPENDOC) are run here too.
  void RunCommandLine(const std::string &line) { runner.RunCommandLine(line); }
  void RunExport(const std::string &description, const std::string &fileName)
  {
    runner.RunExport(description, fileName);
  }
  void RunMenuItem(const std::string &name) { runner.RunMenuItem(name); }
  // Settings for this run only: the settings dialog's control words
  // (Name=value), and a picture size offered as the clipboard's. They go
  // through the module's own dialog, with every registry value the run sets
  // from then on kept in memory. False when the dialog refused them (the
  // reasons are shown).
  bool ApplyRunSettings(const std::vector<std::string> &controlWords,
                        const std::optional<std::pair<int32_t, int32_t>> &size);

  const std::vector<Menu> &GetMenus() const { return module.GetMenus(); }
  std::string FormatCommands() const { return module.FormatCommands(); }
  // The file ending of the export filter named by description or ending.
  std::optional<std::string> ExportExtension(const std::string &name) const
  {
    const ExportFilter *filter = module.FindExport(name);
    return filter != nullptr ? std::optional<std::string>(filter->extension) : std::nullopt;
  }
  bool ErrorBoxShown() const { return console.ErrorBoxShown(); }
  bool InputRefused() const { return console.InputRefused(); }
  Registry &GetRegistry() { return registry.GetRegistry(); }
  // The 40-byte block "_GetSysVAdr@4" returns for 3: words 3 and 4 hold
  // the clipboard bitmap's width and height.
  int32_t *ClipboardBlock() { return clipboardBlock; }

  // Host operations, called through the exported C functions.
  void RegisterCommands(CommandTable *table) { module.RegisterCommands(table); }
  void UnregisterCommands(CommandTable *table) { module.UnregisterCommands(table); }
  void RegisterExport(XPHandler handler, const char *description, const char *extension)
  {
    module.RegisterExport(handler, description, extension);
  }
  void AddMenuText(const char *text) { module.AddMenuText(text); }
  void RequestData(DataRequest *request) { runner.RequestData(request); }
  void EndCommand() { runner.EndCommand(); }
  void ShowStatus(const char *text) { console.ShowStatus(text); }
  void ShowProgress(const StatusFormat *format, int32_t code) { console.ShowProgress(format, code); }
  void ShowMessage(const char *kind, const char *text) { console.ShowMessage(kind, text); }
  const char *HostString(int32_t stringId);
  int32_t GetRegistryValue(RegValueRecord *record) { return registry.GetValue(record); }
  int32_t SetRegistryValue(RegValueRecord *record) { return registry.SetValue(record); }
  XPDIALOG DefineDialog(const char *templateName, XPDialogCallback callback)
  {
    return dialogs.Define(templateName, callback);
  }
  int32_t RunDialog(XPDIALOG dialog) { return dialogs.Run(dialog); }
  void ReleaseDialog(XPDIALOG dialog) { dialogs.Release(dialog); }
  Dialog *FindDialog(XPDIALOG dialog) { return dialogs.Find(dialog); }
  HWND OpenDialogWindow() { return dialogs.OpenWindow(); }
  int32_t AskSaveFileName(const char *title, SaveFileRecord *record);
  void MakeFullFileName(const char *name, char *output);

private:
  void OfferClipboard(std::pair<int32_t, int32_t> size);

  // In the order they depend on each other: every part reports through the
  // console, and the registry is read before the module is loaded.
  Console console;
  RegistryBridge registry;
  ModuleLoader module;
  InputWords inputs;
  CommandRunner runner;
  DialogHost dialogs;
  int32_t clipboardBlock[10] = {};
  bool interactive;  // as the settings said: ask at the terminal
};

// The host the exported operations talk to; null outside a run.
Host *CurrentHost();
void SetCurrentHost(Host *host);
// "_GetSysVAdr@4": the current host's clipboard block, when --clipboard
// offered one; null for anything else.
void *SystemValues(int32_t which);

}  // namespace zulan

#endif
