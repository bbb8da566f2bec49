// Line types (dash patterns) and polylines with widths, checked by the
// pixels of small drawings, and the dash walker and band outline alone.
#include "drawing.h"
#include "drawinginternal.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::LayerEntry;
using test::Line;
using test::LoadText;
using test::Picture;
using test::UnitView;

// An LTYPE table with DASHED (10 on, 5 off), DOTS (dot, 4 off) and DASHDOT.
std::string LineTypes()
{
  auto type = [](const std::string &name, const std::vector<double> &elements) {
    std::vector<std::pair<int, std::string>> groups = {{0, "LTYPE"}, {2, name},  {70, "0"},
                                                       {3, name},    {72, "65"}, {73, std::to_string(elements.size())}};
    double total = 0;
    for (double e : elements)
      total += std::fabs(e);
    groups.push_back({40, std::to_string(total)});
    for (double e : elements)
    {
      groups.push_back({49, std::to_string(e)});
      groups.push_back({74, "0"});
    }
    return Groups(groups);
  };
  return Groups({{0, "TABLE"}, {2, "LTYPE"}, {70, "4"}}) + type("CONTINUOUS", {}) + type("Dashed", {10, -5})
         + type("DOTS", {0, -4}) + type("DASHDOT", {10, -3, 0, -3}) + Groups({{0, "ENDTAB"}});
}

std::string Header(double ltscale)
{
  return Groups({{9, "$LTSCALE"}, {40, std::to_string(ltscale)}});
}

// Inked columns of row y from x0 to x1, as a string of '#' and '.'.
std::string RowInk(const Picture &picture, int y, int x0, int x1)
{
  std::string row;
  for (int x = x0; x < x1; ++x)
    row += picture.Ink(x, y) ? '#' : '.';
  return row;
}

TEST(LineTypeTest, DashesFollowThePatternAndItsScales)
{
  // Row 90: DASHED by name in any case; row 80: the same at $LTSCALE 1 with
  // the entity's scale 0.4; row 70: BYLAYER from a dashed layer; row 60:
  // CONTINUOUS; row 50: a type the table does not have (continuous).
  const std::string entities = Line("0", 0, 10, 60, 10, {{6, "dashed"}})
                               + Line("0", 0, 20, 60, 20, {{6, "DASHED"}, {48, "0.4"}}) + Line("DASHES", 0, 30, 60, 30)
                               + Line("0", 0, 40, 60, 40, {{6, "CONTINUOUS"}})
                               + Line("0", 0, 50, 60, 50, {{6, "NOSUCH"}});
  const std::string layers =
    LayerEntry("0", 7) + Groups({{0, "LAYER"}, {2, "DASHES"}, {70, "0"}, {62, "7"}, {6, "DASHED"}});
  auto document = LoadText(DxfFile(layers, "", entities, Header(1), LineTypes()));
  Picture picture;
  picture.Draw(*document, UnitView);
  EXPECT_EQ(RowInk(picture, 90, 0, 30), "##########.....##########.....");
  EXPECT_EQ(RowInk(picture, 80, 0, 30), "####..####..####..####..####..");
  EXPECT_EQ(RowInk(picture, 70, 0, 30), "##########.....##########.....");
  EXPECT_EQ(picture.InkIn(0, 60, 60, 61), 60);
  EXPECT_EQ(picture.InkIn(0, 50, 60, 51), 60);

  // $LTSCALE 2 doubles the pattern.
  auto scaled = LoadText(DxfFile(layers, "", entities, Header(2), LineTypes()));
  Picture wide;
  wide.Draw(*scaled, UnitView);
  EXPECT_EQ(RowInk(wide, 90, 0, 30), "####################..........");
}

