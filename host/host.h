// The replacement host: loads a module, keeps what it registers (command
// tables, export filters, menus), runs typed commands through the module's
// own table and answers its requests from a queue of input words.
#ifndef ZULAN_HOST_H
#define ZULAN_HOST_H

#include "dialog.h"
#include "hostapi.h"
#include "menus.h"
#include "registry.h"
#include "resourcescript.h"
#include "statusline.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zulan
{

struct HostSettings
{
  std::string registryPath;
  bool interactive = false;        // stdin is a terminal: ask when inputs run out
  bool liveStatus = false;         // stderr is a terminal
  bool showDialogs = false;
  std::optional<std::pair<int32_t, int32_t>> clipboardSize;
};

struct ExportFilter
{
  XPHandler handler;
  std::string description;
  std::string extension;
};

class Host
{
public:
  explicit Host(const HostSettings &settings);
  ~Host();

  // Loads the module and sends it attach, its initialisation entry and
  // event 14. Returns an error text, empty on success.
  std::string LoadModule(const std::string &path);
  void UnloadModule();
  void SendEvent(int32_t eventCode);

  // A command line: the command name, then the words that answer its
  // requests and dialogs. Host commands (OPENDOC) are run here too.
  void RunCommandLine(const std::string &line);
  void RunExport(const std::string &description, const std::string &fileName);
  void RunMenuItem(const std::string &name);

  const std::vector<Menu> &GetMenus() const { return menus; }
  std::string FormatCommands() const;
  bool ErrorBoxShown() const { return errorBoxShown; }
  bool InputRefused() const { return inputRefused; }
  Registry &GetRegistry() { return registry; }
  // The 40-byte block "_GetSysVAdr@4" returns for 3: words 3 and 4 hold
  // the clipboard bitmap's width and height.
  int32_t *ClipboardBlock() { return clipboardBlock; }

  // Host operations, called through the exported C functions.
  void RegisterCommands(CommandTable *table);
  void UnregisterCommands(CommandTable *table);
  void RegisterExport(XPHandler handler, const char *description, const char *extension);
  void RequestData(DataRequest *request);
  void EndCommand();
  void ShowStatus(const char *text);
  void ShowProgress(const StatusFormat *format, int32_t code);
  void ShowMessage(const char *kind, const char *text);
  const char *HostString(int32_t stringId);
  int32_t GetRegistryValue(RegValueRecord *record);
  int32_t SetRegistryValue(RegValueRecord *record);
  XPDIALOG DefineDialog(const char *templateName, XPDialogCallback callback);
  int32_t RunDialog(XPDIALOG dialog);
  void ReleaseDialog(XPDIALOG dialog);
  Dialog *FindDialog(XPDIALOG dialog);
  HWND OpenDialogWindow();
  int32_t AskSaveFileName(const char *title, SaveFileRecord *record);
  void MakeFullFileName(const char *name, char *output);
  void AddMenuText(const char *text);

private:
  struct RegisteredCommand
  {
    CommandTable *table;
    std::string name;
    XPHandler handler;
  };

  // The next input word, asking on the terminal when the queue is empty
  // and that is allowed; nullopt when there is none.
  std::optional<std::string> NextInput(const std::string &prompt);
  void RunPendingRequests();
  bool AnswerRequest(const DataRequest &request);
  void Warn(const std::string &text);
  void Print(std::FILE *stream, const std::string &text);
  std::string ResolveRegistryText(const char *field);
  void OpenDocument(const std::string &name);

  HostSettings settings;
  Registry registry;
  StatusLine status;
  void *moduleHandle = nullptr;
  std::string modulePath;
  std::vector<DialogTemplate> dialogTemplates;
  std::vector<RegisteredCommand> commands;
  std::vector<CommandTable *> tables;
  std::vector<ExportFilter> exports;
  std::vector<Menu> menus;
  std::map<XPDialog__ *, std::unique_ptr<Dialog>> dialogs;
  std::vector<Dialog *> openDialogs;
  std::deque<std::string> inputs;
  DataRequest *pendingRequest = nullptr;
  bool commandRunning = false;
  bool errorBoxShown = false;
  bool inputRefused = false;
  std::string exportFileName;      // host string 3307
  int32_t clipboardBlock[10] = {};
};

// The host the exported operations talk to; null outside a run.
Host *CurrentHost();
void SetCurrentHost(Host *host);

// Splits a command line into words; quotes group words with blanks.
std::vector<std::string> SplitWords(const std::string &line);

} // namespace zulan

#endif
