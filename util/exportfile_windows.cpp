// ExportFile on Windows: the same promise as on POSIX systems (a unique
// temporary beside the target, put on disk, then moved over the target in
// one step), with the system's own calls and reasons. Windows has no
// character devices to write in place and no links a user makes by
// accident, so a target is a file, a folder or nothing.
#include "exportfile.h"
#include "systemreason.h"

#include <windows.h>

#include <string>

namespace
{

std::string FolderOf(const std::string &path)
{
  const size_t separator = path.find_last_of("\\/:");
  if (separator == std::string::npos)
    return ".";
  if (path[separator] == ':')
    return path.substr(0, separator + 1) + ".";
  return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

}  // namespace

bool ExportFile::FollowLinks(const std::string &path, std::string &real, std::string &)
{
  real = path;
  return true;
}

ExportFile::ExportFile(const std::string &name, const ExportFileRules &rules) : target(name)
{
  if (target.empty())
    throw Error("Cannot write the file: no file name was given", "no file name was given");
  finalPath = target;
  const DWORD attributes = GetFileAttributesA(finalPath.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    Fail("it is a folder");
  if (exists && (attributes & FILE_ATTRIBUTE_DEVICE))
    Fail("it is not a regular file");
  // Moving over a read-only file would replace what a plain write may not.
  if (exists && rules.onlyWritable && (attributes & FILE_ATTRIBUTE_READONLY))
    Fail(SystemReason(ERROR_ACCESS_DENIED));
  // The process id and a count make the name unique among our own writers;
  // CREATE_NEW refuses one that someone else holds, and the next is tried.
  static unsigned serial = 0;
  const std::string stem =
    FolderOf(finalPath) + "\\" + rules.temporaryPrefix + std::to_string(GetCurrentProcessId()) + "-";
  const unsigned MaxTries = 1000;
  for (unsigned tries = 0;; ++tries)
  {
    const std::string candidate = stem + std::to_string(++serial) + ".tmp";
    HANDLE handle =
      CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
    {
      CloseHandle(handle);
      writePath = candidate;
      break;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || tries == MaxTries)
      Fail(SystemReason(error));
  }
  temporary = true;
}

ExportFile::~ExportFile()
{
  if (temporary && !committed)
    DeleteFileA(writePath.c_str());
}

void ExportFile::Flush()
{
  if (!temporary || committed)
    return;
  HANDLE handle = CreateFileA(writePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    Fail(SystemReason(GetLastError()));
  const DWORD error = FlushFileBuffers(handle) ? 0 : GetLastError();
  CloseHandle(handle);
  if (error != 0)
    Fail(SystemReason(error));
}

void ExportFile::Commit()
{
  if (!temporary || committed)
    return;
  Flush();
  if (!MoveFileExA(writePath.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    Fail(SystemReason(GetLastError()));
  committed = true;
}
