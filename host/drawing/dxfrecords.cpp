// The loader's shared pieces: affine maps, angles, arcs as points and
// libdime's raw group records.
#include <dime/records/Record.h>
#include <dime/RecordHolder.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "dxfrecords.h"
#include "dxfvalues.h"
#include "text.h"

namespace zulan
{
namespace
{

constexpr double BulgeStep = 2 * Degrees;
constexpr int MaxArcSteps = 720;

}  // namespace

Affine Compose(const Affine &outer, const Affine &inner)
{
  Affine r;
  r.a = outer.a * inner.a + outer.c * inner.b;
  r.b = outer.b * inner.a + outer.d * inner.b;
  r.c = outer.a * inner.c + outer.c * inner.d;
  r.d = outer.b * inner.c + outer.d * inner.d;
  r.e = outer.a * inner.e + outer.c * inner.f + outer.e;
  r.f = outer.b * inner.e + outer.d * inner.f + outer.f;
  return r;
}

Affine Translation(double x, double y)
{
  Affine m;
  m.e = x;
  m.f = y;
  return m;
}

Affine RotationScale(double degrees, double sx, double sy)
{
  const double cs = std::cos(degrees * Degrees), sn = std::sin(degrees * Degrees);
  Affine m;
  m.a = cs * sx;
  m.b = sn * sx;
  m.c = -sn * sy;
  m.d = cs * sy;
  return m;
}

std::string Upper(const char *text)
{
  return Text::UpperCase(text != nullptr ? text : "");
}

// An angle in [0, period). fmod keeps angles far beyond one turn exact, where
// adding or taking whole turns would no longer change them.
double Normalized(double angle, double period)
{
  double r = std::fmod(angle, period);
  if (r < 0)
    r += period;
  return r < period ? r : 0;  // a tiny negative angle rounds up to period
}

// The counter-clockwise sweep from direction start to direction end, in
// (0, period]; ends that meet make a full turn. libdime keeps angles in single
// precision, so ends a few float steps apart meet: a full ellipse ends at
// float(2π), just beyond 2π.
double Sweep(double start, double end, double period)
{
  const double sweep = Normalized(end - start, period);
  const double meet = std::max({std::fabs(start), std::fabs(end), period}) * 0x1p-21;
  return sweep <= meet || sweep >= period - meet ? period : sweep;
}

// Segments for an arc of the given sweep, without casting an out-of-range or
// NaN double to int. A sweep a hair over whole steps (a quarter circle's bulge
// in full precision) takes no extra one.
int ArcSteps(double sweep, int fewest)
{
  return ConicSteps(sweep, BulgeStep, fewest, MaxArcSteps, 1e-9);
}

std::vector<RawRecord> RawRecords(const dimeRecordHolder *entity)
{
  std::vector<RawRecord> out;
  for (int i = 0; i < entity->getNumRecordsInRecordHolder(); ++i)
  {
    const dimeRecord *record = entity->getRecordInRecordHolder(i);
    dimeParam param;
    record->getValue(param);
    RawRecord raw{record->getGroupCode(), 0, {}};
    switch (record->typeId())
    {
    case dimeBase::dimeStringRecordType:
    case dimeBase::dimeHexRecordType:
      raw.text = param.string_data ? param.string_data : "";
      break;
    case dimeBase::dimeFloatRecordType:
      raw.number = param.float_data;
      break;
    case dimeBase::dimeDoubleRecordType:
      raw.number = param.double_data;
      break;
    case dimeBase::dimeInt8RecordType:
      raw.number = param.int8_data;
      break;
    case dimeBase::dimeInt16RecordType:
      raw.number = param.int16_data;
      break;
    case dimeBase::dimeInt32RecordType:
      raw.number = param.int32_data;
      break;
    default:
      break;
    }
    out.push_back(raw);
  }
  return out;
}

bool ReadTextNumber(RawRecord *record)
{
  return record->text.empty() || ParseReal(record->text, &record->number);
}

// An integer group kept in a record holder, whatever record type libdime
// read it into.
bool IntegerGroup(const dimeRecordHolder *holder, int code, int *value)
{
  for (int i = 0; i < holder->getNumRecordsInRecordHolder(); ++i)
  {
    const dimeRecord *record = holder->getRecordInRecordHolder(i);
    if (record->getGroupCode() != code)
      continue;
    dimeParam param;
    record->getValue(param);
    switch (record->typeId())
    {
    case dimeBase::dimeInt8RecordType:
      *value = param.int8_data;
      return true;
    case dimeBase::dimeInt16RecordType:
      *value = param.int16_data;
      return true;
    case dimeBase::dimeInt32RecordType:
      *value = param.int32_data;
      return true;
    case dimeBase::dimeStringRecordType:
      *value = param.string_data ? std::atoi(param.string_data) : 0;
      return true;
    default:
      return false;
    }
  }
  return false;
}

// Appends the points of a bulged segment after p0, ending exactly at p1.
void AppendBulge(Point p0, Point p1, double bulge, PointList *out)
{
  const double theta = 4 * std::atan(bulge);
  const double dx = p1.x - p0.x, dy = p1.y - p0.y;
  const double chord = std::hypot(dx, dy);
  if (bulge != 0 && chord > 0 && std::isfinite(theta))
  {
    // Centre off the chord's midpoint along its left normal.
    const double h = (1 - bulge * bulge) / (4 * bulge);
    const double cx = p0.x + dx / 2 - dy * h, cy = p0.y + dy / 2 + dx * h;
    const int steps = ArcSteps(theta, 1);
    for (int k = 1; k < steps; ++k)
    {
      const double t = theta * k / steps;
      const double cs = std::cos(t), sn = std::sin(t);
      out->Add({cx + (p0.x - cx) * cs - (p0.y - cy) * sn, cy + (p0.x - cx) * sn + (p0.y - cy) * cs});
    }
  }
  out->Add(p1);
}

// Conic arc points from t0 to t1 (for hatch edges, which are filled).
void AppendConic(Point c, Point u, Point v, double t0, double t1, PointList *out)
{
  ConicPoints(c, u, v, t0, t1, ArcSteps(t1 - t0, 2), [&](Point p) { out->Add(p); });
}

// Line types are matched by name whatever the case.
std::string LineTypeKey(const char *name)
{
  std::string key = Upper(name);
  return key == "CONTINUOUS" ? std::string() : key;
}

}  // namespace zulan
