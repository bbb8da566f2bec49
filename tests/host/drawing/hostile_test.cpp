// Drawings made to hurt the loader: angles far beyond one turn, and a crash
// while libdime holds the file. Every file that once broke the loader is in
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

using test::Groups;
using test::TempFile;

constexpr double kPi = 3.14159265358979323846;

std::string LoadError(const std::string &path)
{
  try
  {
    Document::Load(path);
  }
  catch (const Document::LoadError &error)
  {
    return error.what();
  }
  return "(loaded)";
}

std::unique_ptr<Document> LoadText(const std::string &dxf)
{
  TempFile file(dxf);
  return Document::Load(file.Path());
}

std::string Entities(const std::string &entities)
{
  return Groups({{0, "SECTION"}, {2, "ENTITIES"}}) + entities
         + Groups({{0, "ENDSEC"}, {0, "EOF"}});
}

TEST(HostileDxfTest, AnglesBeyondOneTurnAreReducedToIt)
{
  const std::string hatchArc = Groups({{0, "HATCH"}, {8, "0"},   {2, "SOLID"}, {70, "1"},
                                       {91, "1"},    {92, "1"},  {93, "1"},    {72, "2"},
                                       {10, "0"},    {20, "0"},  {40, "1"},    {50, "1e20"},
                                       {51, "0"},    {73, "1"},  {97, "0"}});
  auto document = LoadText(Entities(
      Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "1e20"}, {51, "0"}})
      + Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "-1e20"}, {51, "1e20"}})
      + Groups({{0, "ELLIPSE"}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "2"}, {21, "0"},
                {40, "0.5"}, {41, "-3e30"}, {42, "1e30"}})
      // 810 degrees is 90, -270 is 90 again: a full turn from 90 degrees.
      + Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "810"}, {51, "-270"}})
      // -630 degrees is 90 and 720 is 0: three quarters of a turn.
      + Groups({{0, "ARC"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {50, "-630"}, {51, "720"}})
      + hatchArc));
  const std::vector<Entity> &all = document->Entities();
  ASSERT_EQ(all.size(), 6u);
  for (size_t i = 0; i < 5; ++i)
  {
    const double t0 = all[i].geometry[6], t1 = all[i].geometry[7];
    EXPECT_TRUE(t0 >= 0 && t0 < 2 * kPi) << "entity " << i << " starts at " << t0;
    EXPECT_TRUE(t1 > t0 && t1 - t0 <= 2 * kPi + 1e-12) << "entity " << i << " ends at " << t1;
  }
  EXPECT_NEAR(all[3].geometry[6], kPi / 2, 1e-12);
  EXPECT_NEAR(all[3].geometry[7], kPi / 2 + 2 * kPi, 1e-12);
  EXPECT_NEAR(all[4].geometry[6], kPi / 2, 1e-12);
  EXPECT_NEAR(all[4].geometry[7], 2 * kPi, 1e-12);
  uint32_t count;
  document->Points(all[5], &count);
  EXPECT_GT(count, 2u);
  EXPECT_LE(count, 721u);
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
        StderrCapture capture; // libdime's stderr is swapped; descriptor 2 is not
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
    testing::Values(
        std::make_pair("dxf-block-inserts-itself.dxf", "nested more than 32 deep"),
        std::make_pair("dxf-ends-inside-entities.dxf", "truncated"),
        std::make_pair("dxf-nested-empty-arrays.dxf", "more than 10000000 placements"),
        std::make_pair("dxf-arc-start-angle-1e20.dxf", "(loaded)")),
    [](const testing::TestParamInfo<std::pair<std::string, std::string>> &info)
    {
      std::string name;
      for (char ch : info.param.first.substr(0, info.param.first.size() - 4))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

} // namespace
} // namespace zulan
