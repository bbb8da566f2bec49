// Text as CAD programs lay it out: MTEXT paragraphs, wrapping, attachment
// and inline codes, TEXT aligned and fit between two points, and the
// attributes of inserted blocks; each checked by the pixels of a drawing
// made for it (one world unit a pixel, world y is row 100 - y).
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zulan
{
namespace
{

using test::Block;
using test::Draw;
using test::DxfFile;
using test::Groups;
using test::Insert;
using test::LayerEntry;
using test::Line;
using test::Load;
using test::LoadText;
using test::Picture;
using test::Size;
using test::UnitView;

using GroupList = std::vector<std::pair<int, std::string>>;

// An MTEXT on layer 0 at (x, y), height 10 unless more groups say
// otherwise. Contents come in pieces of 250 bytes, groups 3 and a last 1,
// as CAD programs write them (libdime cuts a string at 4096).
std::string MText(double x, double y, const std::string &contents, const GroupList &more = {})
{
  GroupList groups = {{0, "MTEXT"}, {8, "0"}, {10, std::to_string(x)}, {20, std::to_string(y)}, {40, "10"}};
  groups.insert(groups.end(), more.begin(), more.end());
  size_t at = 0;
  for (; contents.size() - at > 250; at += 250)
    groups.push_back({3, contents.substr(at, 250)});
  groups.push_back({1, contents.substr(at)});
  return Groups(groups);
}

std::vector<std::string> EntityTexts(const Document &document)
{
  std::vector<std::string> texts;
  for (const Entity &entity : document.Entities())
    texts.push_back(document.Text(entity));
  return texts;
}

TEST(MTextTest, ParagraphsStandOnLinesFiveThirdsOfTheHeightApart)
{
  // Top-left at y = 90: capitals 80-90, the next baseline 16.7 lower.
  const Picture single = Draw(*Load(MText(10, 90, "HHH\\PHHH")));
  EXPECT_GT(single.InkIn(0, 11, Size, 20), 0);
  EXPECT_EQ(single.InkIn(0, 21, Size, 26), 0) << "the gap between the lines";
  EXPECT_GT(single.InkIn(0, 28, Size, 36), 0);
  EXPECT_EQ(single.InkIn(0, 38, Size, Size), 0);
  // Spacing factor 2 (group 44): baselines 33.3 apart.
  const Picture doubled = Draw(*Load(MText(10, 90, "HHH\\PHHH", {{44, "2"}})));
  EXPECT_EQ(doubled.InkIn(0, 21, Size, 42), 0);
  EXPECT_GT(doubled.InkIn(0, 45, Size, 53), 0);
}

TEST(MTextTest, WrapsAtTheReferenceWidth)
{
  // "HH" is about 21 wide at height 10: two words do not fit in 30.
  auto wrapped = Load(MText(5, 95, "HH HH HH", {{41, "30"}}));
  EXPECT_EQ(EntityTexts(*wrapped), (std::vector<std::string>{"HH", "HH", "HH"}));
  const Picture picture = Draw(*wrapped);
  EXPECT_EQ(picture.InkIn(30, 0, Size, Size), 0);
  for (int row : {10, 27, 44})  // one line under another
    EXPECT_GT(picture.InkRow(row), 0) << "row " << row;
  // Without a width, and with a width wider than anything, one line.
  EXPECT_EQ(EntityTexts(*Load(MText(5, 95, "HH HH HH"))), (std::vector<std::string>{"HH HH HH"}));
  EXPECT_EQ(EntityTexts(*Load(MText(5, 95, "HH HH HH", {{41, "1e30"}}))).size(), 1u);
  // A word wider than the width stands on its own line; a non-breaking
  // space does not break.
  EXPECT_EQ(EntityTexts(*Load(MText(5, 95, "HHHHHH HH H\\~H", {{41, "30"}}))),
            (std::vector<std::string>{"HHHHHH", "HH", "H\xC2\xA0H"}));
}

TEST(MTextTest, AttachmentPlacesTheBlockRoundTheInsertionPoint)
{
  // Top left: all ink right of and below (50, 50); bottom right: left of
  // and above it; middle centre: round it.
  const Picture topLeft = Draw(*Load(MText(50, 50, "HH", {{71, "1"}})));
  EXPECT_GT(topLeft.InkIn(50, 50, Size, Size), 20);
  EXPECT_EQ(topLeft.InkIn(0, 0, 49, Size) + topLeft.InkIn(0, 0, Size, 49), 0);
  const Picture bottomRight = Draw(*Load(MText(50, 50, "HH", {{71, "9"}})));
  EXPECT_GT(bottomRight.InkIn(0, 0, 50, 50), 20);
  EXPECT_EQ(bottomRight.InkIn(51, 0, Size, Size) + bottomRight.InkIn(0, 51, Size, Size), 0);
  const Picture centre = Draw(*Load(MText(50, 50, "HH", {{71, "5"}})));
  for (auto [x, y] : {std::pair{40, 40}, {50, 40}, {40, 50}, {50, 50}})
    EXPECT_GT(centre.InkIn(x, y, x + 10, y + 10), 0) << x << ", " << y;
  // Bottom right with two lines: the last stands on the point, each line
  // is right-aligned at it, so the short first line's ink is near x = 50.
  const Picture lines = Draw(*Load(MText(50, 50, "H\\PHHH", {{71, "9"}})));
  EXPECT_GT(lines.InkIn(25, 41, 35, 50), 0) << "the long last line";
  EXPECT_GT(lines.InkIn(40, 24, 50, 33), 0) << "the short line above it";
  EXPECT_EQ(lines.InkIn(0, 20, 38, 34), 0);
}

TEST(MTextTest, HeightAndColourCodesHoldToTheEndOfTheirGroup)
{
  // Bottom left on y = 50: H, a red H twice as tall, an H as the first.
  auto document = Load(MText(5, 50, "H{\\H2x;\\C1;H}H", {{71, "7"}}));
  ASSERT_EQ(document->Entities().size(), 3u);
  EXPECT_EQ(document->Entities()[1].aci, 1);
  EXPECT_EQ(document->Entities()[2].aci, 7);
  const Picture picture = Draw(*document);
  int red = 0, other = 0;
  for (int y = 28; y < 38; ++y)  // above the short capitals
    for (int x = 0; x < Size; ++x)
      if (picture.Ink(x, y))
        (picture.Colour(x, y) == 0xFF0000 ? red : other)++;
  EXPECT_GT(red, 10);
  EXPECT_EQ(other, 0);
  EXPECT_GT(picture.InkIn(36, 42, 48, 50), 0) << "the third H, short and after the tall one";
  // An absolute height; BYLAYER (256) gives the entity's colour back.
  auto absolute = Load(MText(5, 50, "H\\H20;\\C3;H\\C256;H", {{71, "7"}, {62, "5"}}));
  ASSERT_EQ(absolute->Entities().size(), 3u);
  EXPECT_NEAR(EntityExtents(*absolute, absolute->Entities()[1]).maxY, 70, 1.5);
  EXPECT_EQ(absolute->Entities()[1].aci, 3);
  EXPECT_EQ(absolute->Entities()[2].aci, 5);
}

TEST(MTextTest, InlineCodesBecomePlainText)
{
  // Stacked fractions, escapes, \U+ (dropped before), %% codes; fonts,
  // paragraph settings and underline toggles drawn without.
  auto document = Load(MText(5, 50,
                             "\\S1/2; \\S3^4; \\S5#6; \\\\ \\{x\\} %%d\\U+00E9\\U+0041 "
                             "\\Lu\\l{\\fArial|b1;F}\\pxqc;\\A1;\\W2;W\\T1.5;T\\Q10;Q"));
  EXPECT_EQ(EntityTexts(*document), (std::vector<std::string>{"1/2 3/4 5/6 \\ {x} \xC2\xB0\xC3\xA9"
                                                              "A uFWTQ"}));
  // Contents cut before a space (libdime drops the spaces a string starts
  // with) keep their words apart.
  auto pieces =
    Load(Groups({{0, "MTEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {3, "ab"}, {3, " cd"}, {1, "  ef"}}));
  EXPECT_EQ(EntityTexts(*pieces), (std::vector<std::string>{"ab cd  ef"}));
  // A true colour (\c, 0xBBGGRR) takes the nearest ACI: pure blue is 5.
  auto blue = Load(MText(5, 50, "\\c16711680;B"));
  ASSERT_EQ(blue->Entities().size(), 1u);
  EXPECT_EQ(blue->Entities()[0].aci, 5);
}

// A TEXT "HH" from (x1, y1) to (x2, y2), justified by 72.
std::string TwoPointText(int justification, double x1, double y1, double x2, double y2)
{
  return Groups({{0, "TEXT"},
                 {8, "0"},
                 {10, std::to_string(x1)},
                 {20, std::to_string(y1)},
                 {40, "5"},
                 {1, "HH"},
                 {72, std::to_string(justification)},
                 {11, std::to_string(x2)},
                 {21, std::to_string(y2)}});
}

TEST(TextAlignmentTest, AlignedAndFitFillTheLineBetweenThePoints)
{
  // Aligned: the advance is 80 long (the letters' side bearings, 0.1 em,
  // inside it), so the height grows with the width, to about 39.
  const Picture aligned = Draw(*Load(TwoPointText(3, 10, 50, 90, 50)));
  EXPECT_GT(aligned.InkIn(10, 40, 20, 50), 0);
  EXPECT_GT(aligned.InkIn(80, 40, 90, 50), 0);
  EXPECT_EQ(aligned.InkIn(0, 0, 9, Size) + aligned.InkIn(92, 0, Size, Size), 0);
  EXPECT_GT(aligned.InkRow(15), 0);
  // Fit: as long, but height 5 kept.
  const Picture fit = Draw(*Load(TwoPointText(5, 10, 50, 90, 50)));
  EXPECT_GT(fit.InkIn(10, 45, 20, 51), 0);
  EXPECT_GT(fit.InkIn(80, 45, 90, 51), 0);
  EXPECT_EQ(fit.InkIn(0, 0, 9, Size) + fit.InkIn(92, 0, Size, Size), 0);
  EXPECT_EQ(fit.InkIn(0, 0, Size, 44), 0);
  // The direction comes from the points: upwards, the letters stand left
  // of the line.
  const Picture up = Draw(*Load(TwoPointText(5, 50, 10, 50, 90)));
  EXPECT_GT(up.InkIn(44, 10, 51, 20), 0);
  EXPECT_GT(up.InkIn(44, 80, 51, 90), 0);
  EXPECT_EQ(up.InkIn(52, 0, Size, Size) + up.InkIn(0, 0, 43, Size), 0);
  // Right (2) and top (73 = 3) hang left of and below the second point.
  const Picture topRight = Draw(*Load(TwoPointText(2, 0, 0, 50, 50) + Groups({{73, "3"}})));
  EXPECT_GT(topRight.InkIn(40, 50, 50, 56), 0);
  EXPECT_EQ(topRight.InkIn(51, 0, Size, Size) + topRight.InkIn(0, 0, Size, 49), 0);
}

// An INSERT of `block` at (x, y) on a layer, with its ATTRIBs and SEQEND.
std::string InsertWithAttributes(const std::string &block, const std::string &layer, double x, double y,
                                 const std::string &attributes, const GroupList &more = {})
{
  GroupList groups = {{0, "INSERT"},          {8, layer}, {66, "1"}, {2, block}, {10, std::to_string(x)},
                      {20, std::to_string(y)}};
  groups.insert(groups.end(), more.begin(), more.end());
  return Groups(groups) + attributes + Groups({{0, "SEQEND"}, {8, layer}});
}

std::string Attrib(double x, double y, const std::string &value, const GroupList &more = {})
{
  GroupList groups = {{0, "ATTRIB"}, {8, "0"},  {10, std::to_string(x)}, {20, std::to_string(y)}, {40, "10"},
                      {1, value},    {2, "TAG"}};
  groups.insert(groups.end(), more.begin(), more.end());
  return Groups(groups);
}

TEST(AttributeTest, DrawnWhereTheParentPutsThem)
{
  // The insert is at (50, 50), scaled by 3: its attributes keep their own
  // places. Layer 0 and BYBLOCK take the insert's; an invisible one and
  // the LINE after SEQEND are as they should be.
  const std::string blocks = Block("B", Line("0", 0, 0, 1, 0));
  const std::string entities =
    InsertWithAttributes("B", "RED", 50, 50,
                         Attrib(10, 10, "HH", {{62, "0"}}) + Attrib(10, 70, "HH", {{70, "1"}})
                           + Attrib(0, 0, "HH", {{72, "2"}, {74, "3"}, {11, "90"}, {21, "90"}}),
                         {{41, "3"}, {42, "3"}, {62, "2"}})
    + Line("0", 0, 30, 100, 30);
  auto document = Load(entities, blocks, LayerEntry("RED", 1));
  const Picture picture = Draw(*document);
  EXPECT_GT(picture.InkIn(10, 80, 32, 90), 20);
  EXPECT_EQ(picture.Colour(picture.Ink(11, 85) ? 11 : 12, 85), 0xFFFF00) << "the insert's colour, 2";
  EXPECT_EQ(picture.InkIn(0, 18, 50, 32), 0) << "the invisible attribute";
  EXPECT_GT(picture.InkIn(68, 10, 90, 21), 20) << "right and top at the second point";
  EXPECT_EQ(picture.InkIn(91, 0, Size, 60) + picture.InkIn(0, 0, Size, 9), 0);
  EXPECT_EQ(picture.InkRow(70), Size) << "the LINE after the SEQEND";
  int onRed = 0;
  for (const Entity &entity : document->Entities())
    onRed += entity.type == TypeText && document->Layers()[entity.layer].name == "RED";
  EXPECT_EQ(onRed, 2);
}

TEST(AttributeTest, InsertsInBlocksArraysAndHiddenLayers)
{
  // OUTER holds an insert of B whose attribute is at (5, 5) in OUTER's
  // coordinates; OUTER is placed at (60, 20): the attribute lands at
  // (65, 25), while B's own line goes with B's insertion at (0, 40).
  const std::string blocks =
    Block("B", Line("0", 0, 0, 10, 0)) + Block("OUTER", InsertWithAttributes("B", "0", 0, 40, Attrib(5, 5, "H")));
  auto nested = Load(Insert("OUTER", "0", 60, 20), blocks);
  const Picture picture = Draw(*nested);
  EXPECT_GT(picture.InkIn(65, 65, 74, 75), 0);
  EXPECT_EQ(picture.InkRow(40), 10) << "B's line at (60, 60)";
  EXPECT_EQ(picture.InkIn(0, 0, 60, Size), 0);
  // A 3 x 2 MINSERT draws its attribute once; an insert on a layer that
  // is off brings none.
  auto array =
    Load(InsertWithAttributes("B", "0", 10, 10, Attrib(50, 50, "H"), {{70, "3"}, {71, "2"}, {44, "20"}, {45, "20"}})
           + InsertWithAttributes("B", "OFF", 10, 10, Attrib(50, 80, "H")),
         blocks, LayerEntry("OFF", -1));
  int texts = 0;
  for (const Entity &entity : array->Entities())
    texts += entity.type == TypeText;
  EXPECT_EQ(texts, 1);
}

TEST(HostileTextTest, AbsurdValuesLoadWithoutHangingOrCrashing)
{
  // Heights beyond any range, relative ones multiplied past it, and
  // unbalanced groups and codes cut off at the end.
  auto absurd = Load(
    MText(5, 50, "A\\H1e300;B\\H1e30x;\\H1e30x;C}}{{{\\H0;\\H-5;\\Hx;D\\S1/2")
    + MText(5, 50, std::string(20000, '{') + "E" + std::string(20000, '}'), {{41, "1e-30"}, {44, "1e30"}, {71, "99"}})
    + MText(5, 50, "\\"));
  for (const Entity &entity : absurd->Entities())
    for (int i = 0; i < 7; ++i)
      EXPECT_TRUE(std::isfinite(entity.geometry[i]));
  Draw(*absurd);
  // A long string of words and paragraphs, wrapped a word a line, in a
  // block placed a hundred times.
  std::string many;
  size_t words = 0;
  for (int i = 0; i < 5000; ++i)
  {
    many += i % 7 ? "ab " : "\\P";
    words += i % 7 != 0;
  }
  auto huge = Load(Groups({{0, "INSERT"}, {8, "0"}, {2, "T"}, {10, "0"}, {20, "0"}, {70, "10"}, {71, "10"}}),
                   Block("T", MText(0, 0, many, {{41, "1"}})));
  EXPECT_EQ(huge->Entities().size(), 100 * words);
}

}  // namespace
}  // namespace zulan
