// The export commands through the real host: WBS, WBSM, SAVEBMP and both
// export filters on real drawings, judged by independent decoders (libpng,
// Pillow, djpeg, ffmpeg) and by where the drawing's pixels land.
#include "jpegsegments.h"
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace
{

const std::string Bracket = std::string(RASTELLO_EXAMPLES) + "/bracket.dxf";

// The stored record, word by word; the defaults are the dialog's, without
// the clipboard size.
struct Settings
{
  int32_t width = 800, height = 600, flags = 0, quality = 75, reserved = 2, unusedArea = 0, pngLevel = 9,
          blackAndWhite = 0;
};

std::string StoreSettings(const Settings &settings)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry,
                OptionsLine({settings.width, settings.height, settings.flags, settings.quality, settings.reserved,
                             settings.unusedArea, settings.pngLevel, settings.blackAndWhite}));
  return registry;
}

// A typed command and its words, as one quoted argument.
std::string Typed(const std::string &command)
{
  return " -c " + ShellQuote(command);
}

// --- Drawings -------------------------------------------------------------

struct Line
{
  double x1, y1, x2, y2;
  const char *layer;
  int colour;
};

std::string WriteDrawing(const std::string &name, const std::vector<Line> &lines)
{
  std::string text = "0\nSECTION\n2\nENTITIES\n";
  for (const Line &line : lines)
    text += "0\nLINE\n8\n" + std::string(line.layer) + "\n62\n" + std::to_string(line.colour) + "\n10\n"
            + std::to_string(line.x1) + "\n20\n" + std::to_string(line.y1) + "\n11\n" + std::to_string(line.x2)
            + "\n21\n" + std::to_string(line.y2) + "\n";
  text += "0\nENDSEC\n0\nEOF\n";
  const std::string path = TempPath(name);
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  return path;
}

// A black rectangle from 0,0 to width,height with one diagonal, from the
// top left corner to the bottom right one.
std::string FrameDrawing(double width, double height)
{
  return WriteDrawing("frame.dxf", {{0, 0, width, 0, "0", 7},
                                    {width, 0, width, height, "0", 7},
                                    {width, height, 0, height, "0", 7},
                                    {0, height, 0, 0, "0", 7},
                                    {0, height, width, 0, "0", 7}});
}

// A black square 0,0 to 100,100; red lines beside it (x = -10 and 110) and
// across it (y = 20, 38.5, 61.5, 80); a blue cross through 50,50 reaching
// far beyond, to -300 and 400 both ways, which are the drawing's extents.
std::string ColourDrawing()
{
  return WriteDrawing("colour.dxf", {{0, 0, 100, 0, "0", 7},
                                     {100, 0, 100, 100, "0", 7},
                                     {100, 100, 0, 100, "0", 7},
                                     {0, 100, 0, 0, "0", 7},
                                     {-10, 0, -10, 100, "SIDES", 1},
                                     {110, 0, 110, 100, "SIDES", 1},
                                     {0, 20, 100, 20, "SIDES", 1},
                                     {0, 38.5, 100, 38.5, "SIDES", 1},
                                     {0, 61.5, 100, 61.5, "SIDES", 1},
                                     {0, 80, 100, 80, "SIDES", 1},
                                     {-300, 50, 400, 50, "CROSS", 5},
                                     {50, -300, 50, 400, "CROSS", 5}});
}

// --- Pictures -------------------------------------------------------------

Rgb At(const DecodedImage &picture, uint32_t x, uint32_t y)
{
  const size_t at = (size_t(y) * picture.width + x) * 4;
  return {picture.rgba[at], picture.rgba[at + 1], picture.rgba[at + 2]};
}

bool IsWhite(Rgb p)
{
  return p.red == 255 && p.green == 255 && p.blue == 255;
}

bool IsBlack(Rgb p)
{
  return p.red == 0 && p.green == 0 && p.blue == 0;
}

bool IsRed(Rgb p)
{
  return p.red > 180 && p.green < 80 && p.blue < 80;
}

bool IsBlue(Rgb p)
{
  return p.blue > 180 && p.red < 80 && p.green < 80;
}

// Counts the pixels in columns [x0, x1) and rows [y0, y1) that match.
template <class Test>
size_t CountIn(const DecodedImage &picture, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, Test test)
{
  size_t count = 0;
  for (uint32_t y = y0; y < std::min(y1, picture.height); ++y)
    for (uint32_t x = x0; x < std::min(x1, picture.width); ++x)
      count += test(At(picture, x, y)) ? 1 : 0;
  return count;
}

template <class Test> size_t CountAll(const DecodedImage &picture, Test test)
{
  return CountIn(picture, 0, 0, picture.width, picture.height, test);
}

bool SameIn(const DecodedImage &a, const DecodedImage &b, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1)
{
  for (uint32_t y = y0; y < y1; ++y)
    for (uint32_t x = x0; x < x1; ++x)
    {
      const Rgb p = At(a, x, y), q = At(b, x, y);
      if (p.red != q.red || p.green != q.green || p.blue != q.blue)
        return false;
    }
  return true;
}

struct Chunk
{
  std::string type;
  std::vector<uint8_t> data;
};

uint32_t Big32(const std::vector<uint8_t> &bytes, size_t at)
{
  return uint32_t(bytes.at(at)) << 24 | uint32_t(bytes.at(at + 1)) << 16 | uint32_t(bytes.at(at + 2)) << 8
         | bytes.at(at + 3);
}

