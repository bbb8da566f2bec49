// What a drawing shows beyond bare geometry: inserts on hidden layers, line
// weights and point symbols, each checked by the pixels of a small drawing.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zulan
{
namespace
{

using test::Block;
using test::DxfFile;
using test::Groups;
using test::Insert;
using test::LayerEntry;
using test::Line;
using test::LoadText;
using test::Picture;
using test::Size;
using test::TempFile;
using test::UnitView;

TEST(HiddenInsertTest, OffOrFrozenInsertLayerHidesAllItBrings)
{
  // B: a line on its own visible layer KEEP and one on layer 0, 5 apart.
  // N: B on layer 0 and B on the off layer, 10 higher.
  const std::string blocks = Block("B", Line("KEEP", 0, 0, 20, 0) + Line("0", 0, 5, 20, 5))
                             + Block("N", Insert("B", "0", 0, 0) + Insert("B", "OFF", 0, 10));
  const std::string entities =
    Insert("B", "0", 10, 10) + Insert("B", "OFF", 10, 30) + Insert("N", "ICE", 10, 50) + Insert("N", "0", 10, 70);
  auto document = LoadText(DxfFile(
    LayerEntry("0", 7) + LayerEntry("KEEP", 1) + LayerEntry("OFF", -3) + LayerEntry("ICE", 5, 1), blocks, entities));
  Picture picture;
  picture.Draw(*document, UnitView);
  // Visible inserts: both lines, also through a visible nested insert.
  for (int row : {90, 85, 30, 25})
    EXPECT_EQ(picture.InkRow(row), 20) << "row " << row;
  // The off insert, the frozen one with its nested inserts, and the nested
  // insert on the off layer inside a visible one show nothing.
  for (int row : {70, 65, 50, 45, 40, 35, 20, 15})
    EXPECT_EQ(picture.InkRow(row), 0) << "row " << row;
  EXPECT_EQ(picture.InkIn(0, 0, Size, Size), 80);
  // Layer-0 contents of a visible insert still take its layer.
  int onZero = 0;
  for (const Entity &entity : document->Entities())
    onZero += document->Layers()[entity.layer].name == "0";
  EXPECT_EQ(onZero, 2);
}

TEST(LineWeightTest, ResolvedLikeColours)
{
  // THICK weighs 0.5 mm; block contents in BYLAYER on layer 0 take the
  // insert's layer, BYBLOCK the insert's own weight.
  const std::string blocks =
    Block("B", Line("0", 0, 0, 1, 0) + Line("0", 0, 1, 1, 1, {{370, "-2"}}) + Line("KEEP", 0, 2, 1, 2));
  const std::string entities = Line("THICK", 0, 0, 1, 0) + Line("THICK", 0, 0, 1, 0, {{370, "-3"}})
                               + Line("THICK", 0, 0, 1, 0, {{370, "0"}}) + Line("0", 0, 0, 1, 0, {{370, "100"}})
                               + Line("0", 0, 0, 1, 0, {{370, "-2"}}) + Line("0", 0, 0, 1, 0, {{370, "999"}})
                               + Groups({{0, "INSERT"}, {8, "THICK"}, {370, "70"}, {2, "B"}, {10, "0"}, {20, "0"}});
  auto document = LoadText(DxfFile(
    LayerEntry("0", 7) + LayerEntry("THICK", 1) + Groups({{370, "50"}}) + LayerEntry("KEEP", 2), blocks, entities));
  std::vector<int> weights;
  for (const Entity &entity : document->Entities())
    weights.push_back(entity.lineWeight);
  // BYLAYER, DEFAULT, thinnest, own, BYBLOCK outside a block, out of range;
  // then the block: BYLAYER of the insert's layer, BYBLOCK, a layer without 370.
  EXPECT_EQ(weights, (std::vector<int>{50, 25, 0, 100, 25, 25, 50, 70, 25}));
}

// A drawing in the given units with a 1 mm line across the middle, shown at
// ten pixels a unit: world (0,0)-(10,10) on 100 x 100 pixels.
std::unique_ptr<Document> WeightedLine(int units, const std::string &weight)
{
  return LoadText(DxfFile(LayerEntry("0", 7), "", Line("0", 2, 5, 8, 5, {{370, weight}}),
                          Groups({{9, "$INSUNITS"}, {70, std::to_string(units)}})));
}

const ViewMapping TenView(0, 0, 10, 10, 0, 0, 100, 100);

TEST(LineWeightTest, WidthFollowsUnitsAndScale)
{
  // Millimetres: 1 mm is 10 pixels, with round caps 5 pixels past the ends.
  Picture wide;
  wide.Draw(*WeightedLine(4, "100"), TenView);
  EXPECT_GE(wide.InkColumn(50), 9);
  EXPECT_LE(wide.InkColumn(50), 11);
  EXPECT_EQ(wide.InkIn(45, 46, 56, 55), 11 * 9);
  EXPECT_EQ(wide.InkIn(0, 0, 100, 44) + wide.InkIn(0, 57, 100, 100), 0);
  EXPECT_TRUE(wide.Ink(17, 50) && wide.Ink(83, 50));
  EXPECT_FALSE(wide.Ink(13, 50) || wide.Ink(87, 50));

  // One pixel wide as without a weight: --hairlines, centimetres (1 mm is a
  // pixel), the thinnest weight, and 0.13 mm (1.3 pixels).
  Picture hair, centimetres, thinnest, under;
  hair.Draw(*WeightedLine(4, "100"), TenView, true);
  centimetres.Draw(*WeightedLine(5, "100"), TenView);
  thinnest.Draw(*WeightedLine(4, "0"), TenView);
  under.Draw(*WeightedLine(4, "13"), TenView);
  for (const Picture *picture : {&hair, &centimetres, &thinnest, &under})
  {
    EXPECT_EQ(picture->InkColumn(50), 1);
    EXPECT_EQ(picture->InkRow(50), 60);  // 20 to 79: the end pixel is left out
  }
  // Metres: 1 mm is a hundredth of a pixel. Inches: 100 pixels an inch.
  Picture metres, inches;
  metres.Draw(*WeightedLine(6, "211"), TenView);
  EXPECT_EQ(metres.InkColumn(50), 1);
  inches.Draw(*WeightedLine(1, "100"), ViewMapping(4.5, 4.5, 5.5, 5.5, 0, 0, 100, 100));
  EXPECT_GE(inches.InkColumn(50), 3);
  EXPECT_LE(inches.InkColumn(50), 5);
}

TEST(LineWeightTest, DefaultIsWhatTheHeaderSays)
{
  // DEFAULT (-3), and BYLAYER on a layer without a weight: 0.25 mm (2.5
  // pixels) unless $LWDEFAULT says otherwise, here 0.09 mm (a hairline).
  auto drawing = [](const std::string &header) {
    return LoadText(DxfFile(LayerEntry("0", 7), "", Line("0", 2, 3, 8, 3, {{370, "-3"}}) + Line("0", 2, 7, 8, 7),
                            Groups({{9, "$INSUNITS"}, {70, "4"}}) + header));
  };
  Picture standard, thin;
  standard.Draw(*drawing(""), TenView);
  thin.Draw(*drawing(Groups({{9, "$LWDEFAULT"}, {70, "9"}})), TenView);
  EXPECT_GE(standard.InkColumn(50), 4);
  EXPECT_EQ(thin.InkColumn(50), 2);
}

// A picture drawn whole and drawn as two strips split at a row must agree
// pixel for pixel, also for wide lines, curves and a line running far off.
TEST(LineWeightTest, WideLinesJoinAcrossStrips)
{
  const std::string entities = Line("0", 1, 1, 9, 8, {{370, "100"}}) + Line("0", 5, 5, 4e5, -3e5, {{370, "70"}})
                               + Groups({{0, "CIRCLE"}, {8, "0"}, {370, "50"}, {10, "5"}, {20, "4"}, {40, "3.3"}})
                               + Groups({{0, "LWPOLYLINE"},
                                         {8, "0"},
                                         {370, "35"},
                                         {90, "3"},
                                         {70, "0"},
                                         {10, "1"},
                                         {20, "9"},
                                         {10, "6"},
                                         {20, "2.2"},
                                         {10, "9.5"},
                                         {20, "9"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities, Groups({{9, "$INSUNITS"}, {70, "4"}})));
  Picture whole;
  whole.Draw(*document, TenView);
  EXPECT_GT(whole.InkColumn(30), 10);
  for (int split : {37, 50, 61})
  {
    Picture top(Size, split), bottom(Size, Size - split);
    top.Draw(*document, TenView);
    bottom.Draw(*document, ViewMapping(0, 0, 10, 10, 0, -split, 100, 100 - split));
    std::vector<uint8_t> joined = top.Pixels();
    joined.insert(joined.end(), bottom.Pixels().begin(), bottom.Pixels().end());
    EXPECT_TRUE(joined == whole.Pixels()) << "split at row " << split;
    // As the module maps a strip: the world window cut at the row.
    bottom.Draw(*document, ViewMapping(0, 0, 10, 10 - split / 10.0, 0, 0, 100, 100 - split));
    joined.resize(top.Pixels().size());
    joined.insert(joined.end(), bottom.Pixels().begin(), bottom.Pixels().end());
    EXPECT_TRUE(joined == whole.Pixels()) << "window cut at row " << split;
  }
}

// One POINT at (50,50), with the given $PDMODE and $PDSIZE, and more.
std::unique_ptr<Document> PointDrawing(int mode, const std::string &size, const std::string &more = "")
{
  return LoadText(DxfFile(LayerEntry("0", 7), "", Groups({{0, "POINT"}, {8, "0"}, {10, "50"}, {20, "50"}}) + more,
                          Groups({{9, "$PDMODE"}, {70, std::to_string(mode)}, {9, "$PDSIZE"}, {40, size}})));
}

Picture PointPicture(int mode, const std::string &size, const std::string &more = "")
{
  Picture picture;
  picture.Draw(*PointDrawing(mode, size, more), UnitView);
  return picture;
}

TEST(PointSymbolTest, FiguresOfPdmode)
{
  // Size 20: arms and radius of 10 pixels round pixel (50,50).
  EXPECT_EQ(PointPicture(0, "20").InkIn(0, 0, Size, Size), 1);
  EXPECT_TRUE(PointPicture(0, "20").Ink(50, 50));
  EXPECT_EQ(PointPicture(1, "20").InkIn(0, 0, Size, Size), 0);

  const Picture cross = PointPicture(2, "20");
  EXPECT_TRUE(cross.Ink(41, 50) && cross.Ink(59, 50) && cross.Ink(50, 41) && cross.Ink(50, 59));
  EXPECT_FALSE(cross.Ink(45, 45) || cross.Ink(38, 50));
  EXPECT_EQ(cross.InkIn(0, 0, Size, Size), 39);  // 20 each, the end pixel left out

  const Picture x = PointPicture(3, "20");
  EXPECT_TRUE(x.Ink(45, 45) && x.Ink(55, 55) && x.Ink(45, 55) && x.Ink(55, 45));
  EXPECT_FALSE(x.Ink(50, 45) || x.Ink(45, 50));

  const Picture tick = PointPicture(4, "20");  // upwards from the point
  EXPECT_TRUE(tick.Ink(50, 45) && tick.Ink(50, 50));
  EXPECT_FALSE(tick.Ink(50, 55));
  EXPECT_EQ(tick.InkColumn(50), tick.InkIn(0, 0, Size, Size));

  const Picture dotCircle = PointPicture(32, "20"), circle = PointPicture(33, "20");
  for (const Picture *picture : {&dotCircle, &circle})
  {
    EXPECT_TRUE(picture->Ink(60, 50) && picture->Ink(40, 50) && picture->Ink(50, 40));
    EXPECT_FALSE(picture->Ink(45, 50) || picture->Ink(53, 53));
  }
  EXPECT_TRUE(dotCircle.Ink(50, 50));
  EXPECT_FALSE(circle.Ink(50, 50));

  const Picture square = PointPicture(65, "20");
  EXPECT_TRUE(square.Ink(40, 45) && square.Ink(60, 55) && square.Ink(45, 40) && square.Ink(55, 60));
  EXPECT_FALSE(square.Ink(50, 50) || square.Ink(45, 45));

  const Picture both = PointPicture(98, "20");  // circle, square and cross
  EXPECT_TRUE(both.Ink(60, 50) && both.Ink(40, 40) && both.Ink(60, 60) && both.Ink(45, 50));
  EXPECT_FALSE(both.Ink(53, 53));
  // The symbol belongs to the extents.
  const Box extents = PointDrawing(2, "20")->Extents();
  EXPECT_EQ(extents.minX, 40);
  EXPECT_EQ(extents.maxY, 60);
}

TEST(PointSymbolTest, RelativeSizesAreSharesOfTheDrawingsHeight)
{
  // A line at x = 0 makes the drawing 100 high: size 0 is 5 %, -20 is 20 %.
  const std::string post = Line("0", 0, 0, 0, 100);
  const Picture fivePercent = PointPicture(2, "0", post);
  EXPECT_TRUE(fivePercent.Ink(52, 50));
  EXPECT_FALSE(fivePercent.Ink(54, 50) || fivePercent.Ink(50, 54));
  const Picture twentyPercent = PointPicture(2, "-20", post);
  EXPECT_TRUE(twentyPercent.Ink(59, 50) && twentyPercent.Ink(41, 50));
  EXPECT_FALSE(twentyPercent.Ink(62, 50));
  // A symbol smaller than a pixel is a dot; the drawing's height is the
  // point's alone here.
  Picture alone = PointPicture(2, "0");
  EXPECT_EQ(alone.InkIn(0, 0, Size, Size), 1);
  // The same strips of a picture draw the same symbol.
  auto document = PointDrawing(98, "-20", post);
  Picture top(Size, 46), bottom(Size, Size - 46);
  top.Draw(*document, UnitView);
  bottom.Draw(*document, ViewMapping(0, 0, 100, 100, 0, -46, 100, 54));
  std::vector<uint8_t> joined = top.Pixels();
  joined.insert(joined.end(), bottom.Pixels().begin(), bottom.Pixels().end());
  EXPECT_TRUE(joined == PointPicture(98, "-20", post).Pixels());
}

// A clamped cubic SPLINE is drawn along its curve, not its control polygon:
// from (10, 10) up to a top of y = 70 at x = 50 and down to (90, 10).
TEST(SplineTest, DrawnAlongTheCurve)
{
  std::vector<std::pair<int, std::string>> groups = {{0, "SPLINE"}, {8, "0"},  {70, "8"}, {71, "3"},
                                                     {72, "8"},     {73, "4"}, {74, "0"}};
  for (const char *knot : {"0", "0", "0", "0", "1", "1", "1", "1"})
    groups.push_back({40, knot});
  for (const auto &point :
       std::vector<std::pair<const char *, const char *>>{{"10", "10"}, {"10", "90"}, {"90", "90"}, {"90", "10"}})
  {
    groups.push_back({10, point.first});
    groups.push_back({20, point.second});
    groups.push_back({30, "0"});
  }
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", Groups(groups)));
  Picture picture;
  picture.Draw(*document, UnitView);
  EXPECT_GT(picture.InkIn(48, 29, 53, 32), 0) << "the top of the curve";
  EXPECT_GT(picture.InkIn(9, 88, 12, 91), 0) << "its start";
  EXPECT_GT(picture.InkIn(88, 88, 92, 91), 0) << "its end";
  EXPECT_EQ(picture.InkIn(20, 5, 80, 25), 0) << "nothing above the curve, where the control polygon runs";
  EXPECT_EQ(picture.InkIn(30, 40, 70, 85), 0) << "nothing below the curve";
}

}  // namespace
}  // namespace zulan
