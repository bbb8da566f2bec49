// libdime's complaints through a cookie stream swapped in for stderr (glibc
// lets a program assign stderr), and a note on fatal signals written with
// write(2) from a buffer filled in beforehand, as signal handlers must.
#include "dimeguard.h"

#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace zulan
{
namespace
{

constexpr int FatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction previousActions[std::size(FatalSignals)];
char noteText[1024];  // "<program>: <path>: the DXF reader crashed ... ("
size_t noteLength = 0;
std::mutex crashNoteMutex;
std::mutex captureMutex;

void RestoreActions()
{
  for (size_t i = 0; i < std::size(FatalSignals); ++i)
    sigaction(FatalSignals[i], &previousActions[i], nullptr);
}

const char *SignalName(int signal)
{
  switch (signal)
  {
  case SIGSEGV:
    return "segmentation fault";
  case SIGBUS:
    return "bus error";
  case SIGFPE:
    return "arithmetic fault";
  case SIGILL:
    return "illegal instruction";
  default:
    return "aborted";
  }
}

bool Blank(const std::string &line)
{
  return line.find_first_not_of(" \t") == std::string::npos;
}

void WriteAll(const char *text, size_t length)
{
  while (length > 0)
  {
    const ssize_t written = write(STDERR_FILENO, text, length);
    if (written <= 0 && errno != EINTR)
      return;
    if (written > 0)
    {
      text += written;
      length -= size_t(written);
    }
  }
}

void NoteFatalSignal(int signal, siginfo_t *info, void *)
{
  const int savedErrno = errno;
  WriteAll(noteText, noteLength);
  const char *name = SignalName(signal);
  WriteAll(name, std::strlen(name));
  WriteAll(")\n", 2);
  RestoreActions();
  // A fault comes again when the instruction re-runs, now to the previous
  // handler (a sanitizer's report, or the default core dump); a signal that
  // was sent, as abort() sends SIGABRT, is sent again.
  if (info->si_code <= 0)
    raise(signal);
  errno = savedErrno;
}

}  // namespace

CrashNote::CrashNote(const std::string &path) : lock(crashNoteMutex)
{
  const std::string text =
    std::string(program_invocation_short_name) + ": " + path + ": the DXF reader crashed while reading the drawing (";
  noteLength = std::min(text.size(), sizeof noteText);
  std::memcpy(noteText, text.data(), noteLength);
  struct sigaction action = {};
  action.sa_sigaction = NoteFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(FatalSignals); ++i)
    sigaction(FatalSignals[i], &action, &previousActions[i]);
}

CrashNote::~CrashNote()
{
  RestoreActions();
}

StderrCapture::StderrCapture() : lock(captureMutex)
{
  std::fflush(stderr);
  stream = fopencookie(this, "w", cookie_io_functions_t{nullptr, &StderrCapture::Keep, nullptr, nullptr});
  if (!stream)
    return;  // then libdime's complaints are printed, which is no worse
  saved = stderr;
  stderr = stream;
}

StderrCapture::~StderrCapture()
{
  Restore();
}

std::string StderrCapture::LastLine()
{
  if (stream)
    std::fflush(stream);
  return Blank(current) ? last : current;
}

void StderrCapture::Restore()
{
  if (!stream)
    return;
  stderr = saved;
  std::fclose(stream);
  stream = nullptr;
}

ssize_t StderrCapture::Keep(void *self, const char *data, size_t size)
{
  auto *capture = static_cast<StderrCapture *>(self);
  for (size_t i = 0; i < size; ++i)
  {
    const char ch = data[i];
    if (ch == '\n' || ch == '\r')
    {
      if (!Blank(capture->current))
        capture->last.swap(capture->current);
      capture->current.clear();
    }
    else if (capture->current.size() < 1000)  // a line, not the whole of a runaway one
    {
      capture->current += ch;
    }
  }
  return ssize_t(size);
}

}  // namespace zulan
