// Loading DXF drawings into entity records: the examples, each entity kind,
// layers and colours, inserts, the two special type codes, and bad files.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace zulan
{
namespace
{

using test::Block;
using test::DxfFile;
using test::Groups;
using test::LayerEntry;
using test::LoadError;
using test::LoadText;
using test::TempFile;

const std::string Examples = ZULAN_EXAMPLES_DIR;

std::map<int, int> CountTypes(const Document &document)
{
  std::map<int, int> counts;
  for (const Entity &entity : document.Entities())
  {
    ++counts[entity.type];
  }
  return counts;
}

int LayerNamed(const Document &document, const std::string &name)
{
  for (size_t i = 0; i < document.Layers().size(); ++i)
  {
    if (document.Layers()[i].name == name)
    {
      return int(i);
    }
  }
  return -1;
}

void ExpectBox(const Box &box, double minX, double minY, double maxX, double maxY, double tolerance = 1e-3)
{
  EXPECT_NEAR(box.minX, minX, tolerance);
  EXPECT_NEAR(box.minY, minY, tolerance);
  EXPECT_NEAR(box.maxX, maxX, tolerance);
  EXPECT_NEAR(box.maxY, maxY, tolerance);
}

std::string ReadFile(const std::string &path)
{
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(DxfLoaderTest, FloorPlanExample)
{
  auto plan = Document::Load(Examples + "/floorplan.dxf");
  const std::map<int, int> expected = {{TypeLine, 8}, {TypeArc, 2},    {TypePolyline, 2}, {TypeText, 4},
                                       {TypeFill, 1}, {TypeCircle, 1}, {TypeFrame, 1}};
  EXPECT_EQ(CountTypes(*plan), expected);

  EXPECT_TRUE(plan->IsLayerHidden(LayerNamed(*plan, "FURNITURE")));  // off
  EXPECT_TRUE(plan->IsLayerHidden(LayerNamed(*plan, "NOTES")));      // frozen
  EXPECT_FALSE(plan->IsLayerHidden(LayerNamed(*plan, "WALLS")));
  EXPECT_EQ(plan->Layers()[LayerNamed(*plan, "FURNITURE")].aci, 4);

  // Door contents are drawn on layer 0 in BYLAYER: they take the insert's
  // layer DOORS and its colour 1. Window lines are BYBLOCK: insert colour.
  std::map<int, int> aciByLayer;
  for (const Entity &entity : plan->Entities())
  {
    if (entity.type == TypeArc)
    {
      EXPECT_EQ(entity.layer, LayerNamed(*plan, "DOORS"));
      EXPECT_EQ(entity.aci, 1);
    }
    if (entity.layer == LayerNamed(*plan, "WINDOWS"))
    {
      ++aciByLayer[entity.aci];
    }
  }
  EXPECT_EQ(aciByLayer, (std::map<int, int>{{5, 2}, {150, 2}}));
  // The frame spans everything else.
  ExpectBox(plan->Extents(), -500, -500, 10500, 7500);
  EXPECT_EQ(plan->Header().backgroundColor, WhiteIndex);
  EXPECT_EQ(plan->Header().entityCount, plan->Entities().size());
}

TEST(DxfLoaderTest, BracketExample)
{
  auto part = Document::Load(Examples + "/bracket.dxf");
  const std::map<int, int> expected = {{TypeLine, 14},   {TypeCircle, 5},   {TypeArc, 2},
                                       {TypeEllipse, 1}, {TypePolyline, 1}, {TypePoint, 1},
                                       {TypeSolid, 1},   {TypeText, 1},     {TypeLimits, 1}};
  EXPECT_EQ(CountTypes(*part), expected);
  std::vector<double> radii;
  for (const Entity &entity : part->Entities())
  {
    if (entity.type == TypeCircle)
    {
      radii.push_back(std::hypot(entity.geometry[2], entity.geometry[3]));
      EXPECT_EQ(part->Layers()[entity.layer].name, "HOLES");
    }
  }
  // Two holes scaled to 0.75, two as drawn, one twice and turned 45 degrees.
  std::sort(radii.begin(), radii.end());
  ASSERT_EQ(radii.size(), 5u);
  EXPECT_NEAR(radii[0], 3, 1e-4);
  EXPECT_NEAR(radii[2], 4, 1e-4);
  EXPECT_NEAR(radii[4], 8, 1e-4);
  // The limits marker makes the extents.
  ExpectBox(part->Extents(), -20, -20, 160, 100);
}

TEST(DxfLoaderTest, RecordLayoutTheModuleReads)
{
  auto plan = Document::Load(Examples + "/floorplan.dxf");
  for (const Entity &entity : plan->Entities())
  {
    const auto *bytes = reinterpret_cast<const uint8_t *>(&entity);
    int16_t layer;
    std::memcpy(&layer, bytes + 12, 2);
    EXPECT_EQ(bytes[4], entity.type);
    EXPECT_EQ(layer, entity.layer);
  }
  DrawingHeader &header = plan->Header();
  int16_t background;
  std::memcpy(&background, reinterpret_cast<const uint8_t *>(&header) + 28, 2);
  EXPECT_EQ(background, 15);
}

TEST(DxfLoaderTest, EachEntityKind)
{
  const std::string entities =
    Groups({{0, "LINE"}, {8, "0"}, {10, "1"}, {20, "2"}, {11, "3"}, {21, "4"}})
    + Groups({{0, "CIRCLE"}, {8, "0"}, {10, "5"}, {20, "5"}, {40, "2"}})
    + Groups({{0, "ARC"}, {8, "0"}, {10, "10"}, {20, "10"}, {40, "5"}, {50, "0"}, {51, "90"}})
    + Groups({{0, "ELLIPSE"},
              {8, "0"},
              {100, "AcDbEllipse"},
              {10, "0"},
              {20, "0"},
              {11, "4"},
              {21, "0"},
              {40, "0.5"},
              {41, "0"},
              {42, "6.283185307"}})
    // A half circle from (0,0) to (10,0), counter-clockwise: through (5,-5).
    + Groups(
      {{0, "LWPOLYLINE"}, {8, "0"}, {90, "2"}, {70, "0"}, {10, "0"}, {20, "0"}, {42, "1"}, {10, "10"}, {20, "0"}})
    + Groups({{0, "POLYLINE"},
              {8, "0"},
              {66, "1"},
              {70, "1"},
              {0, "VERTEX"},
              {8, "0"},
              {10, "0"},
              {20, "0"},
              {0, "VERTEX"},
              {8, "0"},
              {10, "4"},
              {20, "0"},
              {0, "VERTEX"},
              {8, "0"},
              {10, "4"},
              {20, "3"},
              {0, "SEQEND"}})
    + Groups({{0, "POINT"}, {8, "0"}, {10, "7"}, {20, "8"}})
    + Groups({{0, "SOLID"},
              {8, "0"},
              {10, "0"},
              {20, "0"},
              {11, "10"},
              {21, "0"},
              {12, "0"},
              {22, "10"},
              {13, "10"},
              {23, "10"}})
    + Groups({{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "2"}, {1, "Hi"}})
    + Groups({{0, "MTEXT"}, {8, "0"}, {10, "0"}, {20, "50"}, {40, "2"}, {71, "1"}, {1, "{\\fArial;First}\\PSecond"}})
    + Groups({{0, "HATCH"}, {8, "0"},  {10, "0"}, {20, "0"}, {30, "0"}, {2, "SOLID"}, {70, "1"}, {71, "0"},
              {91, "1"},    {92, "1"}, {93, "3"}, {72, "1"}, {10, "0"}, {20, "0"},    {11, "6"}, {21, "0"},
              {72, "1"},    {10, "6"}, {20, "0"}, {11, "0"}, {21, "6"}, {72, "1"},    {10, "0"}, {20, "6"},
              {11, "0"},    {21, "0"}, {97, "0"}, {75, "0"}, {76, "1"}, {98, "0"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities));
  const std::vector<Entity> &all = document->Entities();
  ASSERT_EQ(all.size(), 12u);
  const std::vector<int> types = {TypeLine,  TypeCircle, TypeArc,  TypeEllipse, TypePolyline, TypePolyline,
                                  TypePoint, TypeSolid,  TypeText, TypeText,    TypeText,     TypeFill};
  for (size_t i = 0; i < all.size(); ++i)
  {
    EXPECT_EQ(all[i].type, types[i]) << "entity " << i;
    EXPECT_EQ(all[i].layer, 0);
  }
  ExpectBox(EntityExtents(*document, all[0]), 1, 2, 3, 4);
  ExpectBox(EntityExtents(*document, all[1]), 3, 3, 7, 7);
  ExpectBox(EntityExtents(*document, all[2]), 10, 10, 15, 15);
  ExpectBox(EntityExtents(*document, all[3]), -4, -2, 4, 2);
  ExpectBox(EntityExtents(*document, all[4]), 0, -5, 10, 0);
  ExpectBox(EntityExtents(*document, all[5]), 0, 0, 4, 3);
  EXPECT_TRUE(all[5].flags & Closed);
  ExpectBox(EntityExtents(*document, all[6]), 7, 8, 7, 8);
  // The SOLID's third and fourth corners are crosswise in the file.
  uint32_t count;
  const Point *corners = document->Points(all[7], &count);
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(corners[2].x, 10);
  EXPECT_EQ(corners[2].y, 10);
  EXPECT_EQ(corners[3].x, 0);
  const Box text = EntityExtents(*document, all[8]);
  EXPECT_NEAR(text.minX, 0, 1e-6);
  EXPECT_GT(text.maxX, 2);  // two letters of cap height 2
  EXPECT_LT(text.maxX, 4);
  EXPECT_NEAR(text.maxY, 2, 0.2);
  EXPECT_EQ(document->Text(all[9]), "First");
  EXPECT_NEAR(EntityExtents(*document, all[9]).maxY, 50, 0.2);  // top-left attachment
  EXPECT_EQ(document->Text(all[10]), "Second");                 // the next paragraph, a line lower
  EXPECT_LT(EntityExtents(*document, all[10]).maxY, 48);
  ExpectBox(EntityExtents(*document, all[11]), 0, 0, 6, 6);
}

TEST(DxfLoaderTest, LayersAndColours)
{
  const std::string layers =
    LayerEntry("0", 7) + LayerEntry("RED", 1) + LayerEntry("OFF", -3) + LayerEntry("ICE", 5, 1);
  const std::string entities =
    Groups({{0, "LINE"}, {8, "RED"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}})
    + Groups({{0, "LINE"}, {8, "OFF"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}})
    + Groups({{0, "LINE"}, {8, "ICE"}, {62, "15"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}})
    + Groups({{0, "LINE"}, {8, "0"}, {62, "0"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}})
    + Groups({{0, "LINE"}, {8, "NEW"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}});
  auto document = LoadText(DxfFile(layers, "", entities));
  const std::vector<Entity> &all = document->Entities();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].aci, 1);  // BYLAYER
  EXPECT_EQ(all[1].aci, 3);  // BYLAYER of a layer that is off: its colour still
  EXPECT_EQ(all[2].aci, 15);
  EXPECT_EQ(all[2].colorIndex, 7);  // ACI 15 moves aside for the background
  EXPECT_EQ(all[3].aci, 7);         // BYBLOCK outside a block
  EXPECT_EQ(all[3].colorIndex, BlackIndex);
  EXPECT_FALSE(document->IsLayerHidden(all[0].layer));
  EXPECT_TRUE(document->IsLayerHidden(all[1].layer));
  EXPECT_TRUE(document->IsLayerHidden(all[2].layer));
  // A layer missing from the table is created, visible, in colour 7.
  EXPECT_EQ(document->Layers()[all[4].layer].name, "NEW");
  EXPECT_FALSE(document->IsLayerHidden(all[4].layer));
  EXPECT_TRUE(document->IsLayerHidden(-1));
  EXPECT_TRUE(document->IsLayerHidden(1000));
  // Hidden layers stay out of the extents.
  ExpectBox(document->Extents(), 0, 0, 1, 0);
}

std::string Insert(const std::string &block, const std::string &layer,
                   const std::vector<std::pair<int, std::string>> &more)
{
  std::vector<std::pair<int, std::string>> groups = {{0, "INSERT"}, {8, layer}, {2, block}};
  groups.insert(groups.end(), more.begin(), more.end());
  return Groups(groups);
}

TEST(DxfLoaderTest, NestedInsertsTransformAndInherit)
{
  const std::string blocks =
    Block("INNER", Groups({{0, "CIRCLE"}, {8, "0"}, {62, "0"}, {10, "0"}, {20, "0"}, {40, "1"}})
                     + Groups({{0, "LINE"}, {8, "KEEP"}, {62, "2"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}}))
    + Block("OUTER", Insert("INNER", "0", {{62, "0"}, {10, "1"}, {20, "0"}}));
  // OUTER at (5,5), twice as large, turned 90 degrees: INNER's origin lands
  // at (5,7); its circle has radius 2 and its line points up.
  const std::string entities =
    Insert("OUTER", "L", {{62, "3"}, {10, "5"}, {20, "5"}, {41, "2"}, {42, "2"}, {50, "90"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7) + LayerEntry("L", 4) + LayerEntry("KEEP", 6), blocks, entities));
  const std::vector<Entity> &all = document->Entities();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].type, TypeCircle);
  EXPECT_EQ(document->Layers()[all[0].layer].name, "L");  // layer 0 takes the insert's
  EXPECT_EQ(all[0].aci, 3);                               // BYBLOCK takes the insert's
  ExpectBox(EntityExtents(*document, all[0]), 3, 5, 7, 9);
  EXPECT_EQ(document->Layers()[all[1].layer].name, "KEEP");
  EXPECT_EQ(all[1].aci, 2);
  ExpectBox(EntityExtents(*document, all[1]), 5, 7, 5, 9);
}

