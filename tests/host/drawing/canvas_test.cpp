// Palette, view mapping and the rasteriser: pixels of a drawn line, circle,
// solid and text at the places the mapping puts them.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::LayerEntry;
using test::TempFile;

// Palette entries and pixels compared as COLORREFs, 0x00BBGGRR.
constexpr uint32_t Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, White = 0xFFFFFF;
constexpr uint32_t Yellow = 0x00FFFF;

// A 100 x 100 bitmap showing world (0,0)-(100,100), one unit per pixel.
class CanvasTest : public ::testing::Test
{
protected:
  CanvasTest() : pixels(Size * Size * 4, 0xAB), view(0, 0, 100, 100, 0, 0, Size, Size) { SetDefaultPalette(palette); }

  void Load(const std::string &entities)
  {
    TempFile file(DxfFile(LayerEntry("0", 7), "", entities));
    document = Document::Load(file.Path());
  }

  void DrawAll()
  {
    Canvas canvas(pixels.data(), Size, Size);
    canvas.FillRect(0, 0, Size, Size, palette[WhiteIndex]);
    for (const Entity &entity : document->Entities())
    {
      canvas.Draw(*document, entity, view, palette);
    }
  }

  uint32_t At(int x, int y) const
  {
    const uint8_t *p = &pixels[(size_t(y) * Size + x) * 4];
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  }

  int Count(uint32_t rgb) const
  {
    int count = 0;
    for (int y = 0; y < Size; ++y)
    {
      for (int x = 0; x < Size; ++x)
      {
        count += At(x, y) == rgb;
      }
    }
    return count;
  }

  // True when the colour is found within one pixel of (x, y).
  bool Near(int x, int y, uint32_t rgb) const
  {
    for (int dy = -1; dy <= 1; ++dy)
    {
      for (int dx = -1; dx <= 1; ++dx)
      {
        if (At(x + dx, y + dy) == rgb)
        {
          return true;
        }
      }
    }
    return false;
  }

  static constexpr int Size = 100;
  std::vector<uint8_t> pixels;
  Palette palette;
  ViewMapping view;
  std::unique_ptr<Document> document;
};

std::string Line(double x1, double y1, double x2, double y2, int color)
{
  return Groups({{0, "LINE"},
                 {8, "0"},
                 {62, std::to_string(color)},
                 {10, std::to_string(x1)},
                 {20, std::to_string(y1)},
                 {11, std::to_string(x2)},
                 {21, std::to_string(y2)}});
}

TEST(PaletteTest, FixedEntriesAndMapping)
{
  Palette palette;
  SetDefaultPalette(palette);
  EXPECT_EQ(palette[0], 0x000000u);
  EXPECT_EQ(palette[15], 0xFFFFFFu);
  EXPECT_EQ(palette[1], Red);
  EXPECT_EQ(palette[3], Green);
  EXPECT_EQ(palette[5], Blue);
  EXPECT_EQ(palette[8], 0x808080u);
  EXPECT_EQ(palette[10], Red);        // first hue: red at full brightness
  EXPECT_EQ(palette[11], 0x7F7FFFu);  // and its pale variant
  EXPECT_EQ(palette[50], Yellow);     // 60 degrees on
  EXPECT_EQ(palette[250], 0x333333u);
  EXPECT_EQ(palette[7], 0x4C4C99u);  // ACI 15, moved aside for the background
  EXPECT_EQ(PaletteIndexForAci(7), BlackIndex);
  EXPECT_EQ(PaletteIndexForAci(15), 7);
  EXPECT_EQ(PaletteIndexForAci(1), 1);
  EXPECT_EQ(PaletteIndexForAci(255), 255);
  EXPECT_EQ(PaletteIndexForAci(0), BlackIndex);
  EXPECT_EQ(PaletteIndexForAci(256), BlackIndex);
  EXPECT_EQ(PaletteIndexForAci(-3), BlackIndex);
}

TEST(ViewMappingTest, WorldWindowOntoPixels)
{
  const ViewMapping view(10, 0, 110, 50, 0, 0, 200, 100);
  const Point topLeft = view.ToPixel(10, 50), bottomRight = view.ToPixel(110, 0);
  EXPECT_DOUBLE_EQ(topLeft.x, 0);
  EXPECT_DOUBLE_EQ(topLeft.y, 0);
  EXPECT_DOUBLE_EQ(bottomRight.x, 200);
  EXPECT_DOUBLE_EQ(bottomRight.y, 100);
  const Point up = view.ToPixelVector(0, 1);
  EXPECT_DOUBLE_EQ(up.y, -2);  // y grows upwards in the world, downwards in pixels

  // A window without height takes its scale from its width; none at all: 1.
  const ViewMapping flat(0, 5, 10, 5, 0, 0, 100, 100);
  EXPECT_DOUBLE_EQ(flat.ToPixel(0, 4).y, 10);
  const ViewMapping point(3, 3, 3, 3, 0, 0, 100, 100);
  EXPECT_DOUBLE_EQ(point.ToPixel(4, 3).x, 1);
}

