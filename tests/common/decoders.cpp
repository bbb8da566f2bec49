#include "decoders.h"

#include "testimages.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace testing_support
{

std::string ShellQuote(const std::string &text)
{
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunCommand(const std::string &command)
{
  CommandResult result;
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr)
    return result;
  std::array<char, 4096> chunk;
  size_t count;
  while ((count = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
    result.output.append(chunk.data(), count);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

DecodedImage DecodeImage(const std::string &decoder, const std::string &path)
{
  DecodedImage image;
  const std::string raw = path + "." + decoder + ".raw";
  const CommandResult run = RunCommand(ShellQuote(RASTELLO_PYTHON) + " "
                                       + ShellQuote(std::string(RASTELLO_TEST_TOOLS) + "/decode.py")
                                       + " " + decoder + " " + ShellQuote(path) + " " + ShellQuote(raw));
  image.messages = run.output;
  if (run.status != 0 && run.status != 3)
    return image;
  image.warned = run.status == 3;
  const std::vector<uint8_t> bytes = ReadFileBytes(raw);
  std::remove(raw.c_str());
  size_t lineEnd = 0;
  while (lineEnd < bytes.size() && bytes[lineEnd] != '\n')
    ++lineEnd;
  unsigned width = 0, height = 0, alpha = 0;
  if (std::sscanf(std::string(bytes.begin(), bytes.begin() + lineEnd).c_str(), "%u %u %u", &width,
                  &height, &alpha)
      != 3)
    return image;
  image.width = width;
  image.height = height;
  image.hasAlpha = alpha != 0;
  image.rgba.assign(bytes.begin() + lineEnd + 1, bytes.end());
  image.ok = image.rgba.size() == static_cast<size_t>(width) * height * 4;
  return image;
}

} // namespace testing_support
