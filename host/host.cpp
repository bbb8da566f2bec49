// The host's side of the module's world. Requests are answered after the
// handler returns, in the order the module asks, which is how the CAD host
// runs its request-and-continuation commands.
#include "host.h"
#include "hostdrawing.h"
#include "zulanplatform.h"

#include <winbase.h>
#include <winuser.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <iostream>

namespace zulan
{

namespace
{

Host *currentHost = nullptr;

// Module names and commands are read up to these limits, so a table without
// its ending cannot make the host read on forever.
const size_t MaxCommandNames = 1000;
const size_t MaxCommandNameBytes = 64;
const int MaxRequestsPerCommand = 100000;
const int32_t MaxRegistryValueBytes = 1 << 20;

std::string Upper(std::string text)
{
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

void *GetSystemValues(int32_t which)
{
  if (currentHost == nullptr || which != SystemValuesClipboard)
    return nullptr;
  return currentHost->ClipboardBlock();
}

std::string JoinWords(const std::deque<std::string> &words)
{
  std::string text;
  for (const std::string &word : words)
    text += (text.empty() ? "" : " ") + word;
  return text;
}

// The 1-based index of the save dialog's filter ("*.EXT") that matches the
// extension, or 1. Filters are pairs of NUL-ended texts, an empty one last.
int32_t FilterIndexFor(const char *filters, const std::string &extension)
{
  const size_t MaxFilters = 64;
  if (filters == nullptr)
    return 1;
  const char *text = filters;
  for (size_t index = 1; index <= MaxFilters && text[0] != '\0'; ++index)
  {
    const char *pattern = text + std::strlen(text) + 1;
    if (pattern[0] == '\0')
      break;
    if (Upper(std::string("*") + extension) == Upper(pattern))
      return static_cast<int32_t>(index);
    text = pattern + std::strlen(pattern) + 1;
  }
  return 1;
}

} // namespace

Host *CurrentHost()
{
  return currentHost;
}

void SetCurrentHost(Host *host)
{
  currentHost = host;
}

std::vector<std::string> SplitWords(const std::string &line)
{
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (char c : line)
  {
    if (quote != 0)
    {
      if (c == quote)
        quote = 0;
      else
        word += c;
    }
    else if (c == '"' || c == '\'')
    {
      quote = c;
      inWord = true;
    }
    else if (std::isspace(static_cast<unsigned char>(c)))
    {
      if (inWord)
        words.push_back(word);
      word.clear();
      inWord = false;
    }
    else
    {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    words.push_back(word);
  return words;
}

Host::Host(const HostSettings &settings) : settings(settings), status(stderr, settings.liveStatus)
{
  registry.Load(settings.registryPath);
  if (!registry.GetRefusal().empty())
    Warn("registry file " + settings.registryPath + " cannot be read (" + registry.GetRefusal()
         + "); using defaults, and it is left as it is in this run.");
  else if (!registry.GetLoadProblem().empty())
    Warn("registry file " + settings.registryPath + " is corrupt (" + registry.GetLoadProblem()
         + "); using defaults. It will be kept as " + settings.registryPath + ".corrupt when a value is saved.");
  // The host's own setting: smooth drawings.
  const std::optional<RegistryValue> smooth =
      registry.Get("HKEY_CURRENT_USER\\Software\\Zulan\\Drawing", "Antialias");
  if (smooth && smooth->type == 4 && smooth->bytes.size() == 4
      && (smooth->bytes[0] | smooth->bytes[1] | smooth->bytes[2] | smooth->bytes[3]) != 0)
    SetHostAntialias(true);
  if (settings.clipboardSize)
  {
    clipboardBlock[3] = settings.clipboardSize->first;
    clipboardBlock[4] = settings.clipboardSize->second;
    RegisterHostEntry(XP_GETSYSVADR_NAME, EntryCast<FARPROC>(GetSystemValues));
  }
  RegisterHostEntry(XP_GETPALADR_NAME, EntryCast<FARPROC>(HostPaletteEntry()));
  SetCurrentHost(this);
}

Host::~Host()
{
  UnloadModule();
  UnregisterHostEntry(XP_GETSYSVADR_NAME);
  UnregisterHostEntry(XP_GETPALADR_NAME);
  if (currentHost == this)
    SetCurrentHost(nullptr);
}

std::string Host::LoadModule(const std::string &path)
{
  moduleHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (moduleHandle == nullptr)
  {
    const char *error = dlerror();
    return error != nullptr ? error : "cannot load " + path;
  }
  modulePath = path;
  typedef BOOL(WINAPI * LibraryEntry)(HINSTANCE, DWORD, LPVOID);
  auto entry = reinterpret_cast<LibraryEntry>(dlsym(moduleHandle, "DllMain"));
  if (entry == nullptr)
  {
    dlclose(moduleHandle);
    moduleHandle = nullptr;
    return path + " has no library entry DllMain";
  }
  if (auto script = static_cast<const char *>(dlsym(moduleHandle, "ZulanResourceScript")))
  {
    try
    {
      dialogTemplates = ParseResourceScript(script);
    }
    catch (const ResourceScriptError &problem)
    {
      Warn(std::string("the module's resources cannot be read: ") + problem.what());
    }
  }
  entry(reinterpret_cast<HINSTANCE>(moduleHandle), DLL_PROCESS_ATTACH, nullptr);
  for (CommandTable *table : std::vector<CommandTable *>(tables))
    if (table->handlers != nullptr && table->handlers[0] != nullptr)
      table->handlers[0]();
  SendEvent(EventStartUp);
  return "";
}

void Host::UnloadModule()
{
  if (moduleHandle == nullptr)
    return;
  typedef BOOL(WINAPI * LibraryEntry)(HINSTANCE, DWORD, LPVOID);
  if (auto entry = reinterpret_cast<LibraryEntry>(dlsym(moduleHandle, "DllMain")))
    entry(reinterpret_cast<HINSTANCE>(moduleHandle), DLL_PROCESS_DETACH, nullptr);
  dialogs.clear();
  openDialogs.clear();
  commands.clear();
  tables.clear();
  exports.clear();
  dlclose(moduleHandle);
  moduleHandle = nullptr;
}

void Host::SendEvent(int32_t eventCode)
{
  for (CommandTable *table : std::vector<CommandTable *>(tables))
    if (table->eventCallback != nullptr)
      table->eventCallback(eventCode);
}

void Host::Warn(const std::string &text)
{
  Print(stderr, "zulan: " + text + "\n");
}

void Host::Print(std::FILE *stream, const std::string &text)
{
  status.Suspend();
  std::fflush(stdout);
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
  status.Resume();
}

std::optional<std::string> Host::NextInput(const std::string &prompt)
{
  if (inputs.empty() && settings.interactive)
  {
    Print(stdout, prompt + (prompt.empty() || prompt.back() == ' ' ? "" : " "));
    std::string line;
    if (!std::getline(std::cin, line))
      return std::nullopt;
    for (const std::string &word : SplitWords(line))
      inputs.push_back(word);
    if (inputs.empty())
      inputs.push_back("");
  }
  if (inputs.empty())
    return std::nullopt;
  std::string word = inputs.front();
  inputs.pop_front();
  return word;
}

void Host::RunCommandLine(const std::string &line)
{
  const std::vector<std::string> words = SplitWords(line);
  if (words.empty())
    return;
  const std::string name = Upper(words[0]);
  inputs.assign(words.begin() + 1, words.end());
  if (name == "OPENDOC")
  {
    OpenDocument(inputs.empty() ? "" : inputs.front());
    inputs.clear();
    return;
  }
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const RegisteredCommand &command) { return command.name == name; });
  if (found == commands.end())
  {
    Warn("unknown command " + words[0]);
    inputRefused = true;
    inputs.clear();
    return;
  }
  commandRunning = true;
  pendingRequest = nullptr;
  found->handler();
  RunPendingRequests();
  if (commandRunning)
    Warn("command " + name + " returned without ending");
  commandRunning = false;
  if (!inputs.empty())
  {
    Warn("command " + name + " did not use: " + JoinWords(inputs));
    inputRefused = true;
    inputs.clear();
  }
}

void Host::RunExport(const std::string &description, const std::string &fileName)
{
  const auto found = std::find_if(exports.begin(), exports.end(), [&](const ExportFilter &filter) {
    return Upper(filter.description) == Upper(description) || Upper(filter.extension) == Upper(description);
  });
  if (found == exports.end())
  {
    Warn("no export filter \"" + description + "\"");
    inputRefused = true;
    return;
  }
  exportFileName = fileName;
  inputs.clear();
  found->handler();
  RunPendingRequests();
}

void Host::RunMenuItem(const std::string &text)
{
  const size_t colon = text.find(':');
  const std::string label = text.substr(0, colon);
  std::string problem;
  const MenuItem *item = FindMenuItem(menus, label, &problem);
  if (item == nullptr)
  {
    Warn(problem);
    inputRefused = true;
    return;
  }
  RunCommandLine(item->command + (colon == std::string::npos ? "" : " " + text.substr(colon + 1)));
}

std::string Host::FormatCommands() const
{
  std::string text = "Commands:";
  for (const RegisteredCommand &command : commands)
    text += " " + command.name;
  text += " OPENDOC\nExport filters:";
  for (const ExportFilter &filter : exports)
    text += " \"" + filter.description + "\" (" + filter.extension + ")";
  return text + "\n";
}

void Host::RegisterCommands(CommandTable *table)
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
      Warn("a command name of the module has no end; later names ignored");
      break;
    }
    const XPHandler handler = table->handlers != nullptr ? table->handlers[index + 1] : nullptr;
    if (handler != nullptr)
      commands.push_back({table, Upper(name), handler});
    name += length + 1;
  }
}

