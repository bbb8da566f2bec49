// The basic Windows types the module is written against. On its home
// platform they come from <windows.h>; on Linux the replacement host's
// platform layer provides them and the functions declared beside this file.
#ifndef ZULAN_PLATFORM_WINTYPES_H
#define ZULAN_PLATFORM_WINTYPES_H

#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int32_t INT;
typedef char CHAR;
typedef CHAR *LPSTR;
typedef const CHAR *LPCSTR;
typedef void *LPVOID;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

// Handles are opaque pointers to distinct incomplete types, so that mixing
// them up does not compile.
#define ZULAN_DECLARE_HANDLE(name)                                                                                     \
  struct name##__;                                                                                                     \
  typedef struct name##__ *name
ZULAN_DECLARE_HANDLE(HWND);
ZULAN_DECLARE_HANDLE(HINSTANCE);
ZULAN_DECLARE_HANDLE(HDC);
ZULAN_DECLARE_HANDLE(HBITMAP);
#undef ZULAN_DECLARE_HANDLE
typedef void *HANDLE;
typedef void *HGDIOBJ;
typedef HINSTANCE HMODULE;
typedef intptr_t(WINAPI *FARPROC)();

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#endif
