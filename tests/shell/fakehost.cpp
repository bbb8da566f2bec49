#include "fakehost.h"

#include "zulanplatform.h"

#include <cstring>

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

} // namespace

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

std::string RegistryKey(const std::string &name)
{
  return "Software\\Quorvel\\Tamblin\\XP\\Larnby\\Rastello (Tamblin)\\|" + name;
}

} // namespace fakehost

using fakehost::state;

extern "C" {

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

int32_t ReqData(DataRequest *)
{
  fakehost::Record("ReqData");
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

void FormSt(const StatusFormat *, int32_t)
{
  fakehost::Record("FormSt");
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
  fakehost::Record("CHKCTL(" + std::to_string(controlId) + "," + std::to_string(*value) + ","
                   + std::to_string(mask) + (callback ? ",callback" : "") + ")");
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

void *GetHeaderAdr() { return nullptr; }
void DevUseBitmap(HDC) {}
void DevUsePrior() {}
void DevUseColor(int32_t) {}
void DevSRect(const PixelRect *) {}
void SetBMView(const WorldRect *, const PixelRect *) {}
int32_t DLScan(int32_t, XPEntityCallback, int32_t, int32_t, int32_t) { return 0; }
int32_t AskLayerHidden(int32_t) { return 0; }
void EDraw1(const void *) {}
void BgnPExtents() {}
void EXCheck(const void *) {}
void EndPExtents(float *) {}
void NewCsrOrg(float, float) {}
void Redraw() {}
int32_t GetSaveFN(const char *, SaveFileRecord *) { return 0; }
void FullFileName(const char *, char *output) { output[0] = '\0'; }

void AddMenu(const char *menuText)
{
  fakehost::Record(std::string("AddMenu(") + menuText + ")");
}

} // extern "C"
