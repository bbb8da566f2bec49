// How AutoCAD's drawings look beyond their geometry: entities' and layers'
// true colours (group 420), the line a leader's text stands on, the
// dimension style a leader names, the borders and colours a table style
// gives tables drawn from their cells.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
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
using test::Load;
using test::Picture;
using test::Size;

using GroupList = std::vector<std::pair<int, std::string>>;

// Pixels of exactly this colour (0xRRGGBB).
int PixelsOf(const Picture &picture, uint32_t colour)
{
  int count = 0;
  for (int y = 0; y < Size; ++y)
  {
    for (int x = 0; x < Size; ++x)
      count += picture.Colour(x, y) == colour;
  }
  return count;
}

constexpr uint32_t RgbRed = 0xFF0000, RgbGreen = 0x00FF00, RgbBlue = 0x0000FF, RgbBlack = 0;

TEST(TrueColourTest, AnEntitysTrueColourStandsBeforeItsPaletteColour)
{
  // 420 = 0x00RRGGBB; drawn as the nearest palette colour.
  const GroupList red = {{420, "16711680"}};
  const GroupList hatchBoundary = {{92, "2"},  {72, "0"},  {73, "1"},  {93, "4"},  {10, "20"}, {20, "20"}, {10, "80"},
                                   {20, "20"}, {10, "80"}, {20, "80"}, {10, "20"}, {20, "80"}, {97, "0"}};
  struct Case
  {
    const char *what;
    std::string entities, blocks, layers;
    uint32_t colour;
  };
  const std::string line = "0\nLINE\n8\n0\n10\n10\n20\n50\n11\n90\n21\n50\n";
  const std::vector<Case> cases = {
    {"a line, BYLAYER otherwise", test::Line("0", 10, 50, 90, 50, red), "", "", RgbRed},
    {"its palette colour gives way", test::Line("0", 10, 50, 90, 50, {{62, "5"}, {420, "65280"}}), "", "", RgbGreen},
    {"after the common groups' marker",
     Groups({{0, "LINE"},
             {100, "AcDbEntity"},
             {8, "0"},
             {420, "255"},
             {100, "AcDbLine"},
             {10, "10"},
             {20, "50"},
             {11, "90"},
             {21, "50"}}),
     "", "", RgbBlue},
    {"a 420 of the entity's own kind is not its colour",
     Groups({{0, "MTEXT"},
             {100, "AcDbEntity"},
             {8, "0"},
             {100, "AcDbMText"},
             {10, "10"},
             {20, "60"},
             {40, "10"},
             {420, "16711680"},
             {1, "HHH"}}),
     "", "", RgbBlack},
    {"a circle", Groups({{0, "CIRCLE"}, {8, "0"}, {10, "50"}, {20, "50"}, {40, "30"}, {420, "16711680"}}), "", "",
     RgbRed},
    {"a lightweight polyline",
     Groups(
       {{0, "LWPOLYLINE"}, {8, "0"}, {420, "16711680"}, {90, "2"}, {10, "10"}, {20, "50"}, {10, "90"}, {20, "50"}}),
     "", "", RgbRed},
    {"text", Groups({{0, "TEXT"}, {8, "0"}, {10, "10"}, {20, "40"}, {40, "20"}, {420, "16711680"}, {1, "HHH"}}), "", "",
     RgbRed},
    {"multi-line text",
     Groups({{0, "MTEXT"}, {8, "0"}, {420, "16711680"}, {10, "10"}, {20, "60"}, {40, "20"}, {1, "HHH"}}), "", "",
     RgbRed},
    {"a solid hatch", test::Hatch(1, Groups(hatchBoundary)) + Groups({{420, "16711680"}}), "", "", RgbRed},
    {"a block's BYBLOCK contents take the insert's",
     Groups({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "0"}, {420, "16711680"}}), Block("B", line + "62\n0\n"),
     "", RgbRed},
    {"an attribute",
     Groups({{0, "INSERT"},
             {8, "0"},
             {66, "1"},
             {2, "B"},
             {10, "0"},
             {20, "0"},
             {0, "ATTRIB"},
             {8, "0"},
             {420, "16711680"},
             {10, "10"},
             {20, "40"},
             {40, "20"},
             {1, "HHH"},
             {2, "T"},
             {70, "0"},
             {0, "SEQEND"}}),
     Block("B", ""), "", RgbRed},
    {"a layer's true colour for its BYLAYER entities", test::Line("L", 10, 50, 90, 50), "",
     LayerEntry("L", 5) + Groups({{420, "65280"}}), RgbGreen},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    const Picture picture = Draw(*Load(c.entities, c.blocks, c.layers));
    EXPECT_GT(PixelsOf(picture, c.colour), 20);
    for (uint32_t other : {RgbRed, RgbGreen, RgbBlue, RgbBlack})
    {
      if (other != c.colour)
      {
        EXPECT_EQ(PixelsOf(picture, other), 0) << std::hex << other;
      }
    }
  }
}

