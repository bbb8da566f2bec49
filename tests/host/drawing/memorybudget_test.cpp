// The memory budget that bounds what a drawing expands to: what it refuses,
// what it says, and how ZULAN_MEMORY_BUDGET moves it.
#include <gtest/gtest.h>

#include "dxflimits.h"
#include "dxftestfiles.h"

namespace zulan
{
namespace
{

// The budget for one test.
class BudgetVariable : public test::EnvironmentVariable
{
public:
  explicit BudgetVariable(const char *value) : EnvironmentVariable(MemoryBudgetVariable, value) {}
};

// n lines in the drawing itself, no inserts: their records are refused as
// they are made, not by the count made beforehand.
std::string Lines(int n)
{
  std::string lines;
  for (int i = 0; i < n; ++i)
    lines += test::Line("0", 0, i, 10, i);
  return test::DxfFile(test::LayerEntry("0", 7), "", lines);
}

TEST(MemoryBudgetTest, RefusesOnlyBeyondTheBudgetAndSaysWhatWasNeeded)
{
  // 30000 records of 96 bytes: 2.75 MiB.
  const test::TempFile file(Lines(30000));
  struct Case
  {
    const char *budget;
    const char *outcome;
  };
  const Case cases[] = {
    {nullptr, "(loaded)"},  // a quarter of the machine's memory
    {"3", "(loaded)"},
    {"2", "the drawing's entities need 3 MiB of memory, more than its budget of 2 MiB (ZULAN_MEMORY_BUDGET sets it, "
          "in MiB)"},
    {"1", "need 3 MiB of memory, more than its budget of 1 MiB"},
  };
  for (const Case &c : cases)
  {
    BudgetVariable variable(c.budget);
    EXPECT_NE(test::LoadError(file.Path()).find(c.outcome), std::string::npos)
      << (c.budget ? c.budget : "default") << ": " << test::LoadError(file.Path());
  }
}

TEST(MemoryBudgetTest, UnreadableBudgetIsRefusedNamingTheVariable)
{
  const test::TempFile file(Lines(1));
  for (const char *bad : {"0", "-5", "12x", " 12", "1.5", "2G", "99999999999", "1073741825"})
  {
    BudgetVariable variable(bad);
    const std::string message = test::LoadError(file.Path());
    EXPECT_NE(message.find("ZULAN_MEMORY_BUDGET must be a whole number of MiB from 1 to 1073741824, not \""
                           + std::string(bad) + "\""),
              std::string::npos)
      << message;
  }
  BudgetVariable empty("");  // as good as unset
  EXPECT_EQ(test::LoadError(file.Path()), "(loaded)");
}

TEST(MemoryBudgetTest, BlockArraysAreRefusedBeforeTheyAreExpanded)
{
  // 300 x 300 placements of a block of 50 lines: 4.5 million records.
  std::string lines;
  for (int i = 0; i < 50; ++i)
    lines += test::Line("0", 0, i, 10, i);
  const std::string array = test::Groups(
    {{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "0"}, {70, "300"}, {71, "300"}, {44, "20"}, {45, "60"}});
  const test::TempFile file(test::DxfFile(test::LayerEntry("0", 7), test::Block("B", lines), array));
  BudgetVariable variable("64");
  const std::string message = test::LoadError(file.Path());
  EXPECT_NE(message.find("need 412 MiB of memory, more than its budget of 64 MiB"), std::string::npos) << message;
}

TEST(MemoryBudgetTest, PointsAreBoundedByTheBudgetAndNeverBelowTheFloor)
{
  // A MINSERT of a finely bulged polyline asks for billions of points.
  const std::string path = std::string(ZULAN_REGRESSIONS_DIR) + "/dxf-minsert-bulged-polyline.dxf";
  const std::pair<const char *, const char *> cases[] = {
    {"100", "the drawing expands to more than 16000000 points in polylines, solids and fills"},
    {"1024", "the drawing expands to more than 67108864 points in polylines, solids and fills"},
  };
  for (const auto &[budget, message] : cases)
  {
    BudgetVariable variable(budget);
    EXPECT_NE(test::LoadError(path).find(message), std::string::npos) << budget << ": " << test::LoadError(path);
  }
}

}  // namespace
}  // namespace zulan
