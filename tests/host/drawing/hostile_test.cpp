// Drawings made to hurt the loader: sizes beyond libdime's 16-bit vertex
// index, counts that disagree with their data, angles far beyond one turn,
// small files that expand without end, malformed numbers, and a crash while
// libdime holds the file. Every file that once broke the loader is in
// tests/regressions/ and is loaded here.
#include "dimeguard.h"
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace zulan
{
namespace
{

using test::Entities;
using test::Groups;
using test::LoadError;
using test::LoadText;
using test::TempFile;

constexpr double Pi = 3.14159265358979323846;

std::string LoadTextError(const std::string &dxf)
{
  TempFile file(dxf);
  return LoadError(file.Path());
}

std::string Vertices(int count)
{
  std::string text;
  for (int i = 0; i < count; ++i)
    text += Groups({{10, std::to_string(i)}, {20, std::to_string(i % 7)}});
  return text;
}

TEST(HostileDxfTest, LwPolylineBeyondLibdimesSixteenBitIndexLoads)
{
  // libdime counted these vertices in 16 bits and wrote before its arrays.
  const int n = 32824;
  auto document =
    LoadText(Entities(Groups({{0, "LWPOLYLINE"}, {8, "0"}, {90, std::to_string(n)}, {70, "0"}}) + Vertices(n)));
  ASSERT_EQ(document->Entities().size(), 1u);
  uint32_t count;
  const Point *points = document->Points(document->Entities()[0], &count);
  ASSERT_EQ(count, uint32_t(n));
  EXPECT_EQ(points[n - 1].x, n - 1);
  EXPECT_EQ(points[n - 1].y, (n - 1) % 7);

  // Closed, with the closing segment bulged: a half circle from (0,10) back
  // to (0,0) through (-5,5), ending before the start point.
  auto closed = LoadText(Entities(Groups({{0, "LWPOLYLINE"},
                                          {8, "0"},
                                          {90, "3"},
                                          {70, "1"},
                                          {10, "0"},
                                          {20, "0"},
                                          {10, "10.25"},
                                          {20, "0"},
                                          {10, "0"},
                                          {20, "10"},
                                          {42, "1"}})));
  ASSERT_EQ(closed->Entities().size(), 1u);
  const Point *ring = closed->Points(closed->Entities()[0], &count);
  EXPECT_EQ(count, 3u + 89u);   // 180 degrees in 2-degree steps, the start not repeated
  EXPECT_EQ(ring[1].x, 10.25);  // kept exact, not in libdime's single precision
  EXPECT_NEAR(ring[3 + 44].x, -5, 1e-9);
  EXPECT_NEAR(ring[3 + 44].y, 5, 1e-9);
}

TEST(HostileDxfTest, LwPolylineCountMustMatchItsVertices)
{
  const std::string start = Groups({{0, "LWPOLYLINE"}, {8, "0"}});  // lines 5-8
  const std::vector<std::pair<std::string, std::string>> cases = {
    {Groups({{90, "1"}, {10, "0"}, {20, "0"}, {90, "4"}}), "line 15: the LWPOLYLINE starting at "
                                                           "line 5 gives 4 as its vertex count "
                                                           "but has 1 vertex"},
    {Groups({{90, "-1"}}) + Vertices(2), "line 9: the LWPOLYLINE starting at line 5 gives -1"},
    {Groups({{90, "2"}, {10, "0"}, {20, "0"}, {10, "1"}}), "line 15: an LWPOLYLINE vertex "
                                                           "without its y coordinate"},
    {Groups({{90, "1"}, {20, "0"}, {10, "0"}}), "line 11: an LWPOLYLINE y coordinate"},
    {Groups({{90, "1"}, {42, "1"}, {10, "0"}, {20, "0"}}), "line 11: an LWPOLYLINE bulge"},
  };
  for (const auto &[groups, problem] : cases)
  {
    const std::string message = LoadTextError(Entities(start + groups));
    EXPECT_NE(message.find("malformed DXF at " + problem), std::string::npos) << message;
  }
  // The count may come twice when it is right both times.
  auto twice = LoadText(Entities(start + Groups({{90, "2"}, {90, "2"}}) + Vertices(2)));
  EXPECT_EQ(twice->Entities().size(), 1u);
}

TEST(HostileDxfTest, NegativeCountsLibdimeAllocatesByAreRefused)
{
  // libdime sized arrays by these and threw from new[].
  for (int code : {72, 73, 74})
  {
    const std::string message = LoadTextError(
      Entities(Groups({{0, "SPLINE"}, {8, "0"}, {70, "8"}, {71, "3"}, {code, "-1"}, {10, "1"}, {20, "1"}})));
    EXPECT_NE(message.find("line 14: a SPLINE gives -1 as a count (group code " + std::to_string(code) + ")"),
              std::string::npos)
      << message;
  }
}

TEST(HostileDxfTest, SplineCountsMustMatchTheirValues)
{
  // libdime makes a spline's arrays by its counts at their first value: a
  // count without values left one unmade, which it then read.
  struct Case
  {
    std::vector<std::pair<int, std::string>> groups;
    const char *problem;  // nullptr: the spline is drawn
  };
  const std::pair<int, std::string> point[] = {{10, "0"}, {20, "0"}, {30, "0"}};
  auto knots = [](int n) {
    std::vector<std::pair<int, std::string>> groups = {{72, std::to_string(n)}};
    for (int i = 0; i < n; ++i)
      groups.push_back({40, i < n / 2 ? "0" : "1"});
    return groups;
  };
  auto with = [&](std::vector<std::pair<int, std::string>> groups, std::vector<std::pair<int, std::string>> more) {
    groups.insert(groups.end(), more.begin(), more.end());
    return groups;
  };
  const std::vector<std::pair<int, std::string>> twoPoints = {{73, "2"}, point[0],  point[1], point[2],
                                                              {10, "5"}, {20, "5"}, {30, "0"}};
  const Case cases[] = {
    {with(knots(4), twoPoints), nullptr},
    {with(knots(4), with(twoPoints, {{41, "1"}, {41, "2"}})), nullptr},
    {with(knots(4), {{73, "2"}, {74, "1"}}), "it gives 2 control points (group code 73) and has 0"},
    {with(knots(4), with(twoPoints, {{74, "1"}})), "it gives 1 fit points (group code 74) and has 0"},
    {with({{72, "3"}}, twoPoints), "it gives 3 knots (group code 72) and has 0"},
    {with(knots(4), {{73, "1"}, point[0], point[1], point[2], {10, "5"}, {20, "5"}}),
     "it gives 1 control points (group code 73) and has 2"},
    {with(knots(4), with(twoPoints, {{41, "1"}})), "it has 1 weights for 2 control points"},
  };
  for (const Case &c : cases)
  {
    std::vector<std::pair<int, std::string>> groups = {{0, "SPLINE"}, {8, "0"}, {70, "8"}, {71, "1"}};
    groups.insert(groups.end(), c.groups.begin(), c.groups.end());
    const std::string text = Entities(Groups({{0, "LINE"}, {8, "0"}, {11, "9"}, {21, "9"}}) + Groups(groups));
    const auto document = LoadText(text);
    const std::vector<std::string> warnings = document->Warnings();
    if (c.problem == nullptr)
    {
      EXPECT_EQ(document->Entities().size(), 2u);
      EXPECT_TRUE(warnings.empty());
      continue;
    }
    EXPECT_EQ(document->Entities().size(), 1u) << c.problem << ": the line stays, the spline goes";
    ASSERT_EQ(warnings.size(), 1u) << c.problem;
    EXPECT_NE(warnings[0].find("a SPLINE at line 13: "), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(c.problem), std::string::npos) << warnings[0];
  }
}

TEST(HostileDxfTest, AnglesBeyondOneTurnAreReducedToIt)
{
  const std::string hatchArc = Groups({{0, "HATCH"},
                                       {8, "0"},
                                       {2, "SOLID"},
                                       {70, "1"},
                                       {91, "1"},
                                       {92, "1"},
                                       {93, "1"},
                                       {72, "2"},
                                       {10, "0"},
                                       {20, "0"},
                                       {40, "1"},
                                       {50, "1e20"},
                                       {51, "0"},
                                       {73, "1"},
                                       {97, "0"}});
  auto document = LoadText(Entities(
    Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "1e20"}, {51, "0"}})
    + Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "-1e20"}, {51, "1e20"}})
    + Groups(
      {{0, "ELLIPSE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "2"}, {21, "0"}, {40, "0.5"}, {41, "-3e30"}, {42, "1e30"}})
    // 810 degrees is 90, -270 is 90 again: a full turn from 90 degrees.
    + Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "810"}, {51, "-270"}})
    // -630 degrees is 90 and 720 is 0: three quarters of a turn.
    + Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "-630"}, {51, "720"}}) + hatchArc));
  const std::vector<Entity> &all = document->Entities();
  ASSERT_EQ(all.size(), 6u);
  for (size_t i = 0; i < 5; ++i)
  {
    const double t0 = all[i].geometry[6], t1 = all[i].geometry[7];
    EXPECT_TRUE(t0 >= 0 && t0 < 2 * Pi) << "entity " << i << " starts at " << t0;
    EXPECT_TRUE(t1 > t0 && t1 - t0 <= 2 * Pi + 1e-12) << "entity " << i << " ends at " << t1;
  }
  EXPECT_NEAR(all[3].geometry[6], Pi / 2, 1e-12);
  EXPECT_NEAR(all[3].geometry[7], Pi / 2 + 2 * Pi, 1e-12);
  EXPECT_NEAR(all[4].geometry[6], Pi / 2, 1e-12);
  EXPECT_NEAR(all[4].geometry[7], 2 * Pi, 1e-12);
  uint32_t count;
  document->Points(all[5], &count);
  EXPECT_GT(count, 2u);
  EXPECT_LE(count, 721u);
}