TEST(LeaderTest, TextAboveTheLineStandsOnTheHookLinesContinuation)
{
  // A leader from (10, 40) up to (30, 60) and a hook to (40, 60) (row 40),
  // its text 40 wide; with $DIMTAD the line runs on under the text by the
  // gap (2) and the width: to x = 82, or back from the hook's end when the
  // path runs against 211.
  struct Case
  {
    const char *what;
    GroupList groups;
    std::string header;
    int inkFrom, inkTo;  // columns of row 40 with ink
  };
  const std::string above = Groups({{9, "$DIMTAD"}, {70, "1"}, {9, "$DIMGAP"}, {40, "2"}});
  const GroupList text = {{73, "0"}, {75, "1"}, {41, "40"}};
  const std::vector<Case> cases = {
    {"text above", text, above, 30, 82},
    {"text across the line ($DIMTAD 0)", text, "", 30, 40},
    {"no hook line", {{73, "0"}, {75, "0"}, {41, "40"}}, above, 30, 40},
    {"no text", {{73, "3"}, {75, "1"}, {41, "40"}}, above, 30, 40},
    {"75 absent: a hook line", {{73, "0"}, {41, "40"}}, above, 30, 82},
    {"211 the other way: the path's side", {{73, "0"}, {75, "1"}, {41, "40"}, {211, "-1"}, {221, "0"}}, above, 30, 82},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    GroupList groups = {{0, "LEADER"}, {8, "0"}, {71, "0"}};
    groups.insert(groups.end(), c.groups.begin(), c.groups.end());
    for (auto [x, y] : {std::pair{"10", "40"}, {"30", "60"}, {"40", "60"}})
      groups.insert(groups.end(), {{10, x}, {20, y}});
    const Picture picture = Draw(*test::LoadText(DxfFile("", "", Groups(groups), c.header)));
    EXPECT_GE(picture.InkIn(c.inkFrom, 40, c.inkTo + 1, 41), c.inkTo - c.inkFrom);
    EXPECT_EQ(picture.InkIn(c.inkTo + 2, 0, Size, Size), 0);
  }
  // A path ending upright takes 74's side: against 211 with 0.
  GroupList upright = {{0, "LEADER"}, {8, "0"}, {71, "0"}, {73, "0"}, {75, "1"}, {74, "0"}, {41, "20"}};
  upright.insert(upright.end(), {{10, "50"}, {20, "10"}, {10, "50"}, {20, "60"}});
  const Picture against = Draw(*test::LoadText(DxfFile("", "", Groups(upright), above)));
  EXPECT_GE(against.InkIn(28, 40, 51, 41), 22) << "from x = 50 back to 28";
  EXPECT_EQ(against.InkIn(52, 0, Size, Size), 0);
}

TEST(DimensionStyleTest, ALeaderTakesTheStyleItNamesElseTheHeaders)
{
  // A leader from (10, 50) to (90, 50), its arrowhead at (10, 50): $DIMASZ
  // long and a third as wide. The header says 3; the style BIG 30.
  const std::string header = Groups({{9, "$DIMASZ"}, {40, "3"}});
  const std::string styles =
    Groups({{0, "TABLE"}, {2, "DIMSTYLE"}, {70, "1"}, {0, "DIMSTYLE"}, {2, "BIG"}, {70, "0"}, {41, "30"}})
    + Groups({{0, "ENDTAB"}});
  struct Case
  {
    const char *what;
    std::string style;  // group 3 of the leader, none when empty
    bool big;
  };
  const std::vector<Case> cases = {{"the style it names", "BIG", true},
                                   {"its name in any case", "big", true},
                                   {"no style", "", false},
                                   {"a style the table lacks", "SMALL", false}};
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    GroupList leader = {{0, "LEADER"}, {8, "0"}};
    if (!c.style.empty())
      leader.push_back({3, c.style});
    leader.insert(leader.end(), {{71, "1"}, {10, "10"}, {20, "50"}, {10, "90"}, {20, "50"}});
    const Picture picture = Draw(*test::LoadText(DxfFile("", "", Groups(leader), header, styles)));
    EXPECT_EQ(picture.InkIn(30, 40, 40, 49) > 0, c.big) << "the big arrowhead's back, above the line";
    EXPECT_GT(picture.InkIn(10, 48, 13, 53), 0) << "the tip";
  }
}

