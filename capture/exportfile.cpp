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

ExportFile::ExportFile(const std::string &target) : target(target), finalPath(target)
{
  if (target.empty())
    throw Error("Cannot write the file: no file name was given");
  struct stat info;
  // Replace the file a link names, keeping the link; a dangling link names
  // the file to create. Each hop is taken from the link's own folder.
  const int MaxLinkHops = 40;
  for (int hops = 0; lstat(finalPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++hops)
  {
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(finalPath, error);
    if (error || hops == MaxLinkHops)
      throw Error("Cannot write to file " + target + ": "
                  + (error ? error.message() : Reason(ELOOP)));
    finalPath = (link.is_absolute() ? link : std::filesystem::path(finalPath).parent_path() / link).string();
  }
  const bool exists = stat(finalPath.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode))
    throw Error("Cannot write to file " + target + ": it is a folder");
  if (exists && S_ISCHR(info.st_mode))
  {
    writePath = finalPath;
    return;
  }
  if (exists && !S_ISREG(info.st_mode))
    throw Error("Cannot write to file " + target + ": it is not a regular file");
  if (exists)
  {
    // Renaming would replace a file we may not write; ask as a plain
    // write would.
    if (access(finalPath.c_str(), W_OK) != 0)
      throw Error("Cannot write to file " + target + ": " + Reason(errno));
    keepMode = true;
    mode = info.st_mode & 07777;
    owner = info.st_uid;
    group = info.st_gid;
  }
  std::string pattern = FolderOf(finalPath) + "/.rastello-XXXXXX";
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0)
    throw Error("Cannot write to file " + target + ": " + Reason(errno));
  if (!keepMode)
  {
    // mkstemp makes the file private; give it what a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(descriptor, mode);
  if (keepMode && fchown(descriptor, owner, group) != 0)
    fchmod(descriptor, mode & 0777);   // no set-id bits on a file that changed owner
  close(descriptor);
  writePath = pattern;
  temporary = true;
}

ExportFile::~ExportFile()
{
  if (temporary && !committed)
    unlink(writePath.c_str());
}

void ExportFile::Commit()
{
  if (!temporary)
    return;
  const int descriptor = open(writePath.c_str(), O_RDONLY);
  if (descriptor < 0 || fsync(descriptor) != 0)
  {
    const int cause = errno;
    if (descriptor >= 0)
      close(descriptor);
    throw Error("Cannot write to file " + target + ": " + Reason(cause));
  }
  close(descriptor);
  if (std::rename(writePath.c_str(), finalPath.c_str()) != 0)
    throw Error("Cannot write to file " + target + ": " + Reason(errno));
  committed = true;
}

std::string ExportFile::ShowingTarget(const std::string &message) const
{
  std::string shown = message;
  if (!temporary)
    return shown;
  for (size_t at = shown.find(writePath); at != std::string::npos; at = shown.find(writePath, at + target.size()))
    shown.replace(at, writePath.size(), target);
  return shown;
}
