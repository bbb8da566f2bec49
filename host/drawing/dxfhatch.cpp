// HATCH entities as libdime keeps them, raw groups in the order the DXF
// reference lays them out: boundary paths of lines, arcs, ellipse arcs,
// splines and polylines, and the pattern lines a pattern hatch stores.
#include <dime/entities/Entity.h>

#include <cmath>

#include "dxfrecords.h"

namespace zulan
{
namespace
{

void ReadPatternLines(RawCursor &at, std::vector<PatternLine> *pattern);
void ReadPolylinePath(RawCursor &at, PointList *rings);
void ReadEdgePath(RawCursor &at, PointList *rings);
void ReadSplineEdge(RawCursor &at, bool lastEdge, PointList *rings);
bool FitDataAhead(const RawCursor &at, bool lastEdge);

// After the paths: 75 style, 76 type, 52 angle, 41 scale, 77 double, then
// 78 lines as stored, already turned and scaled.
void ReadPatternLines(RawCursor &at, std::vector<PatternLine> *pattern)
{
  if (!at.Seek(78))
    return;
  const int count = int(at.Take(78));
  for (int i = 0; i < count; ++i)
  {
    PatternLine line;
    line.angle = at.Take(53);
    line.base.x = at.Take(43);
    line.base.y = at.Take(44);
    line.offset.x = at.Take(45);
    line.offset.y = at.Take(46);
    const int dashes = int(at.Take(79));
    for (int d = 0; d < dashes; ++d)
      line.dashes.push_back(at.Take(49));
    pattern->push_back(std::move(line));
  }
}

void ReadPolylinePath(RawCursor &at, PointList *rings)
{
  const bool hasBulge = at.Take(72) != 0;
  at.Take(73);
  const int n = int(at.Take(93));
  std::vector<Point> vertices;
  std::vector<double> bulges;
  for (int i = 0; i < n; ++i)
  {
    const double x = at.Take(10), y = at.Take(20);
    vertices.push_back({x, y});
    bulges.push_back(hasBulge && at.At(42) ? at.Take(42) : 0);
  }
  if (vertices.empty())
    return;
  rings->Add(vertices[0]);
  for (size_t i = 0; i < vertices.size(); ++i)
  {
    AppendBulge(vertices[i], vertices[(i + 1) % vertices.size()], bulges[i], rings);
  }
}

void ReadEdgePath(RawCursor &at, PointList *rings)
{
  const int edges = int(at.Take(93));
  for (int i = 0; i < edges; ++i)
  {
    const int kind = int(at.Take(72));
    if (kind == 1)
    {
      const double x0 = at.Take(10), y0 = at.Take(20);
      const double x1 = at.Take(11), y1 = at.Take(21);
      rings->Add({x0, y0});
      rings->Add({x1, y1});
    }
    else if (kind == 2 || kind == 3)
    {
      const double cx = at.Take(10), cy = at.Take(20);
      Point u{0, 0};
      if (kind == 3)
        u = {at.Take(11), at.Take(21)};
      const double r = at.Take(40);
      double t0 = at.Take(50) * Degrees, t1 = at.Take(51) * Degrees;
      const bool ccw = at.Take(73) != 0;
      Point v;
      if (kind == 2)
      {
        u = {r, 0};
        v = {0, r};
      }
      else
      {
        v = {-u.y * r, u.x * r};
      }
      // A clockwise edge gives its angles as for the edge mirrored across
      // its axis: with v turned round, angle t lands on direction -t, so the
      // edge runs clockwise from -start to -end, as ezdxf reads it too.
      if (!ccw)
        v = {-v.x, -v.y};
      const double start = Normalized(t0, 2 * Pi);
      AppendConic({cx, cy}, u, v, start, start + Sweep(t0, t1, 2 * Pi), rings);
    }
    else if (kind == 4)
    {
      ReadSplineEdge(at, i + 1 == edges, rings);
    }
    else
    {
      throw BadBoundary();
    }
  }
}

// 94 degree, 73 rational, 74 periodic, 95 knots, 96 control points, the
// knots (40), the control points (10/20, 42 when rational); newer files
// add 97 fit points (11/21) and 12/22, 13/23 end tangents.
void ReadSplineEdge(RawCursor &at, bool lastEdge, PointList *rings)
{
  SplineData spline;
  spline.degree = int(at.Take(94));
  const bool rational = at.Take(73) != 0;
  at.Take(74);  // a periodic spline's knots say all there is
  const int knots = int(at.Take(95)), controls = int(at.Take(96));
  for (int k = 0; k < knots; ++k)
    spline.knots.push_back(at.Take(40));
  for (int c = 0; c < controls; ++c)
  {
    const double x = at.Take(10), y = at.Take(20);
    spline.control.push_back({x, y});
    if (at.At(42))
      spline.weights.push_back(at.Take(42));
  }
  if (!rational || spline.weights.size() != spline.control.size())
    spline.weights.clear();
  if (FitDataAhead(at, lastEdge))
  {
    const int fits = int(at.Take(97));
    for (int f = 0; f < fits; ++f)
    {
      const double x = at.Take(11), y = at.Take(21);
      spline.fit.push_back({x, y});
    }
    for (int code : {12, 13})
      if (at.At(code))
      {
        at.Take(code);
        at.Take(code + 10);
      }
  }
  std::vector<Point> points;
  try
  {
    points = SplinePoints(spline, rings->Room());
  }
  catch (const SplineTooLong &)
  {
    throw TooManyPoints();
  }
  if (points.empty())
    throw BadBoundary();  // data that make no curve, as a SPLINE's
  for (const Point &p : points)
    rings->Add(p);
}

// A 97 after a spline edge counts its fit points, or, after a path's last
// edge in files without fit data, the path's source objects. Fit data are
// a count, that many 11/21 pairs, perhaps tangents, and then the path's
// own 97.
bool FitDataAhead(const RawCursor &at, bool lastEdge)
{
  if (!at.At(97))
    return false;
  if (!lastEdge)
    return true;
  const double fits = at.NumberAhead(0);
  if (!(fits >= 0))
    return false;
  size_t ahead = 1;
  for (double f = 0; f < fits; ++f, ahead += 2)
    if (at.CodeAhead(ahead) != 11 || at.CodeAhead(ahead + 1) != 21)
      return false;
  for (int code : {12, 13})
    if (at.CodeAhead(ahead) == code && at.CodeAhead(ahead + 1) == code + 10)
      ahead += 2;
  return at.CodeAhead(ahead) == 97;
}

}  // namespace

// The boundary of a solid fill; none for a pattern hatch.
void HatchRings(dimeEntity *entity, PointList *rings)
{
  ReadHatch(entity, rings, nullptr);
}

// A HATCH's boundary rings and, given pattern, its pattern lines: a solid
// fill's rings without pattern, a pattern hatch's with it, nothing
// otherwise. Every turn of the loops takes a record, so the counts cannot
// outrun the data.
void ReadHatch(dimeEntity *entity, PointList *rings, std::vector<PatternLine> *pattern)
{
  const std::vector<RawRecord> records = RawRecords(entity);
  RawCursor at(records);
  try
  {
    if (!at.Seek(70) || (at.Take(70) == 1) != (pattern == nullptr))
      return;
    at.Seek(91);
    const int paths = int(at.Take(91));
    for (int p = 0; p < paths; ++p)
    {
      if (!rings->Empty())
        rings->Add({NAN, NAN});
      const int flags = int(at.Take(92));
      if (flags & 2)
      {
        ReadPolylinePath(at, rings);
      }
      else
      {
        ReadEdgePath(at, rings);
      }
      const int sources = int(at.Take(97));
      for (int s = 0; s < sources && at.At(330); ++s)
        at.Take(330);
    }
    if (pattern)
      ReadPatternLines(at, pattern);
  }
  catch (const BadBoundary &)
  {
    rings->Clear();  // a boundary we cannot follow: leave the fill out
    if (pattern)
      pattern->clear();
  }
}

}  // namespace zulan