// A table of one cell from (10, 90) to (70, 50) (two rows of 20 from
// (10, 50) up when its style says so) with an "H" 8 high, its style A1.
std::string StyledTable(const GroupList &style, const GroupList &cell, bool twoRows = false)
{
  std::string entities = Groups({{0, "ACAD_TABLE"},
                                 {8, "0"},
                                 {100, "AcDbEntity"},
                                 {100, "AcDbBlockReference"},
                                 {10, "10"},
                                 {20, twoRows ? "10" : "90"},
                                 {100, "AcDbTable"},
                                 {342, "A1"},
                                 {91, twoRows ? "2" : "1"},
                                 {92, "1"}});
  entities += twoRows ? Groups({{141, "20"}, {141, "20"}, {142, "60"}}) : Groups({{141, "40"}, {142, "60"}});
  GroupList groups = {{171, "1"}, {175, "1"}, {176, "1"}, {140, "8"}, {1, "H"}};
  groups.insert(groups.end(), cell.begin(), cell.end());
  entities += Groups(groups);
  GroupList styleGroups = {{0, "TABLESTYLE"}, {5, "A1"}, {100, "AcDbTableStyle"}};
  styleGroups.insert(styleGroups.end(), style.begin(), style.end());
  std::string file = DxfFile("", "", entities);
  file.insert(file.rfind("0\nEOF"),
              Groups({{0, "SECTION"}, {2, "OBJECTS"}}) + Groups(styleGroups) + Groups({{0, "ENDSEC"}}));
  return file;
}

TEST(TableStyleTest, ACellsBordersAndTextAsItsStyleAndItsOwnGroupsSay)
{
  // Border kinds in the style by the last digit: 4 top, 5 inside
  // horizontal, 6 bottom, 7 left, 8 inside vertical, 9 right (colours 64-69,
  // shown 284-289); a cell's own: 9 top, 5 right, 6 bottom, 8 left.
  struct Side
  {
    int x0, y0, x1, y1;  // pixels of one border, clear of the corners
    uint32_t colour;     // its pixels' colour; RgbBlack with none
    bool shown;
  };
  struct Case
  {
    const char *what;
    GroupList style, cell;
    Side top, right, bottom, left;
    uint32_t text;
  };
  const Side top{12, 10, 69, 11, RgbBlack, true}, right{70, 12, 71, 49, RgbBlack, true},
    bottom{12, 50, 69, 51, RgbBlack, true}, left{10, 12, 11, 49, RgbBlack, true};
  auto hidden = [](Side s) { return Side{s.x0, s.y0, s.x1, s.y1, RgbBlack, false}; };
  auto coloured = [](Side s, uint32_t c) { return Side{s.x0, s.y0, s.x1, s.y1, c, true}; };
  const std::vector<Case> cases = {
    {"the standard look", {}, {}, top, right, bottom, left, RgbBlack},
    {"the style hides the left border", {{287, "0"}}, {}, top, right, bottom, hidden(left), RgbBlack},
    {"the style colours the right border and the text",
     {{62, "5"}, {69, "1"}},
     {},
     top,
     coloured(right, RgbRed),
     bottom,
     left,
     RgbBlue},
    {"the first cell style stands", {{287, "0"}, {287, "1"}}, {}, top, right, bottom, hidden(left), RgbBlack},
    {"the cell shows what its style hides and hides its top",
     {{287, "0"}},
     {{289, "0"}, {288, "1"}},
     hidden(top),
     right,
     bottom,
     left,
     RgbBlack},
    {"the cell's own colours",
     {{66, "1"}},
     {{66, "3"}, {64, "1"}},
     top,
     right,
     coloured(bottom, RgbGreen),
     left,
     RgbRed},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    const Picture picture = Draw(*test::LoadText(StyledTable(c.style, c.cell)));
    for (const Side &s : {c.top, c.right, c.bottom, c.left})
    {
      const int length = (s.x1 - s.x0) * (s.y1 - s.y0);
      EXPECT_EQ(picture.InkIn(s.x0, s.y0, s.x1, s.y1), s.shown ? length : 0) << s.x0 << ", " << s.y0;
      if (s.shown)
      {
        EXPECT_EQ(picture.Colour((s.x0 + s.x1) / 2, (s.y0 + s.y1) / 2), s.colour) << s.x0 << ", " << s.y0;
      }
    }
    EXPECT_GT(picture.InkIn(35, 25, 45, 35), 10) << "the text";
    EXPECT_EQ(picture.Colour(40, 30), c.text) << "the middle of the H's bar";
  }
  // Rows up (70 = 1): the first row from y = 10 to 30, the second above it.
  const Picture up = Draw(*test::LoadText(StyledTable({{70, "1"}}, {}, true)));
  EXPECT_EQ(up.InkIn(12, 90, 69, 91), 57) << "the bottom border at y = 10";
  EXPECT_EQ(up.InkIn(12, 50, 69, 51), 57) << "the top border at y = 50";
  EXPECT_EQ(up.InkIn(0, 0, Size, 49), 0) << "nothing above";
  EXPECT_GT(up.InkIn(35, 70, 45, 90), 10) << "the first cell's text in the bottom row";
}

