// KERNEL32 calls over POSIX: a name table for the host's own entries (their
// decorated names are not valid ELF symbols), dlsym for other modules.
#include "winbase.h"
#include "zulanplatform.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <string>
#include <unistd.h>

namespace
{

char hostModuleTag;
thread_local DWORD lastError;

const DWORD ERROR_FILE_NOT_FOUND = 2;
const DWORD ERROR_PROC_NOT_FOUND = 127;
const DWORD ERROR_INSUFFICIENT_BUFFER = 122;

std::map<std::string, FARPROC> &HostEntries()
{
  static std::map<std::string, FARPROC> entries;
  return entries;
}

}  // namespace

namespace zulan
{

HMODULE HostModuleHandle()
{
  return reinterpret_cast<HMODULE>(&hostModuleTag);
}

void RegisterHostEntry(const std::string &name, FARPROC entry)
{
  HostEntries()[name] = entry;
}

void UnregisterHostEntry(const std::string &name)
{
  HostEntries().erase(name);
}

}  // namespace zulan

extern "C"
{

  FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
  {
    if (module == nullptr || name == nullptr)
    {
      lastError = ERROR_PROC_NOT_FOUND;
      return nullptr;
    }
    if (module == zulan::HostModuleHandle())
    {
      const auto found = HostEntries().find(name);
      if (found == HostEntries().end())
      {
        lastError = ERROR_PROC_NOT_FOUND;
        return nullptr;
      }
      return found->second;
    }
    // Any other handle is one that dlopen returned.
    void *symbol = dlsym(static_cast<void *>(module), name);
    if (symbol == nullptr)
      lastError = ERROR_PROC_NOT_FOUND;
    return reinterpret_cast<FARPROC>(symbol);
  }

  DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer)
  {
    std::string path(4096, '\0');
    if (getcwd(path.data(), path.size()) == nullptr)
    {
      lastError = ERROR_FILE_NOT_FOUND;
      return 0;
    }
    path.resize(std::strlen(path.c_str()));
    if (buffer == nullptr || path.size() + 1 > bufferLength)
    {
      lastError = ERROR_INSUFFICIENT_BUFFER;
      return static_cast<DWORD>(path.size() + 1);
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }

  BOOL WINAPI SetCurrentDirectoryA(LPCSTR path)
  {
    if (path == nullptr || chdir(path) != 0)
    {
      lastError = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    return TRUE;
  }

  DWORD WINAPI GetLastError()
  {
    return lastError;
  }

}  // extern "C"
