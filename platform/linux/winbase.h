// KERNEL32 subset: library entry reasons, GetProcAddress over the host's
// name table, and the process's current directory.
#ifndef ZULAN_PLATFORM_WINBASE_H
#define ZULAN_PLATFORM_WINBASE_H

#include "wintypes.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define MAX_PATH 260

extern "C"
{

  // Finds an entry of a module by name. Names such as "_GetSysVAdr@4" cannot
  // be ELF symbols, so the host's entries come from a name table it fills;
  // other modules are searched with dlsym.
  FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
  // Returns the number of characters written (without the NUL), or the size
  // needed (with the NUL) when the buffer is too small, or 0 on failure.
  DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
  BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);
  DWORD WINAPI GetLastError();

}  // extern "C"

#endif
