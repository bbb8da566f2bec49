// Input reading: every PNG colour type and depth, and binary PGM/PPM, must
// arrive as the same blue, green, red, alpha bytes. A 32-bit BMP of the
// result is a byte-exact copy of the image the encoder was given.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "testimages.h"
#include "toolharness.h"

namespace
{

using namespace tool_testing;
using testing_support::ReadFileBytes;
using testing_support::TempPath;

struct Bgra
{
  uint8_t blue, green, red, alpha;
  bool operator==(const Bgra &other) const
  {
    return blue == other.blue && green == other.green && red == other.red && alpha == other.alpha;
  }
};

std::ostream &operator<<(std::ostream &stream, const Bgra &pixel)
{
  return stream << "BGRA(" << int(pixel.blue) << "," << int(pixel.green) << "," << int(pixel.red) << ","
                << int(pixel.alpha) << ")";
}

// Converts through the tool to a top-down 32-bit BMP and returns its pixels.
std::vector<Bgra> PixelsSeenByEncoder(const std::string &input, uint32_t expectedWidth, uint32_t expectedHeight)
{
  const std::string output = input + ".bmp";
  const testing_support::CommandResult run = RunEncoder({input, output, "--bits", "32"});
  EXPECT_EQ(run.status, 0) << run.output;
  const std::vector<uint8_t> bytes = ReadFileBytes(output);
  std::vector<Bgra> pixels;
  if (bytes.size() < 122)
    return pixels;
  EXPECT_EQ(testing_support::ReadLittle32(bytes, 18), expectedWidth);
  EXPECT_EQ(testing_support::ReadLittle32(bytes, 22), 0u - expectedHeight);  // top-down
  for (size_t at = 122; at + 4 <= bytes.size(); at += 4)
    pixels.push_back({bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]});
  return pixels;
}

class PngInput : public testing::Test
{
protected:
  // Two-pixel-wide, one-pixel-high PNGs of each kind, written by Pillow
  // into the test's own folder (CTest may run the cases side by side).
  void SetUp() override
  {
    folder = FolderOf(TempPath("rgb.png")) + "/";
    RunPython(R"(
from PIL import Image
d = argv[0]
Image.frombytes('RGB', (2, 1), bytes([10, 20, 30, 250, 128, 0])).save(d + 'rgb.png')
Image.frombytes('RGBA', (2, 1), bytes([10, 20, 30, 40, 1, 2, 3, 255])).save(d + 'rgba.png')
p = Image.new('P', (2, 1)); p.putpalette([200, 100, 50, 1, 2, 3]); p.putpixel((1, 0), 1)
p.save(d + 'palette-trns.png', transparency=1)
p.save(d + 'palette.png')
Image.frombytes('I;16', (2, 1), bytes([0xff, 0xff, 0x64, 0x64])).save(d + 'grey16.png')
Image.frombytes('LA', (2, 1), bytes([77, 200, 0, 0])).save(d + 'grey-alpha.png')
Image.frombytes('1', (2, 1), bytes([0x80])).save(d + 'bilevel.png')
Image.frombytes('RGB', (9, 7), bytes(range(189))).save(d + 'plain9x7.png')
)",
              {folder});
  }

  std::string folder;
};

TEST_F(PngInput, ColourTypesExpandToBgraWithAlphaOnlyWhenPresent)
{
  struct Case
  {
    const char *file;
    Bgra first, second;
  };
  const Case cases[] = {
    {"rgb.png", {30, 20, 10, 0}, {0, 128, 250, 0}},         {"rgba.png", {30, 20, 10, 40}, {3, 2, 1, 255}},
    {"palette.png", {50, 100, 200, 0}, {3, 2, 1, 0}},       {"palette-trns.png", {50, 100, 200, 255}, {3, 2, 1, 0}},
    {"grey16.png", {255, 255, 255, 0}, {100, 100, 100, 0}},  // 0x6464 scales to 100
    {"grey-alpha.png", {77, 77, 77, 200}, {0, 0, 0, 0}},    {"bilevel.png", {255, 255, 255, 0}, {0, 0, 0, 0}},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.file);
    const std::vector<Bgra> pixels = PixelsSeenByEncoder(folder + c.file, 2, 1);
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0], c.first);
    EXPECT_EQ(pixels[1], c.second);
  }
}

