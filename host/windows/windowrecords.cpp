// The host's platform layer on Windows. The executable's export table
// offers the host entries, so there is no name table to fill; dialogs are
// real windows, which the module's GetDlgItem, ShowWindow and EnableWindow
// act on as they would in the CAD host.
#include "zulanplatform.h"

#include <map>

namespace zulan
{

namespace
{

const char RecordClassName[] = "ZulanWindowRecord";

std::map<HWND, WindowObserver> &Observers()
{
  static std::map<HWND, WindowObserver> observers;
  return observers;
}

void Notify(HWND window, WindowChange change)
{
  HWND dialog = GetAncestor(window, GA_ROOT);
  const auto found = Observers().find(dialog != nullptr ? dialog : window);
  if (found != Observers().end() && found->second)
    found->second(window, change);
}

// The system tells a window of its own changes only when there is one.
LRESULT CALLBACK RecordProcedure(HWND window, UINT message, WPARAM parameter, LPARAM detail)
{
  if (message == WM_SHOWWINDOW)
    Notify(window, parameter ? WindowChange::Shown : WindowChange::Hidden);
  else if (message == WM_ENABLE)
    Notify(window, parameter ? WindowChange::Enabled : WindowChange::Disabled);
  return DefWindowProcA(window, message, parameter, detail);
}

void RegisterRecordClass()
{
  static const bool registered = [] {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = RecordClassName;
    return RegisterClassA(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

HMODULE HostModuleHandle()
{
  return GetModuleHandleA(nullptr);
}

void RegisterHostEntry(const std::string &, FARPROC) {}

void UnregisterHostEntry(const std::string &) {}

HWND CreateWindowRecord(HWND parent, int id, bool visible, bool enabled)
{
  RegisterRecordClass();
  const DWORD style =
    (parent != nullptr ? WS_CHILD : WS_POPUP) | (visible ? WS_VISIBLE : 0) | (enabled ? 0 : WS_DISABLED);
  HMENU childId = parent != nullptr ? reinterpret_cast<HMENU>(static_cast<intptr_t>(id)) : nullptr;
  return CreateWindowExA(0, RecordClassName, "", style, 0, 0, 8, 8, parent, childId, GetModuleHandleA(nullptr),
                         nullptr);
}

void DestroyWindowRecord(HWND window)
{
  Observers().erase(window);
  DestroyWindow(window);
}

int GetWindowId(HWND window)
{
  return GetDlgCtrlID(window);
}

void SetWindowObserver(HWND window, WindowObserver observer)
{
  Observers()[window] = std::move(observer);
}

}  // namespace zulan
