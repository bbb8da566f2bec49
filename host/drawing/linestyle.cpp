// Polylines with widths as filled outlines, and line types' dash patterns.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "drawinginternal.h"

namespace zulan
{

namespace
{

double Cross(Point a, Point b)
{
  return a.x * b.y - a.y * b.x;
}

// Joins reaching further than this many half widths are bevelled.
constexpr double MiterLimit = 4;

class RingWriter
{
public:
  RingWriter(std::vector<Point> *rings, size_t limit) : out(rings), room(limit) {}

  // Adds a ring turned counter-clockwise, so that with the nonzero rule
  // overlapping pieces make one band; rings without area are dropped.
  void Add(std::initializer_list<Point> ring)
  {
    double area = 0;
    const Point *p = ring.begin();
    const size_t n = ring.size();
    for (size_t i = 0; i < n; ++i)
      area += Cross(p[i], p[(i + 1) % n]);
    if (!(std::fabs(area) > 0))
      return;
    if (out->size() + n + 1 > room)
      throw WideOutlineTooLong();
    if (!out->empty())
      out->push_back({NAN, NAN});
    if (area > 0)
      out->insert(out->end(), ring.begin(), ring.end());
    else
      out->insert(out->end(), std::make_reverse_iterator(ring.end()), std::make_reverse_iterator(ring.begin()));
  }

private:
  std::vector<Point> *out;
  size_t room;
};

struct Edges
{
  Point leftA, leftB, rightA, rightB;
};

Edges SegmentEdges(const WideSegment &s)
{
  const Point d = Minus(s.b, s.a);
  const double length = std::hypot(d.x, d.y);
  const Point n{-d.y / length, d.x / length};  // left normal
  return {Plus(s.a, Times(n, s.wa / 2)), Plus(s.b, Times(n, s.wb / 2)), Minus(s.a, Times(n, s.wa / 2)),
          Minus(s.b, Times(n, s.wb / 2))};
}

// The corner where the edge p0-p1 and the edge q0-q1 meet, when it is
// near enough; otherwise the join is bevelled.
bool Miter(Point p0, Point p1, Point q0, Point q1, Point at, double reach, Point *corner)
{
  const Point r = Minus(p1, p0), s = Minus(q1, q0);
  const double denominator = Cross(r, s);
  if (!(std::fabs(denominator) > 1e-12 * std::hypot(r.x, r.y) * std::hypot(s.x, s.y)))
    return false;
  const double t = Cross(Minus(q0, p0), s) / denominator;
  *corner = Plus(p0, Times(r, t));
  const Point away = Minus(*corner, at);
  return std::hypot(away.x, away.y) <= reach;
}

}  // namespace

std::vector<Point> WideOutline(const std::vector<WideSegment> &path, bool closed, size_t room)
{
  std::vector<Point> rings;
  RingWriter writer(&rings, room);
  std::vector<WideSegment> segments;
  for (const WideSegment &s : path)
  {
    const Point d = Minus(s.b, s.a);
    if (std::hypot(d.x, d.y) > 0 && std::isfinite(std::hypot(d.x, d.y)) && s.wa >= 0 && s.wb >= 0
        && (s.wa > 0 || s.wb > 0))
      segments.push_back(s);
  }
  for (size_t i = 0; i < segments.size(); ++i)
  {
    const Edges e = SegmentEdges(segments[i]);
    writer.Add({e.rightA, e.rightB, e.leftB, e.leftA});
    // The join with the next piece where they touch.
    const bool last = i + 1 == segments.size();
    if (last && !closed)
      break;
    const WideSegment &next = segments[last ? 0 : i + 1];
    if (next.a.x != segments[i].b.x || next.a.y != segments[i].b.y || (last && segments.size() < 2))
      continue;
    const Edges f = SegmentEdges(next);
    const Point at = segments[i].b;
    const double reach = MiterLimit * std::max(segments[i].wb, next.wa) / 2;
    Point corner;
    if (Miter(e.leftA, e.leftB, f.leftA, f.leftB, at, reach, &corner))
      writer.Add({at, e.leftB, corner, f.leftA});
    else
      writer.Add({at, e.leftB, f.leftA});
    if (Miter(e.rightA, e.rightB, f.rightA, f.rightB, at, reach, &corner))
      writer.Add({at, e.rightB, corner, f.rightA});
    else
      writer.Add({at, e.rightB, f.rightA});
  }
  return rings;
}

std::vector<double> DashPattern(const std::vector<double> &elements, double scale)
{
  std::vector<double> pattern;
  double period = 0;
  if (elements.size() > MaxDashElements || !(scale > 0) || !std::isfinite(scale))
    return {};
  for (double length : elements)
  {
    const double scaled = length * scale;
    if (!std::isfinite(scaled))
      return {};
    pattern.push_back(scaled);
    period += std::fabs(scaled);
  }
  // A pattern of one dash, or of nothing drawn, is a continuous line.
  bool gaps = false, ink = false;
  for (double length : pattern)
  {
    gaps = gaps || length < 0;
    ink = ink || length >= 0;
  }
  if (!(period > 0) || !std::isfinite(period) || !gaps || !ink)
    return {};
  return pattern;
}

void DashWalker::Skip(double distance)
{
  double period = 0, at = used;
  for (size_t i = 0; i < pattern.size(); ++i)
  {
    period += std::fabs(pattern[i]);
    if (i < element)
      at += std::fabs(pattern[i]);
  }
  at = std::fmod(at + distance, period);
  if (!(at >= 0))
    at = 0;
  element = 0;
  while (element + 1 < pattern.size() && at >= std::fabs(pattern[element]))
  {
    at -= std::fabs(pattern[element]);
    ++element;
  }
  used = std::min(at, std::fabs(pattern[element]));
}

void DashWalker::Walk(Point a, Point b, double from, double to, Sink &sink)
{
  const Point d = Minus(b, a);
  const double length = std::hypot(d.x, d.y);
  auto at = [&](double s) { return length > 0 ? Plus(a, Times(d, s / length)) : a; };
  double s = from;
  // Every turn but the last finishes an element; the caller keeps runs
  // within the view, and patterns at least a couple of pixels long.
  for (;;)
  {
    const double value = pattern[element];
    if (value == 0)
    {
      sink.Gap();
      sink.Dot(at(s));
    }
    else
    {
      const double left = std::fabs(value) - used;
      if (s + left > to)
      {
        if (value > 0)
          sink.Dash(at(s), at(to));
        used += to - s;
        return;
      }
      if (value > 0)
      {
        sink.Dash(at(s), at(s + left));
        sink.Gap();
      }
      s += left;
    }
    element = (element + 1) % pattern.size();
    used = 0;
  }
}

}  // namespace zulan