TEST_F(CanvasTest, LineCircleAndSolidWhereTheMappingPutsThem)
{
  Load(Line(10, 20, 90, 20, 1) + Groups({{0, "CIRCLE"}, {8, "0"}, {62, "5"}, {10, "50"}, {20, "50"}, {40, "20"}})
       + Groups({{0, "SOLID"},
                 {8, "0"},
                 {62, "3"},
                 {10, "60"},
                 {20, "60"},
                 {11, "80"},
                 {21, "60"},
                 {12, "60"},
                 {22, "80"},
                 {13, "80"},
                 {23, "80"}}));
  DrawAll();

  // World y 20 is pixel row 80; like GDI's LineTo the end pixel is left out.
  for (int x = 10; x < 90; ++x)
  {
    ASSERT_EQ(At(x, 80), Red) << x;
  }
  EXPECT_EQ(At(9, 80), White);
  EXPECT_EQ(At(90, 80), White);
  EXPECT_EQ(At(50, 79), White);
  EXPECT_EQ(At(50, 81), White);
  EXPECT_EQ(Count(Red), 80);

  // Circle: centre pixel (50, 50), radius 20 pixels, one pixel wide.
  EXPECT_TRUE(Near(50, 30, Blue));
  EXPECT_TRUE(Near(50, 70, Blue));
  EXPECT_TRUE(Near(30, 50, Blue));
  EXPECT_TRUE(Near(70, 50, Blue));
  EXPECT_TRUE(Near(36, 36, Blue));  // 135 degrees
  EXPECT_EQ(At(50, 50), White);
  EXPECT_FALSE(Near(50, 40, Blue));
  EXPECT_GT(Count(Blue), 100);  // about 2 pi r = 126
  EXPECT_LT(Count(Blue), 170);

  // Solid over world x 60..80, y 60..80: pixel columns 60..79, rows 20..39.
  EXPECT_EQ(At(61, 21), Green);
  EXPECT_EQ(At(70, 30), Green);
  EXPECT_EQ(At(79, 39), Green);
  EXPECT_EQ(At(58, 30), White);
  EXPECT_EQ(At(81, 30), White);
  EXPECT_EQ(At(70, 18), White);
  EXPECT_EQ(At(70, 41), White);
  EXPECT_NEAR(Count(Green), 400, 45);

  // Every fourth byte is 0, as GDI leaves it, including where cairo filled.
  for (size_t i = 3; i < pixels.size(); i += 4)
  {
    ASSERT_EQ(pixels[i], 0) << i / 4;
  }
}

