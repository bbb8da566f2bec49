// Boxes, the world-to-pixel mapping and entity extents. Conics are stored as
// centre + u·cos t + v·sin t, which any affine transform keeps exact, so
// their extents come from the parameters where x or y turn.
#include <algorithm>
#include <cmath>

#include "drawing.h"
#include "drawinginternal.h"

namespace zulan
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

void AddConicExtents(const double *g, Box *box)
{
  const double t0 = g[6], t1 = g[7];
  auto add = [&](double t)
  {
    box->Add(g[0] + g[2] * std::cos(t) + g[4] * std::sin(t),
             g[1] + g[3] * std::cos(t) + g[5] * std::sin(t));
  };
  add(t0);
  add(t1);
  // x turns where -ux sin t + vx cos t = 0, y likewise; every half turn.
  for (double base : {std::atan2(g[4], g[2]), std::atan2(g[5], g[3])})
  {
    const double kFirst = std::ceil((t0 - base) / kPi);
    for (double k = kFirst; base + k * kPi <= t1 && k < kFirst + 8; ++k)
    {
      add(base + k * kPi);
    }
  }
}

} // namespace

void Box::Add(double x, double y)
{
  if (!std::isfinite(x) || !std::isfinite(y))
    return;
  minX = std::min(minX, x);
  minY = std::min(minY, y);
  maxX = std::max(maxX, x);
  maxY = std::max(maxY, y);
}

void Box::Add(const Box &other)
{
  if (other.IsEmpty())
    return;
  Add(other.minX, other.minY);
  Add(other.maxX, other.maxY);
}

ViewMapping::ViewMapping(double x1, double y1, double x2, double y2, double xa, double ya,
                         double xb, double yb)
    : x1_(x1), y2_(y2), xa_(xa), ya_(ya)
{
  const double wx = x2 - x1, wy = y2 - y1;
  const bool xOk = std::isfinite(wx) && wx != 0 && std::isfinite(xb - xa);
  const bool yOk = std::isfinite(wy) && wy != 0 && std::isfinite(yb - ya);
  sx_ = xOk ? (xb - xa) / wx : 1;
  sy_ = yOk ? (yb - ya) / wy : 1;
  // A window without width or height has no scale of its own on that axis.
  if (!xOk && yOk)
    sx_ = std::fabs(sy_);
  if (!yOk && xOk)
    sy_ = std::fabs(sx_);
}

Point ViewMapping::ToPixel(double x, double y) const
{
  return {xa_ + (x - x1_) * sx_, ya_ + (y2_ - y) * sy_};
}

Point ViewMapping::ToPixelVector(double dx, double dy) const
{
  return {dx * sx_, -dy * sy_};
}

double ViewMapping::Scale() const
{
  return std::sqrt(std::fabs(sx_ * sy_));
}

Box LabelBox(const double *g)
{
  Box box;
  for (double along : {0.0, g[6]})
  {
    for (double up : {-kLabelDescentEms, kLabelAscentEms})
    {
      box.Add(g[0] + g[2] * along + g[4] * up, g[1] + g[3] * along + g[5] * up);
    }
  }
  return box;
}

Box EntityExtents(const Document &document, const Entity &entity)
{
  Box box;
  const double *g = entity.geometry;
  switch (entity.shape)
  {
  case Shape::kNone:
  case Shape::kSegment:
    box.Add(g[0], g[1]);
    box.Add(g[2], g[3]);
    break;
  case Shape::kDot:
  {
    // The symbol $PDMODE draws round the point, when there is one.
    const double half = PointFigure(document.PointMode()) > 1 || (document.PointMode() & 96)
                            ? document.PointSize() / 2
                            : 0;
    box.Add(g[0] - half, g[1] - half);
    box.Add(g[0] + half, g[1] + half);
    break;
  }
  case Shape::kConic: AddConicExtents(g, &box); break;
  case Shape::kPath:
  case Shape::kPolygon:
  {
    uint32_t count;
    const Point *points = document.Points(entity, &count);
    for (uint32_t i = 0; i < count; ++i)
    {
      box.Add(points[i].x, points[i].y); // NaN ring breaks are skipped
    }
    break;
  }
  case Shape::kLabel:
    if (!document.Text(entity).empty())
      box = LabelBox(g);
    break;
  }
  return box;
}

} // namespace zulan