TEST(TableStyleTest, TitleHeaderAndDataRowsTakeTheirOwnCellStyles)
{
  // Three rows of 20 from (10, 90) down to (70, 30), an "H" in each without
  // a height of its own. The style's cell styles, each begun by its 7: the
  // data cells' text 6 high in red, the title's 10 in green with no left
  // border, the header's 8 in blue.
  const GroupList cellStyles = {{7, "Standard"}, {140, "6"}, {62, "1"},       {7, "Standard"}, {140, "10"},
                                {62, "3"},       {287, "0"}, {7, "Standard"}, {140, "8"},      {62, "5"}};
  struct Case
  {
    const char *what;
    GroupList before;  // the style's groups before its cell styles
    uint32_t colours[3];
    int heights[3];  // of each row's H, in pixels
    bool leftBorder[3];
  };
  const std::vector<Case> cases = {
    {"title, header, data", {{40, "1"}}, {RgbGreen, RgbBlue, RgbRed}, {10, 8, 6}, {false, true, true}},
    {"the version before the description",
     {{280, "1"}, {3, "T"}, {40, "1"}},
     {RgbGreen, RgbBlue, RgbRed},
     {10, 8, 6},
     {false, true, true}},
    {"no title", {{40, "1"}, {280, "1"}}, {RgbBlue, RgbRed, RgbRed}, {8, 6, 6}, {true, true, true}},
    {"no title, no header",
     {{40, "1"}, {280, "1"}, {281, "1"}},
     {RgbRed, RgbRed, RgbRed},
     {6, 6, 6},
     {true, true, true}},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    std::string entities = Groups({{0, "ACAD_TABLE"},
                                   {8, "0"},
                                   {100, "AcDbEntity"},
                                   {100, "AcDbBlockReference"},
                                   {10, "10"},
                                   {20, "90"},
                                   {100, "AcDbTable"},
                                   {342, "A1"},
                                   {91, "3"},
                                   {92, "1"},
                                   {141, "20"},
                                   {141, "20"},
                                   {141, "20"},
                                   {142, "60"}});
    for (int row = 0; row < 3; ++row)
      entities += Groups({{171, "1"}, {175, "1"}, {176, "1"}, {1, "H"}});
    GroupList style = {{0, "TABLESTYLE"}, {5, "A1"}, {100, "AcDbTableStyle"}};
    style.insert(style.end(), c.before.begin(), c.before.end());
    style.insert(style.end(), cellStyles.begin(), cellStyles.end());
    std::string file = DxfFile("", "", entities);
    file.insert(file.rfind("0\nEOF"),
                Groups({{0, "SECTION"}, {2, "OBJECTS"}}) + Groups(style) + Groups({{0, "ENDSEC"}}));
    const Picture picture = Draw(*test::LoadText(file));
    for (int row = 0; row < 3; ++row)
    {
      SCOPED_TRACE(row);
      const int top = 10 + 20 * row;  // pixel row of the row's top border
      int first = Size, last = -1;    // the H's ink rows
      for (int y = top + 2; y < top + 19; ++y)
      {
        if (picture.InkIn(20, y, 60, y + 1) > 0)
        {
          first = std::min(first, y);
          last = std::max(last, y);
        }
      }
      EXPECT_NEAR(last - first + 1, c.heights[row], 1) << "the H's height";
      std::map<uint32_t, int> colours;  // of the H's pixels
      for (int y = first; y <= last; ++y)
      {
        for (int x = 20; x < 60; ++x)
          colours[picture.Colour(x, y)] += picture.Ink(x, y);
      }
      EXPECT_GT(colours[c.colours[row]], 8) << "the H in its colour";
      EXPECT_EQ(colours[c.colours[row]], picture.InkIn(20, first, 60, last + 1)) << "and in no other";
      EXPECT_EQ(picture.InkIn(10, top + 2, 11, top + 18), c.leftBorder[row] ? 16 : 0) << "the left border";
    }
  }
}

