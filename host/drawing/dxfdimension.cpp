// LEADERs, drawn as the header's dimension variables size them: lines and
// filled arrowheads.
#include <dime/entities/Entity.h>

#include <cmath>

#include "dxfbuild.h"

namespace zulan
{
namespace
{

Point Add(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point Sub(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point Scaled(Point a, double s) { return {a.x * s, a.y * s}; }

bool Finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// The unit vector along d; false when d has no length.
bool Unit(Point d, Point *unit)
{
  const double length = std::hypot(d.x, d.y);
  if (!(length > 0) || !std::isfinite(length))
    return false;
  *unit = Scaled(d, 1 / length);
  return true;
}

// A closed filled arrowhead, its tip at `tip`, pointing along `direction`
// (a unit vector), a third as wide as it is long.
void AddArrow(Annotation *a, Point tip, Point direction, double size)
{
  if (!(size > 0))
    return;
  const Point back = Sub(tip, Scaled(direction, size));
  const Point side = Scaled({-direction.y, direction.x}, size / 6);
  const std::vector<Point> arrow = {tip, Add(back, side), Sub(back, side)};
  for (const Point &p : arrow)
  {
    if (!Finite(p))
      return;
  }
  a->arrows.push_back(arrow);
}

} // namespace

Annotation LeaderAnnotation(dimeEntity *leader, const DimensionStyle &style)
{
  Annotation a;
  std::vector<Point> path;
  bool arrow = true; // 71: AutoCAD's leaders have one unless it says not
  for (const RawRecord &r : RawRecords(leader))
  {
    if (r.code == 10)
      path.push_back({r.number, 0});
    else if (r.code == 20 && !path.empty())
      path.back().y = r.number;
    else if (r.code == 71)
      arrow = r.number == 1;
  }
  for (const Point &p : path)
  {
    if (!Finite(p))
      return a;
  }
  if (path.size() < 2)
    return a;
  for (size_t i = 1; arrow && i < path.size(); ++i)
  {
    Point direction;
    if (Unit(Sub(path[0], path[i]), &direction))
    {
      AddArrow(&a, path[0], direction, style.arrow * style.scale);
      break;
    }
  }
  a.lines.push_back(std::move(path));
  return a;
}

} // namespace zulan
