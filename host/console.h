// What the user sees of a run besides the files written: the status line,
// messages, warnings, and the two outcomes the exit status reports.
#ifndef ZULAN_CONSOLE_H
#define ZULAN_CONSOLE_H

#include "hostapi.h"
#include "statusline.h"

#include <cstdio>
#include <string>

namespace zulan
{

class Console
{
public:
  explicit Console(bool liveStatus);

  // Takes the status line down around the text, so the two never mix.
  void Print(std::FILE *stream, const std::string &text);
  void Warn(const std::string &text);
  // A warning about something typed or given on the command line; the run
  // then ends with the status for refused input.
  void Refuse(const std::string &text);

  void ShowStatus(const char *text);
  void ShowProgress(const StatusFormat *format, int32_t code);
  // InfoBox and ErrorBox: each line of the text on a line of its own.
  void ShowMessage(const char *kind, const char *text);

  bool ErrorBoxShown() const { return errorBoxShown; }
  bool InputRefused() const { return inputRefused; }

private:
  StatusLine status;
  bool errorBoxShown = false;
  bool inputRefused = false;
};

}  // namespace zulan

#endif
