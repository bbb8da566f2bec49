// Bridges to independent decoders (Pillow, ImageMagick, libjpeg-turbo's
// djpeg, ffmpeg) so that tests judge our files by what others read.
#ifndef RASTELLO_TESTS_DECODERS_H
#define RASTELLO_TESTS_DECODERS_H

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support
{

struct DecodedImage
{
  bool ok = false;          // decoder ran and produced pixels
  bool warned = false;      // decoder printed a warning
  std::string messages;     // what it printed on stderr
  uint32_t width = 0, height = 0;
  bool hasAlpha = false;
  std::vector<uint8_t> rgba;  // 4 bytes per pixel, rows top to bottom
};

// decoder: "pillow" or "magick".
DecodedImage DecodeImage(const std::string &decoder, const std::string &path);

struct CommandResult
{
  int status = -1;
  std::string output;  // stdout and stderr together
};
CommandResult RunCommand(const std::string &command);
std::string ShellQuote(const std::string &text);

} // namespace testing_support

#endif