TEST(DxfLoaderTest, NonUniformScaleTurnsCircleIntoEllipse)
{
  const std::string blocks = Block("C", Groups({{0, "CIRCLE"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}}));
  auto document =
    LoadText(DxfFile(LayerEntry("0", 7), blocks, Insert("C", "0", {{10, "0"}, {20, "0"}, {41, "3"}, {42, "1"}})));
  ASSERT_EQ(document->Entities().size(), 1u);
  ExpectBox(EntityExtents(*document, document->Entities()[0]), -3, -1, 3, 1);
}

TEST(DxfLoaderTest, ExtrusionDownwardsMirrors)
{
  // Seen from below, the object's x axis points left.
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "",
                                   Groups({{0, "ARC"},
                                           {8, "0"},
                                           {10, "10"},
                                           {20, "0"},
                                           {40, "1"},
                                           {210, "0"},
                                           {220, "0"},
                                           {230, "-1"},
                                           {50, "0"},
                                           {51, "90"}})));
  ASSERT_EQ(document->Entities().size(), 1u);
  ExpectBox(EntityExtents(*document, document->Entities()[0]), -11, 0, -10, 1);
}

TEST(DxfLoaderTest, DimensionsDrawTheirBlockPaperSpaceIsLeftOut)
{
  const std::string blocks = Block("*D1", Groups({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "5"}, {21, "0"}}));
  const std::string entities = Groups({{0, "DIMENSION"}, {8, "DIMS"}, {2, "*D1"}, {10, "5"}, {20, "0"}, {70, "0"}})
                               + Groups({{0, "LINE"}, {8, "0"}, {67, "1"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7) + LayerEntry("DIMS", 2), blocks, entities));
  ASSERT_EQ(document->Entities().size(), 1u);
  const Entity &line = document->Entities()[0];
  EXPECT_EQ(line.type, TypeLine);
  EXPECT_EQ(document->Layers()[line.layer].name, "DIMS");
  EXPECT_EQ(line.aci, 2);
  ExpectBox(EntityExtents(*document, line), 0, 0, 5, 0);
}

