// What the loader now reads that it refused or drew wrongly before: the end
// of the file, values beyond what libdime keeps, 3DFACEs, mirrored TEXT,
// ATTDEFs, tilted extrusions, clockwise hatch arcs, MTEXT with an embedded
// object and WIPEOUTs. Each is checked by the pixels of a small drawing.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Entities;
using test::Groups;
using test::LoadError;
using test::LoadText;
using test::Picture;
using test::TempFile;
using test::UnitView;

const std::string Across = Groups({{0, "LINE"}, {8, "0"}, {10, "10"}, {20, "50"}, {11, "90"}, {21, "50"}});

TEST(EndOfFileTest, WhatFollowsEofIsNotRead)
{
  const std::string drawing = Entities(Across);
  for (const std::string &after : {std::string("0\nLINE\n8\n0\n10\n1O\n"), std::string("\x1a"), std::string(512, '\0'),
                                   std::string("garbage\n\0\0", 10)})
  {
    TempFile file(drawing + after);
    ASSERT_EQ(LoadError(file.Path()), "(loaded)") << after.size();
    auto document = Document::Load(file.Path());
    Picture picture;
    picture.Draw(*document, UnitView);
    EXPECT_EQ(picture.InkRow(50), 80);
    EXPECT_EQ(picture.InkIn(0, 0, 100, 50) + picture.InkIn(0, 51, 100, 100), 0);
  }
  // Binary data before the end is still no DXF.
  TempFile binary(Groups({{0, "SECTION"}, {2, "ENTITIES"}}) + std::string("0\n\0\n", 4) + "0\nEOF\n");
  EXPECT_NE(LoadError(binary.Path()).find("binary data"), std::string::npos);
}

TEST(OutOfRangeValueTest, EntityHoldingOneIsLeftOutAndNamedInOneWarning)
{
  // Kept: the rows 10, 30, 50, 70, 90. Left out: a LINE with a Z of 2e50,
  // an LWPOLYLINE, a POLYLINE with its vertices, an INSERT with its
  // attributes, one VERTEX of a kept POLYLINE and one ATTRIB of a kept insert.
  auto line = [](int y, const std::string &z) {
    return Groups(
      {{0, "LINE"}, {8, "0"}, {10, "10"}, {20, std::to_string(y)}, {30, z}, {11, "90"}, {21, std::to_string(y)}});
  };
  auto attrib = [](int y, const std::string &height) {
    return Groups(
      {{0, "ATTRIB"}, {8, "0"}, {10, "5"}, {20, std::to_string(y)}, {40, height}, {1, "W"}, {2, "T"}, {70, "0"}});
  };
  const std::string polyline = Groups({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "0"}});
  const std::string blocks =
    Groups({{0, "BLOCK"}, {8, "0"}, {2, "B"}, {70, "2"}, {10, "0"}, {20, "0"}}) + Groups({{0, "ENDBLK"}, {8, "0"}});
  const std::string entities =
    line(90, "0") + line(80, "2e50")
    + Groups({{0, "LWPOLYLINE"}, {8, "0"}, {90, "2"}, {70, "0"}, {10, "10"}, {20, "75"}, {10, "90"}, {20, "1e39"}})
    + line(70, "0") + polyline + Groups({{0, "VERTEX"}, {8, "0"}, {10, "10"}, {20, "60"}, {62, "99999"}})
    + Groups({{0, "VERTEX"}, {8, "0"}, {10, "90"}, {20, "60"}, {0, "SEQEND"}, {8, "0"}}) + polyline
    + Groups({{0, "VERTEX"}, {8, "0"}, {10, "10"}, {20, "50"}})
    + Groups({{0, "VERTEX"}, {8, "0"}, {10, "50"}, {20, "50"}, {30, "-5e40"}})
    + Groups({{0, "VERTEX"}, {8, "0"}, {10, "90"}, {20, "50"}, {0, "SEQEND"}, {8, "0"}})
    + Groups({{0, "INSERT"}, {8, "0"}, {66, "1"}, {2, "B"}, {10, "0"}, {20, "4e39"}}) + attrib(40, "8")
    + Groups({{0, "SEQEND"}, {8, "0"}}) + Groups({{0, "INSERT"}, {8, "0"}, {66, "1"}, {2, "B"}, {10, "0"}, {20, "0"}})
    + attrib(20, "1e99") + attrib(26, "8") + Groups({{0, "SEQEND"}, {8, "0"}})
    + Groups({{0, "LWPOLYLINE"}, {8, "0"}, {90, "2"}, {70, "0"}, {10, "10"}, {20, "10"}, {10, "90"}, {20, "10"}});
  auto document = LoadText(DxfFile("", blocks, entities));
  ASSERT_EQ(document->Warnings().size(), 1u);
  EXPECT_NE(document->Warnings()[0].find(": 6 entities left out for values out of range; the first, "
                                         "a LINE at line "),
            std::string::npos)
    << document->Warnings()[0];
  EXPECT_NE(document->Warnings()[0].find("2e50 is out of range (group code 30"), std::string::npos);
  Picture picture;
  picture.Draw(*document, UnitView);
  for (int y : {90, 70, 50, 10})
    EXPECT_EQ(picture.InkRow(100 - y), 80) << y;
  EXPECT_GT(picture.InkIn(0, 66, 20, 76), 0);  // the kept attribute, 26 high
  for (int y : {80, 75, 60, 40})
    EXPECT_EQ(picture.InkRow(100 - y), 0) << y;
  EXPECT_EQ(picture.InkIn(0, 78, 20, 84), 0);  // the left-out attribute at 20
  // A drawing without such values has no warnings.
  EXPECT_TRUE(LoadText(Entities(Across))->Warnings().empty());
}

