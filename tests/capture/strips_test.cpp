// Captures drawn by the real host: a section drawn in many strips must be
// the same picture as the one drawn in a single strip (no row lost, doubled
// or left black at the joins), and the section's edges must stay inside the
// image.
#include "capture.h"
#include "exportoptions.h"
#include "hostdrawing.h"
#include "testimages.h"
#include "writers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

using testing_support::TempPath;

const ExportOptions Defaults = {800, 600, 0, 75, 2, UnusedNormal, 9, 0};
// Pixel words: bytes B, G, R, 0 in memory.
const uint32_t White = 0x00FFFFFF, Red = 0x00FF0000, Green = 0x0000FF00, Blue = 0x000000FF;

std::vector<uint32_t> Capture(int32_t width, int32_t height, SectionRect section, int64_t stripPixels,
                              int *strips = nullptr)
{
  captureStripPixels = stripPixels;
  Vantorum::BitmapImage image;
  EXPECT_EQ(CaptureSection(image, width, height, section), 1);
  captureStripPixels = 4000000;
  if (strips != nullptr)
    *strips = int(int64_t(width) * height / stripPixels + 1);
  EXPECT_EQ(image.GetWidth(), uint32_t(width));
  EXPECT_EQ(image.GetHeight(), uint32_t(height));
  const uint32_t *pixels = image.GetPixels();
  return std::vector<uint32_t>(pixels, pixels + size_t(width) * size_t(height));
}

std::string Line(double x1, double y1, double x2, double y2, int colour)
{
  return "0\nLINE\n8\n0\n62\n" + std::to_string(colour) + "\n10\n" + std::to_string(x1) + "\n20\n" + std::to_string(y1)
         + "\n11\n" + std::to_string(x2) + "\n21\n" + std::to_string(y2) + "\n";
}

std::string DrawingFile(const std::string &entities)
{
  const std::string path = TempPath("drawing.dxf");
  std::ofstream(path) << "0\nSECTION\n2\nENTITIES\n" << entities << "0\nENDSEC\n0\nEOF\n";
  return path;
}

class StripsTest : public ::testing::Test
{
protected:
  void SetUp() override { exportOptions = Defaults; }
  void Open(const std::string &path) { ASSERT_EQ(zulan::OpenHostDrawing(path), ""); }
};

TEST_F(StripsTest, ManyStripsDrawTheSamePictureAsOne)
{
  Open(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf");
  for (const auto &size : {std::pair<int32_t, int32_t>{1200, 900}, {640, 1001}, {333, 97}})
  {
    const int32_t width = size.first, height = size.second;
    const SectionRect section = DrawingExtents();
    const std::vector<uint32_t> whole = Capture(width, height, section, int64_t(width) * height + 1);
    int strips = 0;
    const std::vector<uint32_t> striped = Capture(width, height, section, int64_t(width) * height / 7, &strips);
    ASSERT_EQ(strips, 8) << width;

    size_t differing = 0;
    for (int32_t row = 0; row < height; ++row)
    {
      for (int32_t x = 0; x < width; ++x)
      {
        const size_t at = size_t(row) * size_t(width) + size_t(x);
        differing += whole[at] != striped[at];
      }
    }
    // Only the float rounding of each strip's window may move a line by a
    // row; a row lost or doubled at a join would shift all below it.
    EXPECT_LE(differing, whole.size() / 200) << width << " x " << height;
  }
}

TEST_F(StripsTest, LinesCrossingStripJoinsStayContinuous)
{
  // A steep diagonal, a vertical and a frame on the section's edges.
  const std::string entities = Line(0, 0, 100, 1000, 1) + Line(50, 0, 50, 1000, 5) + Line(0, 0, 100, 0, 3)
                               + Line(100, 0, 100, 1000, 3) + Line(100, 1000, 0, 1000, 3) + Line(0, 1000, 0, 0, 3);
  Open(DrawingFile(entities));
  const int32_t width = 101, height = 1001;
  const std::vector<uint32_t> pixels = Capture(width, height, {0, 0, 100, 1000}, 5000);
  auto at = [&](int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; };

  int32_t previous = -1;
  for (int32_t row = 0; row < height; ++row)
  {
    // Every row drawn: the green frame's sides, the blue vertical, and
    // paper (or the red diagonal) between them.
    EXPECT_EQ(at(0, row), Green) << row;
    EXPECT_EQ(at(width - 1, row), Green) << row;
    if (row != 0 && row != height - 1)
    {
      EXPECT_EQ(at(50, row), Blue) << row;
      EXPECT_TRUE(at(25, row) == White || at(25, row) == Red) << row;
    }
    // The diagonal: a column further right every ten rows up, where the
    // mapping puts it, never a gap between rows.
    int32_t column = -1;
    for (int32_t x = 1; x < width - 1; ++x)
    {
      if (x != 50 && at(x, row) == Red)
        column = x;
    }
    if (column >= 0)
    {
      // Row r shows world y = 1000 - r, where the diagonal has x = y / 10.
      EXPECT_LE(std::abs(column - (100 - row / 10.0)), 1.0) << "row " << row;
      if (previous >= 0)
      {
        EXPECT_LE(std::abs(column - previous), 1) << "row " << row;
      }
    }
    previous = column;
  }
  for (int32_t x = 0; x < width; ++x)
  {
    EXPECT_EQ(at(x, 0), Green) << "top edge, column " << x;
    EXPECT_EQ(at(x, height - 1), Green) << "bottom edge, column " << x;
  }
}

// What a writer is told while the capture draws: the picture's size first,
// then each strip once it is read back, in order, ending with the last row.
struct FillLog final : CaptureRows
{
  void Sized(const Vantorum::BitmapImage &image) override { events.push_back(-int32_t(image.GetHeight())); }
  void Filled(int32_t rows) override { events.push_back(rows); }
  std::vector<int32_t> events;
};

std::string FileBytes(const std::string &path)
{
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST_F(StripsTest, AJpegStartedDuringTheCaptureIsTheFileOfOneWrittenAfterIt)
{
  Open(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf");
  const int32_t width = 2000, height = 1001;
  SectionRect section = DrawingExtents();
  captureStripPixels = int64_t(width) * height / 7;
  FillLog log;
  Vantorum::BitmapImage image;
  ASSERT_EQ(CaptureSection(image, width, height, section, nullptr, &log), 1);
  EXPECT_EQ(log.events, (std::vector<int32_t>{-1001, 126, 252, 378, 504, 630, 756, 882, 1001}));

  // A picture large enough for the encoder to choose every core, so that a
  // helper converts the strips as they come.
  for (const bool progressive : {false, true})
  {
    exportOptions.flags = progressive ? FlagProgressive : 0;
    const std::string early = TempPath("early.jpg"), after = TempPath("after.jpg");
    SectionRect again = DrawingExtents();
    Vantorum::BitmapImage drawn;
    {
      JpegFileWrite jpeg;
      ASSERT_EQ(CaptureSection(drawn, width, height, again, nullptr, &jpeg), 1);
      jpeg.Save(drawn, early.c_str());
    }
    SaveJpeg(image, after.c_str());
    EXPECT_FALSE(FileBytes(early).empty());
    EXPECT_EQ(FileBytes(early), FileBytes(after)) << (progressive ? "progressive" : "baseline");
  }
  captureStripPixels = 4000000;
}

}  // namespace