TEST(DxfLoaderTest, MissingBlockDrawsNothingAndSelfInsertIsAnError)
{
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", Insert("NOWHERE", "0", {})));
  EXPECT_TRUE(document->Entities().empty());

  const std::string loop = Block("LOOP", Insert("LOOP", "0", {{10, "1"}, {20, "0"}}));
  TempFile file(DxfFile(LayerEntry("0", 7), loop, Insert("LOOP", "0", {})));
  EXPECT_NE(LoadError(file.Path()).find("nested more than"), std::string::npos);
}

TEST(DxfLoaderTest, FrameAndLimitsCodes)
{
  const std::string limits = Groups({{9, "$LIMMIN"}, {10, "-10"}, {20, "-20"}, {9, "$LIMMAX"}, {10, "30"}, {20, "40"}});
  const std::string header = limits + Groups({{9, "$LIMCHECK"}, {70, "1"}});
  const std::string entities = Groups({{0, "LINE"}, {8, "Frame"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}})
                               + Groups({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "1"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7) + LayerEntry("Frame", -7), "", entities, header));
  const std::vector<Entity> &all = document->Entities();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].type, TypeFrame);
  EXPECT_EQ(all[0].shape, Shape::Segment);
  EXPECT_EQ(all[1].type, TypeLine);
  EXPECT_EQ(all[2].type, TypeLimits);
  ExpectBox(EntityExtents(*document, all[2]), -10, -20, 30, 40);
  ExpectBox(document->Extents(), -10, -20, 30, 40);

  // Without $LIMCHECK the limits are only recorded in the header.
  auto unchecked = LoadText(DxfFile(LayerEntry("0", 7), "", "", limits));
  EXPECT_EQ(CountTypes(*unchecked).count(TypeLimits), 0u);
  EXPECT_EQ(unchecked->Header().limMaxY, 40.0f);
}