// The chunks of a PNG file; empty when the signature is wrong.
std::vector<Chunk> PngChunks(const std::vector<uint8_t> &bytes)
{
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<Chunk> chunks;
  if (bytes.size() < 8 || !std::equal(signature, signature + 8, bytes.begin()))
    return chunks;
  for (size_t at = 8; at + 12 <= bytes.size();)
  {
    const uint32_t length = Big32(bytes, at);
    if (at + 12 + length > bytes.size())
      break;
    Chunk chunk;
    chunk.type.assign(bytes.begin() + long(at) + 4, bytes.begin() + long(at) + 8);
    chunk.data.assign(bytes.begin() + long(at) + 8, bytes.begin() + long(at) + 8 + length);
    chunks.push_back(chunk);
    at += 12 + length;
  }
  return chunks;
}

const Chunk *FindChunk(const std::vector<Chunk> &chunks, const std::string &type)
{
  for (const Chunk &chunk : chunks)
    if (chunk.type == type)
      return &chunk;
  return nullptr;
}

struct Frame
{
  int marker = 0, components = 0;
};

// The start of frame: 0xC0 baseline or 0xC2 progressive.
Frame JpegFrame(const std::string &path)
{
  const std::vector<Segment> segments = ParseJpeg(ReadFileBytes(path));
  for (int marker : {0xC0, 0xC2})
    if (const Segment *frame = FindMarker(segments, static_cast<uint8_t>(marker)))
      return {marker, frame->payload.at(5)};
  return {};
}

// A decoder's picture, read without a warning at the asked size.
DecodedImage Sized(const DecodedImage &image, uint32_t width, uint32_t height, const char *decoder)
{
  EXPECT_TRUE(image.ok) << decoder << ": " << image.messages;
  EXPECT_FALSE(image.warned) << decoder << " warned: " << image.messages;
  EXPECT_EQ(image.width, width) << decoder;
  EXPECT_EQ(image.height, height) << decoder;
  return image;
}

DecodedImage CheckedPng(const std::string &path, uint32_t width, uint32_t height)
{
  SCOPED_TRACE(path);
  const std::vector<Chunk> chunks = PngChunks(ReadFileBytes(path));
  if (chunks.empty())
  {
    ADD_FAILURE() << "not a PNG file";
    return {};
  }
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  const std::vector<uint8_t> &header = chunks.front().data;
  EXPECT_EQ(Big32(header, 0), width);
  EXPECT_EQ(Big32(header, 4), height);
  EXPECT_EQ(header.at(8), 8) << "bit depth";
  EXPECT_EQ(header.at(9), 2) << "colour type RGB";
  const Chunk *gamma = FindChunk(chunks, "gAMA");
  const Chunk *physical = FindChunk(chunks, "pHYs");
  EXPECT_TRUE(gamma != nullptr && gamma->data.size() == 4 && Big32(gamma->data, 0) == 45455);
  EXPECT_TRUE(physical != nullptr && physical->data.size() == 9 && Big32(physical->data, 0) == 72
              && Big32(physical->data, 4) == 72 && physical->data[8] == 0);

  // libpng in process; host_external_tests has Pillow and ImageMagick agree.
  return Sized(DecodePng(ReadFileBytes(path)), width, height, "libpng");
}

DecodedImage CheckedBmp(const std::string &path, uint32_t width, uint32_t height)
{
  SCOPED_TRACE(path);
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  EXPECT_TRUE(bytes.size() > 2 && bytes[0] == 'B' && bytes[1] == 'M') << "not a BMP file";
  return Sized(DecodeImage("pillow", path), width, height, "pillow");
}

DecodedImage CheckedJpeg(const std::string &path, uint32_t width, uint32_t height)
{
  SCOPED_TRACE(path);
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  EXPECT_TRUE(bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) << "not a JPEG file";
  const DecodedImage reference = Sized(DecodeImage("djpeg", path), width, height, "djpeg");
  const DecodedImage pillow = Sized(DecodeImage("pillow", path), width, height, "pillow");
  EXPECT_TRUE(pillow.Rgb() == reference.Rgb()) << "Pillow and djpeg disagree";

  const DecodedImage ffmpeg = DecodeImage("ffmpeg", path);
  EXPECT_TRUE(ffmpeg.ok) << ffmpeg.messages;
  EXPECT_FALSE(ffmpeg.warned) << "ffmpeg reported an error: " << ffmpeg.messages;
  EXPECT_EQ(ffmpeg.rgba.size(), reference.rgba.size());
  if (ffmpeg.rgba.size() == reference.rgba.size() && !ffmpeg.rgba.empty())
  {
    EXPECT_GT(Psnr(ffmpeg, reference), 30) << "ffmpeg decodes a different picture";
  }
  return reference;
}

// Statuses shown on the status line, in order.
std::vector<std::string> StatusLines(const std::string &output)
{
  std::vector<std::string> lines;
  const std::string start = "status: ";
  for (size_t at = output.find(start); at != std::string::npos; at = output.find(start, at + 1))
    if (at == 0 || output[at - 1] == '\n')
      lines.push_back(output.substr(at + start.size(), output.find('\n', at) - at - start.size()));
  return lines;
}

// From at on: "Preparing image...", then saving alone, then the figures
// of saving up to the next line without one. at ends after the figures.
std::vector<int> ProgressFigures(const std::vector<std::string> &lines, size_t &at, const std::string &saving)
{
  while (at + 1 < lines.size() && !(lines[at] == "Preparing image..." && lines[at + 1] == saving))
    ++at;
  std::vector<int> figures;
  const std::string prefix = saving + " ";
  for (at += 2; at < lines.size() && lines[at].rfind(prefix, 0) == 0 && lines[at].back() == '%'; ++at)
    figures.push_back(std::stoi(lines[at].substr(prefix.size())));
  return figures;
}

}  // namespace