TEST(FaceTest, ThreeDFaceDrawsItsVisibleEdges)
{
  // A square 20-80 with its second edge (the right side) hidden, and a
  // triangle (fourth corner repeating the third) with all edges shown.
  const std::string entities = Groups({{0, "3DFACE"},
                                       {8, "0"},
                                       {10, "20"},
                                       {20, "20"},
                                       {30, "5"},
                                       {11, "80"},
                                       {21, "20"},
                                       {31, "5"},
                                       {12, "80"},
                                       {22, "80"},
                                       {32, "9"},
                                       {13, "20"},
                                       {23, "80"},
                                       {33, "9"},
                                       {70, "2"}})
                               + Groups({{0, "3DFACE"},
                                         {8, "0"},
                                         {10, "30"},
                                         {20, "30"},
                                         {11, "50"},
                                         {21, "30"},
                                         {12, "30"},
                                         {22, "50"},
                                         {13, "30"},
                                         {23, "50"}});
  auto document = LoadText(Entities(entities));
  ASSERT_FALSE(document->Extents().IsEmpty());
  EXPECT_EQ(document->Extents().maxX, 80);
  Picture picture;
  picture.Draw(*document, UnitView);
  EXPECT_GE(picture.InkRow(80), 59);             // bottom edge (y 20)
  EXPECT_GE(picture.InkRow(20), 59);             // top edge (y 80)
  EXPECT_GE(picture.InkColumn(20), 59);          // left edge
  EXPECT_EQ(picture.InkIn(75, 25, 90, 75), 0);   // the hidden right edge
  EXPECT_GE(picture.InkIn(30, 51, 51, 71), 40);  // the triangle's legs
  EXPECT_GT(picture.InkIn(38, 58, 43, 63), 0);   // its hypotenuse
  EXPECT_EQ(picture.InkIn(32, 60, 37, 69), 0);   // inside: edges only
}

// Ink of one TEXT "EEEE" (left-justified at (50.5, 50.5), between pixel
// centres, 10 high) drawn with the given group 71, in the four quarters
// round its anchor: right-above, left-above, right-below, left-below.
std::vector<int> MirroredTextQuarters(const std::string &flags, Picture *picture)
{
  std::vector<std::pair<int, std::string>> groups = {{0, "TEXT"},  {8, "0"},   {10, "50.5"},
                                                     {20, "50.5"}, {40, "10"}, {1, "EEEF"}};
  if (!flags.empty())
    groups.push_back({71, flags});
  picture->Draw(*LoadText(Entities(Groups(groups))), UnitView);
  return {picture->InkIn(51, 30, 100, 50), picture->InkIn(0, 30, 51, 50), picture->InkIn(51, 50, 100, 70),
          picture->InkIn(0, 50, 51, 70)};
}

