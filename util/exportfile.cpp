#include "exportfile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The signals that end a run from outside (a closed terminal, Ctrl+C, kill,
// a reader of our output that quit): none may leave a temporary behind.
const int CleanedSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};

// The temporaries in the making. The handler reads only these lock-free
// slots and calls only async-signal-safe functions.
std::atomic<const char *> pendingTemporaries[8];
static_assert(std::atomic<const char *>::is_always_lock_free, "read from a signal handler");
struct sigaction previousActions[std::size(CleanedSignals)];
std::mutex watchLock;
int watchers = 0;

extern "C" void RemoveTemporariesAndResignal(int signalNumber)
{
  for (std::atomic<const char *> &slot : pendingTemporaries)
    if (const char *path = slot.load())
      unlink(path);
  // The signal then does what it would have done without us: it is held
  // until this handler returns, and then meets the action we replaced.
  for (size_t i = 0; i < std::size(CleanedSignals); ++i)
    if (CleanedSignals[i] == signalNumber)
      sigaction(signalNumber, &previousActions[i], nullptr);
  raise(signalNumber);
}

sigset_t SignalSet()
{
  sigset_t set;
  sigemptyset(&set);
  for (int signalNumber : CleanedSignals)
    sigaddset(&set, signalNumber);
  return set;
}

}  // namespace

// Handlers in place and the signals held back from before the temporary
// exists until its name is watched, so that no signal can leave it behind.
class ExportFile::SignalCleanup
{
public:
  SignalCleanup()
  {
    const sigset_t held = SignalSet();
    pthread_sigmask(SIG_BLOCK, &held, &previousMask);
    std::lock_guard<std::mutex> hold(watchLock);
    if (watchers++ > 0)
      return;
    struct sigaction action = {};
    action.sa_mask = held;
    action.sa_handler = RemoveTemporariesAndResignal;
    for (size_t i = 0; i < std::size(CleanedSignals); ++i)
    {
      sigaction(CleanedSignals[i], nullptr, &previousActions[i]);
      // A signal ignored from the start (nohup, a background job of a
      // script) is meant to be ignored.
      if ((previousActions[i].sa_flags & SA_SIGINFO) != 0 || previousActions[i].sa_handler != SIG_IGN)
        sigaction(CleanedSignals[i], &action, nullptr);
    }
  }

  ~SignalCleanup()
  {
    Forget();
    if (!watching)
      pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    std::lock_guard<std::mutex> hold(watchLock);
    if (--watchers == 0)
      for (size_t i = 0; i < std::size(CleanedSignals); ++i)
        sigaction(CleanedSignals[i], &previousActions[i], nullptr);
  }

  SignalCleanup(const SignalCleanup &) = delete;
  SignalCleanup &operator=(const SignalCleanup &) = delete;

  // From now on a signal removes path; lets signals in.
  void Watch(const char *path)
  {
    for (std::atomic<const char *> &candidate : pendingTemporaries)
    {
      const char *empty = nullptr;
      if (candidate.compare_exchange_strong(empty, path))
      {
        slot = &candidate;
        break;
      }
    }
    watching = true;
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  }

  // The temporary is gone or renamed: nothing left to remove.
  void Forget()
  {
    if (slot != nullptr)
      slot->store(nullptr);
    slot = nullptr;
  }

private:
  sigset_t previousMask;
  std::atomic<const char *> *slot = nullptr;
  bool watching = false;
};

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

}  // namespace

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
  // Renaming over one name of a file with several would part them: the
  // other names would keep the old contents.
  if (exists && rules.refuseHardLinks && info.st_nlink > 1)
    Fail("it has " + std::to_string(info.st_nlink) + " hard links, and the other names would keep the old contents");
  cleanup = std::make_unique<SignalCleanup>();
  std::string pattern = FolderOf(finalPath) + "/" + rules.temporaryPrefix + "XXXXXX";
  descriptor = mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor < 0)
  {
    // The file itself may be writable: say that the folder is the problem.
    const int cause = errno;
    if (cause == EACCES || cause == EPERM || cause == EROFS)
      Fail("its folder " + FolderOf(finalPath) + " cannot be written to (" + Reason(cause) + ")");
    Fail(Reason(cause));
  }
  writePath = pattern;
  temporary = true;
  cleanup->Watch(writePath.c_str());
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
    fchmod(descriptor, mode & 0777);  // no set-id bits on a file that changed owner
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
  cleanup->Forget();
  // The rename itself lasts only once the folder is on disk.
  const int folder = open(FolderOf(finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0)
  {
    fsync(folder);
    close(folder);
  }
}
