// How many steps a conic is cut into (conic.h).
#include "conic.h"

namespace zulan
{

int ConicSteps(double sweep, double step, int fewest, int most, double slack)
{
  const double steps = std::ceil(std::fabs(sweep) / step - slack);
  if (!(steps > fewest))
    return fewest;
  return steps < most ? int(steps) : most;
}

double ChordStep(double radius, double maxChordError)
{
  return radius > maxChordError ? 2 * std::acos(1 - maxChordError / radius) : 1;
}

}  // namespace zulan
