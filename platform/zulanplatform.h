// What the host itself needs of its platform layer beyond the Windows calls:
// filling GetProcAddress's name table and keeping the window records behind
// the HWNDs that dialogs hand out.
#ifndef ZULAN_PLATFORM_ZULANPLATFORM_H
#define ZULAN_PLATFORM_ZULANPLATFORM_H

#include <windows.h>

#include <functional>
#include <string>

namespace zulan
{

// The handle GetProcAddress answers from the name table.
HMODULE HostModuleHandle();
void RegisterHostEntry(const std::string &name, FARPROC entry);
void UnregisterHostEntry(const std::string &name);

enum class WindowChange
{
  Shown,
  Hidden,
  Enabled,
  Disabled
};
typedef std::function<void(HWND window, WindowChange change)> WindowObserver;

// A window record: a dialog (no parent) or one of its controls. Destroying
// a parent destroys its children; stale handles are then refused.
HWND CreateWindowRecord(HWND parent, int id, bool visible, bool enabled);
void DestroyWindowRecord(HWND window);
int GetWindowId(HWND window);
// Called after each actual change of a window or of its children.
void SetWindowObserver(HWND window, WindowObserver observer);

}  // namespace zulan

#endif