TEST(LineTypeTest, PatternRunsOnAcrossPolylineVertices)
{
  // A polyline turning at x = 25 after 15 units: the gap from 10 to 15 ends
  // at the corner, and the pattern goes on upwards from there: a dash to
  // y = 20, a gap to 25, a dash.
  const std::string entities = Groups({{0, "LWPOLYLINE"},
                                       {8, "0"},
                                       {6, "DASHED"},
                                       {90, "3"},
                                       {70, "0"},
                                       {10, "10"},
                                       {20, "10"},
                                       {10, "25"},
                                       {20, "10"},
                                       {10, "25"},
                                       {20, "60"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities, Header(1), LineTypes()));
  Picture picture;
  picture.Draw(*document, UnitView);
  EXPECT_EQ(RowInk(picture, 90, 10, 26), "##########.....#");
  std::string column;
  for (int y = 89; y >= 70; --y)
    column += picture.Ink(25, y) ? '#' : '.';
  EXPECT_EQ(column, "#########.....######");
}

TEST(LineTypeTest, DotsCirclesAndBlockScale)
{
  // A dotted line, a dash-dotted circle, and DASHED inside a block inserted
  // at scale 2 (its pattern scales with it).
  const std::string blocks = test::Block("B", Line("0", 0, 0, 15, 0, {{6, "DASHED"}}));
  const std::string entities =
    Line("0", 0, 10, 40, 10, {{6, "DOTS"}})
    + Groups({{0, "CIRCLE"}, {8, "0"}, {6, "DASHDOT"}, {10, "70"}, {20, "50"}, {40, "20"}})
    + Groups({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "20"}, {41, "2"}, {42, "2"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), blocks, entities, Header(1), LineTypes()));
  Picture picture;
  picture.Draw(*document, UnitView);
  EXPECT_EQ(RowInk(picture, 90, 0, 13), "#...#...#...#");
  EXPECT_EQ(RowInk(picture, 80, 0, 30), "####################..........");
  // The circle has gaps, but most of its 126 pixels of length are inked.
  int inked = 0, total = 0;
  for (int k = 0; k < 360; ++k)
  {
    const int x = int(std::lround(70 + 20 * std::cos(k * M_PI / 180)));
    const int y = int(std::lround(50 - 20 * std::sin(k * M_PI / 180)));
    total += 1;
    inked += picture.InkIn(x - 1, y - 1, x + 2, y + 2) > 0;
  }
  EXPECT_LT(inked, total);
  EXPECT_GT(inked, total / 2);
}

