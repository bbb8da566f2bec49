// How the registry file is read, replaced and locked on this system; the
// registry's format and merge rules (registry.cpp) are the same everywhere.
#ifndef ZULAN_REGISTRYFILE_H
#define ZULAN_REGISTRYFILE_H

#include "exportfile.h"

#include <cstdint>
#include <string>

namespace zulan
{

enum class FileRead
{
  Missing,
  Read,
  Refused
};

// Reads a regular file of at most Registry::MaxFileBytes and opens nothing
// else: a FIFO would block the run and a device could feed it without end.
FileRead ReadRegistryFile(const std::string &path, std::string &text, std::string &problem);

// Writes text into the export file's temporary; returns why not, or "".
std::string WriteRegistryText(ExportFile &file, const std::string &text);

// Gives the file at target a second name before it is replaced; returns
// why not, or "".
std::string KeepOldRegistryFile(const std::string &target, const std::string &keepOldAs);

// Saves of several zulan runs take turns: an exclusive lock on FILE.lock
// for as long as it lives. problem is empty when the lock is held.
class SaveLock
{
public:
  explicit SaveLock(const std::string &target);
  ~SaveLock();
  SaveLock(const SaveLock &) = delete;
  SaveLock &operator=(const SaveLock &) = delete;

  std::string problem;

private:
  intptr_t handle = -1;
};

}  // namespace zulan

#endif
