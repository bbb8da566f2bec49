#include "console.h"

#include <cstring>

namespace zulan
{

Console::Console(bool liveStatus) : status(stderr, liveStatus) {}

void Console::Print(std::FILE *stream, const std::string &text)
{
  status.Suspend();
  std::fflush(stdout);
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
  status.Resume();
}

void Console::Warn(const std::string &text)
{
  Print(stderr, "zulan: " + text + "\n");
}

void Console::Refuse(const std::string &text)
{
  Warn(text);
  inputRefused = true;
}

void Console::ShowStatus(const char *text)
{
  if (text == nullptr)
    status.Clear();
  else
    status.Show(text);
}

void Console::ShowProgress(const StatusFormat *format, int32_t code)
{
  if (format == nullptr || format->text == nullptr)
    return;
  if (code != FormatCodeStatus || format->value == nullptr)
    status.Show(format->text);
  else
    status.Progress(format->text, *format->value);
}

void Console::ShowMessage(const char *kind, const char *text)
{
  const bool error = std::strcmp(kind, "ErrorBox") == 0;
  if (error)
    errorBoxShown = true;
  std::string shown;
  const std::string message = text != nullptr ? text : "";
  for (size_t start = 0; start <= message.size();)
  {
    size_t end = message.find('\n', start);
    if (end == std::string::npos)
      end = message.size();
    shown += std::string(kind) + ": " + message.substr(start, end - start) + "\n";
    start = end + 1;
  }
  Print(error ? stderr : stdout, shown);
}

}  // namespace zulan