TEST(HostileDxfTest, ArrayCellsShareTheirBlocksPoints)
{
  // A block's points are made once; every cell still gets its own place.
  const std::string block = Groups({{0, "BLOCK"}, {8, "0"}, {2, "P"}, {70, "0"}, {10, "0"}, {20, "0"}, {3, "P"}})
                            + Groups({{0, "LWPOLYLINE"}, {8, "0"}, {90, "2"}, {70, "0"}}) + Vertices(2)
                            + Groups({{0, "ENDBLK"}, {8, "0"}});
  const std::string array =
    Groups({{0, "INSERT"}, {8, "0"}, {2, "P"}, {10, "0"}, {20, "0"}, {70, "2"}, {71, "2"}, {44, "10"}, {45, "100"}});
  auto document = LoadText(Groups({{0, "SECTION"}, {2, "BLOCKS"}}) + block + Groups({{0, "ENDSEC"}}) + Entities(array));
  ASSERT_EQ(document->Entities().size(), 4u);
  const double expected[4][2] = {{0, 0}, {10, 0}, {0, 100}, {10, 100}};
  for (size_t i = 0; i < 4; ++i)
  {
    uint32_t count;
    const Point *points = document->Points(document->Entities()[i], &count);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(points[1].x, expected[i][0] + 1) << "cell " << i;
    EXPECT_EQ(points[1].y, expected[i][1] + 1) << "cell " << i;
  }
}

