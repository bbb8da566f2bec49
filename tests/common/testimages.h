// Test fixtures built pixel by pixel, and small file helpers.
#ifndef RASTELLO_TESTS_TESTIMAGES_H
#define RASTELLO_TESTS_TESTIMAGES_H

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "bitmapimage.h"

namespace testing_support
{

struct Rgb
{
  uint8_t red, green, blue;
};

uint32_t PixelWord(Rgb colour, uint8_t alpha = 0);
void SetPixel(Vantorum::BitmapImage &image, uint32_t x, uint32_t y, Rgb colour, uint8_t alpha = 0);
Rgb GetPixel(const Vantorum::BitmapImage &image, uint32_t x, uint32_t y);

// A 6 x 5 red "F" on blue: catches flips, transposes and red/blue swaps.
Vantorum::BitmapImage LetterF();
// Deterministic pseudo-random colours, every byte (alpha too) varying.
Vantorum::BitmapImage NoiseImage(uint32_t width, uint32_t height, uint32_t seed);
// Smooth gradients with a little texture: compresses like a photograph.
Vantorum::BitmapImage GradientImage(uint32_t width, uint32_t height);

// A named test picture, made on demand so that a parameter list costs nothing.
struct Picture
{
  const char *name;
  std::function<Vantorum::BitmapImage()> make;
  bool smooth = true;  // no sharp colour edges for chroma subsampling to lose
};
inline std::ostream &operator<<(std::ostream &stream, const Picture &picture)
{
  return stream << picture.name;
}

// A GoogleTest parameter name: letters, digits and underscores only.
std::string TestName(const std::string &text);

// Binary PPM (P6) or, with grey set, PGM (P5) of the image's red channel.
void WriteNetpbm(const std::string &path, const Vantorum::BitmapImage &image, bool grey = false);

std::vector<uint8_t> ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string &folder);
// A fresh path in a per-test temporary folder.
std::string TempPath(const std::string &name);

uint32_t ReadLittle32(const std::vector<uint8_t> &bytes, size_t offset);
uint16_t ReadLittle16(const std::vector<uint8_t> &bytes, size_t offset);

}  // namespace testing_support

#endif
