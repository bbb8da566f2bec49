// What the loader keeps or leaves out for speed must not change a drawing:
// MTEXT layouts kept by contents and format, the groups of plain entities
// that libdime is not given, and the zeros left off its reals.
#include <gtest/gtest.h>

#include <cstring>

#include "drawing.h"
#include "dxftestfiles.h"
#include "dxfvalues.h"
#include "mtextlayouts.h"

namespace zulan
{
namespace
{

using test::Groups;
using test::Load;

void ExpectSameLayout(const MTextLayout &kept, const std::vector<MTextRun> &runs, const std::vector<Rect> &frames)
{
  ASSERT_EQ(kept.runs.size(), runs.size());
  for (size_t i = 0; i < runs.size(); ++i)
  {
    const MTextRun &a = kept.runs[i], &b = runs[i];
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.aci, b.aci);
    EXPECT_EQ(a.advanceEms, b.advanceEms);
  }
  ASSERT_EQ(kept.frames.size(), frames.size());
  for (size_t i = 0; i < frames.size(); ++i)
    EXPECT_EQ(0, std::memcmp(&kept.frames[i], &frames[i], sizeof(Rect)));
}

// Record for record, point for point, string for string.
void ExpectSameRecords(const Document &first, const Document &second)
{
  ASSERT_FALSE(first.Entities().empty());
  ASSERT_EQ(first.Entities().size(), second.Entities().size());
  for (size_t i = 0; i < first.Entities().size(); ++i)
  {
    const Entity &a = first.Entities()[i], &b = second.Entities()[i];
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof(Entity))) << "record " << i;
    uint32_t na, nb;
    const Point *pa = first.Points(a, &na), *pb = second.Points(b, &nb);
    ASSERT_EQ(na, nb);
    EXPECT_TRUE(na == 0 || std::memcmp(pa, pb, na * sizeof(Point)) == 0);
    EXPECT_EQ(first.Text(a), second.Text(b));
  }
}

// Each format differs from the first in one field: a layout kept for the
// first must not be handed out for it.
TEST(MTextLayoutsTest, EveryFieldOfTheFormatTellsLayoutsApart)
{
  const std::string contents = "Mixed {\\H1.5x;notes} on\\Ptwo lines and a few more words to wrap";
  MTextFormat base;
  base.height = 2.5;
  base.width = 40;
  std::vector<std::pair<const char *, MTextFormat>> formats(8, {"", base});
  formats[1] = {"height", base};
  formats[1].second.height = 3;
  formats[2] = {"width", base};
  formats[2].second.width = 20;
  formats[3] = {"spacing", base};
  formats[3].second.spacing = 2;
  formats[4] = {"attachment", base};
  formats[4].second.attachment = 5;
  formats[5] = {"columns", base};
  formats[5].second.columnType = 1;
  formats[5].second.columnCount = 2;
  formats[5].second.columnHeights = {5};
  formats[6] = formats[5];
  formats[6].first = "gutter";
  formats[6].second.gutter = 7;
  formats[7] = formats[5];
  formats[7].first = "column heights";
  formats[7].second.columnHeights = {5, 10};

  MTextLayouts layouts;
  for (int round = 0; round < 2; ++round)  // the second from what was kept
  {
    for (const auto &[field, format] : formats)
    {
      SCOPED_TRACE(std::string(field) + (round ? ", kept" : ""));
      std::vector<MTextRun> runs;
      std::vector<Rect> frames;
      ASSERT_TRUE(LayoutMText(contents, format, 1000, &runs, &frames));
      const MTextLayout *kept = layouts.Get(contents, format, 1000);
      ASSERT_NE(kept, nullptr);
      ExpectSameLayout(*kept, runs, frames);
    }
  }
  // Too many runs for the limit is refused whether or not it was kept.
  EXPECT_EQ(layouts.Get(contents, base, 1), nullptr);
}

