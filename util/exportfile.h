// The one way this code base replaces a file: the bytes go to a unique
// temporary beside the target, which is put on disk and renamed over the
// target only once whole, so that readers see the old file or the new one,
// never a part. A write that fails part way, or a signal that ends the run
// during it, leaves the target as it was and no temporary behind.
//
// Users: the module's exports (capture/writers.cpp), rastello-encode's
// output and zulan's
// registry file (host/registry.cpp, which adds its lock and merge around
// it, and words its own messages from Error::reason). Elsewhere "Cannot
// write to file NAME: why", a full disk included, comes from CannotWrite.
#ifndef RASTELLO_UTIL_EXPORTFILE_H
#define RASTELLO_UTIL_EXPORTFILE_H

#include <memory>
#include <stdexcept>
#include <string>

// Where callers differ in what they may replace and what they keep of it.
struct ExportFileRules
{
  // Begins the temporary's name, so that a leftover tells whose it is.
  const char *temporaryPrefix = ".rastello-";
  // Refuse a file this user may not write, as a plain write would; when
  // false, a read-only file is replaced like any other.
  bool onlyWritable = true;
  // Keep the replaced file's owner and set-id bits too, not only its
  // permission bits.
  bool keepOwner = true;
  // Fail when the temporary cannot be given the mode it should have.
  bool modeRequired = false;
  // Refuse a file with other hard links: the rename would part them, and
  // the other names would keep the old contents.
  bool refuseHardLinks = true;
};

class ExportFile
{
public:
  class Error : public std::runtime_error
  {
  public:
    explicit Error(const std::string &message, const std::string &why = "") : std::runtime_error(message), reason(why)
    {
    }
    // Why, without the file's name: "No space left on device", "it is a folder".
    std::string reason;
  };
  // The failure to write a file, as the user is told it: a full disk, a
  // refused file, a failed rename. name is the file the user named.
  static Error CannotWrite(const std::string &name, const std::string &reason)
  {
    return Error("Cannot write to file " + name + ": " + reason, reason);
  }

  // Refuses folders, special files other than character devices and, as the
  // rules say, files this user may not write, with a message naming the
  // target. A symbolic link is followed: the file it
  // names is the one replaced. A character device (such as /dev/null) is
  // written in place, since it cannot be replaced.
  explicit ExportFile(const std::string &target, const ExportFileRules &rules = ExportFileRules());
  ~ExportFile();
  ExportFile(const ExportFile &) = delete;
  ExportFile &operator=(const ExportFile &) = delete;

  // The file a path names, its symbolic links followed hop by hop, each from
  // its own folder: a dangling link names the file to create, and the links
  // stay in place when that file is replaced. False, with the reason, for a
  // loop or a link that cannot be read.
  static bool FollowLinks(const std::string &path, std::string &real, std::string &problem);

  // The path the writer opens.
  const std::string &WritePath() const { return writePath; }
  // The temporary, open for writing, for callers that write it themselves;
  // -1 when a character device is written in place, or after Flush.
  int Descriptor() const { return descriptor; }
  // The temporary behind WritePath, removed unless committed; empty when a
  // character device is written in place. For callers that must remove it
  // from a signal handler.
  std::string TemporaryPath() const { return temporary ? writePath : std::string(); }
  // Puts the written bytes on disk and closes the temporary. Commit does it
  // when it has not been done.
  void Flush();
  // Puts the written file in the target's place, with what the rules keep
  // of the replaced file, and the folder on disk so that the rename lasts.
  void Commit();

  // A message of the libraries, with the temporary's name replaced by the
  // target's, which is the only name the user knows.
  std::string ShowingTarget(const std::string &message) const;

private:
  [[noreturn]] void Fail(const std::string &reason) const;

#ifndef _WIN32
  // While the temporary exists, a signal that ends the run removes it
  // first (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE).
  class SignalCleanup;
  std::unique_ptr<SignalCleanup> cleanup;
#endif

  std::string target;     // as the user named it
  std::string finalPath;  // what is replaced: target, or where its link leads
  std::string writePath;
  int descriptor = -1;
  bool temporary = false;
  bool committed = false;
};

#endif