void Host::UnregisterCommands(CommandTable *table)
{
  commands.erase(std::remove_if(commands.begin(), commands.end(),
                                [&](const RegisteredCommand &command) { return command.table == table; }),
                 commands.end());
  tables.erase(std::remove(tables.begin(), tables.end(), table), tables.end());
}

void Host::RegisterExport(XPHandler handler, const char *description, const char *extension)
{
  if (handler == nullptr || description == nullptr)
    return;
  exports.push_back({handler, description, extension != nullptr ? extension : ""});
}

void Host::RequestData(DataRequest *request)
{
  if (pendingRequest != nullptr)
    Warn("a request replaced one not yet answered");
  pendingRequest = request;
}

void Host::RunPendingRequests()
{
  for (int count = 0; pendingRequest != nullptr; ++count)
  {
    DataRequest *request = pendingRequest;
    pendingRequest = nullptr;
    if (count == MaxRequestsPerCommand)
    {
      Warn("too many requests in one command; stopped");
      return;
    }
    const bool given = AnswerRequest(*request);
    if (request->continuation != nullptr)
      request->continuation(given ? 0 : 1, 0, 0);
  }
}

bool Host::AnswerRequest(const DataRequest &request)
{
  const char *prompt = request.prompts != nullptr && request.prompts[0] != nullptr ? request.prompts[0] : "Input:";
  const std::optional<std::string> word = NextInput(prompt);
  if (!word)
  {
    Warn(std::string("no input for \"") + prompt + "\"; cancelled");
    return false;
  }
  if (Upper(*word) == "ESC" || request.target == nullptr)
    return false;
  if (request.inputCode == DataInputFileName || request.targetType == 2)
  {
    // The request carries no buffer size; both sides hold to XP_NAME_BYTES.
    if (word->size() >= XP_NAME_BYTES)
    {
      Warn("file name longer than " + std::to_string(XP_NAME_BYTES - 1) + " characters refused; cancelled");
      inputRefused = true;
      return false;
    }
    std::memcpy(request.target, word->c_str(), word->size() + 1);
    return true;
  }
  const size_t comma = word->find(',');
  char *end = nullptr;
  float point[2];
  bool valid = comma != std::string::npos;
  if (valid)
  {
    const std::string x = word->substr(0, comma), y = word->substr(comma + 1);
    point[0] = std::strtof(x.c_str(), &end);
    valid = !x.empty() && *end == '\0';
    point[1] = std::strtof(y.c_str(), &end);
    valid = valid && !y.empty() && *end == '\0' && std::isfinite(point[0]) && std::isfinite(point[1]);
  }
  if (!valid)
  {
    Warn("\"" + *word + "\" is not a point x,y; cancelled");
    inputRefused = true;
    return false;
  }
  std::memcpy(request.target, point, sizeof point);
  return true;
}