// Every format through both command kinds and both export filters, at the
// default size, read back by independent decoders that agree with each
// other and with the lossless captures of the same section.
TEST(ExportFormats, EveryFileDecodesEverywhereAtTheAskedSize)
{
  const std::string folder = FreshFolder("out");
  const std::string registry = StoreSettings({});
  const std::string section = " 0,0 7000,5000";
  const CommandResult run =
    RunZulanIn(folder, registry,
               ShellQuote(Floorplan) + Typed("WBSM a.png" + section) + Typed("WBSM a.bmp" + section)
                 + Typed("WBSM a.JpG" + section) + Typed("WBS" + section + " b") + Typed("WBSM c.png 7000,5000 0,0")
                 + " --export 'PNG File' whole.png --export 'JPEG File' whole.jpg" + Typed("SAVEBMP whole.png.bmp")
                 + Typed("SAVEBMP saved.png"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"a.JpG", "a.bmp", "a.png", "b.PNG", "c.png", "saved.png",
                                                             "whole.jpg", "whole.png", "whole.png.bmp"}));

  const DecodedImage png = CheckedPng(folder + "/a.png", 800, 600);
  const DecodedImage bmp = CheckedBmp(folder + "/a.bmp", 800, 600);
  const DecodedImage jpeg = CheckedJpeg(folder + "/a.JpG", 800, 600);
  ASSERT_FALSE(png.rgba.empty());
  EXPECT_TRUE(png.Rgb() == bmp.Rgb()) << "the PNG and BMP of one section differ";
  EXPECT_GT(Psnr(jpeg, png), 25) << "the JPEG shows another picture";
  EXPECT_TRUE(CheckedPng(folder + "/b.PNG", 800, 600).Rgb() == png.Rgb()) << "WBS and WBSM differ";
  EXPECT_TRUE(CheckedPng(folder + "/c.png", 800, 600).Rgb() == png.Rgb()) << "corners in the other order";
  // The floor plan has walls, coloured windows and a white background.
  EXPECT_GT(CountAll(png, IsBlack), 1000u);
  EXPECT_GT(CountAll(png, IsWhite), 800u * 600 / 2);
  EXPECT_GT(CountAll(png, [](Rgb p) { return p.red != p.green || p.green != p.blue; }), 100u);
  EXPECT_EQ(JpegFrame(folder + "/a.JpG").marker, 0xC0);
  EXPECT_EQ(JpegFrame(folder + "/a.JpG").components, 3);

  const DecodedImage whole = CheckedPng(folder + "/whole.png", 800, 600);
  EXPECT_FALSE(whole.Rgb() == png.Rgb()) << "the export filters draw the whole drawing, not the last section";
  // SAVEBMP writes BMP whatever the name says.
  EXPECT_TRUE(CheckedBmp(folder + "/saved.png", 800, 600).Rgb() == whole.Rgb());
  EXPECT_TRUE(CheckedBmp(folder + "/whole.png.bmp", 800, 600).Rgb() == whole.Rgb());
  EXPECT_GT(Psnr(CheckedJpeg(folder + "/whole.jpg", 800, 600), whole), 25);

  // A second drawing, with bulges, ellipses, solids and limits.
  const CommandResult bracket = RunZulanIn(
    folder, registry, ShellQuote(Bracket) + " --export 'PNG File' bracket.png --export 'JPEG File' bracket.jpg");
  EXPECT_EQ(bracket.status, 0) << bracket.output;
  const DecodedImage bracketPng = CheckedPng(folder + "/bracket.png", 800, 600);
  EXPECT_GT(CountAll(bracketPng, IsBlack), 500u);
  EXPECT_GT(Psnr(CheckedJpeg(folder + "/bracket.jpg", 800, 600), bracketPng), 25);
}

// The format follows the name's last three letters; anything else is
// refused before a pixel is drawn.
TEST(ExportFormats, UnknownEndingsAreRefusedAndWriteNothing)
{
  const std::string folder = FreshFolder("out");
  const std::string registry = StoreSettings({});
  // The save dialog gives a name without an extension ".PNG", so "pn" only
  // reaches the module through WBSM.
  const char *commands[] = {"WBSM a.jpeg 0,0 100,50",    "WBS 0,0 100,50 a.jpeg",   "WBSM a.gif 0,0 100,50",
                            "WBS 0,0 100,50 a.gif",      "WBSM pn 0,0 100,50",      "WBS 0,0 100,50 a.pn",
                            "WBSM a.png.txt 0,0 100,50", "WBS 0,0 100,50 a.png.txt"};
  std::string arguments = ShellQuote(Floorplan);
  for (const char *command : commands)
    arguments += Typed(command);
  const CommandResult run = RunZulanIn(folder, registry, arguments);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(Occurrences(run.output, "ErrorBox: Unknown file format\n"), std::size(commands)) << run.output;
  EXPECT_FALSE(Contains(run.output, "Preparing image")) << run.output;
  EXPECT_TRUE(FolderEntries(folder).empty());
}

// The status line: what each writer shows and in which order.
TEST(ExportStatus, PreparingThenSavingWithRisingFigures)
{
  const std::string folder = FreshFolder("out");
  const CommandResult run = RunZulanIn(folder, StoreSettings({}),
                                       ShellQuote(Floorplan)
                                         + " -c 'WBSM a.jpg 0,0 7000,5000' -c 'WBSM a.bmp 0,0 "
                                           "7000,5000' -c 'WBSM a.png 0,0 7000,5000'");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<std::string> lines = StatusLines(run.output);

  size_t at = 0;
  const std::vector<int> jpeg = ProgressFigures(lines, at, "Saving JPG file...");
  ASSERT_GE(jpeg.size(), 3u) << run.output;
  EXPECT_EQ(jpeg.front(), 0);
  EXPECT_EQ(jpeg.back(), 100);
  EXPECT_TRUE(std::is_sorted(jpeg.begin(), jpeg.end())) << run.output;

  const std::vector<int> bmp = ProgressFigures(lines, at, "Saving BMP file...");
  ASSERT_GE(bmp.size(), 3u) << run.output;
  // The BMP writer's first figure is its 100 %, then the rows start over.
  EXPECT_EQ(bmp[0], 100) << run.output;
  EXPECT_LT(bmp[1], 50) << run.output;
  EXPECT_NE(std::find(bmp.begin() + 1, bmp.end(), 100), bmp.end()) << run.output;

  const std::vector<int> png = ProgressFigures(lines, at, "Saving PNG file...");
  ASSERT_GE(png.size(), 3u) << run.output;
  EXPECT_EQ(png.front(), 0);
  EXPECT_TRUE(std::is_sorted(png.begin(), png.end())) << run.output;
}

