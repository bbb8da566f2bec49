// Every mode of the encoder judged by independent decoders: libjpeg-turbo's
// djpeg and Pillow must decode without a warning, ffmpeg without an error,
// all to the same picture, close to the source.
#include "decoders.h"
#include "jpegencoder.h"
#include "testimages.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Vantorum;
using namespace testing_support;

namespace
{

struct Mode
{
  const char *name;
  std::function<void(JpegEncoder &)> configure;
  bool greyscale;
};

// Reads a binary PPM/PGM as RGB.
std::vector<uint8_t> ReadPnm(const std::string &path, uint32_t &width, uint32_t &height)
{
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  std::string header;
  size_t at = 0;
  int fields = 0;
  unsigned values[4] = {};
  std::string token;
  while (at < bytes.size() && fields < 4)
  {
    const char c = static_cast<char>(bytes[at++]);
    if (std::isspace(static_cast<unsigned char>(c)))
    {
      if (!token.empty())
      {
        values[fields] = fields == 0 ? (token == "P6" ? 3 : 1) : static_cast<unsigned>(std::stoul(token));
        ++fields;
        token.clear();
      }
    }
    else
      token += c;
  }
  width = values[1];
  height = values[2];
  std::vector<uint8_t> rgb;
  for (size_t i = at; i < bytes.size(); ++i)
    for (unsigned k = 0; k < 4 - values[0]; ++k)  // grey: repeat 3 times; colour: once
      rgb.push_back(bytes[i]);
  return rgb;
}

double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += (a[i] - b[i]) * static_cast<double>(a[i] - b[i]);
  const double mse = sum / a.size();
  return mse == 0 ? 99 : 10 * std::log10(255 * 255 / mse);
}

std::vector<uint8_t> SourceRgb(const BitmapImage &image, bool greyscale)
{
  std::vector<uint8_t> rgb;
  for (uint32_t y = 0; y < image.GetHeight(); ++y)
    for (uint32_t x = 0; x < image.GetWidth(); ++x)
    {
      const Rgb p = GetPixel(image, x, y);
      if (greyscale)
      {
        const uint8_t v = static_cast<uint8_t>((1224 * p.red + 2404 * p.green + 466 * p.blue + 2048) >> 12);
        rgb.insert(rgb.end(), {v, v, v});
      }
      else
        rgb.insert(rgb.end(), {p.red, p.green, p.blue});
    }
  return rgb;
}

} // namespace

TEST(JpegDecoders, EveryModeDecodesCleanlyEverywhere)
{
  const Mode modes[] = {
    {"baseline", [](JpegEncoder &) {}, false},
    {"baseline-grey", [](JpegEncoder &e) { e.SetGreyscale(true); }, true},
    {"baseline-420-restart", [](JpegEncoder &e) { e.SetSamplingFrequency(1, 2, 2); e.SetRestartRows(1); }, false},
    {"baseline-separate-scans",
     [](JpegEncoder &e) {
       e.SetScan(0, 2, 0, 0);
       e.SetScan(1, 12, 0, 0);
       e.SetSamplingFrequency(1, 2, 1);
       e.SetRestartRows(2);
     },
     false},
    {"baseline-h3", [](JpegEncoder &e) { e.SetSamplingFrequency(1, 3, 1); e.SetQuality(95); }, false},
    {"progressive", [](JpegEncoder &e) { e.SetProgressive(true); }, false},
    {"progressive-grey", [](JpegEncoder &e) { e.SetProgressive(true); e.SetGreyscale(true); }, true},
    {"progressive-approximation",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetSamplingFrequency(1, 2, 2);
       e.SetScan(0, 14, 0, 2);
       e.SetScan(1, 2, 5, 2);
       e.SetScan(2, 2, 63, 1);
       e.SetScan(3, 4, 63, 1);
       e.SetScan(4, 8, 63, 3);
     },
     false},
    {"progressive-separate-dc",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetSamplingFrequency(2, 1, 1);
       e.SetSamplingFrequency(1, 2, 1);
       e.SetScan(0, 2, 0, 1);
       e.SetScan(1, 12, 0, 0);
       e.SetScan(2, 8, 63, 0);
       e.SetScan(3, 2, 63, 0);
       e.SetScan(4, 4, 63, 1);
     },
     false},
  };
  const BitmapImage images[] = {GradientImage(37, 23), NoiseImage(9, 17, 4), LetterF(), GradientImage(1, 1),
                                GradientImage(130, 66)};
  for (const Mode &mode : modes)
    for (const BitmapImage &image : images)
    {
      const bool smooth = &image != &images[1] && &image != &images[2];
      SCOPED_TRACE(std::string(mode.name) + " " + std::to_string(image.GetWidth()) + " x "
                   + std::to_string(image.GetHeight()));
      JpegEncoder encoder;
      encoder.SetQuality(90);
      mode.configure(encoder);
      const std::string path = TempPath("matrix.jpg");
      encoder.WriteImageFile(path, image);

      const std::string ppm = path + ".pnm";
      const CommandResult djpeg = RunCommand("djpeg -outfile " + ShellQuote(ppm) + " " + ShellQuote(path));
      ASSERT_EQ(djpeg.status, 0) << djpeg.output;
      EXPECT_EQ(djpeg.output, "") << "djpeg warned";
      uint32_t width = 0, height = 0;
      const std::vector<uint8_t> reference = ReadPnm(ppm, width, height);
      ASSERT_EQ(width, image.GetWidth());
      ASSERT_EQ(height, image.GetHeight());

      const DecodedImage pillow = DecodeImage("pillow", path);
      ASSERT_TRUE(pillow.ok) << pillow.messages;
      EXPECT_FALSE(pillow.warned) << pillow.messages;
      std::vector<uint8_t> pillowRgb;
      for (size_t i = 0; i < pillow.rgba.size(); i += 4)
        pillowRgb.insert(pillowRgb.end(), pillow.rgba.begin() + i, pillow.rgba.begin() + i + 3);
      EXPECT_EQ(pillowRgb, reference) << "Pillow and djpeg disagree";

      const std::string raw = path + ".rgb";
      const CommandResult ffmpeg = RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(path)
                                              + " -f rawvideo -pix_fmt rgb24 " + ShellQuote(raw));
      EXPECT_EQ(ffmpeg.status, 0) << ffmpeg.output;
      EXPECT_EQ(ffmpeg.output, "") << "ffmpeg reported an error";
      const std::vector<uint8_t> ffmpegRgb = ReadFileBytes(raw);
      ASSERT_EQ(ffmpegRgb.size(), reference.size());

      // Sharp colour edges in tiny images lose to chroma subsampling and
      // each decoder upsamples its own way: judge closeness on smooth ones.
      if (smooth)
      {
        EXPECT_GT(Psnr(ffmpegRgb, reference), 30) << "ffmpeg decodes a different picture";
        EXPECT_GT(Psnr(reference, SourceRgb(image, mode.greyscale)), 30);
      }
    }
}
