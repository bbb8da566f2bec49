// JPEGOPT: the options dialog IDD_DLGJPEG bound to the export settings.
// The record is written back only when the dialog closes with OK and every
// value is in range.
#include "commandtable.h"
#include "exportoptions.h"
#include "resource.h"

namespace
{

const int32_t DialogOk = 1;

// Runs when the dialog opens and whenever "Use clipboard resolution" changes.
int32_t OptionsDialogCallback()
{
  if (exportOptions.flags & FlagClipboardSize)
  {
    DsAbCtl(IDC_WIDTH);
    DsAbCtl(IDC_HEIGHT);
  }
  else
  {
    EnAbCtl(IDC_WIDTH);
    EnAbCtl(IDC_HEIGHT);
  }
  HWND dialogWindow = GetDlgWin();
  ShowWindow(GetDlgItem(dialogWindow, IDC_HELP_BUTTON), SW_HIDE);
  ShowWindow(GetDlgItem(dialogWindow, IDC_BLACK_AND_WHITE), SW_SHOW);
  return 0;
}

// Why the typed values cannot be kept, naming the control and its range
// as a Windows dialog would; null when they all can. A size greyed out for
// the clipboard's is not the user's to fix here.
const char *RefusedValue()
{
  if ((exportOptions.flags & FlagClipboardSize) == 0)
  {
    if (exportOptions.width < 1 || exportOptions.width > MaxBitmapSide)
      return "Width: enter a whole number of pixels from 1 to 65535";
    if (exportOptions.height < 1 || exportOptions.height > MaxBitmapSide)
      return "Height: enter a whole number of pixels from 1 to 65535";
  }
  if (exportOptions.quality < MinQuality || exportOptions.quality > MaxQuality)
    return "Quality: enter a whole number from 1 to 100";
  return nullptr;
}

}  // namespace

void JPEGOPT()
{
  // The dialog shows the stored size, never the clipboard's.
  LoadOptions(0);
  XPDIALOG dialog = DefDlg("IDD_DLGJPEG", 0, 0, OptionsDialogCallback, 0, 0);
  EDCTL(dialog, IDC_WIDTH, 0, 3, 4, &exportOptions.width, nullptr);
  EDCTL(dialog, IDC_HEIGHT, 0, 3, 4, &exportOptions.height, nullptr);
  CHKCTL(dialog, IDC_CLIPBOARD_SIZE, 0, 0, &exportOptions.flags, FlagClipboardSize, OptionsDialogCallback);
  EDCTL(dialog, IDC_QUALITY, 0, 3, 3, &exportOptions.quality, nullptr);
  CHKCTL(dialog, IDC_GREYSCALE, 0, 0, &exportOptions.flags, FlagGreyscale, nullptr);
  CHKCTL(dialog, IDC_PROGRESSIVE, 0, 0, &exportOptions.flags, FlagProgressive, nullptr);
  RBCTL(dialog, IDC_PNG_FAST, 0, 0, &exportOptions.pngLevel, 1, nullptr);
  RBCTL(dialog, IDC_PNG_DEFAULT, 0, 0, &exportOptions.pngLevel, -1, nullptr);
  RBCTL(dialog, IDC_PNG_MAXIMUM, 0, 0, &exportOptions.pngLevel, 9, nullptr);
  RBCTL(dialog, IDC_UNUSED_NORMAL, 0, 0, &exportOptions.unusedArea, UnusedNormal, nullptr);
  RBCTL(dialog, IDC_UNUSED_CROP, 0, 0, &exportOptions.unusedArea, UnusedCrop, nullptr);
  RBCTL(dialog, IDC_UNUSED_BLANK, 0, 0, &exportOptions.unusedArea, UnusedBlank, nullptr);
  CHKCTL(dialog, IDC_BLACK_AND_WHITE, 0, 0, &exportOptions.blackAndWhite, 1, nullptr);
  // OK with a value out of range shows why and leaves the dialog open with
  // what was typed; the settings are saved whole or not at all.
  while (XPDlog(dialog, commandTable.moduleInstance, 0) == DialogOk)
  {
    if (const char *problem = RefusedValue())
    {
      ErrorBox(problem);
      continue;
    }
    SaveOptions();
    break;
  }
  RelDlg(dialog);
  CmdEnd();
}
