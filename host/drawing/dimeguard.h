// Guards around libdime, which prints its complaints on stderr and can crash
// on files it misreads. Its complaints are collected without touching file
// descriptor 2, so a sanitizer report or a crash message still reaches the
// terminal; a crash while it holds a drawing says which file did it.
// Both swap process-wide state (the stderr stream, signal handlers), so one
// of each is active at a time; others wait.
#ifndef ZULAN_DRAWING_DIMEGUARD_H
#define ZULAN_DRAWING_DIMEGUARD_H

#include <cstdio>
#include <mutex>
#include <string>

namespace zulan
{

// While it lives, a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT)
// first writes "<program>: <path>: the DXF reader crashed ... (<signal>)" to
// file descriptor 2, then meets the handler that was there before, so the
// process still dies of it (or a sanitizer reports it).
class CrashNote
{
public:
  explicit CrashNote(const std::string &path);
  ~CrashNote();
  CrashNote(const CrashNote &) = delete;
  CrashNote &operator=(const CrashNote &) = delete;

private:
  std::unique_lock<std::mutex> lock;
};

// While it lives, what the program writes through the C stream stderr (as
// libdime does) is kept instead of printed; the descriptor itself stays.
class StderrCapture
{
public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture &) = delete;
  StderrCapture &operator=(const StderrCapture &) = delete;
  // The last non-blank line written so far.
  std::string LastLine();

private:
  void Restore();
  std::unique_lock<std::mutex> lock;
  std::FILE *saved = nullptr;
  std::FILE *stream = nullptr;
  std::string last, current;
  static ssize_t Keep(void *self, const char *data, size_t size);
};

}  // namespace zulan

#endif