TEST_F(CanvasTest, TextInkStaysInItsBox)
{
  Load(Groups({{0, "TEXT"}, {8, "0"}, {62, "1"}, {10, "10"}, {20, "40"}, {40, "10"}, {1, "HE"}}));
  DrawAll();
  const Box box = EntityExtents(*document, document->Entities()[0]);
  int inside = 0, outside = 0;
  for (int y = 0; y < Size; ++y)
  {
    for (int x = 0; x < Size; ++x)
    {
      if (At(x, y) != Red)
      {
        continue;
      }
      const double wx = x + 0.5, wy = Size - (y + 0.5);
      const bool in = wx >= box.minX - 1 && wx <= box.maxX + 1 && wy >= box.minY - 1 && wy <= box.maxY + 1;
      (in ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 40);  // an H and an E, 10 pixels tall
  EXPECT_EQ(outside, 0);
  // The H's left stem stands on the baseline at world x 10 (pixel row 60).
  EXPECT_TRUE(Near(11, 58, Red));
  for (size_t i = 3; i < pixels.size(); i += 4)
  {
    ASSERT_EQ(pixels[i], 0);
  }
}

TEST_F(CanvasTest, MonochromePaletteDrawsBlackOnWhite)
{
  Load(Line(10, 20, 90, 20, 1) + Line(10, 30, 90, 30, 15)
       + Groups({{0, "CIRCLE"}, {8, "0"}, {62, "5"}, {10, "50"}, {20, "50"}, {40, "10"}}));
  // What the module's black-and-white switch does to the palette.
  for (int i = 0; i < 256; ++i)
  {
    if (i != WhiteIndex)
    {
      palette[i] = 0;
    }
  }
  DrawAll();
  EXPECT_EQ(At(50, 80), 0u);
  EXPECT_EQ(At(50, 70), 0u);  // ACI 15 uses entry 7, so it turns black too
  EXPECT_TRUE(Near(50, 40, 0));
  EXPECT_EQ(Count(Red) + Count(Blue), 0);
  EXPECT_EQ(Count(0) + Count(White), Size * Size);
}

TEST_F(CanvasTest, FarAwayGeometryIsClippedNotWrapped)
{
  // cairo's fixed point would wrap these; lines and fills must still land.
  Load(Line(-1e12, 20, 1e12, 20, 1) + Line(50, -1e9, 50, 1e9, 5)
       + Groups({{0, "SOLID"},
                 {8, "0"},
                 {62, "3"},
                 {10, "-1e9"},
                 {20, "-1e9"},
                 {11, "1e9"},
                 {21, "-1e9"},
                 {12, "-1e9"},
                 {22, "10"},
                 {13, "1e9"},
                 {23, "10"}})
       + Groups({{0, "CIRCLE"}, {8, "0"}, {62, "2"}, {10, "50"}, {20, "1000050"}, {40, "1e6"}}));
  DrawAll();
  EXPECT_EQ(At(0, 80), Red);
  EXPECT_EQ(At(99, 80), Red);
  EXPECT_EQ(At(50, 0), Blue);
  EXPECT_EQ(At(50, 99), Green);  // world y below 10: rows 90..99
  EXPECT_EQ(At(10, 95), Green);
  EXPECT_EQ(At(10, 85), White);
  // The huge circle grazes world y 50 (row 49 or 50) as a flat line.
  EXPECT_TRUE(Near(20, 50, Yellow));
  EXPECT_TRUE(Near(80, 50, Yellow));
}

TEST_F(CanvasTest, ClosedPolylineAndPoint)
{
  Load(Groups({{0, "LWPOLYLINE"},
               {8, "0"},
               {62, "1"},
               {90, "3"},
               {70, "1"},
               {10, "10"},
               {20, "10"},
               {10, "30"},
               {20, "10"},
               {10, "30"},
               {20, "30"}})
       + Groups({{0, "POINT"}, {8, "0"}, {62, "5"}, {10, "70"}, {20, "70"}}));
  DrawAll();
  EXPECT_EQ(At(20, 90), Red);      // bottom edge, world y 10
  EXPECT_EQ(At(30, 80), Red);      // right edge
  EXPECT_TRUE(Near(20, 80, Red));  // closing diagonal back to the start
  EXPECT_EQ(At(70, 30), Blue);
  EXPECT_EQ(Count(Blue), 1);
}

TEST(CanvasFillTest, CornersInAnyOrderClippedToTheBuffer)
{
  std::vector<uint8_t> pixels(7 * 5 * 4, 0xEE);
  {
    Canvas canvas(pixels.data(), 7, 5);
    canvas.FillRect(3, 0, 0, 2, 0x123456);  // columns 0..2, rows 0..1
    canvas.FillRect(5, 3, 100, -100, 0xABCDEF);
  }
  auto at = [&](int x, int y) { return &pixels[(y * 7 + x) * 4]; };
  EXPECT_EQ(std::memcmp(at(0, 0), "\x12\x34\x56\x00", 4), 0);  // B, G, R, 0
  EXPECT_EQ(std::memcmp(at(2, 1), "\x12\x34\x56\x00", 4), 0);
  EXPECT_EQ(at(3, 0)[0], 0xEE);
  EXPECT_EQ(at(0, 2)[0], 0xEE);
  EXPECT_EQ(std::memcmp(at(6, 0), "\xAB\xCD\xEF\x00", 4), 0);
  EXPECT_EQ(std::memcmp(at(5, 2), "\xAB\xCD\xEF\x00", 4), 0);
  EXPECT_EQ(at(5, 3)[0], 0xEE);
  EXPECT_EQ(at(4, 0)[0], 0xEE);

  // No buffer, or one cairo cannot take: nothing drawn, nothing broken.
  Canvas none(nullptr, 10, 10);
  none.FillRect(0, 0, 10, 10, 0);
  std::vector<uint8_t> wide(40000 * 1 * 4);
  Canvas tooWide(wide.data(), 40000, 1);
  tooWide.FillRect(39999, 0, 40000, 1, 0x010203);
  EXPECT_EQ(wide[39999 * 4 + 2], 3);
}

}  // namespace
}  // namespace zulan
