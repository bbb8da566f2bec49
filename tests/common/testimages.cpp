#include "testimages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testing_support
{

uint32_t PixelWord(Rgb colour, uint8_t alpha)
{
  return static_cast<uint32_t>(colour.blue) | static_cast<uint32_t>(colour.green) << 8
         | static_cast<uint32_t>(colour.red) << 16 | static_cast<uint32_t>(alpha) << 24;
}

void SetPixel(Vantorum::BitmapImage &image, uint32_t x, uint32_t y, Rgb colour, uint8_t alpha)
{
  *image.PixelAddress(y * image.GetWidth() + x) = PixelWord(colour, alpha);
}

Rgb GetPixel(const Vantorum::BitmapImage &image, uint32_t x, uint32_t y)
{
  const uint32_t word = *image.PixelAddress(y * image.GetWidth() + x);
  return Rgb{static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

Vantorum::BitmapImage LetterF()
{
  Vantorum::BitmapImage image(6, 5, PixelWord({0, 0, 255}));
  const char *rows[] = {".####.", ".#....", ".###..", ".#....", ".#...."};
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      if (rows[y][x] == '#')
        SetPixel(image, x, y, {255, 0, 0});
  return image;
}

Vantorum::BitmapImage NoiseImage(uint32_t width, uint32_t height, uint32_t seed)
{
  Vantorum::BitmapImage image(width, height, 0);
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < width * height; ++i)
  {
    state = state * 1664525u + 1013904223u;
    *image.PixelAddress(i) = state ^ (state >> 13);
  }
  return image;
}

Vantorum::BitmapImage GradientImage(uint32_t width, uint32_t height)
{
  Vantorum::BitmapImage image(width, height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
    {
      const uint8_t red = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      const uint8_t green = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      const uint8_t blue = static_cast<uint8_t>(128 + ((x * 7 + y * 13) % 23) - 11);
      SetPixel(image, x, y, {red, green, blue});
    }
  return image;
}

std::string TestName(const std::string &text)
{
  std::string name = text;
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)))
      c = '_';
  return name;
}

void WriteNetpbm(const std::string &path, const Vantorum::BitmapImage &image, bool grey)
{
  std::ofstream file(path, std::ios::binary);
  file << (grey ? "P5" : "P6") << "\n" << image.GetWidth() << " " << image.GetHeight() << "\n255\n";
  for (uint32_t y = 0; y < image.GetHeight(); ++y)
    for (uint32_t x = 0; x < image.GetWidth(); ++x)
    {
      const Rgb pixel = GetPixel(image, x, y);
      if (grey)
        file.put(static_cast<char>(pixel.red));
      else
        file << pixel.red << pixel.green << pixel.blue;
    }
}

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
  // In one read, not byte by byte: decoded pictures are megabytes.
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file)
    return {};
  const std::streamoff size = file.tellg();
  if (size <= 0)
    return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  file.seekg(0);
  file.read(reinterpret_cast<char *>(bytes.data()), size);
  bytes.resize(static_cast<size_t>(file.gcount()));
  return bytes;
}

void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderEntries(const std::string &folder)
{
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string TempPath(const std::string &name)
{
  const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
  // Each build folder has its own, so that test runs of two builds at once
  // never share a file.
  std::string folder = RASTELLO_TEST_TMP "/";
  if (info != nullptr)
    folder += std::string(info->test_suite_name()) + "." + info->name() + "/";
  std::filesystem::create_directories(folder);
  std::string path = folder + name;
  std::remove(path.c_str());
  return path;
}

uint32_t ReadLittle32(const std::vector<uint8_t> &bytes, size_t offset)
{
  return bytes.at(offset) | bytes.at(offset + 1) << 8 | bytes.at(offset + 2) << 16
         | static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
}

uint16_t ReadLittle16(const std::vector<uint8_t> &bytes, size_t offset)
{
  return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

}  // namespace testing_support