TEST(HostileDxfTest, MalformedNumbersAreRefusedWithTheirLine)
{
  struct Case
  {
    int code;
    std::string value;
    std::string problem;
  };
  const std::vector<Case> cases = {
    {10, "1O.5", "\"1O.5\" is not a number (group code 10 takes a real number)"},
    {10, "-1e400", "-1e400 is out of range (group code 10 takes a real number up to"},
    {10, "4e38", "4e38 is out of range"},
    {10, "", "\"\" is not a number"},
    {10, "nan", "is not a number"},
    {10, "inf", "is not a number"},
    {10, "0x1p3", "is not a number"},
    {10, "1,5", "is not a number"},
    {10, "1e", "is not a number"},
    {10, "--1", "is not a number"},
    {10, "1." + std::string(600, '0'), "a number of 602 characters"},
    {62, "1.5", "\"1.5\" is not an integer (group code 62 takes a 16-bit integer)"},
    {62, "40000", "40000 is out of range (group code 62 takes a 16-bit integer, -32768 to 32767)"},
    {90, "3000000000", "out of range (group code 90 takes a 32-bit integer"},
    {280, "200", "out of range (group code 280 takes an 8-bit integer, -128 to 127)"},
    {160, "99999999999999999999", "out of range (group code 160 takes a 64-bit integer"},
  };
  for (const Case &c : cases)
  {
    // An entity holding a number out of range is left out with a warning;
    // the same number in the header refuses the file.
    const std::string line = Entities(Groups({{0, "LINE"}, {8, "0"}, {c.code, c.value}, {20, "0"}}));
    const bool outOfRange = c.problem.find("out of range") != std::string::npos;
    std::string message = LoadTextError(line);
    if (outOfRange)
    {
      EXPECT_EQ(message, "(loaded)");
      const std::vector<std::string> warnings = LoadText(line)->Warnings();
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find("1 entity left out for values out of range; the first, a LINE at "
                                 "line 5: "),
                std::string::npos)
        << warnings[0];
      EXPECT_NE(warnings[0].find(c.problem), std::string::npos) << warnings[0];
      message = LoadTextError(Groups({{0, "SECTION"}, {2, "HEADER"}, {9, "$EXTMIN"}, {c.code, c.value}})
                              + Groups({{0, "ENDSEC"}, {0, "EOF"}}));
      EXPECT_NE(message.find("malformed DXF at line 8: "), std::string::npos) << message;
    }
    else
    {
      EXPECT_NE(message.find("malformed DXF at line 10: "), std::string::npos) << message;
    }
    EXPECT_NE(message.find(c.problem), std::string::npos) << message;
  }
  for (const std::string code : {"abc", "1072", "-1", "99999999999999999999"})
  {
    const std::string message = LoadTextError(Entities("0\nLINE\n" + code + "\n0\n"));
    EXPECT_NE(message.find("malformed DXF at line 7: \"" + code + "\" is not a"), std::string::npos) << message;
  }
  // Every form a DXF writer uses still reads, blank lines between pairs too,
  // and handles that are names or empty, as LibreCAD writes them.
  auto document =
    LoadText(Entities("0\nLINE\n  8\nL\n\n10\n.5\n 20 \n5.\n11\n+1\n21\n 1E+05 \n\n0\nLINE\n10\n-0.25e-1\n"
                      "20\n1e-400\n11\n 3 \n21\n-0\n340\nStandard\n341\n\n"));
  ASSERT_EQ(document->Entities().size(), 2u);
  const double *g = document->Entities()[0].geometry;
  EXPECT_EQ(g[0], 0.5);
  EXPECT_EQ(g[1], 5);
  EXPECT_EQ(g[2], 1);
  EXPECT_EQ(g[3], 1e5);
  EXPECT_FLOAT_EQ(document->Entities()[1].geometry[0], -0.025f);
  EXPECT_EQ(document->Entities()[1].geometry[1], 0);
}