TEST(TextMirrorTest, BackwardAndUpsideDownMirrorAboutTheAnchor)
{
  Picture upright;
  const std::vector<int> plain = MirroredTextQuarters("", &upright);
  ASSERT_GT(plain[0], 50);
  EXPECT_EQ(plain[1] + plain[2] + plain[3], 0);
  Picture zero;
  EXPECT_EQ(MirroredTextQuarters("0", &zero), plain);
  // The same pixels, mirrored about (50.5, 50.5): column c to 101 - c, row r
  // (y = 100 - r) to 99 - r.
  const struct
  {
    std::string flags;
    int quarter;  // where all the ink goes
    bool acrossX, acrossY;
  } cases[] = {{"2", 1, true, false}, {"4", 2, false, true}, {"6", 3, true, true}};
  for (const auto &c : cases)
  {
    Picture mirrored;
    const std::vector<int> ink = MirroredTextQuarters(c.flags, &mirrored);
    for (int q = 0; q < 4; ++q)
      EXPECT_EQ(ink[q], q == c.quarter ? plain[0] : 0) << c.flags << " quarter " << q;
    int differ = 0;
    for (int y = 30; y < 50; ++y)
      for (int x = 51; x < 100; ++x)
        differ += upright.Ink(x, y) != mirrored.Ink(c.acrossX ? 101 - x : x, c.acrossY ? 99 - y : y);
    EXPECT_EQ(differ, 0) << c.flags;
  }
}

TEST(MTextEmbeddedObjectTest, GroupsAfterTheMarkerDoNotPlaceTheText)
{
  // Left-attached at (10, 50), 10 high, direction by rotation 0; the
  // embedded object repeats 10 (its direction) and 11 (its location).
  auto mtext = [](bool embedded) {
    std::string text = Groups(
      {{0, "MTEXT"}, {8, "0"}, {10, "10"}, {20, "50"}, {40, "10"}, {41, "0"}, {71, "7"}, {1, "EEEE"}, {50, "0"}});
    if (embedded)
      text += Groups({{101, "Embedded Object"},
                      {70, "1"},
                      {10, "0"},
                      {20, "1"},
                      {11, "70"},
                      {21, "20"},
                      {40, "0"},
                      {41, "0"},
                      {71, "3"}});
    return Entities(text);
  };
  Picture plain, embedded;
  plain.Draw(*LoadText(mtext(false)), UnitView);
  embedded.Draw(*LoadText(mtext(true)), UnitView);
  ASSERT_GT(plain.InkIn(10, 40, 60, 50), 50);
  EXPECT_EQ(embedded.Pixels(), plain.Pixels());
}

TEST(AttDefTest, ModelSpaceDefinitionShowsItsTagAsText)
{
  // An ATTDEF at (10, 50) with tag "EEEE" and value "I"; the same inside a
  // block at (10, 20), inserted: a block's definitions draw nothing.
  auto attdef = [](int y) {
    return Groups({{0, "ATTDEF"},
                   {8, "0"},
                   {10, "10"},
                   {20, std::to_string(y)},
                   {40, "10"},
                   {1, "I"},
                   {3, "Prompt"},
                   {2, "EEEE"},
                   {70, "0"},
                   {73, "0"},
                   {74, "0"}});
  };
  const std::string blocks = Groups({{0, "BLOCK"}, {8, "0"}, {2, "B"}, {70, "2"}, {10, "0"}, {20, "0"}}) + attdef(20)
                             + Groups({{0, "ENDBLK"}, {8, "0"}});
  auto document =
    LoadText(DxfFile("", blocks, attdef(50) + Groups({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "0"}})));
  Picture picture;
  picture.Draw(*document, UnitView);
  Picture text;
  text.Draw(*LoadText(Entities(Groups({{0, "TEXT"}, {8, "0"}, {10, "10"}, {20, "50"}, {40, "10"}, {1, "EEEE"}}))),
            UnitView);
  ASSERT_GT(text.InkIn(10, 38, 60, 51), 50);
  EXPECT_EQ(picture.Pixels(), text.Pixels());
}

