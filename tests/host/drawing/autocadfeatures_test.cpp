// What AutoCAD writes and the loader now draws: ACAD_TABLE (its block, or
// its cells without one), MTEXT columns, backgrounds, paragraph alignment
// and a downward extrusion. Checked on the drawings of examples/autocad/
// (made by examples/make_autocad_features.py) and on small drawings made
// here.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zulan
{
namespace
{

using test::Block;
using test::Draw;
using test::DxfFile;
using test::Groups;
using test::LayerEntry;
using test::Line;
using test::Load;
using test::LoadText;
using test::Picture;
using test::Size;
using test::UnitView;

// A box in world units.
struct Area
{
  double x0, y0, x1, y1;
  const char *what;
};

struct FeatureCase
{
  const char *file;
  std::vector<Area> ink;    // where the feature must put ink
  std::vector<Area> blank;  // where it must put none
};

// The feature drawings at two pixels a millimetre: world (0, 0)-(200, 140).
constexpr int Scale = 2, Width = 200 * Scale, Height = 140 * Scale;

int InkInArea(const Picture &picture, const Area &a)
{
  return picture.InkIn(int(a.x0 * Scale), int(Height - a.y1 * Scale), int(a.x1 * Scale), int(Height - a.y0 * Scale));
}

TEST(AutoCadFeatureTest, EachDrawingPutsInkWhereItsFeaturesAre)
{
  const std::vector<FeatureCase> cases = {
    {"table.dxf",
     {{25, 119, 165, 121, "the table's top border"},
      {69, 80, 71, 118, "a column border"},
      {36, 112, 54, 116, "the text 'Part'"},
      {125, 29, 175, 31, "the small table's bottom border"},
      {125, 42, 145, 48, "its text 'A1'"}},
     {{100, 110, 108, 118, "a cell's space beside its text"}, {20, 60, 110, 76, "below the table"}}},
    {"mtext-columns.dxf",
     {{51, 120, 91, 135, "the static second column"},
      {60, 60, 110, 90, "the flowed second column"},
      {160, 125, 200, 135, "the second column of own heights"}},
     {{46, 105, 50, 135, "the static columns' gutter"},
      {5, 20, 110, 48, "below the flowed columns' height"},
      {55.5, 50, 59.5, 90, "the flowed columns' gutter"},
      {110, 100, 200, 113, "below the first column of own heights"}}},
    {"mtext-columns-r2013.dxf",
     {{51, 120, 91, 135, "the linked static column"}, {60, 60, 110, 90, "the flowed second column"}},
     {{5, 20, 110, 48, "below the flowed columns' height"}, {55.5, 50, 59.5, 90, "the flowed columns' gutter"}}},
    {"mtext-format.dxf",
     {{10, 96, 20, 100, "left aligned"},
      {35, 84, 45, 88, "centred"},
      {60, 72, 70, 76, "right aligned"},
      {64, 60, 70, 64, "the justified first line's end"},
      {150, 57, 180, 63, "the mirrored text, centred on its point"}},
     {{50, 95, 70, 100, "right of the left aligned line"},
      {10, 83, 22, 88, "left of the centred line"},
      {58, 83, 70, 88, "right of the centred line"},
      {10, 71, 25, 76, "left of the right aligned line"},
      {186, 50, 200, 70, "right of the mirrored text"}}},
    {"annotations.dxf",
     {{45, 119, 55, 121, "the leader's hook"},
      {20, 34, 30, 36, "the linear dimension's line"},
      {9, 24, 11, 32, "its extension line"},
      {100, 70, 125, 75, "the ATTDEF's tag"},
      {5, 60, 19, 65, "the backward text, left of its point"},
      {25, 40, 50, 44.5, "the upside-down text, below its baseline"},
      {99, 108.5, 107, 110.5, "the second leader's line under its text"},
      {105, 129, 120, 131, "the line in a true colour"},
      {9, 82.5, 11, 83, "a dot at a dimension's first end, above its line"},
      {26, 81.5, 29, 82.5, "its line whole under its text"},
      {25, 83.5, 30, 86, "its text above the line"},
      {140, 77.5, 155, 78.5, "a dimension line up to its text"},
      {160, 76.5, 165, 79.5, "the text across it"},
      {53.6, 82.9, 54.2, 83.4, "an overriding box's corner"},
      {73, 81.5, 77, 82.5, "the line under the overridden text"}},
     {{21, 60, 60, 65, "right of the backward text's point"},
      {20, 46, 60, 52, "above the upside-down text"},
      {109, 105, 128, 112, "past the line under the leader's text"},
      {26, 78, 29, 81.3, "below the line under the text above it"},
      {159, 77.5, 159.5, 78.5, "the break before the text across the line"},
      {8, 83.5, 9, 84, "above the dot"}}},
    {"faces.dxf",
     {{30, 99, 40, 101, "a 3DFACE's bottom edge"},
      {9, 110, 11, 120, "its left edge"},
      {100, 129, 110, 131, "the other's top edge"},
      {25, 60, 27, 70, "a line above the wipeout"},
      {179, 105, 181, 120, "the tilted polyline's right edge"},
      {155, 123, 175, 125, "its top edge, squashed"},
      {130, 30, 150, 45, "the hatch's upper half disc"}},
     {{129, 105, 131, 125, "the hidden right edge"},
      {79, 105, 81, 125, "the hidden left edge"},
      {21, 26, 69, 54, "the wiped-out lines"},
      {155, 126, 175, 131, "where the polyline would be unsquashed"},
      {130, 0, 150, 18, "below the hatch's straight edge"}}},
  };
  const ViewMapping view(0, 0, 200, 140, 0, 0, Width, Height);
  for (const FeatureCase &c : cases)
  {
    SCOPED_TRACE(c.file);
    const auto document = Document::Load(std::string(ZULAN_EXAMPLES_DIR) + "/autocad/" + c.file);
    Picture picture(Width, Height);
    picture.Draw(*document, view, true);
    for (const Area &a : c.ink)
      EXPECT_GT(InkInArea(picture, a), 0) << a.what;
    for (const Area &a : c.blank)
      EXPECT_EQ(InkInArea(picture, a), 0) << a.what;
  }
  // The true colour (255, 0, 0) as its nearest palette colour, red.
  const auto annotations = Document::Load(std::string(ZULAN_EXAMPLES_DIR) + "/autocad/annotations.dxf");
  Picture picture(Width, Height);
  picture.Draw(*annotations, view, true);
  EXPECT_EQ(picture.Colour(112 * Scale, Height - 130 * Scale), 0xFF0000u);
}

// An ACAD_TABLE at (x, y) of two rows 20 high and two columns 30 wide, its
// cells "A".."D" 8 high; its block when named.
std::string Table(const std::string &block, double x, double y, const std::string &direction = "1,0")
{
  const std::string dx = direction.substr(0, direction.find(',')), dy = direction.substr(direction.find(',') + 1);
  std::string table = Groups({{0, "ACAD_TABLE"}, {8, "0"}, {100, "AcDbEntity"}, {100, "AcDbBlockReference"}});
  if (!block.empty())
    table += Groups({{2, block}});
  table += Groups({{10, std::to_string(x)},
                   {20, std::to_string(y)},
                   {100, "AcDbTable"},
                   {11, dx},
                   {21, dy},
                   {91, "2"},
                   {92, "2"},
                   {141, "20"},
                   {141, "20"},
                   {142, "30"},
                   {142, "30"}});
  for (const char *text : {"A", "B", "C", "D"})
    table += Groups({{171, "1"}, {175, "1"}, {176, "1"}, {140, "8"}, {1, text}});
  return table;
}

TEST(TableTest, DrawsItsBlockWhereItStandsAlongItsDirection)
{
  // The block: one line from (0, 0) to (40, 0).
  const std::string block = Block("*T1", Line("0", 0, 0, 40, 0));
  const Picture along = Draw(*Load(Table("*T1", 10, 80), block));
  EXPECT_EQ(along.InkRow(20), 40) << "from (10, 80) to the right";
  const Picture turned = Draw(*Load(Table("*T1", 50, 10, "0,1"), block));
  EXPECT_EQ(turned.InkColumn(50), 40) << "from (50, 10) upwards";
  EXPECT_EQ(turned.InkIn(0, 0, 50, Size) + turned.InkIn(51, 0, Size, Size), 0);
  // Seen from below (extrusion 0, 0, -1) the object's x is the world's -x:
  // the table at (-60, 80) stands at (60, 80), its block running left, as
  // an INSERT's would; its cells without the block likewise.
  const Picture below = Draw(*Load(Table("*T1", -60, 80) + Groups({{230, "-1"}}), block));
  EXPECT_EQ(below.InkIn(20, 20, 61, 21), 40) << "from (60, 80) to the left";
  EXPECT_EQ(below.InkIn(0, 0, Size, Size), 40);
  const Picture cells = Draw(*Load(Table("", -70, 90) + Groups({{230, "-1"}})));
  EXPECT_GE(cells.InkIn(10, 10, 71, 11), 60) << "the top border from x = 70 to 10";
  EXPECT_GE(cells.InkIn(10, 50, 71, 51), 60) << "the bottom border";
  EXPECT_EQ(cells.InkIn(72, 0, Size, Size) + cells.InkIn(0, 0, 9, Size), 0);
}

TEST(TableTest, WithoutItsBlockDrawsItsCells)
{
  // Cells from (10, 90) to (70, 50): borders at x = 10, 40, 70 and y = 90,
  // 70, 50; each letter in the middle of its cell.
  const auto document = Load(Table("", 10, 90));
  const Picture picture = Draw(*document);
  for (int x : {10, 40, 70})
    EXPECT_GE(picture.InkIn(x, 12, x + 1, 48), 34) << "border x = " << x;
  for (int row : {10, 30, 50})
    EXPECT_GE(picture.InkIn(12, row, 68, row + 1), 54) << "border row " << row;
  for (auto [x, y] : {std::pair{25, 20}, {55, 20}, {25, 40}, {55, 40}})
    EXPECT_GT(picture.InkIn(x - 3, y - 3, x + 3, y + 3), 0) << "text at " << x << ", " << y;
  EXPECT_EQ(picture.InkIn(11, 11, 18, 18), 0) << "a cell's corner";
  EXPECT_EQ(picture.InkIn(72, 0, Size, Size), 0);
  // A missing block named is the same as none.
  EXPECT_EQ(Load(Table("*T9", 10, 90))->Entities().size(), document->Entities().size());
}

TEST(TableTest, WithoutItsBlockACellsTextStandsAsItsAlignmentSays)
{
  // One cell from (10, 90) to (70, 50), margins 2: an "H" 8 high (about 6
  // wide) in its corners or its middle.
  struct Case
  {
    const char *alignment;
    int x0, y0, x1, y1;  // pixels holding all its ink
  };
  const std::vector<Case> cases = {{"1", 11, 11, 20, 21}, {"5", 35, 25, 45, 35}, {"9", 60, 39, 69, 49}};
  for (const Case &c : cases)
  {
    const std::string table =
      Groups({{0, "ACAD_TABLE"}, {8, "0"}, {10, "10"}, {20, "90"}, {100, "AcDbTable"}, {40, "2"}, {41, "2"}})
      + Groups({{91, "1"}, {92, "1"}, {141, "40"}, {142, "60"}, {171, "1"}, {170, c.alignment}, {140, "8"}, {1, "H"}});
    const Picture picture = Draw(*Load(table));
    const int text = picture.InkIn(c.x0, c.y0, c.x1, c.y1);
    EXPECT_GT(text, 10) << c.alignment;
    EXPECT_EQ(picture.InkIn(11, 11, 70, 50), text) << c.alignment;
  }
}

// An MTEXT 8 high at (x, y) with more groups.
std::string MText(double x, double y, const std::string &contents, const std::vector<std::pair<int, std::string>> &more)
{
  std::vector<std::pair<int, std::string>> groups = {
    {0, "MTEXT"}, {8, "0"}, {10, std::to_string(x)}, {20, std::to_string(y)}, {40, "8"}};
  groups.insert(groups.end(), more.begin(), more.end());
  groups.push_back({1, contents});
  return Groups(groups);
}

TEST(MTextColumnTest, TextFlowsIntoTheNextColumnAtItsHeight)
{
  // Columns 40 wide, 5 apart, 30 high from y = 95: three lines (baselines
  // 87, 74, 60) would reach below 65, so the third starts the second column
  // at x = 55. The three forms AutoCAD writes say the same.
  const std::string words = "HHH HHH HHH";
  const std::vector<std::pair<std::string, std::string>> forms = {
    {"entity groups", MText(10, 95, words, {{41, "40"}, {75, "2"}, {76, "2"}, {48, "40"}, {49, "5"}, {46, "30"}})},
    {"extended data", MText(10, 95, words, {{41, "40"}, {46, "30"}})
                        + Groups({{1001, "ACAD"},
                                  {1000, "ACAD_MTEXT_COLUMN_INFO_BEGIN"},
                                  {1070, "75"},
                                  {1070, "2"},
                                  {1070, "79"},
                                  {1070, "1"},
                                  {1070, "76"},
                                  {1070, "2"},
                                  {1070, "48"},
                                  {1040, "40"},
                                  {1070, "49"},
                                  {1040, "5"},
                                  {1000, "ACAD_MTEXT_COLUMN_INFO_END"}})},
    {"embedded object", MText(10, 95, words, {{41, "40"}})
                          + Groups({{101, "Embedded Object"},
                                    {70, "1"},
                                    {10, "1"},
                                    {20, "0"},
                                    {11, "10"},
                                    {21, "95"},
                                    {40, "40"},
                                    {41, "30"},
                                    {71, "2"},
                                    {72, "2"},
                                    {44, "40"},
                                    {45, "5"},
                                    {73, "1"},
                                    {74, "0"}})},
  };
  for (const auto &[form, entity] : forms)
  {
    SCOPED_TRACE(form);
    const Picture picture = Draw(*Load(entity));
    EXPECT_GT(picture.InkIn(10, 5, 50, 14), 0) << "the first line";
    EXPECT_GT(picture.InkIn(10, 18, 50, 27), 0) << "the second";
    EXPECT_EQ(picture.InkIn(0, 30, Size, Size), 0) << "nothing below the column";
    EXPECT_GT(picture.InkIn(55, 5, 95, 14), 0) << "the third, atop the next column";
  }
  // Without columns the third line goes below, and a column break (\N)
  // starts the next column however much room is left.
  EXPECT_GT(Draw(*Load(MText(10, 95, words, {{41, "40"}}))).InkIn(10, 32, 50, 41), 0);
  const Picture broken =
    Draw(*Load(MText(10, 95, "HHH\\NHHH", {{41, "40"}, {75, "1"}, {76, "2"}, {48, "40"}, {49, "5"}, {46, "60"}})));
  EXPECT_GT(broken.InkIn(55, 5, 95, 14), 0);
  EXPECT_EQ(broken.InkIn(0, 18, Size, Size), 0);
  // Flow reversed (78, the embedded object's 74): the next column stands
  // left of the first, which starts at x = 55.
  const std::vector<std::string> reversed = {
    MText(55, 95, words, {{41, "40"}, {75, "2"}, {76, "2"}, {48, "40"}, {49, "5"}, {46, "30"}, {78, "1"}}),
    MText(55, 95, words, {{41, "40"}})
      + Groups({{101, "Embedded Object"}, {71, "2"}, {72, "2"}, {44, "40"}, {45, "5"}, {41, "30"}, {74, "1"}})};
  for (const std::string &entity : reversed)
  {
    const Picture picture = Draw(*Load(entity));
    EXPECT_GT(picture.InkIn(55, 18, 95, 27), 0) << "the second line, in the first column";
    EXPECT_GT(picture.InkIn(10, 5, 50, 14), 0) << "the third, atop the column on the left";
    EXPECT_EQ(picture.InkIn(10, 18, 50, 30) + picture.InkIn(96, 0, Size, Size), 0);
  }
}

TEST(MTextBackgroundTest, FillsBehindTheTextBeyondItsBoxByTheBorderFactor)
{
  // A line at y = 50 through an MTEXT 40 wide whose box runs from y = 54
  // down to its baseline at 46; factor 1.5 widens it by 4 on every side.
  const std::string line = Line("0", 0, 50, 100, 50);
  struct Case
  {
    const char *what;
    std::vector<std::pair<int, std::string>> groups;
    uint32_t under;  // the line's pixel inside the box
    bool framed;
  };
  const std::vector<Case> cases = {
    {"none", {}, 0x000000, false},
    {"colour 2", {{90, "1"}, {63, "2"}, {45, "1.5"}}, 0xFFFF00, false},
    {"the drawing's background", {{90, "3"}, {63, "2"}}, 0xFFFFFF, false},
    {"background and frame", {{90, "18"}, {45, "1.5"}}, 0xFFFFFF, true},
    {"a true colour, as the nearest ACI", {{90, "1"}, {63, "2"}, {421, "65280"}}, 0x00FF00, false},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<int, std::string>> groups = c.groups;
    groups.push_back({41, "40"});
    const Picture picture = Draw(*Load(line + MText(20, 54, "H", groups)));
    EXPECT_EQ(picture.Colour(50, 50), c.under) << "inside the box, clear of the letter";
    EXPECT_EQ(picture.Colour(90, 50), 0x000000u) << "beyond the box";
    int black = 0;  // on the frame's left edge, 4 left of the box
    for (int row = 40; row < 60; ++row)
      black += picture.Colour(16, row) == 0;
    EXPECT_EQ(black > 10, c.framed);
  }
}

TEST(MTextAlignmentTest, ParagraphsStandInTheReferenceWidthAsTheySay)
{
  // "HH" (about 17 wide at height 8) in a box from x = 10 to 90.
  struct Case
  {
    const char *code;
    int inkFrom, inkTo;  // columns with ink
  };
  const std::vector<Case> cases = {
    {"", 10, 27}, {"\\pql;", 10, 27}, {"\\pxqc;", 42, 58}, {"\\pxqr;", 73, 90}, {"\\pxi-3,l3,qr;", 73, 90}};
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.code);
    const Picture picture = Draw(*Load(MText(10, 90, std::string(c.code) + "HH", {{41, "80"}})));
    EXPECT_GT(picture.InkIn(c.inkFrom, 10, c.inkFrom + 5, 20), 0);
    EXPECT_GT(picture.InkIn(c.inkTo - 5, 10, c.inkTo, 20), 0);
    EXPECT_EQ(picture.InkIn(0, 10, c.inkFrom - 1, 20) + picture.InkIn(c.inkTo + 1, 10, Size, 20), 0);
  }
  // Justified: every line but a paragraph's last spreads to the width; the
  // alignment holds for the paragraphs after it.
  const Picture justified = Draw(*Load(MText(10, 90, "\\pqj;H H H H H H H H H\\PH H", {{41, "80"}})));
  EXPECT_GT(justified.InkIn(84, 10, 90, 20), 0) << "the first line reaches the right";
  EXPECT_EQ(justified.InkIn(40, 36, Size, 46), 0) << "the last line does not";
}

