// Pattern hatches: each family's lines are cut by the boundary rings with the
// even-odd rule, then dashed. The work runs in a frame turned so that the
// family's lines are horizontal (u along them, v across), where every ring
// edge meets a known run of lines; nothing loops over lines that miss the
// boundary, and every count is known before it is spent.
#include "conic.h"
#include "drawinginternal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace zulan
{

namespace
{

struct Edge
{
  Point p, q;
};

bool Finite(Point p)
{
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// The edges of the closed rings; rings of fewer than three points enclose
// nothing.
std::vector<Edge> RingEdges(const std::vector<Point> &rings)
{
  std::vector<Edge> edges;
  size_t start = 0;
  for (size_t i = 0; i <= rings.size(); ++i)
  {
    if (i < rings.size() && !std::isnan(rings[i].x))
      continue;
    if (i - start >= 3)
    {
      for (size_t j = start; j < i; ++j)
      {
        const Point p = rings[j], q = rings[j + 1 < i ? j + 1 : start];
        if (Finite(p) && Finite(q))
          edges.push_back({p, q});
      }
    }
    start = i + 1;
  }
  return edges;
}

// One family, its pieces appended to out.
class Family
{
public:
  Family(const PatternLine &line, size_t pieceLimit, double *workLeft, std::vector<PatternPiece> *pieces)
    : dashes(line.dashes), maxPieces(pieceLimit), work(workLeft), out(pieces)
  {
    const double radians = line.angle * Degrees;
    dir = {std::cos(radians), std::sin(radians)};
    across = {-dir.y, dir.x};
    offset = line.offset;
    base = line.base;
    for (double dash : dashes)
    {
      starts.push_back(period);
      period += std::fabs(dash);
    }
    // A pattern of nothing but dots would put infinitely many on a line.
    if (!(period > 0) || !std::isfinite(period))
      dashes.clear();
  }

  void Draw(const std::vector<Edge> &edges)
  {
    double lineSpacing = Dot(offset, across);
    if (lineSpacing < 0)
    {
      offset = {-offset.x, -offset.y};
      lineSpacing = -lineSpacing;
    }
    if (!(lineSpacing > 0) || !std::isfinite(lineSpacing) || edges.empty() || !Finite(base))
      return;
    double vMin = INFINITY, vMax = -INFINITY, uMin = INFINITY, uMax = -INFINITY;
    for (const Edge &edge : edges)
    {
      vMin = std::min({vMin, Dot(edge.p, across), Dot(edge.q, across)});
      vMax = std::max({vMax, Dot(edge.p, across), Dot(edge.q, across)});
      uMin = std::min({uMin, Dot(edge.p, dir), Dot(edge.q, dir)});
      uMax = std::max({uMax, Dot(edge.p, dir), Dot(edge.q, dir)});
    }
    // A line touching a corner crosses both its edges at one point, give or
    // take rounding: no piece.
    const double touch = (uMax - uMin) * 1e-12;
    // The lines crossing the boundary's band, counted before any is made.
    const double vBase = Dot(base, across);
    const double first = std::ceil((vMin - vBase) / lineSpacing);
    const double count = std::floor((vMax - vBase) / lineSpacing) - first + 1;
    Spend(double(edges.size()) + (count > 0 ? count : 0));
    if (!(count <= double(maxPieces)))
      throw PatternTooLarge();
    if (count < 1)
      return;
    // Lines are numbered from the first in the band, whose base point is
    // found once: a base far off the boundary (k in the billions) costs
    // nothing and leaves the numbers small.
    lines = int64_t(count);
    v0 = vBase + first * lineSpacing;
    spacing = lineSpacing;
    shift = Dot(offset, dir);
    u0 = Dot(base, dir) + first * shift;

    // Crossings, each line's gathered and sorted along it.
    double crossings = 0;
    for (const Edge &edge : edges)
    {
      int64_t lo, hi;
      if (Run(edge, &lo, &hi))
        crossings += double(hi - lo + 1);
    }
    Spend(crossings);
    if (crossings > 2 * double(maxPieces))
      throw PatternTooLarge();
    std::vector<std::pair<int64_t, double>> hits;
    hits.reserve(size_t(crossings));
    for (const Edge &edge : edges)
    {
      int64_t lo, hi;
      if (!Run(edge, &lo, &hi))
        continue;
      const double vp = Dot(edge.p, across), vq = Dot(edge.q, across);
      const double up = Dot(edge.p, dir), uq = Dot(edge.q, dir);
      const double low = std::min(vp, vq), high = std::max(vp, vq);
      for (int64_t j = lo; j <= hi; ++j)
      {
        // Half-open, so a line through a vertex is crossed once, not twice.
        const double v = LineV(j);
        if (v >= low && v < high)
          hits.push_back({j, up + (uq - up) * ((v - vp) / (vq - vp))});
      }
    }
    std::sort(hits.begin(), hits.end());
    // Even-odd: inside between the first and second crossing, the third
    // and fourth, and so on.
    for (size_t i = 0; i + 1 < hits.size();)
    {
      if (hits[i + 1].first != hits[i].first)
      {
        ++i;  // an odd crossing left by rounding: no inside to pair it with
        continue;
      }
      if (hits[i + 1].second - hits[i].second > touch)
        Dash(hits[i].first, hits[i].second, hits[i + 1].second);
      i += 2;
    }
  }

private:
  static double Dot(Point a, Point b) { return a.x * b.x + a.y * b.y; }

  void Spend(double steps)
  {
    *work -= steps;
    if (!(*work >= 0))
      throw PatternTooLarge();
  }

  double LineV(int64_t j) const { return v0 + double(j) * spacing; }

  // The lines an edge may cross, one wider each side than division says so
  // that rounding cannot lose one; false when none.
  bool Run(const Edge &edge, int64_t *lo, int64_t *hi) const
  {
    const double vp = Dot(edge.p, across), vq = Dot(edge.q, across);
    if (!(vp != vq))
      return false;
    const double a = std::floor((std::min(vp, vq) - v0) / spacing) - 1;
    const double b = std::ceil((std::max(vp, vq) - v0) / spacing) + 1;
    const double last = double(lines - 1);
    if (!(b >= 0) || !(a <= last))
      return false;
    *lo = a > 0 ? int64_t(a) : 0;
    *hi = b < last ? int64_t(b) : lines - 1;
    return true;
  }

  void Add(int64_t line, double ua, double ub)
  {
    if (out->size() >= maxPieces)
      throw PatternTooLarge();
    const double v = LineV(line);
    out->push_back(
      {{dir.x * ua + across.x * v, dir.y * ua + across.y * v}, {dir.x * ub + across.x * v, dir.y * ub + across.y * v}});
  }

  // The inside stretch [ua, ub] of a line, dashed. The pattern's phase runs
  // from the line's own base point, so the pieces of one line on either side
  // of a hole stay in step.
  void Dash(int64_t line, double ua, double ub)
  {
    if (dashes.empty())
    {
      Add(line, ua, ub);
      return;
    }
    const double anchor = u0 + double(line) * shift;
    double phase = std::fmod(ua - anchor, period);
    if (phase < 0)
      phase += period;
    if (!(phase < period))
      phase = 0;
    // Measured from ua, so far-off coordinates leave the steps exact.
    const double end = phase + (ub - ua);
    const double periods = std::floor(end / period) + 1;
    Spend(periods * double(dashes.size()));
    for (int64_t n = 0; double(n) < periods; ++n)
    {
      for (size_t i = 0; i < dashes.size(); ++i)
      {
        const double dash = dashes[i];
        const double from = double(n) * period + starts[i];
        if (dash > 0)
        {
          const double a = std::max(from, phase), b = std::min(from + dash, end);
          if (b > a)
            Add(line, ua + (a - phase), ua + (b - phase));
        }
        else if (dash == 0 && from >= phase && from <= end)
        {
          Add(line, ua + (from - phase), ua + (from - phase));
        }
      }
    }
  }

  std::vector<double> dashes;
  std::vector<double> starts;  // where each dash starts in the period
  double period = 0;
  size_t maxPieces;
  double *work;
  std::vector<PatternPiece> *out;
  Point dir{1, 0}, across{0, 1}, offset{0, 0}, base{0, 0};
  int64_t lines = 0;
  double v0 = 0, spacing = 1, shift = 0, u0 = 0;
};

}  // namespace

std::vector<PatternPiece> PatternPieces(const std::vector<Point> &rings, const std::vector<PatternLine> &lines,
                                        size_t maxPieces, double *work)
{
  std::vector<PatternPiece> pieces;
  if (lines.empty())
    return pieces;
  const std::vector<Edge> edges = RingEdges(rings);
  for (const PatternLine &line : lines)
    Family(line, maxPieces, work, &pieces).Draw(edges);
  return pieces;
}

}  // namespace zulan