TEST(HatchClockwiseEdgeTest, FillsTheQuarterItsAnglesMirror)
{
  // Centre (50, 50) to (80, 50), a clockwise edge stored as 0-90 degrees
  // (so from direction 0 to -90), down to (50, 20) or (50, 35) and back up:
  // the quarter below and right of the centre, as ezdxf reads the file.
  const std::string circle = Groups({{72, "2"}, {10, "50"}, {20, "50"}, {40, "30"}, {50, "0"}, {51, "90"}, {73, "0"}});
  const std::string ellipse =
    Groups({{72, "3"}, {10, "50"}, {20, "50"}, {11, "30"}, {21, "0"}, {40, "0.5"}, {50, "0"}, {51, "90"}, {73, "0"}});
  for (const auto &[edge, bottom] : {std::make_pair(circle, 20), std::make_pair(ellipse, 35)})
  {
    const std::string boundary =
      Groups({{92, "1"}, {93, "3"}, {72, "1"}, {10, "50"}, {20, "50"}, {11, "80"}, {21, "50"}}) + edge
      + Groups({{72, "1"}, {10, "50"}, {20, std::to_string(bottom)}, {11, "50"}, {21, "50"}, {97, "0"}});
    const std::string hatch = test::Hatch(1, boundary, "", 0);
    Picture picture;
    picture.Draw(*LoadText(Entities(hatch)), UnitView);
    const int height = 50 - bottom;
    EXPECT_GT(picture.InkIn(51, 51, 60, 50 + height * 9 / 10), 8 * height * 8 / 10) << bottom;
    EXPECT_EQ(picture.InkIn(0, 0, 100, 49), 0) << bottom;                      // above the centre
    EXPECT_EQ(picture.InkIn(0, 0, 49, 100), 0) << bottom;                      // left of it
    EXPECT_EQ(picture.InkIn(0, 52 + height, 100, 100), 0) << bottom;           // below the edge
    EXPECT_EQ(picture.InkIn(77, 50 + height * 3 / 4, 100, 100), 0) << bottom;  // outside the curve
  }
}

TEST(ExtrusionTest, TwoDPolylineAndCircleInTiltedObjectCoordinates)
{
  // Extrusion (0.6, 0, 0.8): the OCS x axis is world y, its y axis world
  // x times -0.8 (ezdxf's OCS maps (20, -20, 10) to (22, 20)). The
  // polyline's elevation (its 30) moves it 0.6 x 10 along world x.
  const std::string tilt = Groups({{210, "0.6"}, {220, "0"}, {230, "0.8"}});
  const std::string polyline =
    Groups({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {10, "0"}, {20, "0"}, {30, "10"}, {70, "0"}}) + tilt
    + Groups({{0, "VERTEX"},
              {8, "0"},
              {10, "20"},
              {20, "-20"},
              {0, "VERTEX"},
              {8, "0"},
              {10, "80"},
              {20, "-20"},
              {0, "SEQEND"},
              {8, "0"}});
  Picture picture;
  picture.Draw(*LoadText(Entities(polyline)), UnitView);
  EXPECT_EQ(picture.InkColumn(22), 60);
  EXPECT_EQ(picture.InkIn(0, 0, 100, 100), 60);
  // A circle of radius 25 at OCS (60, -75): an ellipse 40 wide and 50 high
  // round world (60, 60).
  Picture circle;
  circle.Draw(*LoadText(Entities(Groups({{0, "CIRCLE"}, {8, "0"}, {10, "60"}, {20, "-75"}, {40, "25"}}) + tilt)),
              UnitView);
  EXPECT_EQ(circle.InkIn(0, 0, 39, 100) + circle.InkIn(82, 0, 100, 100), 0);
  EXPECT_GT(circle.InkColumn(40) + circle.InkColumn(41), 0);
  EXPECT_GT(circle.InkRow(15) + circle.InkRow(16), 0);
  EXPECT_GT(circle.InkRow(64) + circle.InkRow(65), 0);
  EXPECT_EQ(circle.InkIn(0, 0, 100, 14) + circle.InkIn(0, 67, 100, 100), 0);
}

struct DownwardCase
{
  const char *what;
  int x0, y0, x1, y1;  // pixels: all its ink, and some of it
  std::string groups;  // after its name, layer and extrusion
};