// Pixels [x0, x1) x [y0, y1) with between least and most inked.
struct Window
{
  int x0, y0, x1, y1;
  int least, most;
};

Window Inked(int x0, int y0, int x1, int y1, int least = 1)
{
  return {x0, y0, x1, y1, least, (x1 - x0) * (y1 - y0)};
}

Window Clear(int x0, int y0, int x1, int y1)
{
  return {x0, y0, x1, y1, 0, 0};
}

void ExpectWindows(const Picture &picture, const std::vector<Window> &windows)
{
  for (const Window &w : windows)
  {
    const int ink = picture.InkIn(w.x0, w.y0, w.x1, w.y1);
    EXPECT_TRUE(ink >= w.least && ink <= w.most) << ink << " at " << w.x0 << ", " << w.y0;
  }
}

TEST(ArrowheadTest, EveryKindAsItsNameSays)
{
  // A leader from its tip at (20, 50) (pixel row 50) to (95, 50), its
  // arrowhead 30 long pointing left; in pixels, world (x, y) is (x, 100 - y).
  // A block of the drawing is drawn at the tip, turned to point left and
  // scaled by 30: MYARROW's line to (-1, 1) reaches (50, 20).
  const Window insideClosed = Clear(43, 47, 47, 49), path = Inked(30, 50, 34, 51, 4);
  const Window closedEdge = Inked(43, 44, 47, 47), obliqueEnd = Inked(8, 58, 12, 62);
  struct Case
  {
    const char *name;
    std::vector<Window> windows;
  };
  const std::vector<Case> cases = {
    {"", {Inked(43, 47, 47, 49, 8), path}},
    {"_ClosedFilled", {Inked(43, 47, 47, 49, 8), path}},
    {"closed", {closedEdge, insideClosed, path}},
    {"_ClosedBlank", {closedEdge, insideClosed, Clear(30, 50, 34, 51)}},
    {"_Dot", {Inked(17, 37, 23, 41, 24), path}},
    {"_DotSmall", {Inked(19, 45, 22, 48, 9), Clear(17, 37, 23, 41), path}},
    {"_DotBlank", {Inked(18, 34, 23, 37), Clear(17, 40, 23, 45), Clear(30, 50, 34, 51)}},
    {"_Small", {Inked(18, 41, 23, 44), Clear(17, 45, 23, 48), path}},
    {"_Origin", {Inked(18, 34, 23, 37), Clear(17, 40, 23, 45), path}},
    {"_Oblique", {obliqueEnd, Inked(28, 38, 32, 42, 3), Clear(28, 58, 32, 62), insideClosed}},
    {"_ArchTick", {obliqueEnd, Inked(28, 38, 32, 42, 12), insideClosed}},
    {"_Open", {Inked(34, 46, 37, 49), insideClosed, path}},
    {"_Open30", {Inked(43, 41, 47, 46), insideClosed, path}},
    {"_Open90", {Inked(28, 38, 32, 42), Inked(28, 58, 32, 62), Clear(8, 58, 12, 62), path}},
    {"_BoxFilled", {Inked(8, 38, 13, 43, 25), path}},
    {"_BoxBlank", {Inked(4, 44, 7, 49), Clear(8, 38, 13, 43), Clear(30, 50, 34, 51)}},
    {"_DatumFilled", {Inked(23, 42, 28, 47, 25), path}},
    {"_DatumBlank", {Inked(18, 36, 22, 44), Clear(23, 42, 28, 47), Clear(30, 50, 34, 51)}},
    {"_None", {Clear(0, 25, 100, 50), Clear(0, 51, 100, 75), path}},
    {"MYARROW", {Inked(33, 63, 37, 67), insideClosed, path}},
    {"ABSENT", {Inked(43, 47, 47, 49, 8), path}},
  };
  const std::string block = Block("MYARROW", test::Line("0", 0, 0, -1, 1));
  const std::string leader =
    Groups({{0, "LEADER"}, {8, "0"}, {71, "1"}, {10, "20"}, {20, "50"}, {10, "95"}, {20, "50"}});
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    const std::string header = Groups({{9, "$DIMASZ"}, {40, "30"}, {9, "$DIMLDRBLK"}, {1, c.name}});
    const Picture picture = Draw(*test::LoadText(DxfFile("", block, leader, header)));
    ExpectWindows(picture, c.windows);
  }
}