void Host::EndCommand()
{
  commandRunning = false;
}

void Host::ShowStatus(const char *text)
{
  if (text == nullptr)
    status.Clear();
  else
    status.Show(text);
}

void Host::ShowProgress(const StatusFormat *format, int32_t code)
{
  if (format == nullptr || format->text == nullptr)
    return;
  if (code != FormatCodeStatus || format->value == nullptr)
    status.Show(format->text);
  else
    status.Progress(format->text, *format->value);
}

void Host::ShowMessage(const char *kind, const char *text)
{
  const bool error = std::strcmp(kind, "ErrorBox") == 0;
  if (error)
    errorBoxShown = true;
  std::string shown;
  std::string line;
  const std::string message = text != nullptr ? text : "";
  for (size_t start = 0; start <= message.size();)
  {
    size_t end = message.find('\n', start);
    if (end == std::string::npos)
      end = message.size();
    shown += std::string(kind) + ": " + message.substr(start, end - start) + "\n";
    start = end + 1;
  }
  Print(error ? stderr : stdout, shown);
}

const char *Host::HostString(int32_t stringId)
{
  switch (stringId)
  {
  case StringHostProduct: return "Software\\Quorvel\\Tamblin";
  case StringExportFileName: return exportFileName.c_str();
  case StringClipboardKey: return "Software\\Quorvel\\Tamblin\\Settings";
  case StringClipboardValue: return "ClipboardResolution";
  default: return "";
  }
}