TEST_F(PngInput, InterlacedReadsLikePlain)
{
  const std::string interlaced = folder + "interlaced9x7.png";
  const testing_support::CommandResult convert =
    testing_support::RunCommand("convert " + testing_support::ShellQuote(folder + "plain9x7.png") + " -interlace PNG "
                                + testing_support::ShellQuote(interlaced));
  ASSERT_EQ(convert.status, 0) << convert.output;
  ASSERT_NE(ReadFileBytes(interlaced).at(28), 0) << "ImageMagick wrote a non-interlaced file";
  EXPECT_EQ(PixelsSeenByEncoder(interlaced, 9, 7), PixelsSeenByEncoder(folder + "plain9x7.png", 9, 7));
}

TEST(NetpbmInput, PpmAndPgmWithHeaderComments)
{
  const std::string ppm = TempPath("commented.ppm");
  std::ofstream(ppm, std::ios::binary) << "P6\n# made by hand\n2 # width\n1\n255\n"
                                       << std::string("\x0a\x14\x1e\xfa\x80\x00", 6);
  EXPECT_EQ(PixelsSeenByEncoder(ppm, 2, 1), (std::vector<Bgra>{{30, 20, 10, 0}, {0, 128, 250, 0}}));

  const std::string pgm = TempPath("grey.pgm");
  // The raster starts after exactly one whitespace byte, even if it is one.
  std::ofstream(pgm, std::ios::binary) << "P5 3 1 255\n" << std::string("\x0a\x00\xff", 3);
  EXPECT_EQ(PixelsSeenByEncoder(pgm, 3, 1), (std::vector<Bgra>{{10, 10, 10, 0}, {0, 0, 0, 0}, {255, 255, 255, 0}}));
}

// Files are converted a block at a time: rasters over several blocks, the
// first block ending inside a pixel, and a header longer than a block.
TEST(NetpbmInput, LargeFilesReadAsTheirBytesSay)
{
  struct Case
  {
    const char *name;
    std::string header;
    bool colour;
    uint32_t width, height;
  };
  const Case cases[] = {
    {"blocks.ppm", "P6 301  200 255\n", true, 301, 200},
    {"blocks.pgm", "P5 401  300 255\n", false, 401, 300},
    {"comment.ppm", "P6\n# " + std::string(70000, 'c') + "\n7 5\n255\n", true, 7, 5},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    const uint32_t channels = c.colour ? 3 : 1;
    std::string raster(size_t(c.width) * c.height * channels, '\0');
    for (size_t i = 0; i < raster.size(); ++i)
      raster[i] = char((i * 7 + i / 3 * 13) & 255);
    const std::string path = TempPath(c.name);
    std::ofstream(path, std::ios::binary) << c.header << raster;
    std::vector<Bgra> expected;
    for (size_t p = 0; p < size_t(c.width) * c.height; ++p)
    {
      const uint8_t *pixel = reinterpret_cast<const uint8_t *>(raster.data()) + p * channels;
      expected.push_back(c.colour ? Bgra{pixel[2], pixel[1], pixel[0], 0} : Bgra{pixel[0], pixel[0], pixel[0], 0});
    }
    EXPECT_EQ(PixelsSeenByEncoder(path, c.width, c.height), expected);
  }
}

TEST(NetpbmInput, TwentyFourBitBmpIsBottomUp)
{
  // The letter F through PPM and a 24-bit BMP: the BMP's first row is the
  // picture's last, and a red pixel is stored as 00 00 FF.
  const std::string ppm = TempPath("f.ppm");
  WriteNetpbm(ppm, testing_support::LetterF());
  const std::string bmp = TempPath("f.bmp");
  ASSERT_EQ(RunEncoder({ppm, bmp}).status, 0);
  const std::vector<uint8_t> bytes = ReadFileBytes(bmp);
  const size_t rowBytes = 20;  // 6 x 3 padded to 4
  ASSERT_EQ(bytes.size(), 54 + rowBytes * 5);
  const uint8_t *bottom = &bytes[54];              // image row 4: ".#...."
  const uint8_t *top = &bytes[54 + 4 * rowBytes];  // image row 0: ".####."
  EXPECT_EQ(std::vector<uint8_t>(bottom + 3, bottom + 6), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(std::vector<uint8_t>(bottom + 6, bottom + 9), (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(top + 12, top + 15), (std::vector<uint8_t>{0, 0, 255}));
}

}  // namespace
