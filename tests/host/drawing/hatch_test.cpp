// HATCH beyond plain solid fills: spline boundary edges, pattern lines cut
// by the boundary with the even-odd rule and dashed, and the limits that
// keep hostile hatches cheap.
#include "drawing.h"
#include "drawinginternal.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::Hatch;
using test::LayerEntry;
using test::Load;
using test::LoadText;
using test::Picture;
using test::Size;
using test::UnitView;

std::string Num(double value)
{
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// Groups for points: 10/20 pairs (or other codes).
std::vector<std::pair<int, std::string>> Pairs(const std::vector<Point> &points, int x = 10, int y = 20)
{
  std::vector<std::pair<int, std::string>> groups;
  for (const Point &p : points)
  {
    groups.push_back({x, Num(p.x)});
    groups.push_back({y, Num(p.y)});
  }
  return groups;
}

// A closed polyline boundary path.
std::string PolylinePath(const std::vector<Point> &points)
{
  std::vector<std::pair<int, std::string>> groups = {
    {92, "3"}, {72, "0"}, {73, "1"}, {93, std::to_string(points.size())}};
  const auto vertices = Pairs(points);
  groups.insert(groups.end(), vertices.begin(), vertices.end());
  groups.push_back({97, "0"});
  return Groups(groups);
}

std::string Square(double x0, double y0, double x1, double y1)
{
  return PolylinePath({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

// A pattern as a HATCH stores it, lines already turned and scaled.
std::string PatternGroups(const std::vector<PatternLine> &lines)
{
  std::vector<std::pair<int, std::string>> groups = {
    {52, "0"}, {41, "1"}, {77, "0"}, {78, std::to_string(lines.size())}};
  for (const PatternLine &line : lines)
  {
    groups.insert(groups.end(), {{53, Num(line.angle)},
                                 {43, Num(line.base.x)},
                                 {44, Num(line.base.y)},
                                 {45, Num(line.offset.x)},
                                 {46, Num(line.offset.y)},
                                 {79, std::to_string(line.dashes.size())}});
    for (double dash : line.dashes)
      groups.push_back({49, Num(dash)});
  }
  return Groups(groups);
}

int PatternRecords(const Document &document)
{
  int count = 0;
  for (const Entity &entity : document.Entities())
    count += entity.type == TypeFill && entity.shape == Shape::Segment;
  return count;
}

PatternLine Family(double angle, Point base, Point offset, std::vector<double> dashes = {})
{
  PatternLine line;
  line.angle = angle;
  line.base = base;
  line.offset = offset;
  line.dashes = std::move(dashes);
  return line;
}

const std::vector<Point> Ring{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const Point Break{NAN, NAN};

std::vector<Point> SquareWithHole()
{
  std::vector<Point> rings = Ring;
  rings.push_back(Break);
  for (Point p : std::vector<Point>{{3, 3}, {7, 3}, {7, 7}, {3, 7}})
    rings.push_back(p);
  return rings;
}

// The pieces on the horizontal line at y, as x ranges, left to right.
std::vector<std::pair<double, double>> PiecesAt(const std::vector<PatternPiece> &pieces, double y)
{
  std::vector<std::pair<double, double>> out;
  for (const PatternPiece &piece : pieces)
    if (std::fabs(piece.from.y - y) < 1e-9 && std::fabs(piece.to.y - y) < 1e-9)
      out.push_back({std::min(piece.from.x, piece.to.x), std::max(piece.from.x, piece.to.x)});
  std::sort(out.begin(), out.end());
  return out;
}

void ExpectRanges(const std::vector<std::pair<double, double>> &actual,
                  const std::vector<std::pair<double, double>> &expected, const char *what)
{
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i)
  {
    EXPECT_NEAR(actual[i].first, expected[i].first, 1e-9) << what << " piece " << i;
    EXPECT_NEAR(actual[i].second, expected[i].second, 1e-9) << what << " piece " << i;
  }
}

std::vector<PatternPiece> Pieces(const std::vector<Point> &rings, const std::vector<PatternLine> &lines,
                                 size_t maxPieces = MaxHatchPieces)
{
  double work = MaxHatchWork;
  return PatternPieces(rings, lines, maxPieces, &work);
}

TEST(PatternClipTest, EvenOddAroundAHole)
{
  // Lines y = 0.5, 1.5, ... 9.5; the four through the hole are cut in two.
  const auto pieces = Pieces(SquareWithHole(), {Family(0, {0, 0.5}, {0, 1})});
  EXPECT_EQ(pieces.size(), 14u);
  ExpectRanges(PiecesAt(pieces, 0.5), {{0, 10}}, "below the hole");
  ExpectRanges(PiecesAt(pieces, 5.5), {{0, 3}, {7, 10}}, "through the hole");
  // The same with the hole running the other way round, and a third ring
  // inside the hole: inside again.
  std::vector<Point> rings = Ring;
  rings.push_back(Break);
  for (Point p : std::vector<Point>{{3, 3}, {3, 7}, {7, 7}, {7, 3}, Break, {4, 4}, {6, 4}, {6, 6}, {4, 6}})
    rings.push_back(p);
  ExpectRanges(PiecesAt(Pieces(rings, {Family(0, {0, 0.5}, {0, 1})}), 5.5), {{0, 3}, {4, 6}, {7, 10}},
               "island in the hole");
}

TEST(PatternClipTest, LinesThroughVerticesAreCutOnce)
{
  // A diamond whose side corners lie on line y = 5 and whose bottom corner
  // touches line y = 0: one piece across, none from the touch.
  const std::vector<Point> diamond{{5, 0}, {10, 5}, {5, 10}, {0, 5}};
  const auto pieces = Pieces(diamond, {Family(0, {0, 0}, {0, 1})});
  EXPECT_EQ(pieces.size(), 9u);
  ExpectRanges(PiecesAt(pieces, 5), {{0, 10}}, "through the corners");
  ExpectRanges(PiecesAt(pieces, 2), {{3, 7}}, "lower half");
  // 45-degree lines y = x + 2k in the square: each from edge to edge.
  const auto slanted = Pieces(Ring, {Family(45, {0, 0}, {-1, 1})});
  EXPECT_EQ(slanted.size(), 9u);  // k = -4..4; k = ±5 only touch a corner
  for (const PatternPiece &piece : slanted)
  {
    EXPECT_NEAR(piece.to.y - piece.to.x, piece.from.y - piece.from.x, 1e-9);
    for (Point p : {piece.from, piece.to})
      EXPECT_TRUE(std::fabs(p.x) < 1e-9 || std::fabs(p.y) < 1e-9 || std::fabs(p.x - 10) < 1e-9
                  || std::fabs(p.y - 10) < 1e-9);
  }
}

TEST(PatternClipTest, DashesRunFromEachLinesBasePoint)
{
  // 2 drawn, 1 gap from x = 0: after the hole (x = 7) the pattern is a third
  // of the way into its period.
  const auto dashed = Pieces(SquareWithHole(), {Family(0, {0, 0.5}, {0, 1}, {2, -1})});
  ExpectRanges(PiecesAt(dashed, 0.5), {{0, 2}, {3, 5}, {6, 8}, {9, 10}}, "plain line");
  ExpectRanges(PiecesAt(dashed, 5.5), {{0, 2}, {7, 8}, {9, 10}}, "either side of the hole");
  // Offsets along the line move each line's start: line k starts at x = k.
  const auto staggered = Pieces(Ring, {Family(0, {0, 0.5}, {1, 1}, {1, -1})});
  ExpectRanges(PiecesAt(staggered, 0.5), {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8, 9}}, "line 0");
  ExpectRanges(PiecesAt(staggered, 1.5), {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}}, "line 1");
  // 0 is a dot: a piece without length.
  const auto dots = Pieces(Ring, {Family(0, {0, 0.5}, {0, 20}, {0, -2.5})});
  ExpectRanges(PiecesAt(dots, 0.5), {{0, 0}, {2.5, 2.5}, {5, 5}, {7.5, 7.5}, {10, 10}}, "dots");
  // Only dots and no length at all: drawn continuous rather than endlessly.
  ExpectRanges(PiecesAt(Pieces(Ring, {Family(0, {0, 0.5}, {0, 20}, {0, 0})}), 0.5), {{0, 10}}, "no period");
}

TEST(PatternClipTest, FarBasePointsAndDegenerateFamilies)
{
  // A base point 10^15 lines away still gives the lines y = k + 0.5.
  ExpectRanges(PiecesAt(Pieces(Ring, {Family(0, {0, 1e15 + 0.5}, {0, 1})}), 4.5), {{0, 10}}, "far base");
  // Offsets along the lines make them coincide: nothing, and no hang.
  EXPECT_TRUE(Pieces(Ring, {Family(0, {0, 5}, {3, 0}), Family(30, {0, 0}, {0, 0})}).empty());
  // Rings of fewer than three points enclose nothing.
  EXPECT_TRUE(Pieces({{0, 0}, {10, 10}}, {Family(0, {0, 0.5}, {0, 1})}).empty());
}

TEST(PatternClipTest, LimitsAreCheckedBeforeTheWork)
{
  const std::vector<PatternLine> dense{Family(0, {0, 0}, {0, 1e-300})};
  EXPECT_THROW(Pieces(Ring, dense), PatternTooLarge);
  const std::vector<Point> huge{{-3e38, -3e38}, {3e38, -3e38}, {3e38, 3e38}, {-3e38, 3e38}};
  EXPECT_THROW(Pieces(huge, {Family(0, {0, 0}, {0, 1})}), PatternTooLarge);
  EXPECT_THROW(Pieces(Ring, {Family(0, {0, 0.5}, {0, 1}, {1e-300, -1e-300})}), PatternTooLarge);
  // Pieces beyond the limit, and work beyond the budget.
  EXPECT_THROW(Pieces(Ring, {Family(0, {0, 0.5}, {0, 1})}, 9), PatternTooLarge);
  EXPECT_EQ(Pieces(Ring, {Family(0, {0, 0.5}, {0, 1})}, 10).size(), 10u);
  double work = 5;
  EXPECT_THROW(PatternPieces(Ring, {Family(0, {0, 0.5}, {0, 1})}, 100, &work), PatternTooLarge);
  work = 1000;
  PatternPieces(Ring, {Family(0, {0, 0.5}, {0, 1})}, 100, &work);
  EXPECT_LT(work, 1000);
}

// A spline edge: degree 2, control points (10,10), (50,90), (90,10): a
// parabola whose top is (50,50). With the chord back along y = 10 it bounds
// a hill.
std::string SplineEdge(bool fitData, bool rational = false)
{
  std::vector<std::pair<int, std::string>> groups = {{72, "4"}, {94, "2"}, {73, rational ? "1" : "0"},
                                                     {74, "0"}, {95, "6"}, {96, "3"}};
  for (const char *knot : {"0", "0", "0", "1", "1", "1"})
    groups.push_back({40, knot});
  for (Point p : std::vector<Point>{{10, 10}, {50, 90}, {90, 10}})
  {
    groups.push_back({10, Num(p.x)});
    groups.push_back({20, Num(p.y)});
    if (rational)
      groups.push_back({42, "1"});
  }
  if (fitData)
    groups.insert(
      groups.end(),
      {{97, "2"}, {11, "10"}, {21, "10"}, {11, "90"}, {21, "10"}, {12, "1"}, {22, "1"}, {13, "1"}, {23, "-1"}});
  return Groups(groups);
}

std::string ChordEdge()
{
  return Groups({{72, "1"}, {10, "90"}, {20, "10"}, {11, "10"}, {21, "10"}});
}

void ExpectHill(const Picture &picture, const std::string &what)
{
  EXPECT_TRUE(picture.Ink(50, 60) && picture.Ink(50, 52) && picture.Ink(30, 80)) << what;
  EXPECT_EQ(picture.InkIn(0, 0, Size, 48), 0) << what << ": above the top";
  EXPECT_EQ(picture.InkIn(0, 91, Size, Size), 0) << what << ": below the chord";
  EXPECT_FALSE(picture.Ink(15, 60) || picture.Ink(85, 60)) << what << ": beside the curve";
  EXPECT_GT(picture.InkIn(0, 0, Size, Size), 1500) << what;
}

TEST(HatchSplineEdgeTest, FillsTheCurvesInside)
{
  // The spline first (its fit data before the next edge), or last (its fit
  // data, or none, before the path's own 97).
  const std::vector<std::pair<std::string, std::string>> layouts = {
    {"spline first, fit data", SplineEdge(true) + ChordEdge()},
    {"spline first, no fit data", SplineEdge(false) + ChordEdge()},
    {"spline last, fit data", ChordEdge() + SplineEdge(true)},
    {"spline last, no fit data", ChordEdge() + SplineEdge(false)},
    {"rational", ChordEdge() + SplineEdge(false, true)}};
  for (const auto &layout : layouts)
  {
    for (const char *sources : {"0", "1"})
    {
      std::string path = Groups({{92, "1"}, {93, "2"}}) + layout.second + Groups({{97, sources}});
      if (std::string(sources) == "1")
        path += Groups({{330, "1F"}});
      Picture picture;
      picture.Draw(*Load(Hatch(1, path)), UnitView);
      ExpectHill(picture, layout.first + ", " + sources + " source objects");
    }
  }
  // Fit points only: the curve through them.
  const std::string fitOnly = Groups({{92, "1"},
                                      {93, "2"},
                                      {72, "4"},
                                      {94, "3"},
                                      {73, "0"},
                                      {74, "0"},
                                      {95, "0"},
                                      {96, "0"},
                                      {97, "3"},
                                      {11, "10"},
                                      {21, "10"},
                                      {11, "50"},
                                      {21, "50"},
                                      {11, "90"},
                                      {21, "10"}})
                              + ChordEdge() + Groups({{97, "0"}});
  Picture through;
  through.Draw(*Load(Hatch(1, fitOnly)), UnitView);
  EXPECT_TRUE(through.Ink(50, 52) && through.Ink(50, 80));
  EXPECT_EQ(through.InkIn(0, 0, Size, 48), 0);
  // Data that make no curve (a knot count that does not fit) leave the fill
  // out, as before.
  std::string bad = SplineEdge(false);
  bad.replace(bad.find("95\n6\n"), 5, "95\n5\n");
  const auto broken = Load(Hatch(1, Groups({{92, "1"}, {93, "2"}}) + ChordEdge() + bad + Groups({{97, "0"}})));
  Picture none;
  none.Draw(*broken, UnitView);
  EXPECT_EQ(none.InkIn(0, 0, Size, Size), 0);
}

// 45-degree lines y = x + 10k (offset (-5, 5), 7.07 apart) in the square
// 10..90 with the hole 30..70.
std::string SlantedHatch(const std::string &extra = "")
{
  return Hatch(2, Square(10, 10, 90, 90) + Square(30, 30, 70, 70), PatternGroups({Family(45, {0, 0}, {-5, 5})}))
         + extra;
}

TEST(PatternHatchTest, LinesInsideNoneInTheHoleOrOutside)
{
  auto document = Load(SlantedHatch());
  EXPECT_GT(PatternRecords(*document), 10);
  for (const Entity &entity : document->Entities())
    EXPECT_NE(entity.shape, Shape::Polygon) << "a pattern hatch is not filled solid";
  Picture picture;
  picture.Draw(*document, UnitView);
  // On lines y = x + 20 and y = x - 40 in the band round the hole; world y
  // is row 100 - y.
  EXPECT_TRUE(picture.Ink(20, 60) && picture.Ink(80, 60) && picture.Ink(25, 25));
  // Half-way between lines (y = x + 25, y = x - 35).
  EXPECT_FALSE(picture.Ink(20, 55) || picture.Ink(80, 55));
  EXPECT_EQ(picture.InkIn(31, 31, 70, 70), 0) << "the hole";
  EXPECT_EQ(picture.InkIn(0, 0, Size, 9) + picture.InkIn(0, 92, Size, Size), 0) << "outside";
  EXPECT_EQ(picture.InkIn(0, 0, 9, Size) + picture.InkIn(92, 0, Size, Size), 0) << "outside";
  // Every line of the band is there: along row 80 (y = 20) from x = 10 to
  // 90 the lines y = x + 10k cross at x = 10, 20, ... 90.
  for (int x = 20; x <= 80; x += 10)
    EXPECT_TRUE(picture.Ink(x, 80) || picture.Ink(x - 1, 80) || picture.Ink(x + 1, 80)) << x;
}

TEST(PatternHatchTest, DashGapsWhereThePatternSays)
{
  // Lines y = 5 + 10k, 10 drawn and 10 gap from x = 0, round a hole 40..60.
  auto document = Load(
    Hatch(2, Square(1, 1, 99, 99) + Square(40, 40, 60, 60), PatternGroups({Family(0, {0, 5}, {0, 10}, {10, -10})})));
  Picture picture;
  picture.Draw(*document, UnitView);
  const int row = 45;  // y = 55, through the hole
  for (int x : {5, 25, 65, 85})
    EXPECT_TRUE(picture.Ink(x, row)) << x;
  for (int x : {15, 35, 50, 75, 95})
    EXPECT_FALSE(picture.Ink(x, row)) << x;
  EXPECT_EQ(picture.InkRow(50), 0) << "between lines";
  EXPECT_TRUE(picture.Ink(5, 95) && !picture.Ink(15, 95)) << "the line y = 5";
}

TEST(PatternHatchTest, BlocksAndTransforms)
{
  // A pattern hatch in a block placed three times, once mirrored by its
  // extrusion: a record for every piece in every placement.
  const auto single = Load(SlantedHatch());
  const int pieces = PatternRecords(*single);
  const std::string blocks = test::Block("H", SlantedHatch());
  const auto placed = Load(test::Insert("H", "0", 0, 0) + test::Insert("H", "0", 100, 0)
                             + Groups({{0, "INSERT"}, {8, "0"}, {2, "H"}, {10, "0"}, {20, "200"}, {230, "-1"}}),
                           blocks);
  EXPECT_EQ(PatternRecords(*placed), 3 * pieces);
  // An array whose placements would make more records than the memory
  // budget holds is refused before anything is made.
  // 100 lines in each of 300 x 300 cells: 824 MiB of records.
  const std::string dense =
    test::Block("D", Hatch(1, Square(0, 0, 100, 100), PatternGroups({Family(0, {0, 0.5}, {0, 1})})));
  const std::string array = Groups(
    {{0, "INSERT"}, {8, "0"}, {2, "D"}, {10, "0"}, {20, "0"}, {70, "300"}, {71, "300"}, {44, "100"}, {45, "100"}});
  const auto start = std::chrono::steady_clock::now();
  test::TempFile file(DxfFile(LayerEntry("0", 7), dense, array));
  const test::EnvironmentVariable budget("ZULAN_MEMORY_BUDGET", "256");
  EXPECT_NE(test::LoadError(file.Path()).find("need 824 MiB of memory, more than its budget of 256 MiB"),
            std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(PatternHatchTest, HostileHatchesLoadQuicklyAndDrawNothing)
{
  const std::vector<std::string> hostile = {
    // Spacing near zero, dashes near zero, coordinates near the limit.
    Hatch(1, Square(0, 0, 100, 100), PatternGroups({Family(0, {0, 0}, {0, 1e-300})})),
    Hatch(1, Square(0, 0, 100, 100), PatternGroups({Family(0, {0, 0}, {0, 1}, {1e-30, -1e-30})})),
    Hatch(1, Square(-3e38, -3e38, 3e38, 3e38), PatternGroups({Family(30, {0, 0}, {0, 1})})),
    // Counts far beyond the data.
    Hatch(1, Square(0, 0, 100, 100), Groups({{52, "0"}, {41, "1"}, {77, "0"}, {78, "32000"}})),
    Hatch(2000000000, Square(0, 0, 100, 100), PatternGroups({Family(0, {0, 0}, {0, 1})})),
    Hatch(1,
          Groups({{92, "1"},
                  {93, "1"},
                  {72, "4"},
                  {94, "3"},
                  {73, "0"},
                  {74, "0"},
                  {95, "2000000000"},
                  {96, "2000000000"},
                  {40, "0"},
                  {97, "0"}}),
          PatternGroups({Family(0, {0, 0}, {0, 1})}))};
  for (size_t i = 0; i < hostile.size(); ++i)
  {
    const auto start = std::chrono::steady_clock::now();
    const auto document = Load(hostile[i]);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "hatch " << i;
    EXPECT_EQ(document->Entities().size(), 0u) << "hatch " << i;
  }
}

}  // namespace
}  // namespace zulan
