// The plain geometry the Windows test host draws: what zulan writes of a
// real drawing reads back the same, and a damaged file is refused with the
// line that is wrong, never half read.
#include "entityfile.h"
#include "hostdrawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace zulan
{
namespace
{

const std::string ExampleDrawings = ZULAN_EXAMPLES_DIR;

std::string Written(const FlatDrawing &drawing)
{
  std::ostringstream out;
  WriteEntityFile(out, drawing);
  return out.str();
}

FlatDrawing Read(const std::string &text)
{
  std::istringstream in(text);
  return ReadEntityFile(in);
}

TEST(EntityFileTest, FloorPlanReadsBackAsWritten)
{
  HostDrawing drawing;
  ASSERT_EQ(drawing.Open(ExampleDrawings + "/floorplan.dxf"), "");
  const FlatDrawing flat = drawing.Flatten();
  ASSERT_FALSE(flat.entities.empty());
  EXPECT_EQ(flat.palette[15], 0xFFFFFFu);
  // Hidden layers and a frame come through; so do curves, as points.
  bool someHidden = false, someCurve = false;
  for (bool hidden : flat.hiddenLayers)
    someHidden |= hidden;
  for (const FlatEntity &entity : flat.entities)
    someCurve |= entity.kind == FlatEntity::Kind::Path && entity.points.size() > 8;
  EXPECT_TRUE(someHidden);
  EXPECT_TRUE(someCurve);

  const std::string text = Written(flat);
  const FlatDrawing back = Read(text);
  EXPECT_EQ(Written(back), text);
  ASSERT_EQ(back.entities.size(), flat.entities.size());
  for (size_t i = 0; i < flat.entities.size(); ++i)
  {
    EXPECT_EQ(back.entities[i].points, flat.entities[i].points) << i;  // %.17g: exact
    EXPECT_EQ(back.entities[i].layer, flat.entities[i].layer) << i;
  }
  EXPECT_EQ(back.header, flat.header);
}

TEST(EntityFileTest, PolygonRingsKeepTheirSeparators)
{
  FlatDrawing flat;
  FlatEntity ring;
  ring.kind = FlatEntity::Kind::Polygon;
  ring.points = {0, 0, 1, 0, 1, 1, std::nan(""), std::nan(""), 5, 5, 6, 5, 6, 6};
  flat.entities.push_back(ring);
  const FlatDrawing back = Read(Written(flat));
  ASSERT_EQ(back.entities.size(), 1u);
  ASSERT_EQ(back.entities[0].points.size(), ring.points.size());
  EXPECT_TRUE(std::isnan(back.entities[0].points[6]));
  EXPECT_EQ(back.entities[0].points[8], 5);
}

TEST(EntityFileTest, DamagedFilesAreRefusedByLine)
{
  FlatDrawing flat;
  const std::string good = Written(flat);
  const std::string entity = "entity 1 0 7 0 0 0 1 1 segment 2 0 0 1 1\n";
  EXPECT_NO_THROW(Read(good + entity));
  const struct
  {
    std::string text;
    std::string message;
  } cases[] = {
    {"", "not an entity file (its first line is not \"zulan-entities 1\")"},
    {"zulan-entities 1\nlayer 0\n", "the entity file has no palette"},
    {good + "entity 1 0 7 0 0 0 1 1 segment 3 0 0 1 1\n", "line 3 ends early"},
    {good + "entity 1 0 7 0 0 0 1 1 segment 1 0 0 1 1\n", "line 3 has more than it should"},
    {good + "entity 1 0 7 0 0 0 1 1 segment 2 0 nan 1 1\n", "line 3 has nan where a number belongs"},
    {good + "entity 1 0 7 0 0 0 1 1 segment 2 0 inf 1 1\n", "line 3 has inf where a number belongs"},
    {good + "entity 1 0 300 0 0 0 1 1 dot 1 0 0\n", "line 3 has 300 where a whole number from 0 to 255 belongs"},
    {good + "entity 1 0 7 0 0 0 1 1 spiral 0\n", "line 3 has an unknown kind spiral"},
    {good + "entity 1 0 7 0 0 0 1 1 path 99999999999 0\n",
     "line 3 has 99999999999 where a whole number from 0 to 100000000 belongs"},
    {good + "header 0\n", "line 3 has a header of the wrong size"},
    {good + "header zz\n", "line 3 has a header that is not hexadecimal"},
    {good + "circle 1\n", "line 3 starts with an unknown word circle"},
  };
  for (const auto &bad : cases)
  {
    try
    {
      Read(bad.text);
      ADD_FAILURE() << "accepted: " << bad.text;
    }
    catch (const EntityFileError &error)
    {
      EXPECT_EQ(std::string(error.what()), bad.message);
    }
  }
}

}  // namespace
}  // namespace zulan
