// The host's parts put together, and the optional entries it offers the
// module by name.
#include "host.h"
#include "filenames.h"
#include "drawingdevice.h"
#include "zulanplatform.h"

#include <iostream>

namespace zulan
{

namespace
{

Host *currentHost = nullptr;

}  // namespace

void *SystemValues(int32_t which)
{
  if (currentHost == nullptr || which != SystemValuesClipboard)
    return nullptr;
  int32_t *block = currentHost->ClipboardBlock();
  return block[3] > 0 && block[4] > 0 ? block : nullptr;
}

Host *CurrentHost()
{
  return currentHost;
}

void SetCurrentHost(Host *host)
{
  currentHost = host;
}

Host::Host(const HostSettings &settings)
  : console(settings.liveStatus),
    registry(settings.registryPath, console, [this](int32_t stringId) { return HostString(stringId); }),
    module(console),
    inputs(console, settings.interactive, settings.terminal != nullptr ? *settings.terminal : std::cin),
    runner(module, inputs, console), dialogs(module.GetDialogTemplates(), inputs, console, settings.showDialogs),
    interactive(settings.interactive)
{
  if (registry.DrawingAntialias())
    CurrentDevice().SetAntialias(true);
  if (settings.clipboardSize)
    OfferClipboard(*settings.clipboardSize);
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

void Host::OfferClipboard(std::pair<int32_t, int32_t> size)
{
  clipboardBlock[3] = size.first;
  clipboardBlock[4] = size.second;
  RegisterHostEntry(XP_GETSYSVADR_NAME, EntryCast<FARPROC>(SystemValues));
}

bool Host::ApplyRunSettings(const std::vector<std::string> &controlWords,
                            const std::optional<std::pair<int32_t, int32_t>> &size)
{
  std::vector<std::string> words = {"JPEGOPT"};
  words.insert(words.end(), controlWords.begin(), controlWords.end());
  if (size)
  {
    // The way a CAD host hands the module a size of its choosing.
    OfferClipboard(*size);
    words.push_back("1010=on");
  }
  words.push_back("ok");
  registry.KeepInMemory();
  // A refused value must end the run, not wait at the terminal.
  inputs.SetInteractive(false);
  dialogs.SetQuiet(true);
  runner.RunCommandWords(words);
  dialogs.SetQuiet(false);
  inputs.SetInteractive(interactive);
  return !console.ErrorBoxShown() && !console.InputRefused();
}

void Host::UnloadModule()
{
  if (!module.Loaded())
    return;
  module.Detach();
  // The dialogs hold the module's callbacks and bound integers: they go
  // before the library is unmapped.
  dialogs.Clear();
  module.Close();
}

const char *Host::HostString(int32_t stringId)
{
  switch (stringId)
  {
  case StringHostProduct:
    return "Software\\Quorvel\\Tamblin";
  case StringExportFileName:
    return runner.GetExportFileName().c_str();
  case StringClipboardKey:
    return "Software\\Quorvel\\Tamblin\\Settings";
  case StringClipboardValue:
    return "ClipboardResolution";
  default:
    return "";
  }
}

int32_t Host::AskSaveFileName(const char *title, SaveFileRecord *record)
{
  return zulan::AskSaveFileName(inputs, console, title, record);
}

void Host::MakeFullFileName(const char *name, char *output)
{
  zulan::MakeFullFileName(console, name, output);
}

}  // namespace zulan