TEST(DxfLoaderTest, TextEncodingsBecomeUtf8)
{
  const std::string entities =
    Groups({{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "45%%d \xB1 \\U+00E9"}})
    + Groups({{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "caf\xC3\xA9"}});
  auto document = LoadText(DxfFile(LayerEntry("0", 7), "", entities));
  ASSERT_EQ(document->Entities().size(), 2u);
  EXPECT_EQ(document->Text(document->Entities()[0]), "45\xC2\xB0 \xC2\xB1 \xC3\xA9");
  EXPECT_EQ(document->Text(document->Entities()[1]), "caf\xC3\xA9");
}

// A SPLINE as DXF groups: degree, knots, control points with weights
// (none when empty) and fit points.
std::string Spline(int degree, const std::vector<double> &knots, const std::vector<std::pair<double, double>> &control,
                   const std::vector<double> &weights = {}, const std::vector<std::pair<double, double>> &fit = {})
{
  std::vector<std::pair<int, std::string>> groups = {{0, "SPLINE"},
                                                     {8, "0"},
                                                     {70, weights.empty() ? "8" : "12"},
                                                     {71, std::to_string(degree)},
                                                     {72, std::to_string(knots.size())},
                                                     {73, std::to_string(control.size())},
                                                     {74, std::to_string(fit.size())}};
  auto number = [](double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return std::string(text);
  };
  for (double knot : knots)
    groups.push_back({40, number(knot)});
  for (double weight : weights)
    groups.push_back({41, number(weight)});
  for (const auto &point : control)
  {
    groups.push_back({10, number(point.first)});
    groups.push_back({20, number(point.second)});
    groups.push_back({30, "0"});
  }
  for (const auto &point : fit)
  {
    groups.push_back({11, number(point.first)});
    groups.push_back({21, number(point.second)});
    groups.push_back({31, "0"});
  }
  return Groups(groups);
}

