#include "exportfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string Reason(int error)
{
  return std::strerror(error);
}

std::string FolderOf(const std::string &path)
{
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool ExportFile::FollowLinks(const std::string &path, std::string &real, std::string &problem)
{
  const int MaxLinkHops = 40;
  real = path;
  struct stat info;
  for (int hops = 0; lstat(real.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++hops)
  {
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(real, error);
    if (error || hops == MaxLinkHops)
    {
      problem = error ? error.message() : Reason(ELOOP);
      return false;
    }
    real = (link.is_absolute() ? link : std::filesystem::path(real).parent_path() / link).string();
  }
  return true;
}

ExportFile::ExportFile(const std::string &name, const ExportFileRules &rules) : target(name)
{
  if (target.empty())
    throw Error("Cannot write the file: no file name was given", "no file name was given");
  std::string problem;
  if (!FollowLinks(target, finalPath, problem))
    Fail(problem);
  struct stat info;
  const bool exists = stat(finalPath.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode))
    Fail("it is a folder");
  if (exists && S_ISCHR(info.st_mode))
  {
    writePath = finalPath;
    return;
  }
  if (exists && !S_ISREG(info.st_mode))
    Fail("it is not a regular file");
  // Renaming would replace a file we may not write; ask as a plain write
  // would.
  if (exists && rules.onlyWritable && access(finalPath.c_str(), W_OK) != 0)
    Fail(Reason(errno));
  std::string pattern = FolderOf(finalPath) + "/" + rules.temporaryPrefix + "XXXXXX";
  descriptor = mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor < 0)
    Fail(Reason(errno));
  writePath = pattern;
  temporary = true;
  mode_t mode;
  if (exists)
    mode = info.st_mode & (rules.keepOwner ? 07777 : 0777);
  else
  {
    // mkstemp makes the file private; give it what a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(descriptor, mode) != 0 && rules.modeRequired)
  {
    // No destructor runs for a constructor that throws.
    const int cause = errno;
    close(descriptor);
    unlink(writePath.c_str());
    Fail(Reason(cause));
  }
  if (exists && rules.keepOwner && fchown(descriptor, info.st_uid, info.st_gid) != 0)
    fchmod(descriptor, mode & 0777);   // no set-id bits on a file that changed owner
}

ExportFile::~ExportFile()
{
  if (descriptor >= 0)
    close(descriptor);
  if (temporary && !committed)
    unlink(writePath.c_str());
}

void ExportFile::Flush()
{
  if (descriptor < 0)
    return;
  int cause = fsync(descriptor) != 0 ? errno : 0;
  if (close(descriptor) != 0 && cause == 0)
    cause = errno;
  descriptor = -1;
  if (cause != 0)
    Fail(Reason(cause));
}

void ExportFile::Commit()
{
  if (!temporary)
    return;
  Flush();
  if (std::rename(writePath.c_str(), finalPath.c_str()) != 0)
    Fail(Reason(errno));
  committed = true;
  // The rename itself lasts only once the folder is on disk.
  const int folder = open(FolderOf(finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0)
  {
    fsync(folder);
    close(folder);
  }
}
