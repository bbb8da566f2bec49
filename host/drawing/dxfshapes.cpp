// What each kind of entity draws, in its own coordinates: conics as centre
// and axis vectors, paths and fills as points, polyline widths as a band,
// pattern hatches as pieces. Both polyline kinds give their vertices in one
// form, so a ring is walked one way.
#include <dime/entities/Arc.h>
#include <dime/entities/Circle.h>
#include <dime/Model.h>
#include <dime/entities/Block.h>
#include <dime/entities/Ellipse.h>
#include <dime/entities/Insert.h>
#include <dime/entities/LWPolyline.h>
#include <dime/entities/Polyline.h>
#include <dime/entities/Solid.h>
#include <dime/entities/Spline.h>
#include <dime/entities/Vertex.h>
#include <dime/records/Record.h>

#include <algorithm>
#include <cmath>

#include "dxfbuild.h"
#include "dxflimits.h"

namespace zulan
{
namespace
{

// Calls segment(i, next) for each segment between n vertices, and from the
// last back to the first when closed.
template <typename Segment> void ForEachSegment(size_t n, bool closed, Segment segment)
{
  for (size_t i = 0; i + 1 < n || (closed && n > 1 && i + 1 == n); ++i)
    segment(i, (i + 1) % n);
}

// A polyline segment's pieces, widths changing evenly along it.
void AppendWideSegments(Point p0, Point p1, double bulge, double w0, double w1, std::vector<WideSegment> *segments)
{
  if (!(w0 > 0 || w1 > 0) || !std::isfinite(w0) || !std::isfinite(w1))
    return;
  PointList points(MaxPoints);
  points.Add(p0);
  AppendBulge(p0, p1, bulge, &points);
  const std::vector<Point> along = points.Take();
  const double steps = double(along.size() - 1);
  for (size_t k = 0; k + 1 < along.size(); ++k)
  {
    const double wa = w0 + (w1 - w0) * double(k) / steps;
    const double wb = w0 + (w1 - w0) * double(k + 1) / steps;
    segments->push_back({along[k], along[k + 1], std::max(wa, 0.0), std::max(wb, 0.0)});
  }
}

void SplineEntityPoints(dimeSpline *spline, PointList *points)
{
  SplineData data;
  data.degree = spline->getDegree();
  for (int i = 0; i < spline->getNumKnots(); ++i)
    data.knots.push_back(spline->getKnotValue(i));
  for (int i = 0; i < spline->getNumControlPoints(); ++i)
    data.control.push_back({spline->getControlPoint(i).x, spline->getControlPoint(i).y});
  if (spline->hasWeights())
    for (int i = 0; i < spline->getNumWeights(); ++i)
      data.weights.push_back(spline->getWeight(i));
  for (int i = 0; i < spline->getNumFitPoints(); ++i)
    data.fit.push_back({spline->getFitPoint(i).x, spline->getFitPoint(i).y});
  try
  {
    for (const Point &p : SplinePoints(data, points->Room()))
      points->Add(p);
  }
  catch (const SplineTooLong &)
  {
    throw TooManyPoints();
  }
}

// Its clip polygon (14/24, in image pixels from the top left corner), the
// rectangle two of them span (71 = 1), or the whole image (13/23 pixels)
// without them; pixel (x, y) lies at insert + u·(x + 0.5) + v·(h − y − 0.5).
void WipeoutBoundary(dimeEntity *entity, PointList *points)
{
  double at[2] = {0, 0}, u[2] = {0, 0}, v[2] = {0, 0}, size[2] = {0, 0};
  int clip = 1;
  std::vector<Point> corners;
  for (const RawRecord &r : RawRecords(entity))
  {
    switch (r.code)
    {
    case 10:
      at[0] = r.number;
      break;
    case 20:
      at[1] = r.number;
      break;
    case 11:
      u[0] = r.number;
      break;
    case 21:
      u[1] = r.number;
      break;
    case 12:
      v[0] = r.number;
      break;
    case 22:
      v[1] = r.number;
      break;
    case 13:
      size[0] = r.number;
      break;
    case 23:
      size[1] = r.number;
      break;
    case 71:
      clip = int(r.number);
      break;
    case 14:
      corners.push_back({r.number, NAN});
      break;
    case 24:
      if (!corners.empty())
        corners.back().y = r.number;
      break;
    default:
      break;
    }
  }
  corners.erase(std::remove_if(corners.begin(), corners.end(), [](Point p) { return std::isnan(p.y); }), corners.end());
  if (corners.size() < 2)
    corners = {{-0.5, -0.5}, {size[0] - 0.5, size[1] - 0.5}};
  if (corners.size() == 2 || clip == 1)
  {
    const Point a = corners[0], b = corners[1];
    corners = {a, {b.x, a.y}, b, {a.x, b.y}};
  }
  for (const Point &p : corners)
  {
    const double s = p.x + 0.5, t = size[1] - p.y - 0.5;
    points->Add({at[0] + u[0] * s + v[0] * t, at[1] + u[1] * s + v[1] * t});
  }
}

bool IsMesh(const dimePolyline *poly)
{
  return poly->getFlags() & (dimePolyline::IS_POLYFACE_MESH | dimePolyline::IS_POLYMESH_3D);
}

}  // namespace

EntityKind KindOf(const char *entityName)
{
  static const std::unordered_map<std::string, EntityKind> Kinds = {
    {"LINE", EntityKind::Line},       {"CIRCLE", EntityKind::Circle},         {"ARC", EntityKind::Arc},
    {"ELLIPSE", EntityKind::Ellipse}, {"LWPOLYLINE", EntityKind::LwPolyline}, {"POLYLINE", EntityKind::Polyline},
    {"SPLINE", EntityKind::Spline},   {"POINT", EntityKind::Point},           {"SOLID", EntityKind::Face},
    {"TRACE", EntityKind::Face},      {"3DFACE", EntityKind::Face3D},         {"TEXT", EntityKind::Text},
    {"MTEXT", EntityKind::MText},     {"ATTDEF", EntityKind::AttDef},         {"WIPEOUT", EntityKind::Wipeout},
    {"HATCH", EntityKind::Hatch},     {"INSERT", EntityKind::Insert},         {"DIMENSION", EntityKind::Dimension},
    {"LEADER", EntityKind::Leader},   {"ACAD_TABLE", EntityKind::Table}};
  const auto found = Kinds.find(entityName ? entityName : "");
  return found == Kinds.end() ? EntityKind::Other : found->second;
}

dimeBlock *PlacedBlock(dimeModel &model, dimeEntity *entity, EntityKind kind)
{
  if (kind == EntityKind::Insert)
    return static_cast<dimeInsert *>(entity)->getBlock();
  if (kind != EntityKind::Dimension && kind != EntityKind::Table)
    return nullptr;
  // Read in place: a copy of all the groups for one name was a sizeable
  // share of loading a drawing of many dimensions.
  std::string blockName;
  for (int i = 0; i < entity->getNumRecordsInRecordHolder(); ++i)
  {
    const dimeRecord *record = entity->getRecordInRecordHolder(i);
    if (record->getGroupCode() != 2)
      continue;
    const int type = record->typeId();
    dimeParam param;
    record->getValue(param);
    const bool text = type == dimeBase::dimeStringRecordType || type == dimeBase::dimeHexRecordType;
    blockName = text && param.string_data ? param.string_data : "";
    if (kind == EntityKind::Table)
      break;  // the cells' text chunks are 2s too
  }
  return blockName.empty() ? nullptr : model.findBlock(blockName.c_str());
}

int ArrayCells(const std::string &path, const dimeInsert *insert, int *columns, int *rows)
{
  dimeParam param;
  const int across = insert->getRecord(70, param) ? std::max<int>(1, param.int16_data) : 1;
  const int down = insert->getRecord(71, param) ? std::max<int>(1, param.int16_data) : 1;
  if (long(across) * down > MaxArrayCells)
    ThrowLoadError(path, "an INSERT array has more than " + std::to_string(MaxArrayCells) + " cells");
  if (columns)
    *columns = across;
  if (rows)
    *rows = down;
  return across * down;
}

const Attribute *InsertAttributes(const DxfScan &scan, const dimeInsert *insert, size_t *count)
{
  int index = -1;
  IntegerGroup(insert, 90, &index);
  return scan.Attributes(index, count);
}

LocalConic EntityShapes::Conic(dimeEntity *entity, EntityKind kind)
{
  if (kind == EntityKind::Circle)
  {
    auto *circle = static_cast<dimeCircle *>(entity);
    const double r = circle->getRadius();
    return {{circle->getCenter().x, circle->getCenter().y}, {r, 0}, {0, r}, 0, 2 * Pi};
  }
  if (kind == EntityKind::Arc)
  {
    auto *arc = static_cast<dimeArc *>(entity);
    dimeVec3f c;
    arc->getCenter(c);
    const double r = arc->getRadius();
    const double a0 = Normalized(arc->getStartAngle(), 360);
    const double a1 = a0 + Sweep(arc->getStartAngle(), arc->getEndAngle(), 360);
    return {{c.x, c.y}, {r, 0}, {0, r}, a0 * Degrees, a1 * Degrees};
  }
  // Centre and major axis are in the world; the minor axis is N x major
  // times the ratio, so an extrusion (0, 0, -1) runs the parameter
  // clockwise seen from above, and a tilted one leans the minor axis.
  auto *ellipse = static_cast<dimeEllipse *>(entity);
  const dimeVec3f &major = ellipse->getMajorAxisEndpoint();
  const double ratio = ellipse->getMinorMajorRatio();
  const double t0 = Normalized(ellipse->getStartParam(), 2 * Pi);
  const double t1 = t0 + Sweep(ellipse->getStartParam(), ellipse->getEndParam(), 2 * Pi);
  double nx = ellipse->getExtrusionDir().x, ny = ellipse->getExtrusionDir().y, nz = ellipse->getExtrusionDir().z;
  const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (length > 0 && std::isfinite(length))
    nx /= length, ny /= length, nz /= length;
  else
    nx = 0, ny = 0, nz = 1;
  const Point minor{(ny * major.z - nz * major.y) * ratio, (nz * major.x - nx * major.z) * ratio};
  return {{ellipse->getCenter().x, ellipse->getCenter().y}, {major.x, major.y}, minor, t0, t1};
}

bool EntityShapes::MakesPoints(EntityKind kind)
{
  return kind == EntityKind::LwPolyline || kind == EntityKind::Polyline || kind == EntityKind::Hatch
         || kind == EntityKind::Face || kind == EntityKind::Spline || kind == EntityKind::Wipeout;
}

bool EntityShapes::IsClosed(dimeEntity *entity, EntityKind kind)
{
  if (kind == EntityKind::LwPolyline)
    return static_cast<dimeLWPolyline *>(entity)->getFlags() & 1;
  return static_cast<dimePolyline *>(entity)->getFlags() & dimePolyline::CLOSED;
}

// LWPOLYLINE vertices were read by the scan; the scanned text gives libdime
// each one's number among them as its vertex count (group 90). Widths are
// the vertex's own, or the polyline's constant or default width.
std::vector<EntityShapes::Vertex> EntityShapes::Vertices(dimeEntity *entity, EntityKind kind, bool *closed) const
{
  std::vector<Vertex> vertices;
  *closed = IsClosed(entity, kind);
  if (kind == EntityKind::LwPolyline)
  {
    auto *poly = static_cast<dimeLWPolyline *>(entity);
    const double constant = poly->getConstantWidth();
    for (const LwVertex &v : scan.Polyline(poly->getNumVertices()))
    {
      const bool own = v.startWidth != 0 || v.endWidth != 0;
      vertices.push_back({{v.x, v.y}, v.bulge, own ? v.startWidth : constant, own ? v.endWidth : constant});
    }
    return vertices;
  }
  auto *poly = static_cast<dimePolyline *>(entity);
  if (IsMesh(poly))
    return vertices;
  dimeParam param;
  const double start = poly->getRecord(40, param) ? param.double_data : 0;
  const double end = poly->getRecord(41, param) ? param.double_data : 0;
  for (int i = 0; i < poly->getNumCoordVertices(); ++i)
  {
    dimeVertex *v = poly->getCoordVertex(i);
    const double bulge = v->getRecord(42, param) ? param.double_data : 0;
    const double w0 = v->getRecord(40, param) ? param.double_data : start;
    const double w1 = v->getRecord(41, param) ? param.double_data : end;
    vertices.push_back({{v->getCoords().x, v->getCoords().y}, bulge, w0, w1});
  }
  return vertices;
}

std::vector<Point> EntityShapes::MakePoints(dimeEntity *entity, EntityKind kind, size_t room) const
{
  PointList made(room);
  if (kind == EntityKind::LwPolyline || kind == EntityKind::Polyline)
  {
    bool closed;
    const std::vector<Vertex> vertices = Vertices(entity, kind, &closed);
    if (vertices.empty())
      return {};
    made.Add(vertices[0].at);
    ForEachSegment(vertices.size(), closed, [&](size_t i, size_t next) {
      AppendBulge(vertices[i].at, vertices[next].at, vertices[i].bulge, &made);
    });
    if (closed && made.Size() > 1)
      made.DropLast();  // back at the start
  }
  else if (kind == EntityKind::Hatch)
  {
    HatchRings(entity, &made);
  }
  else if (kind == EntityKind::Wipeout)
  {
    WipeoutBoundary(entity, &made);
  }
  else if (kind == EntityKind::Spline)
  {
    SplineEntityPoints(static_cast<dimeSpline *>(entity), &made);
  }
  else if (kind == EntityKind::Face)
  {
    auto *face = static_cast<dimeFaceEntity *>(entity);
    // The third and fourth corners are stored crosswise.
    for (int corner : {0, 1, 3, 2})
      made.Add({face->getVertex(corner).x, face->getVertex(corner).y});
  }
  return made.Take();
}

std::vector<Point> EntityShapes::MakeWideRings(dimeEntity *entity, EntityKind kind, size_t room) const
{
  if (kind != EntityKind::LwPolyline && kind != EntityKind::Polyline)
    return {};
  bool closed;
  const std::vector<Vertex> vertices = Vertices(entity, kind, &closed);
  std::vector<WideSegment> segments;
  ForEachSegment(vertices.size(), closed, [&](size_t i, size_t next) {
    const Vertex &v = vertices[i];
    AppendWideSegments(v.at, vertices[next].at, v.bulge, v.startWidth, v.endWidth, &segments);
  });
  if (segments.empty())
    return {};
  try
  {
    return WideOutline(segments, closed, room);
  }
  catch (const WideOutlineTooLong &)
  {
    throw TooManyPoints();
  }
}

// Outside blocks what the document may still take; kept points are each
// drawn at least once, so all of them together are bounded like the
// document's.
size_t EntityShapes::Room(bool kept) const
{
  return PointLimit(memoryBudget) - (kept ? keptPoints : madePoints.size());
}

const std::vector<Point> &EntityShapes::Points(dimeEntity *entity, EntityKind kind, bool withinBlock)
{
  return pointCache.Get(entity, withinBlock, [&](bool kept) {
    std::vector<Point> made = MakePoints(entity, kind, Room(kept));
    keptPoints += kept ? made.size() : 0;
    return made;
  });
}

const std::vector<Point> &EntityShapes::WideRings(dimeEntity *entity, EntityKind kind, bool withinBlock)
{
  return wideRings.Get(entity, withinBlock, [&](bool kept) {
    std::vector<Point> made = MakeWideRings(entity, kind, Room(kept));
    keptPoints += kept ? made.size() : 0;
    return made;
  });
}

// Each kept piece becomes a record at least once, so all of them together
// are bounded like the records.
const std::vector<PatternPiece> &EntityShapes::HatchPieces(dimeEntity *entity, bool withinBlock)
{
  return pieceCache.Get(entity, withinBlock, [&](bool kept) {
    std::vector<PatternPiece> made = MakeHatchPieces(entity);
    keptPieces += kept ? made.size() : 0;
    if (kept && double(keptPieces) * sizeof(Entity) > double(memoryBudget))
      OverMemoryBudget(path, double(keptPieces) * sizeof(Entity), memoryBudget);
    return made;
  });
}

// A hatch beyond MaxHatchPieces or MaxHatchWork, or once the drawing's
// pattern hatches have done MaxPatternWork, is left out; the drawing still
// loads.
std::vector<PatternPiece> EntityShapes::MakeHatchPieces(dimeEntity *entity)
{
  PointList rings(MaxPoints);
  std::vector<PatternLine> lines;
  ReadHatch(entity, &rings, &lines);
  if (lines.empty() || rings.Empty())
    return {};
  double work = std::min(MaxHatchWork, patternWork);
  const double budget = work;
  std::vector<PatternPiece> made;
  try
  {
    made = PatternPieces(rings.Take(), lines, MaxHatchPieces, &work);
  }
  catch (const PatternTooLarge &)
  {
    made.clear();
  }
  patternWork -= budget - std::max(work, 0.0);
  return made;
}

}  // namespace zulan