std::vector<Point> PathOf(const Document &document, size_t index)
{
  uint32_t count = 0;
  const Point *points = document.Points(document.Entities().at(index), &count);
  return std::vector<Point>(points, points + count);
}

TEST(DxfLoaderTest, SplinesAreDrawnAlongTheirCurves)
{
  // A clamped cubic is a Bezier curve: its middle is (5, 7.5).
  auto cubic = LoadText(
    DxfFile(LayerEntry("0", 7), "", Spline(3, {0, 0, 0, 0, 1, 1, 1, 1}, {{0, 0}, {0, 10}, {10, 10}, {10, 0}})));
  ASSERT_EQ(cubic->Entities().size(), 1u);
  EXPECT_EQ(cubic->Entities()[0].shape, Shape::Path);
  std::vector<Point> path = PathOf(*cubic, 0);
  ASSERT_EQ(path.size() % 2, 1u);
  EXPECT_NEAR(path.front().x, 0, 1e-12);
  EXPECT_NEAR(path.back().x, 10, 1e-12);
  EXPECT_NEAR(path.back().y, 0, 1e-12);
  EXPECT_NEAR(path[path.size() / 2].x, 5, 1e-9);
  EXPECT_NEAR(path[path.size() / 2].y, 7.5, 1e-9);

  // Rational: a quarter of the unit circle, every point on it (libdime keeps
  // coordinates and weights in single precision; without the weights the
  // curve would stray by 0.1).
  auto quarter = LoadText(
    DxfFile(LayerEntry("0", 7), "", Spline(2, {0, 0, 0, 1, 1, 1}, {{1, 0}, {1, 1}, {0, 1}}, {1, std::sqrt(0.5), 1})));
  ASSERT_EQ(quarter->Entities().size(), 1u);
  path = PathOf(*quarter, 0);
  ASSERT_GT(path.size(), 8u);
  for (const Point &p : path)
    EXPECT_NEAR(std::hypot(p.x, p.y), 1, 1e-6);

  // Fit points only: the curve passes through each.
  auto fitted = LoadText(DxfFile(LayerEntry("0", 7), "", Spline(3, {}, {}, {}, {{0, 0}, {5, 5}, {10, 0}})));
  ASSERT_EQ(fitted->Entities().size(), 1u);
  path = PathOf(*fitted, 0);
  for (const auto &target : std::vector<Point>{{0, 0}, {5, 5}, {10, 0}})
    EXPECT_TRUE(std::any_of(path.begin(), path.end(),
                            [&](const Point &p) { return std::hypot(p.x - target.x, p.y - target.y) < 1e-9; }))
      << target.x << ", " << target.y;

  // Data that make no curve draw nothing and load: a knot missing,
  // decreasing knots, a degree beyond 11, a weight of 0.
  for (const std::string &bad :
       {Spline(3, {0, 0, 0, 1, 1, 1, 1}, {{0, 0}, {0, 10}, {10, 10}, {10, 0}}),
        Spline(3, {0, 0, 0, 0, 1, 0.5, 1, 1}, {{0, 0}, {0, 10}, {10, 10}, {10, 0}}),
        Spline(12, std::vector<double>(26, 0), std::vector<std::pair<double, double>>(13, {1, 1})),
        Spline(2, {0, 0, 0, 1, 1, 1}, {{1, 0}, {1, 1}, {0, 1}}, {1, 0, 1})})
  {
    auto document = LoadText(DxfFile(LayerEntry("0", 7), "", bad));
    EXPECT_EQ(document->Entities().size(), 0u);
  }
}