// Handles, owners, reactors and subclass markers, as AutoCAD writes them
// round each kind of plain entity, change none of its records.
TEST(PlainEntitiesTest, HandlesOwnersAndSubclassMarkersChangeNoRecord)
{
  using PairList = std::vector<std::pair<int, std::string>>;
  const PairList common = {{5, "2F"},   {102, "{ACAD_REACTORS"}, {330, "1A"}, {102, "}"},
                           {330, "1F"}, {100, "AcDbEntity"}};
  struct Case
  {
    const char *kind, *subclass;
    PairList own;
  };
  const Case cases[] = {
    {"LINE", "AcDbLine", {{10, "1"}, {20, "2"}, {11, "30"}, {21, "40"}}},
    {"CIRCLE", "AcDbCircle", {{10, "50"}, {20, "50"}, {40, "20"}}},
    {"ARC", "AcDbCircle", {{10, "50"}, {20, "50"}, {40, "20"}, {100, "AcDbArc"}, {50, "10"}, {51, "200"}}},
    {"LWPOLYLINE",
     "AcDbPolyline",
     {{90, "3"}, {70, "1"}, {10, "0"}, {20, "0"}, {42, "0.5"}, {10, "40"}, {20, "0"}, {10, "40"}, {20, "30"}}},
    {"TEXT",
     "AcDbText",
     {{10, "5"}, {20, "5"}, {40, "8"}, {1, "Plain"}, {72, "1"}, {11, "50"}, {21, "5"}, {100, "AcDbText"}, {73, "0"}}},
    {"POINT", "AcDbPoint", {{10, "70"}, {20, "70"}}},
    {"INSERT", "AcDbBlockReference", {{2, "PART"}, {10, "20"}, {20, "30"}, {50, "15"}}},
  };
  const std::string block = "0\nBLOCK\n8\n0\n2\nPART\n70\n0\n10\n0\n20\n0\n"
                            + Groups({{0, "LINE"},
                                      {5, "3A"},
                                      {330, "1F"},
                                      {100, "AcDbEntity"},
                                      {8, "0"},
                                      {100, "AcDbLine"},
                                      {10, "0"},
                                      {20, "0"},
                                      {11, "10"},
                                      {21, "5"}})
                            + "0\nENDBLK\n";
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.kind);
    PairList bare = {{0, c.kind}, {8, "0"}}, marked = {{0, c.kind}};
    marked.insert(marked.end(), common.begin(), common.end());
    marked.insert(marked.end(), {{8, "0"}, {100, c.subclass}});
    for (const auto &group : c.own)
    {
      marked.push_back(group);
      if (group.first != 100)
        bare.push_back(group);
    }
    ExpectSameRecords(*Load(Groups(bare), block), *Load(Groups(marked), block));
  }
}

// Lines and points are seen from above, where their x and y put them: their
// heights, thickness and extrusion (left out of libdime's text) change no
// record, in a block or not.
TEST(PlainEntitiesTest, HeightsAndExtrusionsOfLinesAndPointsChangeNoRecord)
{
  using PairList = std::vector<std::pair<int, std::string>>;
  const PairList heights = {{30, "7"}, {31, "-9"}, {39, "2.5"}, {210, "0.6"}, {220, "0"}, {230, "-0.8"}};
  const PairList shapes[] = {{{0, "LINE"}, {8, "0"}, {10, "1"}, {20, "2"}, {11, "30"}, {21, "40"}},
                             {{0, "POINT"}, {8, "0"}, {10, "70"}, {20, "70"}}};
  for (const PairList &shape : shapes)
  {
    SCOPED_TRACE(shape[0].second);
    PairList raised = shape;
    raised.insert(raised.end(), heights.begin(), heights.end());
    const std::string insert = Groups({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "5"}, {20, "5"}});
    auto block = [](const PairList &contents) {
      return "0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n" + Groups(contents) + "0\nENDBLK\n";
    };
    ExpectSameRecords(*Load(Groups(shape) + insert, block(shape)), *Load(Groups(raised) + insert, block(raised)));
  }
}

