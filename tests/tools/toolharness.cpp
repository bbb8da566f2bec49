#include "toolharness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "testimages.h"

namespace tool_testing
{

using testing_support::CommandResult;
using testing_support::RunCommand;
using testing_support::ShellQuote;

CommandResult RunEncoder(const std::vector<std::string> &arguments, const std::string &shellPrefix,
                         const std::string &launcher)
{
  std::string command = (launcher.empty() ? "" : launcher + " ") + ShellQuote(RASTELLO_ENCODE);
  for (const std::string &argument : arguments)
    command += " " + ShellQuote(argument);
  if (!shellPrefix.empty())
    command = "(" + shellPrefix + "; exec " + command + ")";
  return RunCommand(command);
}

void WriteNetpbm(const std::string &path, const Vantorum::BitmapImage &image, bool grey)
{
  std::ofstream file(path, std::ios::binary);
  file << (grey ? "P5" : "P6") << "\n" << image.GetWidth() << " " << image.GetHeight() << "\n255\n";
  for (uint32_t y = 0; y < image.GetHeight(); ++y)
    for (uint32_t x = 0; x < image.GetWidth(); ++x)
    {
      const testing_support::Rgb pixel = testing_support::GetPixel(image, x, y);
      if (grey)
        file.put(static_cast<char>(pixel.red));
      else
        file << pixel.red << pixel.green << pixel.blue;
    }
}

void RunPython(const std::string &code, const std::vector<std::string> &arguments)
{
  const std::string script = testing_support::TempPath("snippet.py");
  std::ofstream(script) << "import sys\nargv = sys.argv[1:]\n" << code << "\n";
  std::string command = ShellQuote(RASTELLO_PYTHON) + " " + ShellQuote(script);
  for (const std::string &argument : arguments)
    command += " " + ShellQuote(argument);
  const CommandResult result = RunCommand(command);
  ASSERT_EQ(result.status, 0) << result.output;
}

std::vector<Segment> JpegSegments(const std::vector<uint8_t> &bytes)
{
  std::vector<Segment> segments;
  size_t at = 0;
  while (at + 1 < bytes.size())
  {
    if (bytes[at] != 0xFF || bytes[at + 1] == 0x00 || bytes[at + 1] == 0xFF)
    {
      ++at;  // entropy-coded data, a stuffed 0xFF 0x00, or fill
      continue;
    }
    const uint8_t marker = bytes[at + 1];
    at += 2;
    const bool standalone = marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7);
    Segment segment{marker, {}};
    if (!standalone && at + 2 <= bytes.size())
    {
      const size_t length = static_cast<size_t>(bytes[at]) << 8 | bytes[at + 1];
      const size_t end = std::min(bytes.size(), at + length);
      segment.payload.assign(bytes.begin() + static_cast<long>(at) + 2, bytes.begin() + static_cast<long>(end));
      at = end;
    }
    segments.push_back(segment);
  }
  return segments;
}

size_t CountMarkers(const std::vector<Segment> &segments, uint8_t marker)
{
  return static_cast<size_t>(std::count_if(segments.begin(), segments.end(),
                                           [marker](const Segment &segment) { return segment.marker == marker; }));
}

const Segment *FindMarker(const std::vector<Segment> &segments, uint8_t marker)
{
  for (const Segment &segment : segments)
    if (segment.marker == marker)
      return &segment;
  return nullptr;
}

std::string FolderOf(const std::string &path)
{
  return std::filesystem::path(path).parent_path().string();
}

} // namespace tool_testing
