// LEADERs: lines and arrowheads sized by the header's dimension variables,
// checked by pixels.
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
using test::Groups;
using test::LoadText;
using test::Picture;
using test::UnitView;

// Arrows 10 long ($DIMASZ 5 x $DIMSCALE 2), extension lines 2 off the object
// and 3 beyond, text 6 high, one decimal.
const std::string Header = Groups({{9, "$DIMASZ"}, {40, "5"}, {9, "$DIMSCALE"}, {40, "2"},
                                   {9, "$DIMEXO"}, {40, "1"}, {9, "$DIMEXE"}, {40, "1.5"},
                                   {9, "$DIMTXT"}, {40, "3"}, {9, "$DIMDEC"}, {70, "1"}});

TEST(LeaderTest, PathWithAnArrowheadAtItsFirstVertexWhenAsked)
{
  for (const std::string arrow : {"1", "0"})
  {
    SCOPED_TRACE(arrow);
    const std::string leader = Groups({{0, "LEADER"}, {8, "0"}, {3, "Standard"}, {71, arrow}, {76, "3"},
                                       {10, "20"}, {20, "50"}, {10, "80"}, {20, "50"}, {10, "80"},
                                       {20, "80"}});
    Picture picture;
    picture.Draw(*LoadText(DxfFile("", "", leader, Header)), UnitView);
    EXPECT_GE(picture.InkRow(50), 60);       // first segment
    EXPECT_GE(picture.InkColumn(80), 30);    // second
    EXPECT_EQ(picture.InkColumn(50), 1);     // a plain line half-way
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

} // namespace
} // namespace zulan
