#include "fakehost.h"

#include "zulanplatform.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace fakehost
{

State state;

namespace
{

void Record(const std::string &call)
{
  state.calls.push_back(call);
}

std::string Text(const char *text)
{
  const uintptr_t value = reinterpret_cast<uintptr_t>(text);
  if (value < 0x10000)
    return "#" + std::to_string(value);
  return text;
}

XPDIALOG TheDialog()
{
  static char dialog;
  return reinterpret_cast<XPDIALOG>(&dialog);
}

HWND dialogWindow;

}  // namespace

void Reset()
{
  state = State();
  if (dialogWindow == nullptr)
  {
    dialogWindow = zulan::CreateWindowRecord(nullptr, 0, true, true);
    zulan::CreateWindowRecord(dialogWindow, 1014, true, true);
    zulan::CreateWindowRecord(dialogWindow, 2015, false, true);
  }
  ShowWindow(GetDlgItem(dialogWindow, 1014), SW_SHOW);
  ShowWindow(GetDlgItem(dialogWindow, 2015), SW_HIDE);
}

uint32_t *PaletteEntry()
{
  return state.palette;
}

void AnswerPoint(float x, float y)
{
  DataRequest *request = state.request;
  state.request = nullptr;
  const float point[2] = {x, y};
  std::memcpy(request->target, point, sizeof point);
  request->continuation(0, 0, 0);
}

void AnswerName(const std::string &name)
{
  DataRequest *request = state.request;
  state.request = nullptr;
  std::memcpy(request->target, name.c_str(), name.size() + 1);
  request->continuation(0, 0, 0);
}

void Cancel()
{
  DataRequest *request = state.request;
  state.request = nullptr;
  request->continuation(1, 0, 0);
}

std::string RegistryKey(const std::string &name)
{
  return "Software\\Quorvel\\Tamblin\\XP\\Larnby\\Rastello (Tamblin)\\|" + name;
}

}  // namespace fakehost

using fakehost::state;

