// AutoCAD's built-in arrowheads of dimensions and leaders, drawn in the
// annotation's coordinates as lines and filled polygons; an arrowhead of a
// block of the drawing is left to the loader to place.
#include <algorithm>
#include <cmath>

#include "dxfbuild.h"

namespace zulan
{
namespace
{

bool FinitePoint(Point p)
{
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// A polygon or path is left out whole when a point is beyond double range.
void AddFill(Annotation *a, std::vector<Point> polygon)
{
  if (std::all_of(polygon.begin(), polygon.end(), FinitePoint))
    a->arrows.push_back(std::move(polygon));
}

void AddOutline(Annotation *a, std::vector<Point> path)
{
  if (std::all_of(path.begin(), path.end(), FinitePoint))
    a->lines.push_back(std::move(path));
}

// An arrowhead's own frame: x along the way it points (its tip at 0, its
// body at negative x), y to its left, in arrow sizes.
struct ArrowFrame
{
  Point tip, along, left;
  Point operator()(double x, double y) const { return Plus(tip, Plus(Times(along, x), Times(left, y))); }
};

// A circle of radius r about (cx, 0) in the frame; whole or from a0 to a1.
std::vector<Point> FrameArc(const ArrowFrame &f, double cx, double r, double a0 = 0, double a1 = 2 * Pi)
{
  std::vector<Point> arc;
  const int steps = 24;
  for (int i = 0; i <= steps; ++i)
  {
    const double t = a0 + (a1 - a0) * i / steps;
    arc.push_back(f(cx + r * std::cos(t), r * std::sin(t)));
  }
  return arc;
}

}  // namespace

bool IsStrokeArrow(ArrowKind kind)
{
  return kind == ArrowKind::Oblique || kind == ArrowKind::ArchTick || kind == ArrowKind::Integral
         || kind == ArrowKind::None;
}

double ArrowSetback(ArrowKind kind)
{
  switch (kind)
  {
  case ArrowKind::ClosedBlank:
  case ArrowKind::DatumBlank:
    return 1;
  case ArrowKind::DotBlank:
  case ArrowKind::BoxBlank:
  case ArrowKind::Origin2:
    return 0.5;
  case ArrowKind::Small:
    return 0.25;
  default:
    return 0;
  }
}

void AddArrow(Annotation *a, const ArrowStyle &arrow, Point tip, Point direction, double size)
{
  if (!(size > 0) || !FinitePoint(tip) || !std::isfinite(size))
    return;
  const ArrowFrame f{tip, Times(direction, size), Times({-direction.y, direction.x}, size)};
  const double h = 1.0 / 6;              // half the width of the closed ones
  const double datum = 0.5773502691896;  // tan 30°: the datum triangle's half side
  switch (arrow.kind)
  {
  case ArrowKind::ClosedFilled:
    AddFill(a, {f(0, 0), f(-1, h), f(-1, -h)});
    break;
  case ArrowKind::Closed:
  case ArrowKind::ClosedBlank:
    AddOutline(a, {f(0, 0), f(-1, h), f(-1, -h), f(0, 0)});
    break;
  case ArrowKind::Open:
  case ArrowKind::Open30:
  {
    const double side = arrow.kind == ArrowKind::Open ? h : std::tan(15 * Degrees);
    AddOutline(a, {f(-1, side), f(0, 0), f(-1, -side)});
    break;
  }
  case ArrowKind::Open90:
    AddOutline(a, {f(-0.5, 0.5), f(0, 0), f(-0.5, -0.5)});
    break;
  case ArrowKind::Dot:
    AddFill(a, FrameArc(f, 0, 0.5));
    break;
  case ArrowKind::DotSmall:
    AddFill(a, FrameArc(f, 0, 0.25));
    break;
  case ArrowKind::DotBlank:
  case ArrowKind::Origin:
    AddOutline(a, FrameArc(f, 0, 0.5));
    break;
  case ArrowKind::Origin2:
    AddOutline(a, FrameArc(f, 0, 0.5));
    AddOutline(a, FrameArc(f, 0, 0.25));
    break;
  case ArrowKind::Small:
    AddOutline(a, FrameArc(f, 0, 0.25));
    break;
  case ArrowKind::Oblique:
    AddOutline(a, {f(-0.5, -0.5), f(0.5, 0.5)});
    break;
  case ArrowKind::ArchTick:  // the oblique stroke, drawn thick
  {
    const double w = 0.075;
    AddFill(a, {f(-0.5 + w, -0.5 - w), f(0.5 + w, 0.5 - w), f(0.5 - w, 0.5 + w), f(-0.5 - w, -0.5 + w)});
    break;
  }
  case ArrowKind::Integral:  // two quarter circles meeting at the tip
  {
    const double r = 0.3535534;
    AddOutline(a, FrameArc(f, -r, r, -Pi / 2, 0));
    AddOutline(a, FrameArc(f, r, r, Pi / 2, Pi));
    break;
  }
  case ArrowKind::BoxFilled:
    AddFill(a, {f(-0.5, -0.5), f(0.5, -0.5), f(0.5, 0.5), f(-0.5, 0.5)});
    break;
  case ArrowKind::BoxBlank:
    AddOutline(a, {f(-0.5, -0.5), f(0.5, -0.5), f(0.5, 0.5), f(-0.5, 0.5), f(-0.5, -0.5)});
    break;
  case ArrowKind::DatumFilled:
    AddFill(a, {f(0, datum), f(-1, 0), f(0, -datum)});
    break;
  case ArrowKind::DatumBlank:
    AddOutline(a, {f(0, datum), f(-1, 0), f(0, -datum), f(0, datum)});
    break;
  case ArrowKind::Block:
    a->blocks.push_back({arrow.block, tip, std::atan2(direction.y, direction.x), size});
    break;
  case ArrowKind::None:
    break;
  }
}

}  // namespace zulan