// $ACADVER and $DWGCODEPAGE say how the drawing's strings are encoded.
TEST(DxfLoaderTest, TextFollowsTheDrawingsCodePage)
{
  auto textOf = [](const std::string &version, const std::string &codePage, const std::string &raw) {
    std::string header;
    if (!version.empty())
      header += Groups({{9, "$ACADVER"}, {1, version}});
    if (!codePage.empty())
      header += Groups({{9, "$DWGCODEPAGE"}, {3, codePage}});
    auto document = LoadText(DxfFile(
      LayerEntry("0", 7), "", Groups({{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, raw}}), header));
    return document->Entities().empty() ? std::string("(none)") : document->Text(document->Entities()[0]);
  };
  // Cyrillic in 1251; the euro sign of 1252, which Latin-1 lacks; the
  // default page; UTF-8 bytes in an old drawing are its code page's letters.
  EXPECT_EQ(textOf("AC1015", "ANSI_1251", "\xC0\xE1\xE2"), "\xD0\x90\xD0\xB1\xD0\xB2");
  EXPECT_EQ(textOf("AC1015", "ANSI_1252", "5\x80"), "5\xE2\x82\xAC");
  EXPECT_EQ(textOf("AC1015", "", "5\x80"), "5\xE2\x82\xAC");
  EXPECT_EQ(textOf("AC1015", "ANSI_1252", "caf\xC3\xA9"), "caf\xC3\x83\xC2\xA9");
  // Shift-JIS: the second byte of a character may be a backslash, which
  // must not start an escape; the degree escape still works after it.
  EXPECT_EQ(textOf("AC1015", "ANSI_932", "\x95\x5CU+%%d"), "\xE8\xA1\xA8U+\xC2\xB0");
  // From AutoCAD 2007 on strings are UTF-8; a stray byte is replaced.
  EXPECT_EQ(textOf("AC1021", "ANSI_1251", "caf\xC3\xA9 \xC0"), "caf\xC3\xA9 \xEF\xBF\xBD");
  // An unknown code page reads as 1252.
  EXPECT_EQ(textOf("AC1009", "ANSI_9999", "\xE9"), "\xC3\xA9");
}