// Reals reach libdime without the zeros that end their fractions ("2.500"
// as "2.5", "5.000" as "5"); spelt with an exponent they reach it as they
// are. Both must read as the same numbers in every kind of entity, in
// single precision and in double (the extrusion), and in the records that
// are read group by group.
TEST(PlainEntitiesTest, RealsWithoutTrailingZerosReadAsTheSameNumbers)
{
  using PairList = std::vector<std::pair<int, std::string>>;
  const PairList entities[] = {
    {{0, "LINE"}, {8, "0"}, {10, "0.1"}, {20, "-0"}, {30, "0"}, {11, "12.5"}, {21, "3"}, {31, "0"}},
    {{0, "CIRCLE"}, {8, "0"}, {10, "50"}, {20, "-7.25"}, {40, "0.3"}, {210, "0"}, {220, "0"}, {230, "-1"}},
    {{0, "ARC"}, {8, "0"}, {10, "5"}, {20, "5"}, {40, "2.75"}, {50, "10.5"}, {51, "200"}},
    {{0, "ELLIPSE"}, {8, "0"}, {10, "1"}, {20, "2"}, {11, "4.5"}, {21, "0"}, {40, "0.25"}, {41, "0"}, {42, "3.1"}},
    {{0, "LWPOLYLINE"},
     {8, "0"},
     {90, "2"},
     {70, "0"},
     {43, "0.5"},
     {10, "0"},
     {20, "0"},
     {42, "0.4"},
     {10, "40.1"},
     {20, "2"}},
    {{0, "TEXT"}, {8, "0"}, {10, "5"}, {20, "5.5"}, {40, "2.5"}, {50, "30"}, {41, "0.8"}, {1, "Plain"}},
    {{0, "MTEXT"}, {8, "0"}, {10, "1.5"}, {20, "2"}, {40, "2.5"}, {41, "40"}, {71, "1"}, {1, "Two words"}},
    {{0, "INSERT"}, {8, "0"}, {2, "PART"}, {10, "20.5"}, {20, "30"}, {41, "1.5"}, {42, "0.5"}, {50, "15"}},
    {{0, "DIMENSION"},
     {8, "0"},
     {70, "0"},
     {10, "0"},
     {20, "10.5"},
     {13, "0"},
     {23, "0"},
     {14, "30.25"},
     {24, "0"},
     {50, "0"}},
    {{0, "HATCH"}, {8, "0"},  {10, "0"}, {20, "0"},    {30, "0"}, {210, "0"}, {220, "0"}, {230, "1"}, {2, "SOLID"},
     {70, "1"},    {71, "0"}, {91, "1"}, {92, "2"},    {72, "0"}, {73, "1"},  {93, "3"},  {10, "0"},  {20, "0"},
     {10, "10.5"}, {20, "0"}, {10, "0"}, {20, "7.75"}, {97, "0"}, {75, "1"},  {76, "1"},  {98, "0"}},
  };
  const std::string block = "0\nBLOCK\n8\n0\n2\nPART\n70\n0\n10\n0.5\n20\n0\n"
                            + Groups({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "5"}})
                            + "0\nENDBLK\n";
  auto spelt = [](const PairList &pairs, bool zeros) {
    PairList out = pairs;
    for (auto &[code, value] : out)
    {
      if (TypeOf(code) == ValueType::Real)
        value += zeros ? (value.find('.') == std::string::npos ? ".000" : "000") : "E0";
    }
    return Groups(out);
  };
  for (const PairList &entity : entities)
  {
    SCOPED_TRACE(entity[0].second);
    ExpectSameRecords(*Load(spelt(entity, true), block), *Load(spelt(entity, false), block));
  }
}

// The SEQEND that ends an insert's attributes has groups of its own (a
// layer, a handle); the insert keeps its layer whatever they say.
TEST(PlainEntitiesTest, TheSeqendAfterAttributesLeavesTheInsertItsLayer)
{
  const std::string block = "0\nBLOCK\n8\n0\n2\nP\n70\n2\n10\n0\n20\n0\n"
                            + Groups({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "5"}, {21, "5"}})
                            + "0\nENDBLK\n";
  const std::string entities = Groups({{0, "INSERT"},
                                       {8, "A"},
                                       {66, "1"},
                                       {2, "P"},
                                       {10, "1"},
                                       {20, "1"},
                                       {0, "ATTRIB"},
                                       {8, "A"},
                                       {10, "1"},
                                       {20, "1"},
                                       {40, "1"},
                                       {1, "x"},
                                       {2, "T"},
                                       {70, "0"},
                                       {0, "SEQEND"},
                                       {5, "3C"},
                                       {330, "2F"},
                                       {100, "AcDbEntity"},
                                       {8, "B"}});
  const auto document = Load(entities, block, test::LayerEntry("A", 1) + test::LayerEntry("B", 3));
  ASSERT_EQ(document->Entities().size(), 2u);
  for (const Entity &entity : document->Entities())
    EXPECT_EQ(document->Layers()[entity.layer].name, "A") << "type " << int(entity.type);
}

}  // namespace
}  // namespace zulan