TEST(LineTypeTest, FarAwayDashesAreNotWalked)
{
  // A dashed line 1e9 units long through the picture, with 15-unit dashes:
  // only the part near the bitmap is walked, and the dashes there keep the
  // phase they have from the line's start.
  const std::string entities = Line("0", -1e9, 50, 1e9, 50, {{6, "DASHED"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities, Header(1), LineTypes()));
  Picture picture;
  picture.Draw(*document, UnitView);
  const int inked = picture.InkRow(50);
  EXPECT_GT(inked, 60);
  EXPECT_LT(inked, 72);
  // 1e9 is a whole number of 15-unit periods plus 10: x = 0 is 10 into the
  // period, in a gap that ends at x = 5.
  EXPECT_EQ(RowInk(picture, 50, 0, 20), ".....##########.....");
}

TEST(WidePolylineTest, ConstantAndTaperedWidthsFillBands)
{
  // An L with constant width 6 (43), corner mitred; a taper from 0 to 10.
  const std::string entities = Groups({{0, "LWPOLYLINE"},
                                       {8, "0"},
                                       {90, "3"},
                                       {70, "0"},
                                       {43, "6"},
                                       {10, "10"},
                                       {20, "80"},
                                       {10, "50"},
                                       {20, "80"},
                                       {10, "50"},
                                       {20, "50"}})
                               + Groups({{0, "LWPOLYLINE"},
                                         {8, "0"},
                                         {90, "2"},
                                         {70, "0"},
                                         {10, "10"},
                                         {20, "20"},
                                         {40, "0"},
                                         {41, "10"},
                                         {10, "60"},
                                         {20, "20"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities));
  Picture picture;
  picture.Draw(*document, UnitView);
  // The band from world y 77 to 83 takes the six rows whose centres lie
  // in it, down the side x 47 to 53 the six columns.
  EXPECT_EQ(picture.InkIn(20, 16, 40, 25), 20 * 6);
  EXPECT_EQ(picture.InkIn(20, 14, 40, 16) + picture.InkIn(20, 24, 40, 27), 0);
  EXPECT_EQ(picture.InkIn(46, 30, 55, 45), 6 * 15);
  // The mitred outer corner is filled.
  EXPECT_TRUE(picture.Ink(52, 18));
  // The taper: thin at x = 12, about 9 pixels high at x = 55.
  EXPECT_LE(picture.InkIn(12, 70, 13, 90), 2);
  EXPECT_GE(picture.InkIn(55, 70, 56, 90), 8);
  // Even with widths, the polyline takes no more than its band.
  EXPECT_EQ(picture.InkIn(0, 0, 100, 10), 0);
}

TEST(WidePolylineTest, DonutIsARing)
{
  // A donut as CAD programs write it: two half circles (bulge 1), closed,
  // width 4: a ring from radius 18 to 22 round (50, 50).
  const std::string entities = Groups({{0, "LWPOLYLINE"},
                                       {8, "0"},
                                       {90, "2"},
                                       {70, "1"},
                                       {43, "4"},
                                       {10, "30"},
                                       {20, "50"},
                                       {42, "1"},
                                       {10, "70"},
                                       {20, "50"},
                                       {42, "1"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities));
  Picture picture;
  picture.Draw(*document, UnitView);
  EXPECT_EQ(picture.InkIn(38, 38, 62, 62), 0);  // the hole
  EXPECT_EQ(picture.InkIn(49, 29, 52, 32), 9);  // the ring at the top
  EXPECT_EQ(picture.InkIn(69, 49, 72, 52), 9);  // and at the right
  EXPECT_EQ(picture.InkIn(0, 0, 100, 26), 0);   // nothing beyond it
  // A 2D POLYLINE with start and end widths on its vertices too.
  const std::string polyline = Groups({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "0"}, {10, "0"}, {20, "0"}})
                               + Groups({{0, "VERTEX"}, {8, "0"}, {10, "10"}, {20, "10"}, {40, "8"}, {41, "8"}})
                               + Groups({{0, "VERTEX"}, {8, "0"}, {10, "90"}, {20, "10"}})
                               + Groups({{0, "SEQEND"}, {8, "0"}});
  auto band = LoadText(DxfFile(LayerEntry("0", 7), "", polyline));
  Picture second;
  second.Draw(*band, UnitView);
  EXPECT_EQ(second.InkColumn(50), 8);  // y 6 to 14
}

TEST(WideOutlineTest, BandsAreCounterClockwiseAndBounded)
{
  const std::vector<WideSegment> path = {{{0, 0}, {10, 0}, 2, 2}, {{10, 0}, {10, 10}, 2, 2}};
  const std::vector<Point> rings = WideOutline(path, false, 1000);
  // Two bands and a join on each side of the corner, every ring turning
  // counter-clockwise.
  size_t ringCount = 0;
  std::vector<Point> ring;
  for (size_t i = 0; i <= rings.size(); ++i)
  {
    if (i == rings.size() || std::isnan(rings[i].x))
    {
      double area = 0;
      for (size_t k = 0; k < ring.size(); ++k)
        area += ring[k].x * ring[(k + 1) % ring.size()].y - ring[(k + 1) % ring.size()].x * ring[k].y;
      EXPECT_GT(area, 0);
      ring.clear();
      ++ringCount;
    }
    else
    {
      ring.push_back(rings[i]);
    }
  }
  EXPECT_EQ(ringCount, 4u);
  EXPECT_THROW(WideOutline(path, false, 5), WideOutlineTooLong);
  // Zero-length pieces and pieces without width give nothing.
  EXPECT_TRUE(WideOutline({{{1, 1}, {1, 1}, 2, 2}, {{0, 0}, {5, 5}, 0, 0}}, true, 1000).empty());
  // Patterns without gaps or ink, or too long, are continuous.
  EXPECT_TRUE(DashPattern({5}, 1).empty());
  EXPECT_TRUE(DashPattern({-5, -1}, 1).empty());
  EXPECT_TRUE(DashPattern(std::vector<double>(MaxDashElements + 1, 1), 1).empty());
  EXPECT_TRUE(DashPattern({1e308, -1e308}, 10).empty());
  EXPECT_EQ(DashPattern({2, -1}, 3), (std::vector<double>{6, -3}));
}

TEST(AntialiasTest, SmoothsLinesWithGreysAndKeepsThemInPlace)
{
  const std::string entities = Line("0", 10, 10, 90, 37);
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities));
  Picture aliased, smooth;
  aliased.Draw(*document, UnitView);
  smooth.Draw(*document, UnitView, false, true);
  int greys = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
    {
      const uint32_t c = smooth.Colour(x, y);
      greys += c != 0 && c != 0xFFFFFF;
      EXPECT_TRUE(aliased.Colour(x, y) == 0 || aliased.Colour(x, y) == 0xFFFFFF);
      if (aliased.Ink(x, y))
      {
        EXPECT_TRUE(smooth.Ink(x, y) || smooth.Ink(x, y - 1) || smooth.Ink(x, y + 1));
      }
    }
  EXPECT_GT(greys, 40);
}

}  // namespace
}  // namespace zulan
