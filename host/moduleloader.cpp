#include "moduleloader.h"
#include "inputwords.h"
#include "zulanplatform.h"
#include "text.h"

#include <algorithm>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zulan
{

namespace
{

// Module names and commands are read up to these limits, so a table without
// its ending cannot make the host read on forever.
const size_t MaxCommandNames = 1000;
const size_t MaxCommandNameBytes = 64;

}  // namespace

ModuleLoader::ModuleLoader(Console &out) : console(out) {}

#ifdef _WIN32

// Windows runs the library entry itself, on LoadLibrary and FreeLibrary; the
// dialog templates are the module's compiled resources.
ModuleLoader::LibraryEntry ModuleLoader::Entry() const
{
  return nullptr;
}

namespace
{

struct FoundTemplates
{
  std::vector<DialogTemplate> &templates;
  std::string problem;
};

// No exception may cross the system's frames between here and the loader.
BOOL CALLBACK AddDialogTemplate(HMODULE module, LPCSTR, LPSTR name, LONG_PTR context)
{
  auto &found = *reinterpret_cast<FoundTemplates *>(context);
  HRSRC resource = FindResourceA(module, name, RT_DIALOG);
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const void *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr)
    return TRUE;
  const std::string shownName = IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<uintptr_t>(name)) : name;
  try
  {
    found.templates.push_back(
      ParseDialogResource(shownName, static_cast<const uint8_t *>(bytes), SizeofResource(module, resource)));
  }
  catch (const ResourceScriptError &problem)
  {
    found.problem = problem.what();
  }
  return TRUE;
}

}  // namespace

std::string ModuleLoader::Load(const std::string &modulePath)
{
  // Attach runs inside LoadLibrary: it registers with this loader.
  path = modulePath;
  HMODULE module = LoadLibraryA(modulePath.c_str());
  if (module == nullptr)
    return "cannot load " + modulePath + " (error " + std::to_string(GetLastError()) + ")";
  handle = module;
  FoundTemplates found{dialogTemplates, ""};
  EnumResourceNamesA(module, RT_DIALOG, AddDialogTemplate, reinterpret_cast<LONG_PTR>(&found));
  if (!found.problem.empty())
    console.Warn("the module's resources cannot be read: " + found.problem);
#else

ModuleLoader::LibraryEntry ModuleLoader::Entry() const
{
  return reinterpret_cast<LibraryEntry>(dlsym(handle, "DllMain"));
}

std::string ModuleLoader::Load(const std::string &modulePath)
{
  handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr)
  {
    const char *error = dlerror();
    return error != nullptr ? error : "cannot load " + modulePath;
  }
  path = modulePath;
  const LibraryEntry entry = Entry();
  if (entry == nullptr)
  {
    dlclose(handle);
    handle = nullptr;
    return modulePath + " has no library entry DllMain";
  }
  if (auto script = static_cast<const char *>(dlsym(handle, "ZulanResourceScript")))
  {
    try
    {
      dialogTemplates = ParseResourceScript(script);
    }
    catch (const ResourceScriptError &problem)
    {
      console.Warn(std::string("the module's resources cannot be read: ") + problem.what());
    }
  }
  entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_ATTACH, nullptr);
#endif
  for (CommandTable *table : std::vector<CommandTable *>(tables))
    if (table->handlers != nullptr && table->handlers[0] != nullptr)
      table->handlers[0]();
  SendEvent(EventStartUp);
  return "";
}

void ModuleLoader::Detach()
{
  if (handle == nullptr)
    return;
  if (const LibraryEntry entry = Entry())
    entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_DETACH, nullptr);
  commands.clear();
  tables.clear();
  exports.clear();
}

void ModuleLoader::Close()
{
  if (handle == nullptr)
    return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle));
#else
  dlclose(handle);
#endif
  handle = nullptr;
}

void ModuleLoader::SendEvent(int32_t eventCode)
{
  for (CommandTable *table : std::vector<CommandTable *>(tables))
    if (table->eventCallback != nullptr)
      table->eventCallback(eventCode);
}

void ModuleLoader::RegisterCommands(CommandTable *table)
{
  if (table == nullptr || std::count(tables.begin(), tables.end(), table) != 0)
    return;
  table->hostModule = HostModuleHandle();
  tables.push_back(table);
  const char *name = table->commandNames;
  for (size_t index = 0; name != nullptr && *name != '\0' && index < MaxCommandNames; ++index)
  {
    const size_t length = strnlen(name, MaxCommandNameBytes);
    if (length == MaxCommandNameBytes)
    {
      console.Warn("a command name of the module has no end; later names ignored");
      break;
    }
    const XPHandler handler = table->handlers != nullptr ? table->handlers[index + 1] : nullptr;
    if (handler != nullptr)
      commands.push_back({table, Text::UpperCase(name), handler});
    name += length + 1;
  }
}

void ModuleLoader::UnregisterCommands(CommandTable *table)
{
  commands.erase(std::remove_if(commands.begin(), commands.end(),
                                [&](const RegisteredCommand &command) { return command.table == table; }),
                 commands.end());
  tables.erase(std::remove(tables.begin(), tables.end(), table), tables.end());
}

void ModuleLoader::RegisterExport(XPHandler handler, const char *description, const char *extension)
{
  if (handler == nullptr || description == nullptr)
    return;
  exports.push_back({handler, description, extension != nullptr ? extension : ""});
}

void ModuleLoader::AddMenuText(const char *text)
{
  if (text == nullptr)
    return;
  try
  {
    menus.push_back(ParseMenuText(text));
  }
  catch (const MenuTextError &problem)
  {
    console.Warn(std::string("menu not added: ") + problem.what());
  }
}

XPHandler ModuleLoader::FindCommand(const std::string &name) const
{
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const RegisteredCommand &command) { return command.name == name; });
  return found == commands.end() ? nullptr : found->handler;
}

const ExportFilter *ModuleLoader::FindExport(const std::string &name) const
{
  const auto found = std::find_if(exports.begin(), exports.end(), [&](const ExportFilter &filter) {
    return Text::UpperCase(filter.description) == Text::UpperCase(name)
           || Text::UpperCase(filter.extension) == Text::UpperCase(name);
  });
  return found == exports.end() ? nullptr : &*found;
}

std::string ModuleLoader::FormatCommands() const
{
  std::string text = "Commands:";
  for (const RegisteredCommand &command : commands)
    text += " " + command.name;
  text += " OPENDOC\nExport filters:";
  for (const ExportFilter &filter : exports)
    text += " \"" + filter.description + "\" (" + filter.extension + ")";
  return text + "\n";
}

}  // namespace zulan
