// Where an export's bytes go before they become the user's file: a
// temporary beside the target, renamed over it only once the whole file is
// written and on disk. A write that fails part way leaves the target as it
// was and no temporary behind.
#ifndef RASTELLO_CAPTURE_EXPORTFILE_H
#define RASTELLO_CAPTURE_EXPORTFILE_H

#include <stdexcept>
#include <string>

class ExportFile
{
public:
  class Error : public std::runtime_error
  {
  public:
    explicit Error(const std::string &message) : std::runtime_error(message) {}
  };

  // Refuses folders, and special files other than character devices, with
  // a message naming the target. A symbolic link is followed: the file it
  // names is the one replaced. A character device (such as /dev/null) is
  // written in place, since it cannot be replaced.
  explicit ExportFile(const std::string &target);
  ~ExportFile();
  ExportFile(const ExportFile &) = delete;
  ExportFile &operator=(const ExportFile &) = delete;

  // The path the writer opens.
  const std::string &WritePath() const { return writePath; }
  // The temporary behind WritePath, removed unless committed; empty when a
  // character device is written in place. For callers that must remove it
  // from a signal handler.
  std::string TemporaryPath() const { return temporary ? writePath : std::string(); }
  // Puts the written file in the target's place, with the replaced file's
  // permissions and, where allowed, its owner.
  void Commit();
  // A message of the libraries, with the temporary's name replaced by the
  // target's, which is the only name the user knows.
  std::string ShowingTarget(const std::string &message) const;

private:
  std::string target;      // as the user named it
  std::string finalPath;   // what is replaced: target, or where its link leads
  std::string writePath;
  bool temporary = false;
  bool committed = false;
  bool keepMode = false;
  unsigned mode = 0;
  unsigned owner = 0, group = 0;
};

#endif