TEST(HostileDxfTest, LibdimesComplaintsGiveTheFilesLine)
{
  // Blank lines and LWPOLYLINE vertices are not in the text libdime reads;
  // its complaint about the unfinished BLOCK still names the file's line.
  const std::string text =
    "\n\n" + Groups({{0, "SECTION"}, {2, "ENTITIES"}, {0, "LWPOLYLINE"}, {8, "0"}, {90, "3"}}) + Vertices(3)
    + Groups({{0, "ENDSEC"}, {0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {0, "LINE"}, {0, "ENDSEC"}, {0, "EOF"}});
  EXPECT_NE(LoadTextError(text).find("malformed DXF (DXF loading failed at line 38)"), std::string::npos)
    << LoadTextError(text);
}

TEST(HostileDxfDeathTest, CrashWhileLibdimeHoldsTheFileNamesIt)
{
  const std::string note = "x\\.dxf: the DXF reader crashed while reading the drawing ";
  EXPECT_DEATH(
    {
      CrashNote crash("x.dxf");
      volatile uintptr_t address = 8;
      *reinterpret_cast<volatile int *>(address) = 1;
    },
    note + "\\(segmentation fault\\)");
  EXPECT_DEATH(
    {
      CrashNote crash("x.dxf");
      StderrCapture capture;  // libdime's stderr is swapped; descriptor 2 is not
      abort();
    },
    note + "\\(aborted\\)");
}

class RegressionFileTest : public testing::TestWithParam<std::pair<std::string, std::string>>
{
};

TEST_P(RegressionFileTest, LoadsOrFailsAsExpected)
{
  const std::string path = std::string(ZULAN_REGRESSIONS_DIR) + "/" + GetParam().first;
  const std::string message = LoadError(path);
  EXPECT_NE(message.find(GetParam().second), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
  Drawings, RegressionFileTest,
  testing::Values(std::make_pair("dxf-block-inserts-itself.dxf", "nested more than 32 deep"),
                  std::make_pair("dxf-ends-inside-entities.dxf", "truncated"),
                  std::make_pair("dxf-nested-empty-arrays.dxf", "more than 20000000 placements and entities"),
                  std::make_pair("dxf-minsert-of-undrawn-points.dxf", "more than 20000000 placements"),
                  std::make_pair("dxf-minsert-bulged-polyline.dxf", "points in polylines, solids and fills"),
                  std::make_pair("dxf-lwpolyline-count-twice.dxf", "gives 4 as its vertex count"),
                  std::make_pair("dxf-lwpolyline-claims-2e9-vertices.dxf", "gives 2000000000 as its"),
                  std::make_pair("dxf-arc-start-angle-1e20.dxf", "(loaded)"),
                  std::make_pair("dxf-number-letter-o.dxf", "line 10: \"1O.5\" is not a number"),
                  std::make_pair("dxf-number-beyond-double.dxf", "(loaded)"),  // the line left out
                  std::make_pair("dxf-number-of-1000-digits.dxf", "a number of 1000 characters"),
                  std::make_pair("dxf-second-entities-section.dxf", "line 19: a second ENTITIES section"),
                  std::make_pair("dxf-table-negative-count.dxf", "line 10: a TABLE gives -1 as a count"),
                  std::make_pair("dxf-spline-fit-count-without-points.dxf", "(loaded)")),  // the spline left out
  [](const testing::TestParamInfo<std::pair<std::string, std::string>> &param) {
    std::string name;
    for (char ch : param.param.first.substr(0, param.param.first.size() - 4))
      name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
  });

}  // namespace
}  // namespace zulan
