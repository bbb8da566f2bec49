// Conics as points: circles, arcs and ellipses stored as centre + u·cos t +
// v·sin t are cut into even steps of t by one rule. Each user picks the step:
// the rasteriser by chord error in pixels, the loader and the host's flat
// records by a fixed angle, as their outputs were fixed with.
#ifndef ZULAN_DRAWING_CONIC_H
#define ZULAN_DRAWING_CONIC_H

#include <cmath>

#include "drawing.h"

namespace zulan
{

inline constexpr double Pi = 3.14159265358979323846;
inline constexpr double Degrees = Pi / 180;

// Steps for a sweep: |sweep| / step rounded up, within [fewest, most],
// without casting an out-of-range double to int; fewest when it is not a
// number. A sweep up to `slack` of a step over whole steps takes no extra one.
int ConicSteps(double sweep, double step, int fewest, int most, double slack = 0);

// The longest step, in radians, whose chord stays within maxChordError of a
// circle of this radius; 1 when the whole circle is within it.
double ChordStep(double radius, double maxChordError);

// Hands add the steps + 1 points of the conic at t evenly from t0 to t1.
template <typename Add> void ConicPoints(Point centre, Point u, Point v, double t0, double t1, int steps, Add add)
{
  for (int k = 0; k <= steps; ++k)
  {
    const double t = t0 + (t1 - t0) * k / steps;
    add(Point{centre.x + u.x * std::cos(t) + v.x * std::sin(t), centre.y + u.y * std::cos(t) + v.y * std::sin(t)});
  }
}

}  // namespace zulan

#endif