extern "C"
{

  int32_t XPRegCmd(CommandTable *table)
  {
    fakehost::Record("XPRegCmd");
    table->hostModule = zulan::HostModuleHandle();
    return 1;
  }

  int32_t XPUnregCmd(CommandTable *)
  {
    fakehost::Record("XPUnregCmd");
    return 1;
  }

  int32_t XPRegExport(XPHandler, const char *description, const char *extension)
  {
    fakehost::Record(std::string("XPRegExport(") + description + "," + extension + ")");
    return 1;
  }

  int32_t ReqData(DataRequest *request)
  {
    fakehost::Record(std::string("ReqData(") + request->prompts[0] + "," + std::to_string(request->inputCode) + ")");
    state.request = request;
    return 0;
  }

  void CmdEnd()
  {
    fakehost::Record("CmdEnd");
  }

  void StatusMsg(const char *text)
  {
    fakehost::Record(std::string("StatusMsg(") + (text ? text : "null") + ")");
  }

  void FormSt(const StatusFormat *format, int32_t code)
  {
    std::string text = format->text;
    const size_t figure = text.find("!01");
    if (figure != std::string::npos && code == 11)
      text.replace(figure, 3, std::to_string(*format->value));
    fakehost::Record("FormSt(" + text + ")");
  }

  void ErrorBox(const char *text)
  {
    fakehost::Record(std::string("ErrorBox(") + text + ")");
  }

  void InfoBox(const char *text)
  {
    fakehost::Record(std::string("InfoBox(") + text + ")");
  }

  const char *RscAdr(int32_t stringId)
  {
    fakehost::Record("RscAdr(" + std::to_string(stringId) + ")");
    if (stringId == 3307)
      return state.exportName.c_str();
    return stringId == 3053 ? "Software\\Quorvel\\Tamblin" : "";
  }

  int32_t RMGetValue(RegValueRecord *record)
  {
    const std::string key = fakehost::Text(record->keyPath) + "|" + fakehost::Text(record->valueName);
    fakehost::Record("RMGetValue(" + key + "," + std::to_string(record->dataSize) + ","
                     + std::to_string(record->valueType) + "," + std::to_string(record->dataSizeAgain) + ")");
    const auto found = state.registry.find(key);
    if (found == state.registry.end() || found->second.size() != static_cast<size_t>(record->dataSize))
      return 0;
    std::memcpy(record->data, found->second.data(), found->second.size());
    return 1;
  }

  int32_t RMSetValue(RegValueRecord *record)
  {
    const std::string key = fakehost::Text(record->keyPath) + "|" + fakehost::Text(record->valueName);
    fakehost::Record("RMSetValue(" + key + "," + std::to_string(record->dataSize) + ")");
    const auto *bytes = static_cast<const uint8_t *>(record->data);
    state.registry[key].assign(bytes, bytes + record->dataSize);
    return 1;
  }

  XPDIALOG DefDlg(const char *templateName, int32_t, int32_t, XPDialogCallback callback, int32_t, int32_t)
  {
    fakehost::Record(std::string("DefDlg(") + templateName + ")");
    state.callbacks.push_back(callback);
    return fakehost::TheDialog();
  }

  int32_t XPDlog(XPDIALOG dialog, HINSTANCE, int32_t)
  {
    fakehost::Record(dialog == fakehost::TheDialog() ? "XPDlog" : "XPDlog(wrong dialog)");
    return state.dialogResult;
  }

  void RelDlg(XPDIALOG)
  {
    fakehost::Record("RelDlg");
  }

  void EDCTL(XPDIALOG, int32_t controlId, int32_t a, int32_t b, int32_t length, int32_t *value, XPDialogCallback)
  {
    fakehost::Record("EDCTL(" + std::to_string(controlId) + "," + std::to_string(a) + "," + std::to_string(b) + ","
                     + std::to_string(length) + "," + std::to_string(*value) + ")");
  }

  void CHKCTL(XPDIALOG, int32_t controlId, int32_t, int32_t, int32_t *value, int32_t mask, XPDialogCallback callback)
  {
    fakehost::Record("CHKCTL(" + std::to_string(controlId) + "," + std::to_string(*value) + "," + std::to_string(mask)
                     + (callback ? ",callback" : "") + ")");
    if (callback)
      state.callbacks.push_back(callback);
  }

  void RBCTL(XPDIALOG, int32_t controlId, int32_t, int32_t, int32_t *value, int32_t buttonValue,
             XPDialogCallback callback)
  {
    fakehost::Record("RBCTL(" + std::to_string(controlId) + "," + std::to_string(*value) + ","
                     + std::to_string(buttonValue) + (callback ? ",callback" : "") + ")");
  }

  HWND GetDlgWin()
  {
    return fakehost::dialogWindow;
  }

  void EnAbCtl(int32_t controlId)
  {
    fakehost::Record("EnAbCtl(" + std::to_string(controlId) + ")");
  }

  void DsAbCtl(int32_t controlId)
  {
    fakehost::Record("DsAbCtl(" + std::to_string(controlId) + ")");
  }

  void *GetHeaderAdr()
  {
    return state.header;
  }

  void DevUseBitmap(HDC) {}
  void DevUsePrior() {}

  void DevUseColor(int32_t index)
  {
    fakehost::Record("DevUseColor(" + std::to_string(index) + ")");
  }

  void DevSRect(const PixelRect *r)
  {
    fakehost::Record("DevSRect(" + std::to_string(r->xa) + "," + std::to_string(r->ya) + "," + std::to_string(r->xb)
                     + "," + std::to_string(r->yb) + ")");
  }

  void SetBMView(const WorldRect *, const PixelRect *r)
  {
    fakehost::Record("SetBMView(" + std::to_string(r->xb) + "x" + std::to_string(r->yb) + ")");
  }

  int32_t DLScan(int32_t, XPEntityCallback, int32_t, int32_t, int32_t)
  {
    return 0;
  }
  int32_t AskLayerHidden(int32_t)
  {
    return 0;
  }
  void EDraw1(const void *) {}
  void BgnPExtents() {}
  void EXCheck(const void *) {}

  void EndPExtents(float *extents)
  {
    std::memcpy(extents, state.extents, sizeof state.extents);
  }

  void NewCsrOrg(float x, float y)
  {
    char text[64];
    std::snprintf(text, sizeof text, "NewCsrOrg(%g,%g)", x, y);
    fakehost::Record(text);
  }

  void Redraw()
  {
    fakehost::Record("Redraw");
  }

  int32_t GetSaveFN(const char *title, SaveFileRecord *record)
  {
    fakehost::Record(std::string("GetSaveFN(") + title + "," + record->name + "," + record->defaultExtension + ","
                     + std::to_string(record->word4) + "," + std::to_string(record->word5) + ","
                     + std::to_string(record->word6) + "," + record->mode + ")");
    char folder[4096];
    state.folderAtSave = getcwd(folder, sizeof folder) != nullptr ? folder : "";
    if (state.saveResult != 0)
      std::memcpy(record->name, state.saveName.c_str(), state.saveName.size() + 1);
    return state.saveResult;
  }

  void FullFileName(const char *name, char *output)
  {
    const std::string full = std::string(name);
    std::memmove(output, full.c_str(), full.size() + 1);
  }

  void AddMenu(const char *menuText)
  {
    fakehost::Record(std::string("AddMenu(") + menuText + ")");
  }

}  // extern "C"