std::string Host::ResolveRegistryText(const char *field)
{
  const uintptr_t value = reinterpret_cast<uintptr_t>(field);
  if (value < 0x10000)
    return HostString(static_cast<int32_t>(value));
  return field;
}

int32_t Host::GetRegistryValue(RegValueRecord *record)
{
  if (record == nullptr || record->data == nullptr || record->dataSize <= 0)
    return 0;
  const std::string key = RegistryKeyName(record->rootKey, ResolveRegistryText(record->keyPath));
  const std::string name = ResolveRegistryText(record->valueName);
  const std::optional<RegistryValue> value = registry.Get(key, name);
  if (!value)
    return 0;
  // A value of another size is not the record the module expects; copying
  // part of it would mix stored and default fields.
  if (value->bytes.size() != static_cast<size_t>(record->dataSize))
  {
    Warn("registry value " + key + "\\" + name + " holds " + std::to_string(value->bytes.size())
         + " bytes where " + std::to_string(record->dataSize) + " were expected; using defaults");
    return 0;
  }
  std::memcpy(record->data, value->bytes.data(), value->bytes.size());
  return 1;
}

int32_t Host::SetRegistryValue(RegValueRecord *record)
{
  if (record == nullptr || record->data == nullptr || record->dataSize < 0
      || record->dataSize > MaxRegistryValueBytes)
    return 0;
  const std::string key = RegistryKeyName(record->rootKey, ResolveRegistryText(record->keyPath));
  RegistryValue value;
  value.type = record->valueType;
  const auto *bytes = static_cast<const uint8_t *>(record->data);
  value.bytes.assign(bytes, bytes + record->dataSize);
  const std::string error = registry.Set(key, ResolveRegistryText(record->valueName), value);
  if (!error.empty())
  {
    Warn("registry not saved: " + error);
    return 0;
  }
  return 1;
}

XPDIALOG Host::DefineDialog(const char *templateName, XPDialogCallback callback)
{
  const std::string name = templateName != nullptr ? templateName : "";
  for (const DialogTemplate &dialogTemplate : dialogTemplates)
    if (Upper(dialogTemplate.name) == Upper(name))
    {
      const std::string caption = dialogTemplate.caption;
      auto dialog = std::make_unique<Dialog>(dialogTemplate, callback, [this, caption](const std::string &line) {
        Print(stdout, "dialog \"" + caption + "\": " + line + "\n");
      });
      auto handle = reinterpret_cast<XPDIALOG>(dialog.get());
      dialogs[handle] = std::move(dialog);
      return handle;
    }
  Warn("the module has no dialog template " + name);
  return nullptr;
}

Dialog *Host::FindDialog(XPDIALOG handle)
{
  const auto found = dialogs.find(handle);
  return found == dialogs.end() ? nullptr : found->second.get();
}

int32_t Host::RunDialog(XPDIALOG handle)
{
  Dialog *dialog = FindDialog(handle);
  if (dialog == nullptr)
    return 0;
  const std::string caption = dialog->GetTemplate().caption;
  openDialogs.push_back(dialog);
  dialog->Open();
  // Someone about to answer at the terminal needs to see the controls.
  if (settings.showDialogs || (settings.interactive && inputs.empty()))
    Print(stdout, dialog->Format());
  Dialog::Outcome outcome = Dialog::Outcome::Continue;
  while (outcome == Dialog::Outcome::Continue)
  {
    const std::optional<std::string> word = NextInput(caption + ">");
    if (!word)
    {
      Warn("dialog \"" + caption + "\" got no ok or cancel; closed with Cancel");
      inputRefused = true;
      outcome = Dialog::Outcome::Cancel;
      break;
    }
    if (word->empty())
      continue;
    std::string problem;
    outcome = dialog->Apply(*word, &problem);
    if (!problem.empty())
    {
      Warn("dialog \"" + caption + "\": " + problem + "; \"" + *word + "\" ignored");
      inputRefused = true;
    }
  }
  const bool ok = outcome == Dialog::Outcome::Ok;
  if (settings.showDialogs)
    Print(stdout, dialog->Format());
  dialog->Close(outcome);
  Print(stdout, "dialog \"" + caption + "\": closed with " + (ok ? "OK" : "Cancel") + "\n");
  openDialogs.pop_back();
  return ok ? IDOK : IDCANCEL;
}

