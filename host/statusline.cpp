#include "statusline.h"

#include <cstdlib>

namespace zulan
{

namespace
{

const int32_t ProgressStep = 10;  // per cent between logged figures

}  // namespace

StatusLine::StatusLine(std::FILE *out, bool isLive) : stream(out), live(isLive) {}

void StatusLine::Write(const std::string &text)
{
  if (text == current)
    return;
  current = text;
  if (live)
  {
    std::fprintf(stream, "\r\033[K%s", text.c_str());
    drawn = !text.empty();
  }
  else if (!text.empty())
    std::fprintf(stream, "status: %s\n", text.c_str());
  std::fflush(stream);
}

void StatusLine::Show(const std::string &text)
{
  lastFormat.clear();
  Write(text);
}

void StatusLine::Clear()
{
  lastFormat.clear();
  Write("");
}

void StatusLine::Progress(const std::string &format, int32_t value)
{
  if (!live && format == lastFormat && std::abs(value - lastValue) < ProgressStep && value != 100)
    return;
  lastFormat = format;
  lastValue = value;
  std::string text = format;
  const size_t figure = text.find("!01");
  if (figure != std::string::npos)
    text.replace(figure, 3, std::to_string(value));
  Write(text);
}

void StatusLine::Suspend()
{
  if (live && drawn)
  {
    std::fprintf(stream, "\r\033[K");
    std::fflush(stream);
  }
}

void StatusLine::Resume()
{
  if (live && drawn)
  {
    std::fprintf(stream, "%s", current.c_str());
    std::fflush(stream);
  }
}

}  // namespace zulan