TEST(ArrowheadTest, ADimensionsArrowheadsAsItsStyleAndOverridesSay)
{
  // A linear dimension from (20, 40) to (80, 40) (row 60), arrowheads 12
  // long. The style S names its blocks by BLOCK_RECORD handles: 1A is the
  // dot (6 round), 1B the closed filled arrowhead.
  const std::string records = Groups({{0, "TABLE"},
                                      {2, "BLOCK_RECORD"},
                                      {70, "2"},
                                      {0, "BLOCK_RECORD"},
                                      {5, "1A"},
                                      {2, "_Dot"},
                                      {0, "BLOCK_RECORD"},
                                      {5, "1B"},
                                      {2, "_ClosedFilled"},
                                      {0, "ENDTAB"}});
  enum End
  {
    Arrow,
    Dot,
    Tick
  };
  struct Case
  {
    const char *what;
    GroupList style, overrides;
    std::string header;
    End first, second;
  };
  const std::string dotHeader = Groups({{9, "$DIMBLK"}, {1, "_DOT"}});
  const std::vector<Case> cases = {
    {"the style's arrowhead at both ends", {{342, "1A"}}, {}, "", Dot, Dot},
    {"separate arrowheads", {{173, "1"}, {343, "1A"}}, {}, "", Dot, Arrow},
    {"the first arrowhead without separate ones", {{343, "1A"}}, {}, "", Arrow, Arrow},
    {"ticks", {{142, "3"}}, {}, "", Tick, Tick},
    {"the header's, by name", {}, {}, dotHeader, Dot, Dot},
    {"a handle of no block record", {{342, "99"}}, {}, dotHeader, Arrow, Arrow},
    {"overridden by handle", {{342, "1A"}}, {{1070, "342"}, {1005, "1B"}}, "", Arrow, Arrow},
    {"overridden: separate, the second a dot",
     {},
     {{1070, "173"}, {1070, "1"}, {1070, "344"}, {1005, "1A"}},
     "",
     Arrow,
     Dot},
    {"overridden: ticks", {{342, "1A"}}, {{1070, "142"}, {1040, "3"}}, "", Tick, Tick},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    GroupList style = {{0, "TABLE"}, {2, "DIMSTYLE"}, {70, "1"}, {0, "DIMSTYLE"}, {2, "S"}, {70, "0"}};
    style.insert(style.end(), c.style.begin(), c.style.end());
    style.push_back({0, "ENDTAB"});
    GroupList dimension = {{0, "DIMENSION"}, {8, "0"},   {3, "S"},   {70, "0"},  {13, "20"}, {23, "20"},
                           {14, "80"},       {24, "20"}, {10, "80"}, {20, "40"}, {11, "50"}, {21, "70"}};
    if (!c.overrides.empty())
    {
      dimension.insert(dimension.end(), {{1001, "ACAD"}, {1000, "DSTYLE"}, {1002, "{"}});
      dimension.insert(dimension.end(), c.overrides.begin(), c.overrides.end());
      dimension.push_back({1002, "}"});
    }
    const std::string header = Groups({{9, "$DIMASZ"}, {40, "12"}}) + c.header;
    const Picture picture = Draw(*test::LoadText(DxfFile("", "", Groups(dimension), header, records + Groups(style))));
    // Windows at the first end; the second's mirror them about x = 50, but
    // for the tick's, which slants the same way at both ends.
    for (const bool second : {false, true})
    {
      const End end = second ? c.second : c.first;
      auto at = [&](int x0, int y0, int x1, int y1, bool inked) {
        const Window w = inked ? Inked(x0, y0, x1, y1) : Clear(x0, y0, x1, y1);
        return second ? Window{100 - w.x1, w.y0, 100 - w.x0, w.y1, w.least, w.most} : w;
      };
      const int tick = second ? 81 : 21;
      ExpectWindows(picture, {at(27, 58, 31, 60, end == Arrow), at(17, 55, 20, 58, end == Dot),
                              end == Arrow ? Clear(tick, 56, tick + 3, 59) : Inked(tick, 56, tick + 3, 59)});
    }
  }
}