TEST(ExtrusionTest, DownwardExtrusionLeavesWorldCoordinatesWhereTheyAre)
{
  // Every entity with extrusion (0, 0, -1); mirrored in x its ink would be
  // off the picture. Only the CIRCLE is in object coordinates.
  const std::vector<DownwardCase> cases = {
    {"LINE", 60, 29, 91, 31, Groups({{10, "60"}, {20, "70"}, {11, "90"}, {21, "70"}})},
    {"POINT", 69, 29, 72, 32, Groups({{10, "70"}, {20, "70"}})},
    {"ELLIPSE", 49, 39, 92, 62, Groups({{10, "70"}, {20, "50"}, {11, "20"}, {21, "0"}, {40, "0.5"}})},
    // Its minor axis is N x major, pointing down: the first quarter lies
    // below the major axis.
    {"ELLIPSE", 49, 49, 82, 66,
     Groups({{10, "50"}, {20, "50"}, {11, "30"}, {21, "0"}, {40, "0.5"}, {41, "0"}, {42, "1.5707963"}})},
    {"SPLINE", 59, 59, 91, 81,
     Groups({{70, "8"}, {71, "1"}, {72, "4"}, {73, "2"}, {40, "0"}, {40, "0"}, {40, "1"}, {40, "1"}})
       + Groups({{10, "60"}, {20, "20"}, {30, "0"}, {10, "90"}, {20, "40"}, {30, "0"}})},
    {"3DFACE", 59, 9, 91, 41,
     Groups({{10, "60"}, {20, "60"}, {11, "90"}, {21, "60"}, {12, "90"}, {22, "90"}, {13, "60"}, {23, "90"}})},
    {"LEADER", 59, 59, 91, 81, Groups({{71, "0"}, {76, "2"}, {10, "60"}, {20, "20"}, {10, "90"}, {20, "40"}})},
    {"CIRCLE", 59, 59, 81, 81, Groups({{10, "-70"}, {20, "30"}, {40, "10"}})},
  };
  for (const DownwardCase &c : cases)
  {
    const std::string entity = Groups({{0, c.what}, {8, "0"}, {210, "0"}, {220, "0"}, {230, "-1"}}) + c.groups;
    Picture picture;
    picture.Draw(*LoadText(Entities(entity)), UnitView);
    const int inside = picture.InkIn(c.x0, c.y0, c.x1, c.y1);
    EXPECT_GT(inside, 0) << c.what << " at " << c.x0 << ", " << c.y0;
    EXPECT_EQ(picture.InkIn(0, 0, test::Size, test::Size), inside) << c.what << " at " << c.x0 << ", " << c.y0;
  }
}

TEST(WipeoutTest, HidesWhatLiesUnderItAndShowsItsFrameWhenTheHeaderSays)
{
  // Lines at y 50 and 80 across, then a WIPEOUT over (20, 30)-(70, 60) as
  // ezdxf writes it (a one-pixel image, its clip polygon in pixel units),
  // then a line at y 40 drawn over it.
  const std::string wipeout =
    Groups({{0, "WIPEOUT"}, {8, "0"},    {90, "0"},    {10, "20"},   {20, "30"},   {30, "0"},    {11, "50"},
            {21, "0"},      {31, "0"},   {12, "0"},    {22, "30"},   {32, "0"},    {13, "1"},    {23, "1"},
            {70, "7"},      {280, "1"},  {71, "2"},    {91, "5"},    {14, "-0.5"}, {24, "0.5"},  {14, "0.5"},
            {24, "0.5"},    {14, "0.5"}, {24, "-0.5"}, {14, "-0.5"}, {24, "-0.5"}, {14, "-0.5"}, {24, "0.5"}});
  auto line = [](int y) {
    return Groups({{0, "LINE"}, {8, "0"}, {10, "5"}, {20, std::to_string(y)}, {11, "95"}, {21, std::to_string(y)}});
  };
  const std::string entities = line(50) + line(80) + wipeout + line(40);
  for (const bool frame : {false, true})
  {
    const std::string header = frame ? Groups({{9, "$WIPEOUTFRAME"}, {70, "1"}}) : "";
    auto document = LoadText(DxfFile("", "", entities, header));
    Picture picture;
    picture.Draw(*document, UnitView);
    EXPECT_EQ(picture.InkIn(0, 50, 20, 51) + picture.InkIn(71, 50, 100, 51), 15 + 24) << frame;
    EXPECT_EQ(picture.InkIn(21, 41, 70, 60) + picture.InkIn(21, 61, 70, 70), 0) << frame;  // under it
    EXPECT_EQ(picture.InkRow(20), 90) << frame;                                            // outside it
    EXPECT_EQ(picture.InkRow(60), 90) << frame;                                            // drawn after it
    // The frame: the left and right sides, the bottom and top.
    EXPECT_EQ(picture.InkIn(20, 41, 21, 50) + picture.InkIn(70, 41, 71, 50), frame ? 18 : 0) << frame;
    EXPECT_EQ(picture.InkIn(25, 70, 35, 71) + picture.InkIn(25, 40, 35, 41), frame ? 20 : 0) << frame;
  }
}

}  // namespace
}  // namespace zulan
