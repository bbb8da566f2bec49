// Boxes, the world-to-pixel mapping and entity extents. Conics are stored as
// centre + u·cos t + v·sin t, which any affine transform keeps exact, so
// their extents come from the parameters where x or y turn.
#include <algorithm>
#include <cmath>

#include "conic.h"
#include "drawing.h"
#include "drawinginternal.h"

namespace zulan
{
namespace
{

void AddConicExtents(const double *g, Box *box)
{
  const double t0 = g[6], t1 = g[7];
  auto add = [&](double t) {
    box->Add(g[0] + g[2] * std::cos(t) + g[4] * std::sin(t), g[1] + g[3] * std::cos(t) + g[5] * std::sin(t));
  };
  add(t0);
  add(t1);
  // x turns where -ux sin t + vx cos t = 0, y likewise; every half turn.
  for (double base : {std::atan2(g[4], g[2]), std::atan2(g[5], g[3])})
  {
    const double first = std::ceil((t0 - base) / Pi);
    for (double k = first; base + k * Pi <= t1 && k < first + 8; ++k)
    {
      add(base + k * Pi);
    }
  }
}

}  // namespace

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

ViewMapping::ViewMapping(double worldX1, double worldY1, double worldX2, double worldY2, double pixelXa, double pixelYa,
                         double pixelXb, double pixelYb)
  : x1(worldX1), y2(worldY2), xa(pixelXa), ya(pixelYa)
{
  const double wx = worldX2 - worldX1, wy = worldY2 - worldY1;
  const bool xOk = std::isfinite(wx) && wx != 0 && std::isfinite(pixelXb - pixelXa);
  const bool yOk = std::isfinite(wy) && wy != 0 && std::isfinite(pixelYb - pixelYa);
  sx = xOk ? (pixelXb - pixelXa) / wx : 1;
  sy = yOk ? (pixelYb - pixelYa) / wy : 1;
  // A window without width or height has no scale of its own on that axis.
  if (!xOk && yOk)
    sx = std::fabs(sy);
  if (!yOk && xOk)
    sy = std::fabs(sx);
}

Point ViewMapping::ToPixel(double x, double y) const
{
  return {xa + (x - x1) * sx, ya + (y2 - y) * sy};
}

Point ViewMapping::ToPixelVector(double dx, double dy) const
{
  return {dx * sx, -dy * sy};
}

double ViewMapping::Scale() const
{
  return std::sqrt(std::fabs(sx * sy));
}

Box LabelBox(const double *g)
{
  Box box;
  for (double along : {0.0, g[6]})
  {
    for (double up : {-LabelDescentEms, LabelAscentEms})
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
  case Shape::None:
  case Shape::Segment:
    box.Add(g[0], g[1]);
    box.Add(g[2], g[3]);
    break;
  case Shape::Dot:
  {
    // The symbol $PDMODE draws round the point, when there is one.
    const double half =
      PointFigure(document.PointMode()) > 1 || (document.PointMode() & 96) ? document.PointSize() / 2 : 0;
    box.Add(g[0] - half, g[1] - half);
    box.Add(g[0] + half, g[1] + half);
    break;
  }
  case Shape::Conic:
    AddConicExtents(g, &box);
    break;
  case Shape::Path:
  case Shape::Polygon:
    // Kept with the points (NaN ring breaks skipped): only a record whose
    // points are all in the document has them.
    {
      uint32_t count;
      document.Points(entity, &count);
      if (count > 0)
      {
        box.minX = g[0];
        box.minY = g[1];
        box.maxX = g[2];
        box.maxY = g[3];
      }
      break;
    }
  case Shape::Label:
    if (!document.Text(entity).empty())
      box = LabelBox(g);
    break;
  }
  return box;
}

}  // namespace zulan