TEST(DimensionStyleTest, OverridesInExtendedDataStandBeforeTheStyle)
{
  // A leader from (10, 50) to (90, 50), its arrowhead 3 long by the header
  // ($DIMASZ), 30 by the style BIG or an override of 41.
  const std::string header = Groups({{9, "$DIMASZ"}, {40, "3"}});
  const std::string styles =
    Groups({{0, "TABLE"}, {2, "DIMSTYLE"}, {70, "1"}, {0, "DIMSTYLE"}, {2, "BIG"}, {70, "0"}, {41, "30"}})
    + Groups({{0, "ENDTAB"}});
  const GroupList begin = {{1001, "ACAD"}, {1000, "DSTYLE"}, {1002, "{"}};
  auto with = [](GroupList groups, const GroupList &more) {
    groups.insert(groups.end(), more.begin(), more.end());
    return groups;
  };
  struct Case
  {
    const char *what;
    std::string style;
    GroupList xdata;
    bool big;
  };
  const std::vector<Case> cases = {
    {"an override", "", with(begin, {{1070, "41"}, {1040, "30"}, {1002, "}"}}), true},
    {"among others", "", with(begin, {{1070, "140"}, {1040, "5"}, {1070, "41"}, {1040, "30"}, {1002, "}"}}), true},
    {"over the style", "BIG", with(begin, {{1070, "41"}, {1040, "3"}, {1002, "}"}}), false},
    {"without its closing brace", "", with(begin, {{1070, "41"}, {1040, "30"}}), true},
    {"of another application",
     "",
     {{1001, "OTHER"}, {1000, "DSTYLE"}, {1002, "{"}, {1070, "41"}, {1040, "30"}, {1002, "}"}},
     false},
    {"after another application's data", "",
     with({{1001, "OTHER"}, {1000, "X"}}, with(begin, {{1070, "41"}, {1040, "30"}, {1002, "}"}})), true},
    {"without its opening brace", "", {{1001, "ACAD"}, {1000, "DSTYLE"}, {1070, "41"}, {1040, "30"}}, false},
    {"a value that is no number", "", with(begin, {{1070, "41"}, {1000, "big"}, {1002, "}"}}), false},
    {"a variable without its value", "", with(begin, {{1070, "41"}, {1002, "}"}}), false},
    {"a negative size", "BIG", with(begin, {{1070, "41"}, {1040, "-3"}, {1002, "}"}}), true},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    GroupList leader = {{0, "LEADER"}, {8, "0"}};
    if (!c.style.empty())
      leader.push_back({3, c.style});
    leader.insert(leader.end(), {{71, "1"}, {10, "10"}, {20, "50"}, {10, "90"}, {20, "50"}});
    leader.insert(leader.end(), c.xdata.begin(), c.xdata.end());
    const Picture picture = Draw(*test::LoadText(DxfFile("", "", Groups(leader), header, styles)));
    EXPECT_EQ(picture.InkIn(30, 40, 40, 49) > 0, c.big) << "the big arrowhead's back, above the line";
    EXPECT_GT(picture.InkIn(10, 48, 13, 53), 0) << "the tip";
  }
}

}  // namespace
}  // namespace zulan
