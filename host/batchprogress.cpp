#include "batchprogress.h"

#include <filesystem>

#include <sys/ioctl.h>
#include <unistd.h>

namespace zulan
{

namespace
{

// Columns of the terminal, so that the live lines never wrap (a wrapped
// line would not be redrawn in place).
size_t TerminalColumns(std::FILE *stream)
{
  winsize size = {};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
    return size.ws_col - 1;
  return 79;
}

std::string Fitted(const std::string &text, size_t columns)
{
  return text.size() <= columns ? text : text.substr(0, columns);
}

}  // namespace

BatchProgress::BatchProgress(std::FILE *out, bool isLive, const std::vector<std::string> &names)
  : stream(out), live(isLive), drawings(names), lastMessages(names.size()), statuses(names.size(), -1)
{
}

std::string BatchProgress::Tag(size_t index) const
{
  return "[" + std::to_string(index + 1) + "/" + std::to_string(drawings.size()) + "] " + drawings[index];
}

std::string BatchProgress::Reason(const std::string &message, const std::string &drawing)
{
  std::string reason = message;
  for (const std::string &prefix : {std::string("zulan: "), drawing + ": "})
    if (reason.rfind(prefix, 0) == 0)
      reason.erase(0, prefix.size());
  return reason;
}

void BatchProgress::Erase()
{
  if (live && drawn)
    std::fputs("\r\033[J", stream);
  drawn = false;
}

void BatchProgress::Redraw()
{
  if (!live)
    return;
  Erase();
  const size_t columns = TerminalColumns(stream);
  std::string counts = std::to_string(finished) + " done";
  if (failed > 0)
    counts += ", " + std::to_string(failed) + " failed";
  const std::string top = "drawing " + std::to_string(shown + 1) + " of " + std::to_string(drawings.size()) + ": "
                          + drawings[shown] + " (" + counts + ")";
  // Both lines, then back up to the first, so that the next redraw and any
  // message start there.
  std::fprintf(stream, "%s\n%s\033[A\r", Fitted(top, columns).c_str(), Fitted(statusText, columns).c_str());
  std::fflush(stream);
  drawn = true;
}

void BatchProgress::Print(const std::string &text)
{
  Erase();
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
  Redraw();
}

void BatchProgress::Status(size_t index, const std::string &text)
{
  shown = index;
  statusText = text;
  Redraw();
}

void BatchProgress::Message(size_t index, const std::string &line)
{
  lastMessages[index] = line;
  Print(Tag(index) + ": " + Reason(line, drawings[index]) + "\n");
}

void BatchProgress::Finished(size_t index, int status, const std::string &output, const std::string &cause)
{
  statuses[index] = status;
  ++finished;
  if (status != 0)
  {
    ++failed;
    // A run ended by a signal could not say why; one that exited did.
    if (lastMessages[index].empty() || status > 128)
      lastMessages[index] = cause;
  }
  if (shown == index)
    statusText.clear();
  if (status == 0)
    Print(live ? "" : "zulan: " + Tag(index) + " -> " + output + "\n");
  else
    Print("zulan: " + Tag(index) + " failed: " + Reason(lastMessages[index], drawings[index]) + "\n");
}

int BatchProgress::Summary(const std::string &outputFolder)
{
  Erase();
  int status = 0;
  std::string text;
  for (size_t index = 0; index < drawings.size(); ++index)
    if (statuses[index] != 0)
    {
      if (status == 0)
        status = statuses[index];
      text += "  " + drawings[index] + ": " + Reason(lastMessages[index], drawings[index]) + "\n";
    }
  if (status == 0)
    text = "zulan: " + std::to_string(drawings.size()) + (drawings.size() == 1 ? " drawing" : " drawings")
           + " exported to " + outputFolder + "\n";
  else
    text = "zulan: " + std::to_string(failed) + " of " + std::to_string(drawings.size()) + " drawings failed:\n" + text;
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
  return status;
}

void BatchProgress::Interrupted()
{
  Erase();
  std::fprintf(stream, "zulan: interrupted; %zu of %zu drawings done\n", finished - failed, drawings.size());
  std::fflush(stream);
}

}  // namespace zulan
