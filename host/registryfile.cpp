// The registry file on a POSIX system: read without following what may be
// swapped in, replaced through ExportFile, saved under a lock.
#include "registryfile.h"
#include "registry.h"

#include "exportfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zulan
{

// Reads a regular file of at most MaxFileBytes and opens nothing else: a
// FIFO would block the run and a device could feed it without end.
FileRead ReadRegistryFile(const std::string &path, std::string &text, std::string &problem)
{
  text.clear();
  struct stat info;
  if (lstat(path.c_str(), &info) != 0)
  {
    if (errno == ENOENT)
      return FileRead::Missing;
    problem = std::strerror(errno);
    return FileRead::Refused;
  }
  const auto refuse = [&](const struct stat &file) {
    if (S_ISDIR(file.st_mode))
      problem = "it is a folder";
    else if (!S_ISREG(file.st_mode))
      problem = "it is not a regular file";
    else
      problem = "it is larger than " + std::to_string(Registry::MaxFileBytes >> 20) + " MiB";
    return FileRead::Refused;
  };
  if (!S_ISREG(info.st_mode) || static_cast<uint64_t>(info.st_size) > Registry::MaxFileBytes)
    return refuse(info);
  // Whatever was swapped in since lstat: O_NONBLOCK keeps a FIFO from
  // blocking the open, and fstat looks at what was opened.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0)
  {
    problem = std::strerror(errno);
    return FileRead::Refused;
  }
  FileRead outcome = FileRead::Read;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
    outcome = refuse(info);
  char chunk[65536];
  while (outcome == FileRead::Read)
  {
    const ssize_t count = read(descriptor, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
    {
      problem = std::strerror(errno);
      outcome = FileRead::Refused;
    }
    else if (count == 0)
      break;
    else if (text.size() + static_cast<size_t>(count) > Registry::MaxFileBytes)
      outcome = refuse(info);
    else
      text.append(chunk, static_cast<size_t>(count));
  }
  close(descriptor);
  if (outcome != FileRead::Read)
    text.clear();
  return outcome;
}

namespace
{

bool WriteAll(int descriptor, const std::string &text)
{
  for (size_t done = 0; done < text.size();)
  {
    const ssize_t count = write(descriptor, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

std::string WriteRegistryText(ExportFile &file, const std::string &text)
{
  // Only a device swapped in since the read is written in place.
  if (file.TemporaryPath().empty())
    return "it is not a regular file";
  return WriteAll(file.Descriptor(), text) ? "" : std::strerror(errno);
}

std::string KeepOldRegistryFile(const std::string &target, const std::string &keepOldAs)
{
  // A second name first, so that target never goes missing for readers.
  unlink(keepOldAs.c_str());
  if (link(target.c_str(), keepOldAs.c_str()) != 0 && std::rename(target.c_str(), keepOldAs.c_str()) != 0)
    return std::strerror(errno);
  return "";
}

// An exclusive flock on FILE.lock for as long as it lives. The lock file
// stays: removing it would let a later run lock a new file while an earlier
// one still holds the old.
SaveLock::SaveLock(const std::string &target)
{
  const std::string lockPath = target + ".lock";
  handle = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (handle < 0)
  {
    problem = "cannot lock " + lockPath + ": " + std::strerror(errno);
    return;
  }
  const int descriptor = static_cast<int>(handle);
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
  {
    problem = "cannot lock " + lockPath + ": it is not a regular file";
    return;
  }
  int result;
  do
    result = flock(descriptor, LOCK_EX);
  while (result != 0 && errno == EINTR);
  if (result != 0)
    problem = "cannot lock " + lockPath + ": " + std::strerror(errno);
}

SaveLock::~SaveLock()
{
  if (handle >= 0)
    close(static_cast<int>(handle));
}

}  // namespace zulan