// Sizes from the settings: the clipboard's when asked and offered, Crop
// trimmed to the section's aspect, JPEGOPT's in the same run.
TEST(ExportSize, DefaultClipboardAndCropSizes)
{
  const std::string folder = FreshFolder("out");
  Settings clipboard;
  clipboard.flags = 8;
  const std::string registry = StoreSettings(clipboard);
  CommandResult run = RunZulanIn(folder, registry, ShellQuote(Floorplan) + " -c 'WBSM default.png 0,0 100,50'");
  EXPECT_EQ(run.status, 0) << run.output;
  run = RunZulanIn(folder, registry,
                   "--clipboard 1024x300 " + ShellQuote(Floorplan)
                     + " -c 'WBSM clip.png 0,0 100,50' --export 'JPEG File' clip.jpg");
  EXPECT_EQ(run.status, 0) << run.output;
  run = RunZulanIn(folder, registry,
                   ShellQuote(Floorplan)
                     + " -c 'JPEGOPT 1010=off Width=800 Height=600 Crop ok' -c 'WBSM wide.png 0,0 100,50'"
                       " -c 'WBSM tall.png 0,0 50,100' -c 'WBSM bmp.bmp 0,0 100,50'"
                       " -c 'JPEGOPT Normal ok' -c 'WBSM normal.png 0,0 100,50'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes({800, 600, 0, 75, 2, 0, 9, 0}));
  Settings crop;
  crop.unusedArea = 1;
  run = RunZulanIn(folder, StoreSettings(crop), ShellQuote(Floorplan) + Typed("WBSM stored-crop.jpg 0,0 100,50"));
  EXPECT_EQ(run.status, 0) << run.output;

  CheckedPng(folder + "/default.png", 800, 600);
  CheckedJpeg(folder + "/stored-crop.jpg", 800, 400);
  CheckedPng(folder + "/clip.png", 1024, 300);
  CheckedJpeg(folder + "/clip.jpg", 1024, 300);
  const DecodedImage wide = CheckedPng(folder + "/wide.png", 800, 400);
  // The width is cut by a truncated single-precision figure: 300 or 301.
  const std::vector<Chunk> tall = PngChunks(ReadFileBytes(folder + "/tall.png"));
  ASSERT_FALSE(tall.empty());
  EXPECT_NEAR(Big32(tall.front().data, 0), 300.5, 0.5);
  EXPECT_EQ(Big32(tall.front().data, 4), 600u);
  EXPECT_TRUE(CheckedBmp(folder + "/bmp.bmp", 800, 400).Rgb() == wide.Rgb());
  CheckedPng(folder + "/normal.png", 800, 600);
}

// Above the strip limit the capture is drawn in strips; the file still has
// exactly the asked size, and no row is lost or doubled where the strips
// meet: the frame round the section sits on the outermost pixels and the
// diagonal keeps within a row's width of its course.
TEST(ExportSize, LargeSizesComeOutExactly)
{
  const std::string folder = FreshFolder("out");
  Settings settings;
  settings.width = 4000;
  settings.height = 1001;
  settings.pngLevel = 1;
  const std::string drawing = FrameDrawing(3999, 1000);
  CommandResult run =
    RunZulanIn(folder, StoreSettings(settings),
               ShellQuote(drawing) + Typed("WBSM strips.png 0,0 3999,1000") + " --export 'PNG File' whole.png");
  EXPECT_EQ(run.status, 0) << run.output;
  const DecodedImage strips = CheckedPng(folder + "/strips.png", 4000, 1001);
  ASSERT_FALSE(strips.rgba.empty());
  EXPECT_TRUE(CheckedPng(folder + "/whole.png", 4000, 1001).Rgb() == strips.Rgb())
    << "the drawing's extents are the frame, so both show the same";
  EXPECT_EQ(CountIn(strips, 0, 0, 4000, 1, IsBlack), 4000u) << "top edge";
  EXPECT_EQ(CountIn(strips, 0, 1000, 4000, 1001, IsBlack), 4000u) << "bottom edge";
  EXPECT_EQ(CountIn(strips, 0, 0, 1, 1001, IsBlack), 1001u) << "left edge";
  EXPECT_EQ(CountIn(strips, 3999, 0, 4000, 1001, IsBlack), 1001u) << "right edge";
  for (uint32_t row = 1; row < 1000; ++row)
  {
    const double centre = row * 3999.0 / 1000;
    const size_t near = CountIn(strips, uint32_t(std::max(1.0, centre - 4)), row,
                                uint32_t(std::min(3999.0, centre + 5)), row + 1, IsBlack);
    const size_t all = CountIn(strips, 1, row, 3999, row + 1, IsBlack);
    ASSERT_TRUE(near > 0 && near == all) << "diagonal off its course in row " << row;
  }

  settings.width = settings.height = 9999;
  run = RunZulanIn(folder, StoreSettings(settings), ShellQuote(drawing) + " --export 'PNG File' huge.png");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::vector<Chunk> chunks = PngChunks(ReadFileBytes(folder + "/huge.png"));
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(Big32(chunks.front().data, 0), 9999u);
  EXPECT_EQ(Big32(chunks.front().data, 4), 9999u);
  EXPECT_EQ(chunks.back().type, "IEND");
}

// A line crossing the seam between two strips goes on where it left off:
// the diagonal's pixels move by at most a pixel from one row to the next.
TEST(ExportSize, LinesRunOnAcrossStripSeams)
{
  const std::string folder = FreshFolder("out");
  Settings settings;
  settings.width = 4000;
  settings.height = 1001;
  settings.pngLevel = 1;
  const CommandResult run = RunZulanIn(folder, StoreSettings(settings),
                                       ShellQuote(FrameDrawing(3999, 1000)) + Typed("WBSM strips.bmp 0,0 3999,1000"));
  ASSERT_EQ(run.status, 0) << run.output;
  const DecodedImage strips = CheckedBmp(folder + "/strips.bmp", 4000, 1001);
  ASSERT_FALSE(strips.rgba.empty());
  double previous = 0;
  for (uint32_t row = 1; row < 1000; ++row)
  {
    double sum = 0;
    size_t count = 0;
    for (uint32_t x = 1; x < 3999; ++x)
      if (IsBlack(At(strips, x, row)))
      {
        sum += x;
        ++count;
      }
    ASSERT_GT(count, 0u) << "row " << row;
    const double offset = sum / double(count) - row * 3999.0 / 1000;
    if (row > 1)
    {
      EXPECT_LE(std::abs(offset - previous), 1.0) << "the diagonal steps sideways at row " << row;
    }
    previous = offset;
  }
}

// Where the section's aspect differs from the bitmap's, Normal shows the
// drawing beyond the section and Blank paints it background white; inside
// the section both agree. Margins left and right, top and bottom, and top
// and bottom of a capture in two strips.
TEST(UnusedArea, BlankWhitensTheMarginsNormalShowsTheDrawing)
{
  const std::string folder = FreshFolder("out");
  Settings blankSettings;
  blankSettings.unusedArea = 2;
  // Blank first from the stored record, then each way through the dialog.
  const CommandResult run = RunZulanIn(
    folder, StoreSettings(blankSettings),
    ShellQuote(ColourDrawing())
      + " -c 'WBSM square-blank.png 0,0 100,100' -c 'WBSM flat-blank.bmp 0,40 100,60'"
        " -c 'JPEGOPT Normal ok' -c 'WBSM square-normal.png 0,0 100,100' -c 'WBSM flat-normal.png 0,40 100,60'"
        " -c 'JPEGOPT Width=4000 Height=1001 ok' -c 'WBSM strips-normal.png 0,45 100,55'"
        " -c 'JPEGOPT Blank ok' -c 'WBSM strips-blank.png 0,45 100,55'");
  EXPECT_EQ(run.status, 0) << run.output;

  // The margins run from each edge to margin across the given side, the
  // section from inner. 100 x 100 at 800 x 600 covers columns 100 to 699;
  // 100 x 20 rows 220 to 379; 100 x 10 at 4000 x 1001, in two strips, rows
  // 300 to 700, the bottom margin wholly in the second strip.
  const struct
  {
    const char *normal, *blank;
    uint32_t width, height;
    bool columns;
    uint32_t margin, inner;
    size_t red;  // in each margin of Normal: the lines beside or across the square
  } cases[] = {{"square-normal.png", "square-blank.png", 800, 600, true, 97, 103, 300},
               {"flat-normal.png", "flat-blank.bmp", 800, 600, false, 216, 223, 1000},
               {"strips-normal.png", "strips-blank.png", 4000, 1001, false, 297, 303, 3000}};
  std::vector<std::pair<DecodedImage, DecodedImage>> pictures;
  pictures.reserve(std::size(cases));
  for (const auto &test : cases)
  {
    SCOPED_TRACE(test.normal);
    const auto read = [&](const std::string &name) {
      return fs::path(name).extension() == ".bmp" ? CheckedBmp(folder + "/" + name, test.width, test.height)
                                                  : CheckedPng(folder + "/" + name, test.width, test.height);
    };
    const DecodedImage &normal = pictures.emplace_back(read(test.normal), read(test.blank)).first,
                       &blank = pictures.back().second;
    ASSERT_FALSE(normal.rgba.empty() || blank.rgba.empty());
    const uint32_t side = test.columns ? test.width : test.height, far = side - test.margin;
    const auto band = [&](const DecodedImage &picture, uint32_t from, uint32_t to, bool (*match)(Rgb)) {
      return test.columns ? CountIn(picture, from, 0, to, test.height, match)
                          : CountIn(picture, 0, from, test.width, to, match);
    };
    const size_t marginPixels = size_t(test.margin) * (test.columns ? test.height : test.width);
    EXPECT_GT(band(normal, 0, test.margin, IsRed), test.red) << "first margin";
    EXPECT_GT(band(normal, far, side, IsRed), test.red) << "second margin";
    EXPECT_EQ(band(blank, 0, test.margin, IsWhite), marginPixels);
    EXPECT_EQ(band(blank, far, side, IsWhite), marginPixels);
    EXPECT_TRUE(test.columns ? SameIn(normal, blank, test.inner, 0, side - test.inner, test.height)
                             : SameIn(normal, blank, 0, test.inner, test.width, side - test.inner));
  }
  EXPECT_GT(CountIn(pictures[0].first, 0, 0, 97, 600, IsBlue), 90u) << "the blue line at y = 50";
  EXPECT_GT(CountIn(pictures[0].second, 97, 0, 103, 600, IsBlack), 500u) << "the square's left side";
  // The blue line x = 50 crosses every row of the section, the seam too.
  for (uint32_t row = 303; row < 698; ++row)
    ASSERT_GT(CountIn(pictures[2].second, 1995, row, 2005, row + 1, IsBlue), 0u) << "row " << row;
}

// Black and white turns every drawn pixel of a section black, for that
// command only; the export filters keep the colours.
TEST(BlackAndWhite, SectionsAreBlackOnWhiteAndColoursReturn)
{
  const std::string folder = FreshFolder("out");
  Settings settings;
  settings.blackAndWhite = 1;
  const std::string extents = " -300,-300 400,400";
  const CommandResult run =
    RunZulanIn(folder, StoreSettings(settings),
               ShellQuote(ColourDrawing()) + " --export 'PNG File' before.png" + Typed("WBSM bw.png" + extents)
                 + " --export 'PNG File' after.png" + Typed("WBS" + extents + " bw") + Typed("WBSM bw.bmp" + extents)
                 + " --export 'JPEG File' after.jpg" + Typed("WBSM bad.jpeg" + extents)
                 + Typed("WBSM flat.png 5,5 5,100") + " --export 'PNG File' after-errors.png");
  EXPECT_EQ(run.status, 1) << run.output;

  const DecodedImage before = CheckedPng(folder + "/before.png", 800, 600);
  const DecodedImage bw = CheckedPng(folder + "/bw.png", 800, 600);
  ASSERT_FALSE(before.rgba.empty() || bw.rgba.empty());
  EXPECT_GT(CountAll(before, IsRed), 200u);
  EXPECT_GT(CountAll(before, IsBlue), 200u);
  EXPECT_EQ(CountAll(bw, [](Rgb p) { return IsBlack(p) || IsWhite(p); }), 800u * 600);
  // The section is the drawing's extents: black exactly where the filter
  // drew anything.
  bool samePlaces = true;
  for (uint32_t y = 0; y < 600; ++y)
    for (uint32_t x = 0; x < 800; ++x)
      samePlaces = samePlaces && IsBlack(At(bw, x, y)) == !IsWhite(At(before, x, y));
  EXPECT_TRUE(samePlaces);
  EXPECT_TRUE(CheckedPng(folder + "/bw.PNG", 800, 600).Rgb() == bw.Rgb());
  EXPECT_TRUE(CheckedBmp(folder + "/bw.bmp", 800, 600).Rgb() == bw.Rgb());

  EXPECT_TRUE(CheckedPng(folder + "/after.png", 800, 600).Rgb() == before.Rgb());
  EXPECT_GT(CountAll(CheckedJpeg(folder + "/after.jpg", 800, 600), IsRed), 100u);
  // The palette comes back after a refused format and a refused section.
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Unknown file format")) << run.output;
  EXPECT_TRUE(Contains(run.output, "no width or no height")) << run.output;
  EXPECT_TRUE(CheckedPng(folder + "/after-errors.png", 800, 600).Rgb() == before.Rgb());
  EXPECT_FALSE(fs::exists(folder + "/bad.jpeg"));
  EXPECT_FALSE(fs::exists(folder + "/flat.png"));
}

// esc at any request ends the command with nothing written and, with black
// and white set, the colours back for the next export.
TEST(ExportCancel, EscAtEveryRequestWritesNothingAndRestoresColours)
{
  const std::string folder = FreshFolder("out");
  Settings settings;
  settings.blackAndWhite = 1;
  const char *cancelled[] = {"WBSM name.png esc", "WBSM first.png esc", "WBSM opposite.png 0,0 esc",
                             "WBS esc",           "WBS 0,0 esc",        "WBS 0,0 100,100 esc",
                             "SAVEBMP esc"};
  std::string arguments = ShellQuote(ColourDrawing());
  for (size_t index = 0; index < std::size(cancelled); ++index)
    arguments += " -c " + ShellQuote(cancelled[index]) + " --export 'PNG File' after" + std::to_string(index) + ".png";
  const CommandResult run = RunZulanIn(folder, StoreSettings(settings), arguments);
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<std::string> expected;
  for (size_t index = 0; index < std::size(cancelled); ++index)
    expected.push_back("after" + std::to_string(index) + ".png");
  EXPECT_EQ(FolderEntries(folder), expected);
  for (size_t index = 0; index < std::size(cancelled); ++index)
    EXPECT_GT(CountAll(CheckedPng(folder + "/" + expected[index], 800, 600), IsRed), 200u)
      << "after " << cancelled[index];
  // esc as the name of the first request: the command still ends cleanly.
  EXPECT_EQ(RunZulanIn(folder, StoreSettings(settings), "-c 'WBSM esc'").status, 0);
}

// The JPEG and PNG settings reach the files: greyscale and progressive
// frames, quality, PNG compression level.
TEST(ExportSettings, JpegAndPngOptionsReachTheFile)
{
  const std::string folder = FreshFolder("out");
  Settings settings;
  settings.flags = 1 | 2;
  settings.quality = 90;
  settings.pngLevel = 0;
  const std::string registry = StoreSettings(settings);
  const CommandResult run =
    RunZulanIn(folder, registry,
               ShellQuote(Floorplan)
                 + " -c 'WBSM grey.jpg 0,0 7000,5000' -c 'WBSM stored.png 0,0 7000,5000' --export 'JPEG File' whole.jpg"
                   " -c 'JPEGOPT Quality=10 Progressive=off Maximum ok' -c 'WBSM q10.jpg 0,0 7000,5000'"
                   " -c 'WBSM packed.png 0,0 7000,5000' -c 'JPEGOPT Quality=100 ok' -c 'WBSM q100.jpg 0,0 7000,5000'");
  EXPECT_EQ(run.status, 0) << run.output;

  EXPECT_EQ(JpegFrame(folder + "/grey.jpg").marker, 0xC2);
  EXPECT_EQ(JpegFrame(folder + "/grey.jpg").components, 1);
  EXPECT_EQ(JpegFrame(folder + "/whole.jpg").marker, 0xC2);
  EXPECT_EQ(JpegFrame(folder + "/q10.jpg").marker, 0xC0);
  EXPECT_EQ(JpegFrame(folder + "/q10.jpg").components, 1) << "the greyscale bit has no control and stays";
  const DecodedImage grey = CheckedJpeg(folder + "/grey.jpg", 800, 600);
  EXPECT_EQ(CountAll(grey, [](Rgb p) { return p.red == p.green && p.green == p.blue; }), 800u * 600);
  CheckedJpeg(folder + "/whole.jpg", 800, 600);
  const DecodedImage low = CheckedJpeg(folder + "/q10.jpg", 800, 600);
  const DecodedImage high = CheckedJpeg(folder + "/q100.jpg", 800, 600);
  EXPECT_LT(fs::file_size(folder + "/q10.jpg"), fs::file_size(folder + "/q100.jpg"));
  const DecodedImage stored = CheckedPng(folder + "/stored.png", 800, 600);
  EXPECT_GT(Psnr(high, stored), Psnr(low, stored));
  // Level 0 stores the rows as they are; 9 packs the same pixels.
  EXPECT_GT(fs::file_size(folder + "/stored.png"), 800u * 601 * 3);
  EXPECT_LT(fs::file_size(folder + "/packed.png") * 20, fs::file_size(folder + "/stored.png"));
  EXPECT_TRUE(CheckedPng(folder + "/packed.png", 800, 600).Rgb() == stored.Rgb());
}

// Settings that cannot be drawn or written: one clear error box per
// export, no file, and the run goes on.
TEST(ExportFailures, UnusableSettingsAndSectionsWriteNothing)
{
  const std::string folder = FreshFolder("out");
  const std::string exports = " -c 'WBSM a.png 0,0 100,50' -c 'WBS 0,0 100,50 b.png' -c 'SAVEBMP c.bmp'"
                              " --export 'PNG File' d.png --export 'JPEG File' e.jpg";
  struct Case
  {
    int32_t width, height;
  };
  for (Case size : {Case{0, 600}, Case{-800, 600}, Case{800, -1}, Case{46341, 46341}, Case{70000, 10}})
  {
    SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
    Settings settings;
    settings.width = size.width;
    settings.height = size.height;
    const CommandResult run = RunZulanIn(folder, StoreSettings(settings), ShellQuote(Floorplan) + exports);
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_EQ(Occurrences(run.output, "ErrorBox: Error: The bitmap size in the settings is out of range"), 5u)
      << run.output;
    EXPECT_TRUE(FolderEntries(folder).empty());
  }

  // Quality 0 cannot make a JPEG; the other formats do not use it.
  Settings settings;
  settings.quality = 0;
  CommandResult run = RunZulanIn(folder, StoreSettings(settings),
                                 ShellQuote(Floorplan) + Typed("WBSM a.jpg 0,0 100,50") + " --export 'JPEG File' b.jpg"
                                   + Typed("WBSM c.png 0,0 100,50"));
  EXPECT_EQ(run.status, 1) << run.output;
  // Refused when the name is known, before the corners are asked for.
  const std::string refusal = "ErrorBox: Error: The JPEG quality in the settings is out of range (1 to 100); "
                              "set it with JPEGOPT\nzulan: command WBSM did not use: 0,0 100,50\n"
                              "ErrorBox: Error: The JPEG quality";
  EXPECT_TRUE(Contains(run.output, refusal)) << run.output;
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"c.png"});
  fs::remove(folder + "/c.png");

  // Sections without width or height, then a good one in the same run.
  run = RunZulanIn(folder, StoreSettings({}),
                   ShellQuote(Floorplan)
                     + " -c 'WBSM a.png 5,5 5,100' -c 'WBSM b.bmp 5,5 100,5' -c 'WBS 5,5 5,5 c.jpg'"
                       " -c 'WBSM good.png 5,5 100,100'");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(Occurrences(run.output, "ErrorBox: Error: The section has no width or no height"), 3u) << run.output;
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"good.png"});
  CheckedPng(folder + "/good.png", 800, 600);
}

