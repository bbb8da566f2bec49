// Test fixtures built pixel by pixel, and small file helpers.
#ifndef RASTELLO_TESTS_TESTIMAGES_H
#define RASTELLO_TESTS_TESTIMAGES_H

#include <cstdint>
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

std::vector<uint8_t> ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string &folder);
// A fresh path in a per-test temporary folder.
std::string TempPath(const std::string &name);

uint32_t ReadLittle32(const std::vector<uint8_t> &bytes, size_t offset);
uint16_t ReadLittle16(const std::vector<uint8_t> &bytes, size_t offset);

} // namespace testing_support

#endif
