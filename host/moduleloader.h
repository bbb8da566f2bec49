// The loaded module and what it registers with the host: command tables,
// export filters, menus, and the dialog templates it carries.
#ifndef ZULAN_MODULELOADER_H
#define ZULAN_MODULELOADER_H

#include "console.h"
#include "hostapi.h"
#include "menus.h"
#include "resourcescript.h"

#include <string>
#include <vector>

namespace zulan
{

struct ExportFilter
{
  XPHandler handler;
  std::string description;
  std::string extension;
};

class ModuleLoader
{
public:
  explicit ModuleLoader(Console &console);

  // Loads the module and sends it attach, its initialisation entry and
  // event 14. Returns an error text, empty on success.
  std::string Load(const std::string &path);
  bool Loaded() const { return handle != nullptr; }
  // Sends detach and forgets the commands and filters. The library stays
  // mapped until Close, so that what still points into it can go first.
  void Detach();
  void Close();
  void SendEvent(int32_t eventCode);

  void RegisterCommands(CommandTable *table);
  void UnregisterCommands(CommandTable *table);
  void RegisterExport(XPHandler handler, const char *description, const char *extension);
  void AddMenuText(const char *text);

  // The handler of a command by its upper-case name; null when none.
  XPHandler FindCommand(const std::string &name) const;
  // An export filter by description or extension, in any case.
  const ExportFilter *FindExport(const std::string &name) const;
  std::string FormatCommands() const;
  const std::vector<Menu> &GetMenus() const { return menus; }
  const std::vector<DialogTemplate> &GetDialogTemplates() const { return dialogTemplates; }
  const std::string &GetPath() const { return path; }

private:
  struct RegisteredCommand
  {
    CommandTable *table;
    std::string name;
    XPHandler handler;
  };
  typedef BOOL(WINAPI *LibraryEntry)(HINSTANCE, DWORD, LPVOID);

  LibraryEntry Entry() const;

  Console &console;
  void *handle = nullptr;
  std::string path;
  std::vector<DialogTemplate> dialogTemplates;
  std::vector<RegisteredCommand> commands;
  std::vector<CommandTable *> tables;
  std::vector<ExportFilter> exports;
  std::vector<Menu> menus;
};

}  // namespace zulan

#endif
