// The operations the host executable exports to modules. Each hands the call
// to the running host; outside a run (no host) calls are ignored.
#include "host.h"

#include <winuser.h>

using zulan::CurrentHost;

extern "C"
{

  int32_t XPRegCmd(CommandTable *table)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->RegisterCommands(table);
    return 1;
  }

  int32_t XPUnregCmd(CommandTable *table)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->UnregisterCommands(table);
    return 1;
  }

  int32_t XPRegExport(XPHandler handler, const char *description, const char *extension)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->RegisterExport(handler, description, extension);
    return 1;
  }

  int32_t ReqData(DataRequest *request)
  {
    if (CurrentHost() != nullptr && request != nullptr)
      CurrentHost()->RequestData(request);
    return 0;
  }

  void CmdEnd()
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->EndCommand();
  }

  void StatusMsg(const char *text)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->ShowStatus(text);
  }

  void FormSt(const StatusFormat *format, int32_t code)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->ShowProgress(format, code);
  }

  void ErrorBox(const char *text)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->ShowMessage("ErrorBox", text);
  }

  void InfoBox(const char *text)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->ShowMessage("InfoBox", text);
  }

  const char *RscAdr(int32_t stringId)
  {
    return CurrentHost() != nullptr ? CurrentHost()->HostString(stringId) : "";
  }

  int32_t RMGetValue(RegValueRecord *record)
  {
    return CurrentHost() != nullptr ? CurrentHost()->GetRegistryValue(record) : 0;
  }

  int32_t RMSetValue(RegValueRecord *record)
  {
    return CurrentHost() != nullptr ? CurrentHost()->SetRegistryValue(record) : 0;
  }

  XPDIALOG DefDlg(const char *templateName, int32_t, int32_t, XPDialogCallback callback, int32_t, int32_t)
  {
    return CurrentHost() != nullptr ? CurrentHost()->DefineDialog(templateName, callback) : nullptr;
  }

  int32_t XPDlog(XPDIALOG dialog, HINSTANCE, int32_t)
  {
    return CurrentHost() != nullptr ? CurrentHost()->RunDialog(dialog) : 0;
  }

  void RelDlg(XPDIALOG dialog)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->ReleaseDialog(dialog);
  }

  void EDCTL(XPDIALOG dialog, int32_t controlId, int32_t, int32_t, int32_t length, int32_t *value,
             XPDialogCallback callback)
  {
    if (CurrentHost() != nullptr)
      if (zulan::Dialog *found = CurrentHost()->FindDialog(dialog))
        found->BindEdit(controlId, value, length, callback);
  }

  void CHKCTL(XPDIALOG dialog, int32_t controlId, int32_t, int32_t, int32_t *value, int32_t mask,
              XPDialogCallback callback)
  {
    if (CurrentHost() != nullptr)
      if (zulan::Dialog *found = CurrentHost()->FindDialog(dialog))
        found->BindCheck(controlId, value, mask, callback);
  }

  void RBCTL(XPDIALOG dialog, int32_t controlId, int32_t, int32_t, int32_t *value, int32_t buttonValue,
             XPDialogCallback callback)
  {
    if (CurrentHost() != nullptr)
      if (zulan::Dialog *found = CurrentHost()->FindDialog(dialog))
        found->BindRadio(controlId, value, buttonValue, callback);
  }

  HWND GetDlgWin()
  {
    return CurrentHost() != nullptr ? CurrentHost()->OpenDialogWindow() : nullptr;
  }

  void EnAbCtl(int32_t controlId)
  {
    EnableWindow(GetDlgItem(GetDlgWin(), controlId), TRUE);
  }

  void DsAbCtl(int32_t controlId)
  {
    EnableWindow(GetDlgItem(GetDlgWin(), controlId), FALSE);
  }

  int32_t GetSaveFN(const char *title, SaveFileRecord *record)
  {
    return CurrentHost() != nullptr ? CurrentHost()->AskSaveFileName(title, record) : 0;
  }

  void FullFileName(const char *name, char *output)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->MakeFullFileName(name, output);
  }

  void AddMenu(const char *menuText)
  {
    if (CurrentHost() != nullptr)
      CurrentHost()->AddMenuText(menuText);
  }

}  // extern "C"
