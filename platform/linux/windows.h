// The Windows subset the module calls, provided on Linux by the replacement
// host (the host executable exports these functions; the module resolves
// them when the host loads it).
#ifndef ZULAN_PLATFORM_WINDOWS_H
#define ZULAN_PLATFORM_WINDOWS_H

#include "wintypes.h"
#include "winbase.h"  // KERNEL32: GetProcAddress, Get/SetCurrentDirectoryA
#include "winuser.h"  // USER: wsprintfA, GetDlgItem, ShowWindow
#include "wingdi.h"   // GDI: device contexts, compatible bitmaps, GetDIBits

#endif