// Writes that fail: a folder in the way, a full disk. The user's file is
// never half replaced and no temporary stays behind.
TEST(ExportFailures, FailedWritesKeepTheOldFileAndLeaveNoTemporary)
{
  const std::string folder = FreshFolder("out");
  Settings settings;
  settings.pngLevel = 0;
  const std::string registry = StoreSettings(settings);
  fs::create_directories(folder + "/folder.png");
  fs::create_directories(folder + "/folder.bmp");
  CommandResult run = RunZulanIn(folder, registry,
                                 ShellQuote(Floorplan)
                                   + " -c 'WBSM folder.png 0,0 100,50' --export 'PNG File' folder.png"
                                     " -c 'SAVEBMP folder.bmp'");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Cannot write to file folder.png: it is a folder")) << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Cannot write to file " + folder + "/folder.png: it is a folder"))
    << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Cannot write to file " + folder + "/folder.bmp: it is a folder"))
    << run.output;
  EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"folder.bmp", "folder.png"}));
  EXPECT_TRUE(fs::is_empty(folder + "/folder.png"));

  // Files beyond 4 KiB fail with EFBIG (SIGXFSZ ignored): every writer.
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  const char *names[] = {"a.bmp", "b.jpg", "c.png", "d.png", "e.jpg", "f.bmp"};
  for (const char *name : names)
    WriteFileBytes(folder + "/" + name, old);
  const std::string zulan = ZulanCommandLine(
    registry, ShellQuote(Floorplan)
                + " -c 'WBSM a.bmp 0,0 7000,5000' -c 'WBSM b.jpg 0,0 7000,5000' -c 'WBS 0,0 7000,5000 c.png'"
                  " --export 'PNG File' d.png --export 'JPEG File' e.jpg -c 'SAVEBMP f.bmp'");
  run = RunCommand("cd " + ShellQuote(folder) + " && bash -c " + ShellQuote("trap '' XFSZ; ulimit -f 4; exec " + zulan)
                   + " </dev/null");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Cannot write to file a.bmp: File too large")) << run.output;
  for (const char *name : names)
  {
    SCOPED_TRACE(name);
    // The message names the file, never the temporary.
    size_t at = run.output.find("ErrorBox: ");
    bool named = false;
    for (; at != std::string::npos; at = run.output.find("ErrorBox: ", at + 1))
      named = named || run.output.substr(at, run.output.find('\n', at) - at).find(name) != std::string::npos;
    EXPECT_TRUE(named) << run.output;
    EXPECT_EQ(ReadFileBytes(folder + "/" + name), old);
  }
  EXPECT_FALSE(Contains(run.output, ".rastello-")) << run.output;
  EXPECT_FALSE(Contains(run.output, "Cannot write to file folder")) << run.output;
  std::vector<std::string> expected(std::begin(names), std::end(names));
  expected.insert(expected.end(), {"folder.bmp", "folder.png"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderEntries(folder), expected) << "a temporary was left behind";
}

