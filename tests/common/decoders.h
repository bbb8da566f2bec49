// Independent decoders judge our files by what others read: libjpeg-turbo
// and libpng in process, and, in the tests labelled "external", Pillow,
// ImageMagick, djpeg and ffmpeg as separate programs.
#ifndef RASTELLO_TESTS_DECODERS_H
#define RASTELLO_TESTS_DECODERS_H

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support
{

struct DecodedImage
{
  bool ok = false;       // decoder ran and produced pixels
  bool warned = false;   // decoder printed a warning
  std::string messages;  // what it printed
  uint32_t width = 0, height = 0;
  bool hasAlpha = false;
  std::vector<uint8_t> rgba;  // 4 bytes per pixel, rows top to bottom

  std::vector<uint8_t> Rgb() const;  // rgba without the alpha bytes
};

// libjpeg-turbo; a corrupt-data warning sets warned.
DecodedImage DecodeJpeg(const std::vector<uint8_t> &bytes);
// libpng; any colour type comes out as RGBA.
DecodedImage DecodePng(const std::vector<uint8_t> &bytes);
// Binary PPM (P6) or PGM (P5) with a maximum of 255.
DecodedImage ReadNetpbm(const std::string &path);

// External programs. decoder: "pillow", "magick", "djpeg" or "ffmpeg".
DecodedImage DecodeImage(const std::string &decoder, const std::string &path);

// Peak signal-to-noise ratio of the RGB bytes, 99 for equal pictures; 0
// when the sizes differ.
// Peak signal-to-noise ratio of two pictures' bytes in dB; 99 when they are
// the same, 0 when their sizes differ.
double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);
double Psnr(const DecodedImage &a, const DecodedImage &b);

std::string Sha256(const std::vector<uint8_t> &bytes);

struct CommandResult
{
  int status = -1;
  std::string output;  // stdout and stderr together
};
CommandResult RunCommand(const std::string &command);
std::string ShellQuote(const std::string &text);

}  // namespace testing_support

#endif
