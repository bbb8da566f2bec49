// Output bytes of the JPEG encoder, pinned by SHA-256 for a spread of images
// and modes. The digests were taken from the encoder before its hot loops
// were reworked for speed; any change to a single output byte fails here.
// To print fresh digests (only after a deliberate format change):
//   RASTELLO_PRINT_GOLDEN=1 jpeg_golden_tests
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "decoders.h"
#include "jpegencoder.h"
#include "testimages.h"

namespace
{

using Vantorum::BitmapImage;
using Vantorum::JpegEncoder;
using namespace testing_support;

// White paper with black and coloured one-pixel lines: long zero runs,
// EOB runs and isolated large coefficients.
BitmapImage LineDrawing()
{
  BitmapImage image(97, 61, PixelWord({255, 255, 255}));
  for (uint32_t x = 3; x < 94; ++x)
  {
    SetPixel(image, x, 7, {0, 0, 0});
    SetPixel(image, x, 40 + x % 13, {200, 0, 0});
  }
  for (uint32_t y = 2; y < 59; ++y)
    SetPixel(image, 50, y, {0, 0, 230});
  return image;
}

struct Mode
{
  const char *name;
  std::function<void(JpegEncoder &)> configure;
};

const Mode Modes[] = {
  {"baseline-q75", [](JpegEncoder &) {}},
  {"baseline-q100", [](JpegEncoder &e) { e.SetQuality(100); }},
  {"baseline-q1", [](JpegEncoder &e) { e.SetQuality(1); }},
  {"baseline-grey-q50", [](JpegEncoder &e) { e.SetQuality(50); e.SetGreyscale(true); }},
  {"progressive-q75", [](JpegEncoder &e) { e.SetProgressive(true); }},
  {"progressive-grey", [](JpegEncoder &e) { e.SetProgressive(true); e.SetGreyscale(true); }},
  {"progressive-approximation",
   [](JpegEncoder &e) {
     e.SetProgressive(true);
     e.SetQuality(90);
     e.SetScan(0, 14, 0, 1);
     e.SetScan(1, 2, 5, 2);
     e.SetScan(2, 4, 63, 1);
     e.SetScan(3, 8, 63, 1);
     e.SetScan(4, 2, 63, 1);
   }},
  {"baseline-420-restart",
   [](JpegEncoder &e) {
     e.SetSamplingFrequency(1, 2, 2);
     e.SetRestartRows(1);
   }},
  {"baseline-separate-scans",
   [](JpegEncoder &e) {
     e.SetSamplingFrequency(1, 2, 1);
     e.SetSamplingFrequency(2, 1, 2);
     e.SetScan(0, 2, 0, 0);
     e.SetScan(1, 4, 0, 0);
     e.SetScan(2, 8, 0, 0);
     e.SetRestartRows(2);
   }},
  {"progressive-420-restart",
   [](JpegEncoder &e) {
     e.SetProgressive(true);
     e.SetSamplingFrequency(1, 2, 2);
     e.SetRestartRows(1);
   }},
};

struct Picture
{
  const char *name;
  std::function<BitmapImage()> make;
};

const Picture Pictures[] = {
  {"letter-f", [] { return LetterF(); }},
  {"gradient-301x203", [] { return GradientImage(301, 203); }},
  {"noise-67x45", [] { return NoiseImage(67, 45, 3); }},
  {"lines-97x61", [] { return LineDrawing(); }},
};

// picture x mode, in the order of the two tables above.
const char *const Golden[][sizeof Modes / sizeof Modes[0]] = {
#include "golden_digests.inc"
};

std::string Sha256Of(const std::string &path)
{
  const CommandResult run = RunCommand("sha256sum " + ShellQuote(path));
  return run.status == 0 ? run.output.substr(0, 64) : "sha256sum failed: " + run.output;
}

TEST(JpegGolden, OutputBytesAreUnchanged)
{
  const bool print = std::getenv("RASTELLO_PRINT_GOLDEN") != nullptr;
  size_t p = 0;
  for (const Picture &picture : Pictures)
  {
    const BitmapImage image = picture.make();
    if (print)
      std::printf("  {\n");
    size_t m = 0;
    for (const Mode &mode : Modes)
    {
      JpegEncoder encoder;
      mode.configure(encoder);
      const std::string path = TempPath(std::string(picture.name) + "-" + mode.name + ".jpg");
      encoder.WriteImageFile(path, image);
      const std::string digest = Sha256Of(path);
      if (print)
        std::printf("    \"%s\",  // %s\n", digest.c_str(), mode.name);
      else
        EXPECT_EQ(digest, Golden[p][m]) << picture.name << ", " << mode.name;
      ++m;
    }
    if (print)
      std::printf("  },  // %s\n", picture.name);
    ++p;
  }
}

} // namespace
