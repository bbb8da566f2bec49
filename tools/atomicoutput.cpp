#include "atomicoutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <iterator>

namespace Rastello
{

namespace
{

const int CleanedSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The handler may only read lock-free memory and call async-signal-safe
// functions.
std::atomic<const char *> pendingPath{nullptr};
static_assert(std::atomic<const char *>::is_always_lock_free, "read from a signal handler");

extern "C" void RemovePendingAndExit(int signalNumber)
{
  if (const char *path = pendingPath.load())
    unlink(path);
  _exit(128 + signalNumber);
}

} // namespace

AtomicOutput::SignalCleanup::SignalCleanup()
{
  static_assert(sizeof previous / sizeof *previous == std::size(CleanedSignals), "one saved action per signal");
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  for (int signalNumber : CleanedSignals)
    sigaddset(&action.sa_mask, signalNumber);
  sigprocmask(SIG_BLOCK, &action.sa_mask, &previousMask);
  action.sa_handler = RemovePendingAndExit;
  for (size_t i = 0; i < std::size(CleanedSignals); ++i)
  {
    sigaction(CleanedSignals[i], nullptr, &previous[i]);
    // A signal ignored from the start (nohup, a background job of a
    // script) is meant to be ignored.
    if ((previous[i].sa_flags & SA_SIGINFO) != 0 || previous[i].sa_handler != SIG_IGN)
      sigaction(CleanedSignals[i], &action, nullptr);
  }
}

AtomicOutput::SignalCleanup::~SignalCleanup()
{
  pendingPath.store(nullptr);
  for (size_t i = 0; i < std::size(CleanedSignals); ++i)
    sigaction(CleanedSignals[i], &previous[i], nullptr);
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

void AtomicOutput::SignalCleanup::Watch(const std::string &path)
{
  pendingPath.store(nullptr);
  watched = path;
  if (!watched.empty())
    pendingPath.store(watched.c_str());
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

AtomicOutput::AtomicOutput(const std::string &target) : file(target)
{
  struct stat info;
  // Renaming over one name of a file with several would part them: the
  // other names would keep the old picture.
  if (!file.TemporaryPath().empty() && stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)
      && info.st_nlink > 1)
    throw ExportFile::CannotWrite(target, "it has " + std::to_string(info.st_nlink)
                                            + " hard links, and the other names would keep the old contents");
  cleanup.Watch(file.TemporaryPath());
}

void AtomicOutput::Commit()
{
  file.Commit();
  cleanup.Watch("");
}

} // namespace Rastello
