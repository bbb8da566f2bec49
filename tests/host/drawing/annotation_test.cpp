// LEADERs and DIMENSIONs without their block: lines, arrowheads and text
// sized by the header's dimension variables, checked by pixels and by the
// text records they make.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::LoadText;
using test::Picture;
using test::UnitView;

// Arrows 10 long ($DIMASZ 5 x $DIMSCALE 2), extension lines 2 off the object
// and 3 beyond, text 6 high, one decimal.
const std::string Header = Groups({{9, "$DIMASZ"},
                                   {40, "5"},
                                   {9, "$DIMSCALE"},
                                   {40, "2"},
                                   {9, "$DIMEXO"},
                                   {40, "1"},
                                   {9, "$DIMEXE"},
                                   {40, "1.5"},
                                   {9, "$DIMTXT"},
                                   {40, "3"},
                                   {9, "$DIMDEC"},
                                   {70, "1"}});

std::vector<std::string> Texts(const Document &document)
{
  std::vector<std::string> texts;
  for (const Entity &entity : document.Entities())
  {
    if (entity.shape == Shape::Label)
      texts.push_back(document.Text(entity));
  }
  return texts;
}

TEST(LeaderTest, PathWithAnArrowheadAtItsFirstVertexWhenAsked)
{
  for (const std::string arrow : {"1", "0"})
  {
    SCOPED_TRACE(arrow);
    const std::string leader = Groups({{0, "LEADER"},
                                       {8, "0"},
                                       {3, "Standard"},
                                       {71, arrow},
                                       {76, "3"},
                                       {10, "20"},
                                       {20, "50"},
                                       {10, "80"},
                                       {20, "50"},
                                       {10, "80"},
                                       {20, "80"}});
    Picture picture;
    picture.Draw(*LoadText(DxfFile("", "", leader, Header)), UnitView);
    EXPECT_GE(picture.InkRow(50), 60);     // first segment
    EXPECT_GE(picture.InkColumn(80), 30);  // second
    EXPECT_EQ(picture.InkColumn(50), 1);   // a plain line half-way
    // The arrowhead: 10 long from the tip at x 20, 10/3 wide at its base.
    const int head = picture.InkIn(21, 45, 30, 56);
    if (arrow == "1")
    {
      EXPECT_GE(head, 15);
    }
    else
    {
      EXPECT_EQ(head, 9);
    }
  }
}

struct DimensionCase
{
  const char *name;
  std::vector<std::pair<int, std::string>> groups;
  std::vector<std::string> texts;
};

TEST(DimensionTest, WithoutItsBlockDrawnFromItsDefinitionPoints)
{
  const DimensionCase cases[] = {
    {"linear",
     {{70, "0"}, {13, "20"}, {23, "20"}, {14, "80"}, {24, "20"}, {10, "80"}, {20, "40"}, {11, "50"}, {21, "46"}},
     {"60.0"}},
    {"override",
     {{70, "32"},
      {1, "L=<> mm"},
      {13, "20"},
      {23, "20"},
      {14, "80"},
      {24, "20"},
      {10, "80"},
      {20, "40"},
      {11, "50"},
      {21, "46"}},
     {"L=60.0 mm"}},
    {"rotated",
     {{70, "0"}, {50, "90"}, {13, "20"}, {23, "20"}, {14, "20"}, {24, "80"}, {10, "40"}, {20, "80"}},
     {"60.0"}},
    {"aligned", {{70, "1"}, {13, "20"}, {23, "20"}, {14, "60"}, {24, "50"}, {10, "48"}, {20, "66"}}, {"50.0"}},
    {"diameter", {{70, "3"}, {15, "30"}, {25, "50"}, {10, "70"}, {20, "50"}}, {"\u230040.0"}},
    {"radius", {{70, "4"}, {10, "50"}, {20, "50"}, {15, "80"}, {25, "50"}}, {"R30.0"}},
    {"two lines",
     {{70, "2"},
      {13, "20"},
      {23, "20"},
      {14, "80"},
      {24, "20"},
      {15, "20"},
      {25, "20"},
      {10, "60"},
      {20, "60"},
      {16, "60"},
      {26, "40"}},
     {"45\u00B0"}},
    {"two lines, the other sector",
     {{70, "2"},
      {13, "20"},
      {23, "20"},
      {14, "80"},
      {24, "20"},
      {15, "20"},
      {25, "20"},
      {10, "60"},
      {20, "60"},
      {16, "10"},
      {26, "40"}},
     {"135\u00B0"}},
    {"three points",
     {{70, "5"}, {15, "50"}, {25, "50"}, {13, "80"}, {23, "50"}, {14, "50"}, {24, "80"}, {10, "70"}, {20, "70"}},
     {"90\u00B0"}},
    {"three points, reflex",
     {{70, "5"}, {15, "50"}, {25, "50"}, {13, "80"}, {23, "50"}, {14, "50"}, {24, "80"}, {10, "30"}, {20, "30"}},
     {"270\u00B0"}},
    {"ordinate x", {{70, "70"}, {10, "5"}, {20, "0"}, {13, "35"}, {23, "20"}, {14, "35"}, {24, "40"}}, {"30.0"}},
    {"ordinate y", {{70, "6"}, {10, "5"}, {20, "0"}, {13, "35"}, {23, "20"}, {14, "55"}, {24, "20"}}, {"20.0"}},
    {"unknown type", {{70, "7"}, {13, "20"}, {23, "20"}, {14, "80"}, {24, "20"}, {10, "80"}, {20, "40"}}, {}},
  };
  for (const DimensionCase &c : cases)
  {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<int, std::string>> groups = {{0, "DIMENSION"}, {8, "0"}, {2, ""}};
    groups.insert(groups.end(), c.groups.begin(), c.groups.end());
    auto document = LoadText(DxfFile("", "", Groups(groups), Header));
    EXPECT_EQ(Texts(*document), c.texts);
    if (c.texts.empty())
    {
      EXPECT_TRUE(document->Entities().empty());
    }
  }
}