// What is at the target path stays what it was: a link stays a link and
// its file gets the image; a file keeps its permission bits; a new file
// gets what the umask allows.
TEST(ExportTargets, LinksAndPermissionsSurviveTheReplace)
{
  const std::string folder = FreshFolder("out");
  fs::create_directories(folder + "/real");
  WriteFileBytes(folder + "/real/linked.png", {'o', 'l', 'd'});
  fs::create_symlink("real/linked.png", folder + "/link.png");
  fs::create_symlink("real/new.jpg", folder + "/dangling.jpg");
  WriteFileBytes(folder + "/private.jpg", {'o', 'l', 'd'});
  fs::permissions(folder + "/private.jpg", fs::perms(0640));
  WriteFileBytes(folder + "/shared.bmp", {'o', 'l', 'd'});
  fs::permissions(folder + "/shared.bmp", fs::perms(0604));

  const CommandResult run = RunCommand(
    "cd " + ShellQuote(folder) + " && umask 027 && "
    + ZulanCommandLine(StoreSettings({}),
                       ShellQuote(Floorplan)
                         + " -c 'WBSM link.png 0,0 7000,5000' --export 'JPEG File' dangling.jpg"
                           " -c 'WBSM private.jpg 0,0 7000,5000' -c 'SAVEBMP shared.bmp' -c 'WBSM fresh.png 0,0 "
                           "7000,5000'")
    + " </dev/null");
  EXPECT_EQ(run.status, 0) << run.output;

  EXPECT_TRUE(fs::is_symlink(folder + "/link.png"));
  EXPECT_EQ(fs::read_symlink(folder + "/link.png"), "real/linked.png");
  CheckedPng(folder + "/real/linked.png", 800, 600);
  EXPECT_TRUE(fs::is_symlink(folder + "/dangling.jpg"));
  CheckedJpeg(folder + "/real/new.jpg", 800, 600);

  const auto mode = [](const std::string &path) {
    struct stat info = {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode(folder + "/private.jpg"), 0640u);
  CheckedJpeg(folder + "/private.jpg", 800, 600);
  EXPECT_EQ(mode(folder + "/shared.bmp"), 0604u);
  CheckedBmp(folder + "/shared.bmp", 800, 600);
  EXPECT_EQ(mode(folder + "/fresh.png"), 0640u);
  EXPECT_EQ(mode(folder + "/real/new.jpg"), 0640u);
  EXPECT_EQ(FolderEntries(folder),
            (std::vector<std::string>{"dangling.jpg", "fresh.png", "link.png", "private.jpg", "real", "shared.bmp"}));
  EXPECT_EQ(FolderEntries(folder + "/real"), (std::vector<std::string>{"linked.png", "new.jpg"}));
}

// WBS's save dialog opens in the folder of the last section file; the
// current folder is the same afterwards for everything else.
TEST(ExportTargets, RelativeNamesFollowTheLastSectionFile)
{
  const std::string folder = FreshFolder("out");
  fs::create_directories(folder + "/sub");
  fs::create_directories(folder + "/other");
  const CommandResult run =
    RunZulanIn(folder, StoreSettings({}),
               ShellQuote(Floorplan)
                 + " -c 'WBS 0,0 100,50 first' -c 'WBSM sub/second.png 0,0 100,50' -c 'WBS 0,0 100,50 third'"
                   " -c 'WBS 0,0 100,50 fourth.bmp' -c 'WBSM fifth.jpg 0,0 100,50' --export 'PNG File' sixth.png"
                   " -c 'SAVEBMP seventh.bmp' -c 'WBS 0,0 100,50 other/eighth.png' -c 'WBS 0,0 100,50 ninth'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(FolderEntries(folder),
            (std::vector<std::string>{"fifth.jpg", "first.PNG", "other", "seventh.bmp", "sixth.png", "sub"}));
  EXPECT_EQ(FolderEntries(folder + "/sub"), (std::vector<std::string>{"fourth.bmp", "second.png", "third.PNG"}));
  EXPECT_EQ(FolderEntries(folder + "/other"), (std::vector<std::string>{"eighth.png", "ninth.PNG"}));
  CheckedPng(folder + "/sub/third.PNG", 800, 600);
  CheckedBmp(folder + "/sub/fourth.bmp", 800, 600);
}
