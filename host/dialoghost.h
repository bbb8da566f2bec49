// The module's dialogs (DefDlg, XPDlog, RelDlg): made from the module's
// templates, driven by the input words, printed with --show-dialog.
#ifndef ZULAN_DIALOGHOST_H
#define ZULAN_DIALOGHOST_H

#include "console.h"
#include "dialog.h"
#include "hostapi.h"
#include "inputwords.h"
#include "resourcescript.h"

#include <map>
#include <memory>
#include <vector>

namespace zulan
{

class DialogHost
{
public:
  DialogHost(const std::vector<DialogTemplate> &templates, InputWords &inputs, Console &console, bool showDialogs);

  XPDIALOG Define(const char *templateName, XPDialogCallback callback);
  // IDOK or IDCANCEL; 0 for a handle that is not a dialog.
  int32_t Run(XPDIALOG handle);
  void Release(XPDIALOG handle);
  Dialog *Find(XPDIALOG handle);
  // The innermost open dialog's window, or null.
  HWND OpenWindow() const;
  void Clear();
  // Quiet: a dialog's changes and how it closed are not printed (unless
  // --show-dialog asked for them); refusals still are.
  void SetQuiet(bool on) { quiet = on; }

private:
  const std::vector<DialogTemplate> &templates;
  InputWords &inputs;
  Console &console;
  bool showDialogs;
  bool quiet = false;
  std::map<XPDialog__ *, std::unique_ptr<Dialog>> dialogs;
  std::vector<Dialog *> openDialogs;
};

}  // namespace zulan

#endif
