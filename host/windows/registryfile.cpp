// The registry file on Windows: the same reading limits and careful
// replacement as on POSIX systems, through the system's own calls.
#include "registryfile.h"
#include "registry.h"

#include "exportfile.h"
#include "systemreason.h"

#include <windows.h>

#include <cstdio>

namespace zulan
{

FileRead ReadRegistryFile(const std::string &path, std::string &text, std::string &problem)
{
  text.clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
  {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return FileRead::Missing;
    problem = SystemReason(error);
    return FileRead::Refused;
  }
  BY_HANDLE_FILE_INFORMATION info;
  FileRead outcome = FileRead::Read;
  if (!GetFileInformationByHandle(file, &info))
  {
    problem = SystemReason(GetLastError());
    outcome = FileRead::Refused;
  }
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
  {
    problem = "it is a folder";
    outcome = FileRead::Refused;
  }
  else if (GetFileType(file) != FILE_TYPE_DISK)
  {
    problem = "it is not a regular file";
    outcome = FileRead::Refused;
  }
  else if (info.nFileSizeHigh != 0 || info.nFileSizeLow > Registry::MaxFileBytes)
  {
    problem = "it is larger than " + std::to_string(Registry::MaxFileBytes >> 20) + " MiB";
    outcome = FileRead::Refused;
  }
  char chunk[65536];
  while (outcome == FileRead::Read)
  {
    DWORD count = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &count, nullptr))
    {
      problem = SystemReason(GetLastError());
      outcome = FileRead::Refused;
    }
    else if (count == 0)
      break;
    else if (text.size() + count > Registry::MaxFileBytes)
    {
      problem = "it is larger than " + std::to_string(Registry::MaxFileBytes >> 20) + " MiB";
      outcome = FileRead::Refused;
    }
    else
      text.append(chunk, count);
  }
  CloseHandle(file);
  if (outcome != FileRead::Read)
    text.clear();
  return outcome;
}

std::string WriteRegistryText(ExportFile &file, const std::string &text)
{
  std::FILE *stream = std::fopen(file.WritePath().c_str(), "wb");
  if (stream == nullptr)
    return SystemReason(GetLastError());
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  if (std::fclose(stream) != 0 || !written)
    return SystemReason(GetLastError());
  return "";
}

// A copy, so that target never goes missing for readers.
std::string KeepOldRegistryFile(const std::string &target, const std::string &keepOldAs)
{
  return CopyFileA(target.c_str(), keepOldAs.c_str(), FALSE) ? "" : SystemReason(GetLastError());
}

SaveLock::SaveLock(const std::string &target)
{
  const std::string lockPath = target + ".lock";
  HANDLE file = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
  {
    problem = "cannot lock " + lockPath + ": " + SystemReason(GetLastError());
    return;
  }
  handle = reinterpret_cast<intptr_t>(file);
  OVERLAPPED whole = {};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
    problem = "cannot lock " + lockPath + ": " + SystemReason(GetLastError());
}

SaveLock::~SaveLock()
{
  if (handle != -1)
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace zulan
