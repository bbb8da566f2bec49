// What the DXF loader's parts share: affine maps, arcs as points, point
// lists bounded by the drawing's limit, and the raw groups libdime keeps for
// what it does not model.
#ifndef ZULAN_DRAWING_DXFRECORDS_H
#define ZULAN_DRAWING_DXFRECORDS_H

#include <string>
#include <vector>

#include "conic.h"
#include "drawing.h"
#include "drawinginternal.h"

class dimeEntity;
class dimeRecordHolder;

namespace zulan
{

// x' = a·x + c·y + e, y' = b·x + d·y + f.
struct Affine
{
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  Point Apply(double x, double y) const { return {a * x + c * y + e, b * x + d * y + f}; }
  Point ApplyVector(double x, double y) const { return {a * x + c * y, b * x + d * y}; }
};

Affine Compose(const Affine &outer, const Affine &inner);

Affine Translation(double x, double y);

Affine RotationScale(double degrees, double sx, double sy);

std::string Upper(const char *text);

// An angle in [0, period). fmod keeps angles far beyond one turn exact, where
// adding or taking whole turns would no longer change them.
double Normalized(double angle, double period);

// The counter-clockwise sweep from direction start to direction end, in
// (0, period]; ends that meet make a full turn. libdime keeps angles in single
// precision, so ends a few float steps apart meet: a full ellipse ends at
// float(2π), just beyond 2π.
double Sweep(double start, double end, double period);

// Segments for an arc of the given sweep, without casting an out-of-range or
// NaN double to int. A sweep a hair over whole steps (a quarter circle's bulge
// in full precision) takes no extra one.
int ArcSteps(double sweep, int fewest);

// Thrown when a record's points would take the drawing beyond its limit.
struct TooManyPoints
{
};

// The points of one record on their way into the document, bounded by what
// the document may still take.
class PointList
{
public:
  explicit PointList(size_t limit) : room(limit) {}
  void Add(Point p)
  {
    if (points.size() >= room)
      throw TooManyPoints();
    points.push_back(p);
  }
  bool Empty() const { return points.empty(); }
  void DropLast() { points.pop_back(); }
  void Clear() { points.clear(); }
  size_t Size() const { return points.size(); }
  size_t Room() const { return room - points.size(); }
  std::vector<Point> Take() { return std::move(points); }

private:
  size_t room;
  std::vector<Point> points;
};

// One group-code/value pair of an entity libdime does not model.
struct RawRecord
{
  int code;
  double number;
  std::string text;
};

std::vector<RawRecord> RawRecords(const dimeRecordHolder *entity);

// A number group that libdime kept as its text (codes it does not know,
// extended-data reals) read into number; false when the text is not a
// number. Records without text keep their number.
bool ReadTextNumber(RawRecord *record);

// An integer group kept in a record holder, whatever record type libdime
// read it into.
bool IntegerGroup(const dimeRecordHolder *holder, int code, int *value);

// A boundary the cursor cannot follow; the fill is left out.
struct BadBoundary
{
};

// Reads raw records strictly in the order the DXF reference lays them out.
class RawCursor
{
public:
  explicit RawCursor(const std::vector<RawRecord> &raw) : records(raw) {}
  bool At(int code) const { return i < records.size() && records[i].code == code; }
  double Take(int code)
  {
    if (!At(code))
      throw BadBoundary();
    return records[i++].number;
  }
  bool Seek(int code)
  {
    while (i < records.size() && records[i].code != code)
      ++i;
    return i < records.size();
  }
  // The group code `ahead` records on, -1 past the end.
  int CodeAhead(size_t ahead) const { return ahead < records.size() - i ? records[i + ahead].code : -1; }
  double NumberAhead(size_t ahead) const { return records[i + ahead].number; }

private:
  const std::vector<RawRecord> &records;
  size_t i = 0;
};

// Appends the points of a bulged segment after p0, ending exactly at p1.
void AppendBulge(Point p0, Point p1, double bulge, PointList *out);

// Conic arc points from t0 to t1 (for hatch edges, which are filled).
void AppendConic(Point c, Point u, Point v, double t0, double t1, PointList *out);

// Line types are matched by name whatever the case.
std::string LineTypeKey(const char *name);

// A HATCH's boundary rings (separated by NaN points) and, given pattern, its
// pattern lines: a solid fill's rings without pattern, a pattern hatch's
// with it, nothing otherwise (dxfhatch.cpp).
void ReadHatch(dimeEntity *entity, PointList *rings, std::vector<PatternLine> *pattern);
// The boundary of a solid fill; none for a pattern hatch.
void HatchRings(dimeEntity *entity, PointList *rings);

}  // namespace zulan

#endif
