// Cutting lines and rings to a rectangle, for the rasteriser and for the
// Windows test host's GDI drawing.
#include "drawinginternal.h"

#include <algorithm>

namespace zulan
{

// Liang-Barsky: false when the segment misses the rectangle.
bool ClipSegment(const Rect &r, Point *a, Point *b)
{
  const double dx = b->x - a->x, dy = b->y - a->y;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a->x - r.x0, r.x1 - a->x, a->y - r.y0, r.y1 - a->y};
  for (int i = 0; i < 4; ++i)
  {
    if (p[i] == 0)
    {
      if (q[i] < 0)
        return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1)
      return false;
  }
  const Point start = *a;
  if (t1 < 1)
    *b = {start.x + t1 * dx, start.y + t1 * dy};
  if (t0 > 0)
    *a = {start.x + t0 * dx, start.y + t0 * dy};
  return true;
}

// Sutherland-Hodgman against one edge at a time.
std::vector<Point> ClipPolygon(const Rect &r, std::vector<Point> ring)
{
  auto clipEdge = [&](auto inside, auto cross) {
    std::vector<Point> out;
    for (size_t i = 0; i < ring.size(); ++i)
    {
      const Point &cur = ring[i], &prev = ring[(i + ring.size() - 1) % ring.size()];
      if (inside(cur))
      {
        if (!inside(prev))
          out.push_back(cross(prev, cur));
        out.push_back(cur);
      }
      else if (inside(prev))
      {
        out.push_back(cross(prev, cur));
      }
    }
    ring.swap(out);
  };
  auto atX = [](double x) {
    return [x](const Point &p, const Point &q) { return Point{x, p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x)}; };
  };
  auto atY = [](double y) {
    return [y](const Point &p, const Point &q) { return Point{p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y), y}; };
  };
  clipEdge([&](const Point &p) { return p.x >= r.x0; }, atX(r.x0));
  clipEdge([&](const Point &p) { return p.x <= r.x1; }, atX(r.x1));
  clipEdge([&](const Point &p) { return p.y >= r.y0; }, atY(r.y0));
  clipEdge([&](const Point &p) { return p.y <= r.y1; }, atY(r.y1));
  return ring;
}

}  // namespace zulan