TEST(DimensionTest, MeasurementsAsTheStyleWritesThem)
{
  // A linear dimension 60.5 long and an angle of 90°, two decimals each.
  struct Case
  {
    const char *what;
    std::string header;
    std::vector<std::string> texts;
  };
  auto variable = [](const char *name, int code, const char *value) { return Groups({{9, name}, {code, value}}); };
  const std::string decimals = variable("$DIMDEC", 70, "2") + variable("$DIMADEC", 70, "2");
  const std::vector<Case> cases = {
    {"plain", "", {"60.50", "90.00\u00B0"}},
    {"trailing zeros dropped", variable("$DIMZIN", 70, "8") + variable("$DIMAZIN", 70, "2"), {"60.5", "90\u00B0"}},
    {"times the length factor, no leading zero",
     variable("$DIMLFAC", 40, "0.004") + variable("$DIMZIN", 70, "12"),
     {".24", "90.00\u00B0"}},
    {"a comma", variable("$DIMDSEP", 70, "44"), {"60,50", "90,00\u00B0"}},
    {"a negative factor is for paper space", variable("$DIMLFAC", 40, "-2"), {"60.50", "90.00\u00B0"}},
  };
  const std::string dimensions =
    Groups(
      {{0, "DIMENSION"}, {8, "0"}, {70, "0"}, {13, "20"}, {23, "20"}, {14, "80.5"}, {24, "20"}, {10, "80"}, {20, "40"}})
    + Groups({{0, "DIMENSION"},
              {8, "0"},
              {70, "5"},
              {15, "50"},
              {25, "50"},
              {13, "80"},
              {23, "50"},
              {14, "50"},
              {24, "80"},
              {10, "70"},
              {20, "70"}});
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Texts(*LoadText(DxfFile("", "", dimensions, decimals + c.header))), c.texts);
  }
}

TEST(DimensionTest, LinearLinesArrowsAndText)
{
  // With a downward extrusion the text's point (11) is in object
  // coordinates, mirrored in x; the definition points stay in the world.
  for (const auto &[extrusion, textX] : {std::pair{"1", "50"}, {"-1", "-50"}})
  {
    SCOPED_TRACE(extrusion);
    const std::string dimension = Groups({{0, "DIMENSION"},
                                          {8, "0"},
                                          {70, "0"},
                                          {13, "20"},
                                          {23, "20"},
                                          {14, "80"},
                                          {24, "20"},
                                          {10, "80"},
                                          {20, "40"},
                                          {11, textX},
                                          {21, "50"},
                                          {230, extrusion}});
    Picture picture;
    picture.Draw(*LoadText(DxfFile("", "", dimension, Header)), UnitView);
    EXPECT_GE(picture.InkRow(60), 55);             // the dimension line at y 40
    EXPECT_GE(picture.InkIn(20, 57, 21, 79), 20);  // extension line from y 22 to 43
    EXPECT_EQ(picture.InkIn(15, 79, 85, 100), 0);  // not at the object (y 20, 2 off)
    EXPECT_EQ(picture.InkIn(0, 0, 100, 35), 0);    // not beyond y 43 ...
    EXPECT_GT(picture.InkIn(40, 45, 60, 56), 20);  // ... but for the text at y 50
    EXPECT_GE(picture.InkIn(21, 55, 30, 66), 15);  // arrowheads at both ends
    EXPECT_GE(picture.InkIn(71, 55, 80, 66), 15);
    EXPECT_LE(picture.InkIn(35, 55, 65, 66), 30);  // a plain line between them
  }
}

