// The tool's output file: the module's ExportFile (a temporary beside the
// target, renamed over it only when whole; it follows symbolic links,
// refuses folders and special files, writes character devices in place and
// keeps a replaced file's mode and owner), with the temporary also removed
// when SIGHUP, SIGINT, SIGQUIT or SIGTERM ends the run. One at a time: the
// signal handler knows a single temporary.
#ifndef RASTELLO_TOOLS_ATOMICOUTPUT_H
#define RASTELLO_TOOLS_ATOMICOUTPUT_H

#include <signal.h>

#include <string>

#include "exportfile.h"

namespace Rastello
{

class AtomicOutput
{
public:
  using Error = ExportFile::Error;

  // Throws Error naming the target when it cannot be written or replaced;
  // also refuses a file with other hard links, which would keep the old
  // contents.
  explicit AtomicOutput(const std::string &target);

  const std::string &WritePath() const { return file.WritePath(); }
  std::string ShowingTarget(const std::string &message) const { return file.ShowingTarget(message); }
  void Commit();

private:
  // Handlers in place and the signals held back until the temporary's name
  // is known, so no signal can leave it behind; both are restored on exit.
  class SignalCleanup
  {
  public:
    SignalCleanup();
    ~SignalCleanup();
    SignalCleanup(const SignalCleanup &) = delete;
    SignalCleanup &operator=(const SignalCleanup &) = delete;
    // From now on a signal removes path (none when empty); lets signals in.
    void Watch(const std::string &path);

  private:
    std::string watched;
    struct sigaction previous[4];
    sigset_t previousMask;
  };

  SignalCleanup cleanup;  // first: in place before the temporary exists
  ExportFile file;
};

} // namespace Rastello

#endif
