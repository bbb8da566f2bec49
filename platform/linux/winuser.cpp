// USER calls over the host's window records. A window here is only what a
// headless dialog needs: an id, a parent, and visible/enabled states whose
// changes are reported to an observer so the host can show them.
#include "winuser.h"
#include "zulanplatform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <vector>

struct HWND__
{
  HWND parent;
  int id;
  bool visible;
  bool enabled;
  std::vector<HWND> children;
  zulan::WindowObserver observer;
};

namespace
{

// Windows' wsprintf never writes more than this, NUL included.
const int WsprintfLimit = 1024;

std::set<HWND> &LiveWindows()
{
  static std::set<HWND> windows;
  return windows;
}

bool IsLive(HWND window)
{
  return window != nullptr && LiveWindows().count(window) != 0;
}

void Notify(HWND window, zulan::WindowChange change)
{
  for (HWND owner = window; owner != nullptr; owner = owner->parent)
    if (owner->observer)
    {
      owner->observer(window, change);
      return;
    }
}

}  // namespace

namespace zulan
{

HWND CreateWindowRecord(HWND parent, int id, bool visible, bool enabled)
{
  if (parent != nullptr && !IsLive(parent))
    return nullptr;
  HWND window = new HWND__{parent, id, visible, enabled, {}, {}};
  LiveWindows().insert(window);
  if (parent != nullptr)
    parent->children.push_back(window);
  return window;
}

void DestroyWindowRecord(HWND window)
{
  if (!IsLive(window))
    return;
  for (HWND child : std::vector<HWND>(window->children))
    DestroyWindowRecord(child);
  if (window->parent != nullptr)
  {
    auto &siblings = window->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
  }
  LiveWindows().erase(window);
  delete window;
}

int GetWindowId(HWND window)
{
  return IsLive(window) ? window->id : 0;
}

void SetWindowObserver(HWND window, WindowObserver observer)
{
  if (IsLive(window))
    window->observer = std::move(observer);
}

}  // namespace zulan

extern "C"
{

  int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...)
  {
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(buffer, WsprintfLimit, format, arguments);
    va_end(arguments);
    return std::min(written, WsprintfLimit - 1);
  }

  HWND WINAPI GetDlgItem(HWND dialog, int controlId)
  {
    if (!IsLive(dialog))
      return nullptr;
    for (HWND child : dialog->children)
      if (child->id == controlId)
        return child;
    return nullptr;
  }

  BOOL WINAPI ShowWindow(HWND window, int command)
  {
    if (!IsLive(window))
      return FALSE;
    const bool wasVisible = window->visible;
    const bool visible = command != SW_HIDE;
    if (visible != wasVisible)
    {
      window->visible = visible;
      Notify(window, visible ? zulan::WindowChange::Shown : zulan::WindowChange::Hidden);
    }
    return wasVisible;
  }

  BOOL WINAPI EnableWindow(HWND window, BOOL enable)
  {
    if (!IsLive(window))
      return FALSE;
    const bool wasDisabled = !window->enabled;
    if (bool(enable) != window->enabled)
    {
      window->enabled = enable;
      Notify(window, enable ? zulan::WindowChange::Enabled : zulan::WindowChange::Disabled);
    }
    return wasDisabled;
  }

  BOOL WINAPI IsWindowVisible(HWND window)
  {
    return IsLive(window) && window->visible;
  }

  BOOL WINAPI IsWindowEnabled(HWND window)
  {
    return IsLive(window) && window->enabled;
  }

}  // extern "C"