TEST(DxfLoaderTest, BadFilesGiveOneClearError)
{
  const std::string dir = ::testing::TempDir();
  const std::string missing = dir + "zulan-no-such-drawing.dxf";
  EXPECT_NE(LoadError(missing).find(missing + ": cannot open"), std::string::npos);

  std::mt19937 random(11);
  std::string noise(3000, '\0');
  for (char &ch : noise)
  {
    ch = char(random());
  }
  const std::vector<std::pair<std::string, std::string>> cases = {
    {"", "empty (0 bytes)"},
    {"\n  \r\n\n", "empty"},
    {noise, "binary data"},
    {"AutoCAD Binary DXF\r\n\x1a", "malformed binary DXF at byte offset 0"},
    {"hello\nworld\n", "does not start with a group code"},
    {"0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1\n", "truncated"},
    {"0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n1\n20\nabc\n0\nENDSEC\n0\nEOF\n", "malformed DXF"},
  };
  for (const auto &[contents, problem] : cases)
  {
    TempFile file(contents);
    const std::string message = LoadError(file.Path());
    EXPECT_EQ(message.rfind(file.Path() + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(problem), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

TEST(DxfLoaderTest, TruncatedExamplesFailEverywhere)
{
  const std::string plan = ReadFile(Examples + "/floorplan.dxf");
  ASSERT_GT(plan.size(), 1000u);
  for (size_t length = 1; length < plan.size() - 6; length += plan.size() / 37)
  {
    TempFile file(plan.substr(0, length));
    EXPECT_NE(LoadError(file.Path()), "(loaded)") << "cut at " << length;
  }
}

TEST(DxfLoaderTest, DamagedExamplesNeverCrash)
{
  // Lines swapped, dropped or changed anywhere: a drawing or an error.
  const std::string part = ReadFile(Examples + "/bracket.dxf");
  std::vector<std::string> lines;
  std::istringstream in(part);
  for (std::string line; std::getline(in, line);)
  {
    lines.push_back(line);
  }
  std::mt19937 random(5);
  for (int round = 0; round < 60; ++round)
  {
    std::vector<std::string> damaged = lines;
    for (int k = 0; k < 3; ++k)
    {
      const size_t at = random() % (damaged.size() - 4);
      switch (random() % 3)
      {
      case 0:
        std::swap(damaged[at], damaged[at + 1]);
        break;
      case 1:
        damaged.erase(damaged.begin() + at);
        break;
      default:
        damaged[at] = std::to_string(int(random() % 2000) - 1000);
        break;
      }
    }
    std::string text;
    for (const std::string &line : damaged)
    {
      text += line + "\n";
    }
    TempFile file(text);
    LoadError(file.Path());  // must return, whatever it says
  }
}

}  // namespace
}  // namespace zulan