TEST(DimensionTest, TextAcrossTheLineBreaksItTextAboveStandsOffIt)
{
  // A linear dimension from x = 20 to 80 on y = 40 (row 60): the text
  // "60.0" is 6 high and about 18 wide, the gap ($DIMGAP 2) 4. Across the
  // line ($DIMTAD 0) it is centred on the line, which is broken from about
  // x = 37 to 63; above or below, it stands off the line by the gap, which
  // runs whole.
  const std::string gap = Groups({{9, "$DIMGAP"}, {40, "2"}});
  const std::string styles =
    Groups({{0, "TABLE"}, {2, "DIMSTYLE"}, {70, "1"}, {0, "DIMSTYLE"}, {2, "ABOVE"}, {70, "0"}, {77, "1"}})
    + Groups({{0, "ENDTAB"}});
  struct Case
  {
    const char *what;
    std::string header;
    std::vector<std::pair<int, std::string>> more;  // of the dimension
    bool broken;
    int textFrom, textTo;  // rows the text's ink lies in
  };
  const std::string above = Groups({{9, "$DIMTAD"}, {70, "1"}});
  const std::vector<Case> cases = {
    {"across", "", {}, true, 56, 64},
    {"above, by the header", above, {}, false, 46, 59},
    {"above, by the style it names", "", {{3, "ABOVE"}}, false, 46, 59},
    {"below", Groups({{9, "$DIMTAD"}, {70, "4"}}), {}, false, 61, 74},
    {"across, its text put off the line", "", {{11, "50"}, {21, "50"}}, false, 45, 56},
    {"above, its text put on the line", above, {{11, "50"}, {21, "40"}}, false, 56, 64},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<int, std::string>> groups = {{0, "DIMENSION"}, {8, "0"},   {70, "0"},  {13, "20"}, {23, "20"},
                                                       {14, "80"},       {24, "20"}, {10, "80"}, {20, "40"}};
    groups.insert(groups.end(), c.more.begin(), c.more.end());
    Picture picture;
    picture.Draw(*LoadText(DxfFile("", "", Groups(groups), Header + gap + c.header, styles)), UnitView);
    if (!c.broken)
    {
      EXPECT_EQ(picture.InkIn(31, 60, 69, 61), 38) << "the dimension line between the arrowheads";
    }
    else
    {
      EXPECT_EQ(picture.InkIn(31, 60, 36, 61), 5) << "up to the break";
      EXPECT_EQ(picture.InkIn(38, 55, 40, 66), 0) << "the gap before the text";
      EXPECT_EQ(picture.InkIn(61, 55, 63, 66), 0) << "and after it";
    }
    EXPECT_GT(picture.InkIn(40, c.textFrom, 60, c.textTo), 20) << "the text";
    int elsewhere = 0;  // ink off the text's rows and the line's
    for (int row = 30; row < 79; ++row)
      elsewhere += row == 60 || (row >= c.textFrom && row < c.textTo) ? 0 : picture.InkIn(40, row, 60, row + 1);
    EXPECT_EQ(elsewhere, 0);
  }
}

