// LEADERs, and DIMENSIONs whose block is missing (dxflib-based programs
// write none), drawn from their definition points as their dimension
// style and its overrides say: lines, arrowheads, the measurement.
#include <dime/entities/Entity.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dxfbuild.h"
#include "textmetrics.h"

namespace zulan
{
namespace
{

double Dot(Point a, Point b)
{
  return a.x * b.x + a.y * b.y;
}

bool Finite(Point p)
{
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// The unit vector along d; false when d has no length.
bool Unit(Point d, Point *unit)
{
  const double length = std::hypot(d.x, d.y);
  if (!(length > 0) || !std::isfinite(length))
    return false;
  *unit = Times(d, 1 / length);
  return true;
}

// Segments and arrows with a coordinate beyond double range are left out.
void AddLine(Annotation *a, Point p, Point q)
{
  if (Finite(p) && Finite(q))
    a->lines.push_back({p, q});
}

// A path is left out whole when a point is beyond double range.
void AddPath(Annotation *a, std::vector<Point> path)
{
  if (std::all_of(path.begin(), path.end(), Finite))
    a->lines.push_back(std::move(path));
}

// A dimension's arrowhead at its first (0) or second (1) end: the ticks
// $DIMTSZ asks for (a stroke from -DIMTSZ to DIMTSZ each way), else the
// arrowhead its style names.
void AddDimensionArrow(Annotation *a, const DimensionStyle &s, int end, Point tip, Point direction)
{
  if (s.tickSize > 0)
    AddArrow(a, {ArrowKind::Oblique, {}}, tip, direction, 2 * s.tickSize * s.scale);
  else
    AddArrow(a, s.ArrowAt(end), tip, direction, s.arrow * s.scale);
}

// How far the dimension line stops short of its end (negative: reaches
// past it, $DIMDLE, where the end is a stroke).
double DimensionLineSetback(const DimensionStyle &s, int end)
{
  const ArrowKind kind = s.tickSize > 0 ? ArrowKind::Oblique : s.ArrowAt(end).kind;
  if (IsStrokeArrow(kind))
    return -s.lineBeyond * s.scale;
  return ArrowSetback(kind) * s.arrow * s.scale;
}

// An extension line unless the style leaves the first (0) or second (1)
// out; in its own colour, the rest taking the dimension line's (Paint).
void AddExtensionLine(Annotation *a, const DimensionStyle &s, int which, Point p, Point q)
{
  const size_t before = a->lines.size();
  if (!s.extensionHidden[which])
    AddLine(a, p, q);
  if (a->lines.size() == before)
    return;
  a->lineAci.resize(before, -1);
  a->lineAci.push_back(s.extensionColour);
}

// The style's colours ($DIMCLRD, $DIMCLRE, $DIMCLRT), none kept when all
// are the entity's.
void Paint(Annotation *a, const DimensionStyle &s)
{
  a->lineAci.resize(a->lines.size(), -1);
  bool own = false;
  for (int &aci : a->lineAci)
  {
    aci = aci == -1 ? s.lineColour : aci;
    own = own || aci != 0;
  }
  a->arrowAci.assign(a->arrows.size(), s.lineColour);
  for (AnnotationNote &note : a->notes)
    note.aci = s.textColour;
  for (AnnotationBlock &block : a->blocks)
    block.aci = s.lineColour;
  if (!own)
    a->lineAci.clear();
  if (s.lineColour == 0)
    a->arrowAci.clear();
}

// Points of group 10 + i (x) and 20 + i (y), in the order given.
struct Definition
{
  Point p[7] = {};  // 10 .. 16
  bool has[7] = {};
  double degrees = 0;        // 50
  double textDegrees = NAN;  // 53
  int type = 0;              // 70, low three bits
  bool xOrdinate = false;    // 70 bit 64: an ordinate measures x
  std::string text;          // 1
};

Definition ReadDefinition(dimeEntity *entity)
{
  Definition d;
  bool down = false;
  for (const RawRecord &r : RawRecords(entity))
  {
    if (r.code >= 10 && r.code <= 16)
    {
      d.p[r.code - 10].x = r.number;
      d.has[r.code - 10] = true;
    }
    else if (r.code >= 20 && r.code <= 26)
      d.p[r.code - 20].y = r.number;
    else if (r.code == 50)
      d.degrees = r.number;
    else if (r.code == 53)
      d.textDegrees = r.number;
    else if (r.code == 70)
    {
      d.type = int(r.number) & 7;
      d.xOrdinate = int(r.number) & 64;
    }
    else if (r.code == 1)
      d.text = r.text;
    else if (r.code == 230)
      down = r.number < 0;
  }
  // The text's point (11), 12 and the angular arc's point (16) are in the
  // object's coordinates, the others in the world's: seen from above, a
  // downward extrusion mirrors the first in x.
  for (int i : {1, 2, 6})
    d.p[i].x = down ? -d.p[i].x : d.p[i].x;
  return d;
}

// A measurement with its decimals; zeros bit 4 drops a leading zero ("0.5"
// as ".5"), bit 8 trailing ones ("2.50" as "2.5", "2.00" as "2"), as
// $DIMZIN (and $DIMAZIN for angles, bits 1 and 2) say; the decimal
// separator $DIMDSEP's.
std::string Measured(double value, int decimals, int zeros, char separator)
{
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
  std::string text = digits;
  const size_t point = text.find('.');
  if (point != std::string::npos && (zeros & 8))
  {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
      text.pop_back();
  }
  if ((zeros & 4) && text.size() > 2 && text.compare(0, 2, "0.") == 0)
    text.erase(0, 1);
  else if ((zeros & 4) && text.size() > 3 && text.compare(0, 3, "-0.") == 0)
    text.erase(1, 1);
  const size_t at = text.find('.');
  if (at != std::string::npos)
    text[at] = separator;
  return text;
}

std::string Length(double value, const DimensionStyle &s)
{
  return Measured(value * s.lengthFactor, s.decimals, s.zeros, s.separator);
}

// Text along a line reads from the left or from below, as CAD programs turn it.
double Upright(Point along)
{
  double radians = std::atan2(along.y, along.x);
  if (radians > Pi / 2 + 1e-9 || radians <= -Pi / 2 + 1e-9)
    radians += radians > 0 ? -Pi : Pi;
  return radians;
}

// The text's box, its gap round it: where a dimension line whose text
// stands across it ($DIMTAD 0) is broken.
struct TextBox
{
  Point centre, along, up;
  double halfWidth, halfHeight;
};

TextBox BoxOf(const AnnotationNote &note, const DimensionStyle &s, const DxfTextDecoder &decoder)
{
  const double gap = s.gap * s.scale;
  const double width = TextAdvanceEms(NoteText(note, decoder)) * note.height / CapHeightEms;
  const Point along{std::cos(note.radians), std::sin(note.radians)};
  return {note.at, along, {-along.y, along.x}, width / 2 + gap, note.height / 2 + gap};
}

// The part of the segment p-q inside the box, as parameters from p; false
// when it misses the box.
bool Within(const TextBox &box, Point p, Point q, double *t0, double *t1)
{
  double low = 0, high = 1;
  for (const auto &[axis, half] : {std::make_pair(box.along, box.halfWidth), std::make_pair(box.up, box.halfHeight)})
  {
    const double at = Dot(Minus(p, box.centre), axis), run = Dot(Minus(q, p), axis);
    if (std::fabs(run) < 1e-12 * (std::fabs(at) + half + 1))
    {
      if (std::fabs(at) >= half)
        return false;
      continue;
    }
    double enter = (-half - at) / run, leave = (half - at) / run;
    if (enter > leave)
      std::swap(enter, leave);
    low = std::max(low, enter);
    high = std::min(high, leave);
  }
  *t0 = low;
  *t1 = high;
  return low < high;
}

// The path with what lies inside the box taken out, as the pieces left.
void AddBroken(Annotation *a, const std::vector<Point> &path, const TextBox &box)
{
  std::vector<Point> piece;
  auto finish = [&] {
    if (piece.size() >= 2)
      AddPath(a, std::move(piece));
    piece.clear();
  };
  for (size_t i = 0; i + 1 < path.size(); ++i)
  {
    const Point p = path[i], q = path[i + 1];
    if (piece.empty())
      piece.push_back(p);
    double t0, t1;
    if (!Within(box, p, q, &t0, &t1))
    {
      piece.push_back(q);
      continue;
    }
    if (t0 > 0)
      piece.push_back(Plus(p, Times(Minus(q, p), t0)));
    finish();
    if (t1 < 1)
      piece = {Plus(p, Times(Minus(q, p), t1)), q};
  }
  finish();
}

// The dimension line (or arc) as its text leaves it: whole under text above
// or below it, broken round text across it.
void AddDimensionPath(Annotation *a, std::vector<Point> path, const DimensionStyle &s, const DxfTextDecoder &decoder)
{
  if (s.textAbove || a->notes.empty())
    AddPath(a, std::move(path));
  else
    AddBroken(a, path, BoxOf(a->notes.back(), s, decoder));
}

// Where text stands without a point of its own (11): on the line at `on`,
// or off it by the gap ($DIMTAD), above it (along `up`) or below.
Point DefaultTextPoint(Point on, Point up, const DimensionStyle &s)
{
  if (!s.textAbove)
    return on;
  const double off = s.textHeight * s.scale / 2 + s.gap * s.scale;
  return Plus(on, Times(up, s.textBelow ? -off : off));
}

// The dimension line from e1 to e2 with arrowheads at both ends pointing
// out, and the text at 11 (about the line's middle when absent).
void DimensionLine(Annotation *a, const Definition &d, Point e1, Point e2, const DimensionStyle &s,
                   const std::string &measured, const DxfTextDecoder &decoder)
{
  Point along{1, 0};
  const bool hasLength = Unit(Minus(e2, e1), &along);
  if (hasLength)
  {
    AddDimensionArrow(a, s, 0, e1, Times(along, -1));
    AddDimensionArrow(a, s, 1, e2, along);
  }
  // Level text ($DIMTIH between the extension lines, $DIMTOH outside).
  const double length = std::hypot(e2.x - e1.x, e2.y - e1.y);
  const double share = d.has[1] && length > 0 ? Dot(Minus(d.p[1], e1), along) / length : 0.5;
  const bool level = share >= 0 && share <= 1 ? s.insideHorizontal : s.outsideHorizontal;
  const double radians = std::isfinite(d.textDegrees) ? d.textDegrees * Degrees : level ? 0 : Upright(along);
  const Point up{-std::sin(radians), std::cos(radians)};
  const Point at = d.has[1] ? d.p[1] : DefaultTextPoint(Times(Plus(e1, e2), 0.5), up, s);
  if (Finite(at))
    a->notes.push_back({at, s.textHeight * s.scale, radians, measured, d.text});
  // Short of blank arrowheads, or on past strokes; whole when too short
  // to stop short.
  const double back1 = DimensionLineSetback(s, 0), back2 = DimensionLineSetback(s, 1);
  if (hasLength && back1 + back2 < length)
  {
    e1 = Plus(e1, Times(along, back1));
    e2 = Minus(e2, Times(along, back2));
  }
  if (Finite(e1) && Finite(e2))
    AddDimensionPath(a, {e1, e2}, s, decoder);
}

// Linear (rotated by 50) and aligned: extension lines from 13 and 14 to the
// dimension line through 10, leaving $DIMEXO at the object and reaching
// $DIMEXE beyond.
void Linear(Annotation *a, const Definition &d, const DimensionStyle &s, const DxfTextDecoder &decoder)
{
  const Point p1 = d.p[3], p2 = d.p[4], on = d.p[0];
  Point u;
  if (d.type == 1)
  {
    if (!Unit(Minus(p2, p1), &u))
      return;
  }
  else
    u = {std::cos(d.degrees * Degrees), std::sin(d.degrees * Degrees)};
  const Point e1 = Plus(on, Times(u, Dot(Minus(p1, on), u)));
  const Point e2 = Plus(on, Times(u, Dot(Minus(p2, on), u)));
  const std::pair<Point, Point> extensions[2] = {{p1, e1}, {p2, e2}};
  for (int which = 0; which < 2; ++which)
  {
    const auto &[from, to] = extensions[which];
    Point out;
    if (Unit(Minus(to, from), &out))
      AddExtensionLine(a, s, which, Plus(from, Times(out, s.extensionOffset * s.scale)),
                       Plus(to, Times(out, s.extensionBeyond * s.scale)));
  }
  DimensionLine(a, d, e1, e2, s, Length(std::fabs(Dot(Minus(p2, p1), u)), s), decoder);
}

// The counter-clockwise angle from a to b, 0 to 2π.
double Turn(Point a, Point b)
{
  const double turn = std::atan2(a.x * b.y - a.y * b.x, Dot(a, b));
  return turn < 0 ? turn + 2 * Pi : turn;
}

// Where the line through p0 and p1 meets the one through q0 and q1; false
// when they are parallel.
bool Meet(Point p0, Point p1, Point q0, Point q1, Point *at)
{
  const Point r = Minus(p1, p0), s = Minus(q1, q0);
  const double cross = r.x * s.y - r.y * s.x;
  if (!(std::fabs(cross) > 1e-12 * std::hypot(r.x, r.y) * std::hypot(s.x, s.y)))
    return false;
  *at = Plus(p0, Times(r, ((q0.x - p0.x) * s.y - (q0.y - p0.y) * s.x) / cross));
  return Finite(*at);
}

// One side of an angle: its direction from the vertex, the farthest of its
// definition points along it, and whether it is a whole line (either way).
struct Leg
{
  Point direction;
  Point far[2];
  bool line;
};

// Angular: the arc about the vertex through `through`, over the sector
// between the legs that holds it; extension lines out to the arc where it
// lies beyond a leg's points; the angle in degrees with $DIMADEC decimals.
void Angular(Annotation *a, const Definition &d, const DimensionStyle &s, Point vertex, const Leg (&legs)[2],
             Point through, const DxfTextDecoder &decoder)
{
  const double radius = std::hypot(through.x - vertex.x, through.y - vertex.y);
  const Point toThrough = Minus(through, vertex);
  if (!(radius > 0) || !std::isfinite(radius))
    return;
  Point from{0, 0}, to{0, 0};
  double sweep = 3 * Pi;
  for (int flip = 0; flip < 4; ++flip)
  {
    if ((flip & 1 && !legs[0].line) || (flip & 2 && !legs[1].line))
      continue;
    const Point u = Times(legs[0].direction, flip & 1 ? -1 : 1);
    const Point v = Times(legs[1].direction, flip & 2 ? -1 : 1);
    for (const auto &[first, second] : {std::make_pair(u, v), std::make_pair(v, u)})
    {
      const double turn = Turn(first, second);
      if (turn > 0 && Turn(first, toThrough) <= turn && turn < sweep)
      {
        sweep = turn;
        from = first;
        to = second;
      }
    }
  }
  if (sweep > 2 * Pi)
    return;
  const double start = std::atan2(from.y, from.x);
  AddDimensionArrow(a, s, 0, Plus(vertex, Times(from, radius)), {from.y, -from.x});
  AddDimensionArrow(a, s, 1, Plus(vertex, Times(to, radius)), {-to.y, to.x});
  // Short of blank arrowheads at either end, when the arc is long enough.
  const double back1 = std::max(0.0, DimensionLineSetback(s, 0)) / radius;
  const double back2 = std::max(0.0, DimensionLineSetback(s, 1)) / radius;
  const double drawn = back1 + back2 < sweep ? sweep - back1 - back2 : sweep;
  const double first = back1 + back2 < sweep ? start + back1 : start;
  const int steps = std::max(2, int(std::ceil(drawn / (2 * Degrees))));
  std::vector<Point> arc;
  for (int i = 0; i <= steps; ++i)
  {
    const double t = first + drawn * i / steps;
    arc.push_back(Plus(vertex, Times({std::cos(t), std::sin(t)}, radius)));
  }
  for (int which = 0; which < 2; ++which)
  {
    const Point side = which == 0 ? from : to;
    double reach = 0;  // of the leg's points along this side
    for (const Leg &leg : legs)
    {
      if (std::fabs(leg.direction.x * side.y - leg.direction.y * side.x) > 1e-9)
        continue;  // the other leg
      for (const Point &p : leg.far)
        reach = std::max(reach, Dot(Minus(p, vertex), side));
    }
    if (radius > reach + s.extensionOffset * s.scale)
      AddExtensionLine(a, s, which, Plus(vertex, Times(side, reach + s.extensionOffset * s.scale)),
                       Plus(vertex, Times(side, radius + s.extensionBeyond * s.scale)));
  }
  const double middle = start + sweep / 2;
  const Point outward{std::cos(middle), std::sin(middle)};  // text above the arc stands outside it
  const Point at = d.has[1] ? d.p[1] : DefaultTextPoint(Plus(vertex, Times(outward, radius)), outward, s);
  const double radians =
    std::isfinite(d.textDegrees) ? d.textDegrees * Degrees : Upright({-std::sin(middle), std::cos(middle)});
  if (Finite(at))
    a->notes.push_back({at, s.textHeight * s.scale, radians,
                        Measured(sweep / Degrees, s.angleDecimals, s.angleZeros * 4, s.separator) + "\u00B0", d.text});
  AddDimensionPath(a, std::move(arc), s, decoder);
}

// Ordinate: the leader from the feature (13, $DIMEXO off it) to 14 and the
// feature's x or y from the origin 10.
void Ordinate(Annotation *a, const Definition &d, const DimensionStyle &s)
{
  const Point feature = d.p[3], end = d.p[4];
  Point along{1, 0};
  if (Unit(Minus(end, feature), &along))
    AddLine(a, Plus(feature, Times(along, s.extensionOffset * s.scale)), end);
  const double value = d.xOrdinate ? feature.x - d.p[0].x : feature.y - d.p[0].y;
  const Point at = d.has[1] ? d.p[1] : end;
  const double radians = std::isfinite(d.textDegrees) ? d.textDegrees * Degrees : Upright(along);
  if (Finite(at))
    a->notes.push_back({at, s.textHeight * s.scale, radians, Length(std::fabs(value), s), d.text});
}

// A leader's hook line ends at its last vertex (AutoCAD writes it as one).
// With text above the line ($DIMTAD) the text stands on the line's
// continuation: past the last vertex by the gap and the text's width (41),
// along the horizontal direction (211) to the side the path runs to; a path
// ending upright takes the side of 74 (1: along 211, 0: against it).
void AddTextLine(std::vector<Point> *path, Point horizontal, bool alongHorizontal, double width,
                 const DimensionStyle &style)
{
  Point along;
  if (!Unit(horizontal, &along) || !(width > 0) || path->size() < 2)
    return;
  const Point last = path->back(), run = Minus(last, (*path)[path->size() - 2]);
  const double side = Dot(run, along);
  if (side < 0 || (side == 0 && !alongHorizontal))
    along = Times(along, -1);
  const Point end = Plus(last, Times(along, style.gap * style.scale + width));
  if (Finite(end))
    path->push_back(end);
}

}  // namespace

Annotation LeaderAnnotation(dimeEntity *leader, const DimensionStyle &style)
{
  Annotation a;
  std::vector<Point> path;
  bool arrow = true;                            // 71: AutoCAD's leaders have one unless it says not
  int annotation = 3, hook = 1, hookAlong = 1;  // 75 absent: a hook line, as ezdxf writes it
  double textWidth = 0;
  Point horizontal{1, 0};
  for (RawRecord r : RawRecords(leader))
  {
    // libdime keeps 211 and 221 as their text.
    if (!ReadTextNumber(&r))
      r.number = 0;
    if (r.code == 10)
      path.push_back({r.number, 0});
    else if (r.code == 20 && !path.empty())
      path.back().y = r.number;
    else if (r.code == 71)
      arrow = r.number == 1;
    else if (r.code == 73)
      annotation = int(r.number);
    else if (r.code == 74)
      hookAlong = int(r.number);
    else if (r.code == 75)
      hook = int(r.number);
    else if (r.code == 41)
      textWidth = r.number;
    else if (r.code == 211)
      horizontal.x = r.number;
    else if (r.code == 221)
      horizontal.y = r.number;
  }
  for (const Point &p : path)
  {
    if (!Finite(p))
      return a;
  }
  if (path.size() < 2)
    return a;
  const double size = style.arrow * style.scale;
  for (size_t i = 1; arrow && i < path.size(); ++i)
  {
    Point direction;
    if (Unit(Minus(path[0], path[i]), &direction))
    {
      AddArrow(&a, style.leaderArrow, path[0], direction, size);
      // A blank arrowhead stays empty, the path stopping at its back.
      const double back = ArrowSetback(style.leaderArrow.kind) * size;
      if (i == 1 && back < std::hypot(path[1].x - path[0].x, path[1].y - path[0].y))
        path[0] = Minus(path[0], Times(direction, back));
      break;
    }
  }
  // 73 = 0: the leader carries text; 75 = 1: it has a hook line.
  if (annotation == 0 && hook == 1 && style.textAbove)
    AddTextLine(&path, horizontal, hookAlong == 1, textWidth, style);
  a.lines.push_back(std::move(path));
  Paint(&a, style);
  return a;
}

std::string NoteText(const AnnotationNote &note, const DxfTextDecoder &decoder)
{
  if (note.raw.empty())
    return note.measured;
  std::string text = decoder.ToUtf8(note.raw);
  const size_t at = text.find("<>");
  if (at != std::string::npos)
    text.replace(at, 2, note.measured);
  return text;
}

Annotation DimensionAnnotation(dimeEntity *dimension, const DimensionStyle &style, const DxfTextDecoder &decoder)
{
  Annotation a;
  const Definition d = ReadDefinition(dimension);
  switch (d.type)
  {
  case 0:
  case 1:
    Linear(&a, d, style, decoder);
    break;
  case 3:  // diameter: 15 and 10 opposite on the circle
  case 4:  // radius: 10 the centre, 15 on the circle
  {
    const Point from = d.p[5], to = d.p[0];
    const double length = std::hypot(to.x - from.x, to.y - from.y);
    const std::string measured = (d.type == 3 ? "\u2300" : "R") + Length(length, style);
    if (d.type == 3)
    {
      DimensionLine(&a, d, from, to, style, measured, decoder);
      break;
    }
    Point out{1, 0};
    const bool hasLength = Unit(Minus(from, to), &out);
    if (hasLength)
      AddDimensionArrow(&a, style, 0, from, out);
    const bool inside = !d.has[1] || Dot(Minus(d.p[1], to), out) <= length;
    const bool level = inside ? style.insideHorizontal : style.outsideHorizontal;
    const double radians = std::isfinite(d.textDegrees) ? d.textDegrees * Degrees : level ? 0 : Upright(out);
    const Point at =
      d.has[1] ? d.p[1] : DefaultTextPoint(Times(Plus(from, to), 0.5), {-std::sin(radians), std::cos(radians)}, style);
    if (Finite(at))
      a.notes.push_back({at, style.textHeight * style.scale, radians, measured, d.text});
    const double back = DimensionLineSetback(style, 0);
    const Point end = hasLength && back < length ? Minus(from, Times(out, back)) : from;
    if (Finite(to) && Finite(end))
      AddDimensionPath(&a, {to, end}, style, decoder);
    break;
  }
  case 2:  // two lines, 13-14 and 15-10, the arc through 16
  {
    Point vertex;
    if (!Meet(d.p[3], d.p[4], d.p[5], d.p[0], &vertex))
      break;
    Leg legs[2] = {{{0, 0}, {d.p[3], d.p[4]}, true}, {{0, 0}, {d.p[5], d.p[0]}, true}};
    if (Unit(Minus(d.p[4], d.p[3]), &legs[0].direction) && Unit(Minus(d.p[0], d.p[5]), &legs[1].direction))
      Angular(&a, d, style, vertex, legs, d.p[6], decoder);
    break;
  }
  case 5:  // three points: the vertex 15, the legs to 13 and 14, the arc through 10
  {
    Leg legs[2] = {{{0, 0}, {d.p[3], d.p[3]}, false}, {{0, 0}, {d.p[4], d.p[4]}, false}};
    if (Unit(Minus(d.p[3], d.p[5]), &legs[0].direction) && Unit(Minus(d.p[4], d.p[5]), &legs[1].direction))
      Angular(&a, d, style, d.p[5], legs, d.p[0], decoder);
    break;
  }
  case 6:
    Ordinate(&a, d, style);
    break;
  default:
    break;
  }
  Paint(&a, style);
  return a;
}

}  // namespace zulan
