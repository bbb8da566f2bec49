// The host's drawing operations on a real drawing, driven as the module's
// capture drives them: extents through DLScan and EXCheck, then a strip
// bitmap filled, mapped with SetBMView, drawn entity by entity and read back
// with GetDIBits; and the palette switch to black and white.
#include "hostapi.h"
#include "hostdrawing.h"
#include "wingdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace zulan
{
namespace
{

const std::string Examples = ZULAN_EXAMPLES_DIR;
constexpr int Width = 110, Height = 80;

int32_t DrawVisible(intptr_t, const void *entity, intptr_t, intptr_t)
{
  const auto *bytes = static_cast<const uint8_t *>(entity);
  int16_t layer;
  std::memcpy(&layer, bytes + 12, 2);
  if (AskLayerHidden(layer) == 0 || bytes[4] == 18)
    EDraw1(entity);
  return 0;
}

int32_t CheckExtents(intptr_t, const void *entity, intptr_t, intptr_t)
{
  const auto *bytes = static_cast<const uint8_t *>(entity);
  int16_t layer;
  std::memcpy(&layer, bytes + 12, 2);
  if (AskLayerHidden(layer) == 0 || bytes[4] == 18 || bytes[4] == 29)
    EXCheck(entity);
  return 0;
}

// Draws world (-500,-500)-(10500,7500) into Width x Height pixels, 100
// units a pixel, as one strip of a capture, and returns the image rows.
std::vector<uint32_t> Capture(const WorldRect &window = {-500, -500, 10500, 7500})
{
  HDC display = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  HDC memory = CreateCompatibleDC(display);
  HBITMAP bitmap = CreateCompatibleBitmap(display, Width, Height + 2);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  DevUseBitmap(memory);
  int16_t background;
  std::memcpy(&background, static_cast<uint8_t *>(GetHeaderAdr()) + 28, 2);
  DevUseColor(background);
  const PixelRect all = {0, 0, Width, Height + 2};
  DevSRect(&all);
  const PixelRect pixels = {0, 0, Width, Height};
  SetBMView(&window, &pixels);
  DLScan(0, DrawVisible, 0, 0, 0);
  DevUsePrior();
  SelectObject(memory, previous);

  std::vector<uint32_t> image(Width * Height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  EXPECT_EQ(GetDIBits(memory, bitmap, 0, Height, image.data(), &info, DIB_RGB_COLORS), Height);
  DeleteObject(bitmap);
  DeleteDC(memory);
  DeleteDC(display);
  return image;
}

// A pixel as a COLORREF, to compare with palette entries.
uint32_t Colour(const std::vector<uint32_t> &image, int x, int y)
{
  uint8_t bgrx[4];
  std::memcpy(bgrx, &image[y * Width + x], 4);
  EXPECT_EQ(bgrx[3], 0);
  return (uint32_t(bgrx[0]) << 16) | (uint32_t(bgrx[1]) << 8) | bgrx[2];
}

int Count(const std::vector<uint32_t> &image, uint32_t colour)
{
  int count = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      count += Colour(image, x, y) == colour;
  return count;
}

TEST(HostDrawingTest, FloorPlanCapturedWhereTheViewPutsIt)
{
  ASSERT_EQ(OpenHostDrawing(Examples + "/floorplan.dxf"), "");
  float extents[6];
  BgnPExtents();
  DLScan(0, CheckExtents, 0, 0, 0);
  EndPExtents(extents);
  EXPECT_FLOAT_EQ(extents[0], -500);
  EXPECT_FLOAT_EQ(extents[1], -500);
  EXPECT_FLOAT_EQ(extents[3], 10500);
  EXPECT_FLOAT_EQ(extents[4], 7500);

  uint32_t *palette = HostPaletteEntry()();
  const uint32_t black = palette[0], white = palette[15], red = palette[1];
  const std::vector<uint32_t> image = Capture();
  // The frame runs round the edge, the outer wall (world x 0) in column 5.
  EXPECT_EQ(Colour(image, 0, 40), black);
  EXPECT_EQ(Colour(image, Width - 1, 40), black);
  EXPECT_EQ(Colour(image, 40, 0), black);
  EXPECT_EQ(Colour(image, 40, Height - 1), black);
  EXPECT_EQ(Colour(image, 5, 40), black);
  EXPECT_EQ(Colour(image, 80, 10), white);
  EXPECT_GT(Count(image, red), 10);        // doors
  EXPECT_EQ(Count(image, palette[4]), 0);  // furniture layer is off
  EXPECT_EQ(Count(image, palette[2]), 0);  // notes layer is frozen

  // The module's black-and-white switch: everything but entry 15 black.
  std::vector<uint32_t> saved(palette, palette + 256);
  for (int i = 0; i < 256; ++i)
    if (i != 15)
      palette[i] = 0;
  const std::vector<uint32_t> mono = Capture();
  std::copy(saved.begin(), saved.end(), palette);
  EXPECT_EQ(Count(mono, 0) + Count(mono, 0xFFFFFF), Width * Height);
  EXPECT_EQ(Count(mono, 0), Width * Height - Count(image, white));
}

TEST(HostDrawingTest, HairlinesDrawWeightedLinesOnePixelWide)
{
  // A 2 mm line in a unitless drawing (millimetres), shown at 2 pixels a unit.
  const std::string path = ::testing::TempDir() + "zulan-weighted.dxf";
  std::ofstream(path) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n370\n200\n"
                         "10\n5\n20\n20\n11\n50\n21\n20\n0\nENDSEC\n0\nEOF\n";
  ASSERT_EQ(OpenHostDrawing(path), "");
  std::remove(path.c_str());
  const uint32_t black = HostPaletteEntry()()[0];
  auto inkInColumn = [&](const std::vector<uint32_t> &image) {
    int count = 0;
    for (int y = 0; y < Height; ++y)
      count += Colour(image, 50, y) == black;
    return count;
  };
  const WorldRect window = {0, 0, 55, 40};
  const int wide = inkInColumn(Capture(window));
  EXPECT_GE(wide, 3);
  EXPECT_LE(wide, 5);
  SetHostHairlines(true);
  EXPECT_EQ(inkInColumn(Capture(window)), 1);
  SetHostHairlines(false);
  EXPECT_EQ(inkInColumn(Capture(window)), wide);
}

// The extents the module would find in the current drawing.
std::vector<float> ScannedExtents()
{
  std::vector<float> extents(6);
  BgnPExtents();
  DLScan(0, CheckExtents, 0, 0, 0);
  EndPExtents(extents.data());
  return extents;
}

TEST(HostDrawingTest, CurrentDrawingTakesTheOperationsUntilItGoes)
{
  const uint32_t *defaultPalette = HostPaletteEntry()();
  {
    HostDrawing drawing;
    SetCurrentDrawing(&drawing);
    EXPECT_EQ(&CurrentDrawing(), &drawing);
    EXPECT_EQ(ScannedExtents()[3], 297) << "without a drawing: an A4 sheet";
    EXPECT_EQ(ScannedExtents()[4], 210);
    EXPECT_EQ(HostPaletteEntry()(), drawing.GetPalette());
    EXPECT_EQ(GetHeaderAdr(), drawing.GetHeader());
    int16_t background;
    std::memcpy(&background, drawing.GetHeader() + 28, 2);
    EXPECT_EQ(background, 15);  // white until a drawing says otherwise
    EXPECT_EQ(drawing.GetPalette()[15], defaultPalette[15]);

    ASSERT_EQ(OpenHostDrawing(Examples + "/floorplan.dxf"), "");
    EXPECT_EQ(ScannedExtents()[3], 10500);
    // A drawing that cannot be read leaves the open one in place.
    EXPECT_NE(OpenHostDrawing(::testing::TempDir() + "zulan-missing.dxf"), "");
    EXPECT_EQ(ScannedExtents()[3], 10500);
  }
  // Gone, it is no longer reached: the operations are back on the default.
  EXPECT_EQ(HostPaletteEntry()(), defaultPalette);
  EXPECT_EQ(GetHeaderAdr(), CurrentDrawing().GetHeader());
}

TEST(HostDrawingTest, BadDrawingIsReportedAndForeignEntitiesIgnored)
{
  const std::string missing = ::testing::TempDir() + "zulan-missing.dxf";
  const std::string error = OpenHostDrawing(missing);
  EXPECT_NE(error.find(missing), std::string::npos);
  EXPECT_NE(error.find("cannot open"), std::string::npos);

  // Addresses DLScan never gave out are not read.
  const uint8_t junk[96] = {0, 0, 0, 0, 5};
  EDraw1(junk);
  EXCheck(junk);
  EDraw1(nullptr);
}

}  // namespace
}  // namespace zulan