void Host::ReleaseDialog(XPDIALOG handle)
{
  Dialog *dialog = FindDialog(handle);
  if (dialog == nullptr)
    return;
  openDialogs.erase(std::remove(openDialogs.begin(), openDialogs.end(), dialog), openDialogs.end());
  dialogs.erase(handle);
}

HWND Host::OpenDialogWindow()
{
  return openDialogs.empty() ? nullptr : openDialogs.back()->GetWindow();
}

int32_t Host::AskSaveFileName(const char *title, SaveFileRecord *record)
{
  if (record == nullptr || record->name == nullptr)
    return 0;
  const std::optional<std::string> word = NextInput(std::string(title != nullptr ? title : "Save") + ":");
  if (!word || Upper(*word) == "ESC")
    return 0;
  // As a save dialog would: the name is taken in the folder the dialog
  // opened in (the current one), given the default extension when it has
  // none, and handed back as a full path.
  namespace fs = std::filesystem;
  fs::path chosen(*word);
  if (!chosen.empty() && !chosen.has_extension() && record->defaultExtension != nullptr
      && record->defaultExtension[0] != '\0')
    chosen += std::string(".") + record->defaultExtension;
  std::error_code error;
  const std::string full = word->empty() ? "" : fs::absolute(chosen, error).lexically_normal().string();
  if (full.empty() || error)
  {
    Warn("no file name chosen in \"" + std::string(title != nullptr ? title : "Save") + "\"; cancelled");
    inputRefused = true;
    return 0;
  }
  if (full.size() >= XP_NAME_BYTES)
  {
    Warn("file name longer than " + std::to_string(XP_NAME_BYTES - 1) + " characters refused");
    inputRefused = true;
    return 0;
  }
  std::memcpy(record->name, full.c_str(), full.size() + 1);
  if (record->filterIndex != nullptr)
    *record->filterIndex = FilterIndexFor(record->filters, chosen.extension().string());
  return 1;
}

void Host::MakeFullFileName(const char *name, char *output)
{
  if (output == nullptr)
    return;
  namespace fs = std::filesystem;
  std::error_code error;
  // Built apart from output: the module passes the same buffer for both.
  const std::string full = fs::absolute(fs::path(name != nullptr ? name : ""), error).lexically_normal().string();
  if (error || full.size() >= XP_PATH_BYTES)
  {
    Warn("full file name of \"" + std::string(name != nullptr ? name : "") + "\" is longer than "
         + std::to_string(XP_PATH_BYTES - 1) + " characters");
    output[0] = '\0';
    return;
  }
  std::memcpy(output, full.c_str(), full.size() + 1);
}

void Host::AddMenuText(const char *text)
{
  if (text == nullptr)
    return;
  try
  {
    menus.push_back(ParseMenuText(text));
  }
  catch (const MenuTextError &problem)
  {
    Warn(std::string("menu not added: ") + problem.what());
  }
}

void Host::OpenDocument(const std::string &name)
{
  if (name.empty())
  {
    Warn("document \"\" not found");
    return;
  }
  // The name is typed input: what the file system refuses in it (too long,
  // a current folder that is gone) is refused input, not the end of the run.
  namespace fs = std::filesystem;
  std::error_code error, folderError;
  std::vector<fs::path> places;
  if (!modulePath.empty())
    places.push_back(fs::path(modulePath).parent_path() / name);
  const fs::path current = fs::current_path(folderError);
  if (!folderError)
    places.push_back(current / name);
  for (const fs::path &place : places)
  {
    if (fs::exists(place, error))
    {
      Print(stdout, "Document: " + place.string() + "\n");
      return;
    }
    if (error)
      break;
  }
  if (!error)
    error = folderError;
  if (error)
  {
    Warn("document \"" + name + "\" cannot be looked for: " + error.message());
    inputRefused = true;
    return;
  }
  Warn("document \"" + name + "\" not found");
}

} // namespace zulan