TEST(DimensionTest, ExtensionLinesColoursAndLevelTextAsTheStyleSays)
{
  // The linear dimension from x = 20 to 80 on y = 40 (row 60), its
  // extension lines at x = 20 and 80 from y = 22 to 43, its text at (50, 50).
  const std::string linear = Groups({{0, "DIMENSION"},
                                     {8, "0"},
                                     {70, "0"},
                                     {13, "20"},
                                     {23, "20"},
                                     {14, "80"},
                                     {24, "20"},
                                     {10, "80"},
                                     {20, "40"},
                                     {11, "50"},
                                     {21, "50"}});
  auto variable = [](const char *name, const char *value) { return Groups({{9, name}, {70, value}}); };
  Picture hidden;
  hidden.Draw(*LoadText(DxfFile("", "", linear, Header + variable("$DIMSE1", "1"))), UnitView);
  EXPECT_EQ(hidden.InkIn(19, 66, 22, 78), 0) << "no first extension line";
  EXPECT_GE(hidden.InkIn(79, 66, 82, 78), 12) << "the second";
  Picture painted;
  const std::string colours = variable("$DIMCLRD", "1") + variable("$DIMCLRE", "3") + variable("$DIMCLRT", "5");
  painted.Draw(*LoadText(DxfFile("", "", linear, Header + colours)), UnitView);
  EXPECT_EQ(painted.Colour(50, 60), 0xFF0000u) << "the dimension line";
  EXPECT_EQ(painted.Colour(28, 59), 0xFF0000u) << "an arrowhead";
  EXPECT_EQ(painted.Colour(20, 70), 0x00FF00u) << "an extension line";
  int text = 0, blue = 0;
  for (int y = 45; y < 56; ++y)
  {
    for (int x = 35; x < 65; ++x)
    {
      text += painted.Ink(x, y);
      blue += painted.Ink(x, y) && painted.Colour(x, y) == 0x0000FFu;
    }
  }
  EXPECT_GT(text, 20);
  EXPECT_EQ(blue, text) << "the text";
  // Upright: the dimension line on x = 40 from y = 20 to 80, the text on
  // its middle along it, or level with $DIMTIH.
  const std::string upright = Groups({{0, "DIMENSION"},
                                      {8, "0"},
                                      {70, "0"},
                                      {50, "90"},
                                      {13, "20"},
                                      {23, "20"},
                                      {14, "20"},
                                      {24, "80"},
                                      {10, "40"},
                                      {20, "80"}});
  for (const auto &[tih, level] : {std::pair{"0", false}, {"1", true}})
  {
    SCOPED_TRACE(tih);
    Picture picture;
    picture.Draw(*LoadText(DxfFile("", "", upright, Header + variable("$DIMTIH", tih))), UnitView);
    int left = test::Size, right = -1, top = test::Size, bottom = -1;  // the text's ink, off the line
    for (int y = 30; y < 70; ++y)
    {
      for (int x = 25; x < 56; ++x)
      {
        if (x != 40 && picture.Ink(x, y))
        {
          left = std::min(left, x);
          right = std::max(right, x);
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
      }
    }
    EXPECT_EQ(right - left > bottom - top, level) << left << "-" << right << " by " << top << "-" << bottom;
  }
}

TEST(DimensionTest, AnAngularArcIsBrokenForItsText)
{
  // Legs from (20, 20) to the right and up, the arc of radius 40 through
  // (48.3, 48.3), where the text "90°" (about 13 wide) stands; gap 8, so
  // the arc breaks from about 24° to 66°.
  for (const auto &[tad, broken] : {std::pair{"0", true}, {"1", false}})
  {
    SCOPED_TRACE(tad);
    const std::string dimension = Groups({{0, "DIMENSION"},
                                          {8, "0"},
                                          {70, "5"},
                                          {15, "20"},
                                          {25, "20"},
                                          {13, "80"},
                                          {23, "20"},
                                          {14, "20"},
                                          {24, "80"},
                                          {10, "48.28"},
                                          {20, "48.28"},
                                          {11, "48.28"},
                                          {21, "48.28"}});
    const std::string header = Header + Groups({{9, "$DIMGAP"}, {40, "4"}, {9, "$DIMTAD"}, {70, tad}});
    Picture picture;
    picture.Draw(*LoadText(DxfFile("", "", dimension, header)), UnitView);
    EXPECT_EQ(picture.InkIn(53, 58, 57, 62) > 0, !broken) << "the arc at 30°, beside the text";
    EXPECT_GT(picture.InkIn(58, 75, 62, 78), 0) << "the arc near its start";
    // Inside its first arrowhead (10 long from (60, 20) up), at 12°: the
    // arc runs through an outlined one, not through a blank one.
    for (const auto &[arrow, through] : {std::pair{"_Closed", true}, {"_ClosedBlank", false}})
    {
      SCOPED_TRACE(arrow);
      Picture outlined;
      outlined.Draw(*LoadText(DxfFile("", "", dimension, header + Groups({{9, "$DIMBLK"}, {1, arrow}}))), UnitView);
      EXPECT_EQ(outlined.InkIn(59, 71, 60, 72) > 0, through);
      EXPECT_GT(outlined.InkIn(57, 69, 63, 71), 0) << "the arrowhead's back";
    }
  }
}

TEST(DimensionTest, ItsBlockIsDrawnWhenItHasOne)
{
  const std::string block = Groups({{0, "BLOCK"},
                                    {8, "0"},
                                    {2, "*D1"},
                                    {70, "1"},
                                    {10, "0"},
                                    {20, "0"},
                                    {0, "LINE"},
                                    {8, "0"},
                                    {10, "0"},
                                    {20, "90"},
                                    {11, "100"},
                                    {21, "90"},
                                    {0, "ENDBLK"},
                                    {8, "0"}});
  const std::string dimension = Groups({{0, "DIMENSION"},
                                        {8, "0"},
                                        {2, "*D1"},
                                        {70, "0"},
                                        {13, "20"},
                                        {23, "20"},
                                        {14, "80"},
                                        {24, "20"},
                                        {10, "80"},
                                        {20, "40"}});
  auto document = LoadText(DxfFile("", block, dimension, Header));
  ASSERT_EQ(document->Entities().size(), 1u);
  EXPECT_EQ(document->Entities()[0].type, TypeLine);
}

}  // namespace
}  // namespace zulan
