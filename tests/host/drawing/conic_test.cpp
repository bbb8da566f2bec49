// The conic step rule and the points it gives: the counts each user of it
// relies on, the limits, and that the rasteriser's chord step holds its
// error.
#include "conic.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace zulan
{
namespace
{

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Infinity = std::numeric_limits<double>::infinity();

struct StepsCase
{
  const char *what;
  double sweep, step;
  int fewest, most;
  double slack;
  int expected;
};

TEST(ConicStepsTest, CountsWithinLimits)
{
  const StepsCase cases[] = {
    {"full turn, 2 degrees", 2 * Pi, 2 * Degrees, 2, 720, 1e-9, 180},
    {"full turn, half degrees", 2 * Pi, Pi / 360, 2, 720 * 8, 0, 720},
    {"part step rounds up", 2.5 * Degrees, 2 * Degrees, 1, 720, 1e-9, 2},
    {"direction does not count", -Pi / 2, 2 * Degrees, 1, 720, 1e-9, 45},
    {"tiny sweep takes the fewest", 1e-12, 2 * Degrees, 4, 720, 0, 4},
    {"zero sweep takes the fewest", 0, 2 * Degrees, 2, 720, 0, 2},
    {"huge sweep stops at the most", 1e300, 2 * Degrees, 2, 720, 0, 720},
    {"infinite sweep stops at the most", Infinity, 2 * Degrees, 2, 65536, 0, 65536},
    {"not a number takes the fewest", Nan, 2 * Degrees, 4, 65536, 0, 4},
    // 29 steps of 2 degrees come back a hair over 29 steps.
    {"slack absorbs rounding", 29 * (2 * Degrees), 2 * Degrees, 1, 720, 1e-9, 29},
    {"without slack it takes one more", 29 * (2 * Degrees), 2 * Degrees, 1, 720, 0, 30},
  };
  for (const StepsCase &c : cases)
    EXPECT_EQ(ConicSteps(c.sweep, c.step, c.fewest, c.most, c.slack), c.expected) << c.what;
}

TEST(ConicStepsTest, ChordStepKeepsTheError)
{
  for (double radius : {0.6, 3.0, 100.0, 1e5})
  {
    const double step = ChordStep(radius, 0.25);
    // The chord's midpoint lies radius·cos(step/2) from the centre.
    EXPECT_NEAR(radius - radius * std::cos(step / 2), 0.25, 1e-9) << radius;
    EXPECT_GT(step, 0);
    EXPECT_LT(step, Pi);
  }
  EXPECT_EQ(ChordStep(0.25, 0.25), 1);
  EXPECT_EQ(ChordStep(0.1, 0.25), 1);
}

TEST(ConicPointsTest, EllipseQuarterFromStartToEnd)
{
  // An ellipse 4 across and 2 high round (10, 20), from its right end to
  // its top.
  std::vector<Point> points;
  ConicPoints({10, 20}, {2, 0}, {0, 1}, 0, Pi / 2, 6, [&](Point p) { points.push_back(p); });
  ASSERT_EQ(points.size(), 7u);
  EXPECT_EQ(points.front().x, 12);
  EXPECT_EQ(points.front().y, 20);
  EXPECT_NEAR(points.back().x, 10, 1e-12);
  EXPECT_NEAR(points.back().y, 21, 1e-12);
  for (const Point &p : points)
  {
    const double dx = (p.x - 10) / 2, dy = p.y - 20;
    EXPECT_NEAR(dx * dx + dy * dy, 1, 1e-12);
  }
  for (size_t k = 1; k < points.size(); ++k)
    EXPECT_GT(points[k].y, points[k - 1].y) << "not counter-clockwise at " << k;
}

}  // namespace
}  // namespace zulan
