// The host's one status line, on stderr: redrawn in place on a terminal,
// otherwise one line per change with progress figures thinned out so that
// logs stay readable.
#ifndef ZULAN_STATUSLINE_H
#define ZULAN_STATUSLINE_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace zulan
{

class StatusLine
{
public:
  StatusLine(std::FILE *stream, bool live);

  void Show(const std::string &text);
  void Clear();
  // A text with "!01" where the figure goes, as FormSt gives it.
  void Progress(const std::string &format, int32_t value);
  // Call before and after other output to the terminal.
  void Suspend();
  void Resume();

private:
  void Write(const std::string &text);

  std::FILE *stream;
  bool live;
  bool drawn = false;
  std::string current;  // shown text, empty when cleared
  std::string lastFormat;
  int32_t lastValue = 0;
};

}  // namespace zulan

#endif