TEST(MTextExtrusionTest, TheExtrusionTurnsAndMirrorsTheTextAboutItsPoint)
{
  // "HHH" about 26 wide; point (50, 50), top-left attachment.
  struct Case
  {
    const char *what;
    std::vector<std::pair<int, std::string>> groups;
    int left, right, top, bottom;  // rows and columns with ink, to a pixel or two
  };
  const std::vector<Case> cases = {
    {"upright", {}, 50, 76, 50, 58},
    {"50 runs along the object's x, the world's -x", {{230, "-1"}}, 24, 50, 50, 58},
    {"11 keeps its direction; up turns down", {{11, "1"}, {21, "0"}, {230, "-1"}}, 50, 76, 42, 50},
    // Extrusion (0.6, 0, 0.8): the object's x axis is the world's y, up
    // (N x along) the world's -x foreshortened by 0.8.
    {"tilted", {{210, "0.6"}, {220, "0"}, {230, "0.8"}}, 50, 57, 24, 50},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    const Picture picture = Draw(*Load(MText(50, 50, "HHH", c.groups)));
    EXPECT_GT(picture.InkIn(c.left, c.top, c.right, c.bottom), 20);
    EXPECT_EQ(picture.InkIn(0, 0, Size, Size) - picture.InkIn(c.left - 2, c.top - 2, c.right + 2, c.bottom + 2), 0);
  }
}

}  // namespace
}  // namespace zulan

namespace zulan
{
namespace
{

TEST(TableTest, TablesBeyondTheCellLimitDrawNothingAndColumnsStayBounded)
{
  // 400 x 400 cells from 800 groups: beyond a MINSERT's 100,000 cells.
  std::string table = Groups({{0, "ACAD_TABLE"}, {8, "0"}, {10, "0"}, {20, "0"}, {100, "AcDbTable"}});
  for (int i = 0; i < 400; ++i)
    table += Groups({{141, "1"}, {142, "1"}});
  EXPECT_TRUE(Load(table)->Entities().empty());
  // Columns of no height: each line stands atop a column of its own.
  std::string words;
  for (int i = 0; i < 500; ++i)
    words += "HH ";
  const auto document = Load(MText(0, 90, words, {{41, "10"}, {75, "2"}, {79, "1"}, {46, "1e-30"}, {49, "1e30"}}));
  ASSERT_EQ(document->Entities().size(), 500u);
  for (const Entity &entity : document->Entities())
    EXPECT_NEAR(EntityExtents(*document, entity).maxY, 90, 0.5);
}

}  // namespace
}  // namespace zulan
