#include "atomicoutput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Rastello
{

namespace
{

// The signal handler may only touch plain memory and call unlink.
char pendingPath[4096];
volatile sig_atomic_t pendingSet = 0;

extern "C" void RemovePendingAndExit(int signalNumber)
{
  if (pendingSet)
    unlink(pendingPath);
  _exit(128 + signalNumber);
}

void InstallHandlers(bool on)
{
  struct sigaction action = {};
  action.sa_handler = on ? RemovePendingAndExit : SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
    sigaction(signalNumber, &action, nullptr);
}

std::string Quoted(const std::string &path)
{
  return "'" + path + "'";
}

} // namespace

AtomicOutput::AtomicOutput(const std::string &targetPath) : target(targetPath)
{
  struct stat info;
  if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    throw Error("cannot write " + Quoted(target) + ": it is a directory");
  std::string pattern = target + ".tmp-XXXXXX";
  if (pattern.size() >= sizeof pendingPath)
    throw Error("cannot write " + Quoted(target) + ": path too long");
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0)
    throw Error("cannot create " + Quoted(target) + ": " + std::strerror(errno));
  // mkstemp makes the file private; give it what a plain create would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
  close(descriptor);
  temporary = pattern;
  std::memcpy(pendingPath, temporary.c_str(), temporary.size() + 1);
  pendingSet = 1;
  InstallHandlers(true);
}

AtomicOutput::~AtomicOutput()
{
  if (!committed)
    unlink(temporary.c_str());
  pendingSet = 0;
  InstallHandlers(false);
}

void AtomicOutput::Commit()
{
  const int descriptor = open(temporary.c_str(), O_RDONLY);
  if (descriptor < 0 || fsync(descriptor) != 0)
  {
    const int cause = errno;
    if (descriptor >= 0)
      close(descriptor);
    throw Error("cannot write " + Quoted(target) + ": " + std::strerror(cause));
  }
  close(descriptor);
  if (std::rename(temporary.c_str(), target.c_str()) != 0)
    throw Error("cannot create " + Quoted(target) + ": " + std::strerror(errno));
  committed = true;
  pendingSet = 0;
}

} // namespace Rastello
