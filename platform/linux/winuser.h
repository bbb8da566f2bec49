// USER subset: wsprintfA and the few window calls the options dialog makes.
#ifndef ZULAN_PLATFORM_WINUSER_H
#define ZULAN_PLATFORM_WINUSER_H

#include "wintypes.h"

#ifndef WINAPIV
#define WINAPIV
#endif

#define IDOK 1
#define IDCANCEL 2

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

extern "C"
{

  // Like Windows, writes at most 1024 bytes including the NUL.
  int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);
  HWND WINAPI GetDlgItem(HWND dialog, int controlId);
  // Returns whether the window was visible before.
  BOOL WINAPI ShowWindow(HWND window, int command);
  // Returns whether the window was disabled before.
  BOOL WINAPI EnableWindow(HWND window, BOOL enable);
  BOOL WINAPI IsWindowVisible(HWND window);
  BOOL WINAPI IsWindowEnabled(HWND window);

}  // extern "C"

#endif
