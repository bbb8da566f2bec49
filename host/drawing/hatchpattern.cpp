// Pattern hatches: each family's lines are cut by the boundary rings with the
// even-odd rule, then dashed. The work runs in a frame turned so that the
// family's lines are horizontal (u along them, v across), where every ring
// edge meets a known run of lines; nothing loops over lines that miss the
// boundary, and every count is known before it is spent.
#include "drawinginternal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace zulan
{

namespace
{

constexpr double kDegrees = 3.14159265358979323846 / 180;

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
  Family(const PatternLine &line, size_t maxPieces, double *work, std::vector<PatternPiece> *out)
      : dashes_(line.dashes), maxPieces_(maxPieces), work_(work), out_(out)
  {
    const double radians = line.angle * kDegrees;
    dir_ = {std::cos(radians), std::sin(radians)};
    across_ = {-dir_.y, dir_.x};
    offset_ = line.offset;
    base_ = line.base;
    for (double dash : dashes_)
    {
      starts_.push_back(period_);
      period_ += std::fabs(dash);
    }
    // A pattern of nothing but dots would put infinitely many on a line.
    if (!(period_ > 0) || !std::isfinite(period_))
      dashes_.clear();
  }

  void Draw(const std::vector<Edge> &edges)
  {
    double spacing = Dot(offset_, across_);
    if (spacing < 0)
    {
      offset_ = {-offset_.x, -offset_.y};
      spacing = -spacing;
    }
    if (!(spacing > 0) || !std::isfinite(spacing) || edges.empty() || !Finite(base_))
      return;
    double vMin = INFINITY, vMax = -INFINITY, uMin = INFINITY, uMax = -INFINITY;
    for (const Edge &edge : edges)
    {
      vMin = std::min({vMin, Dot(edge.p, across_), Dot(edge.q, across_)});
      vMax = std::max({vMax, Dot(edge.p, across_), Dot(edge.q, across_)});
      uMin = std::min({uMin, Dot(edge.p, dir_), Dot(edge.q, dir_)});
      uMax = std::max({uMax, Dot(edge.p, dir_), Dot(edge.q, dir_)});
    }
    // A line touching a corner crosses both its edges at one point, give or
    // take rounding: no piece.
    const double touch = (uMax - uMin) * 1e-12;
    // The lines crossing the boundary's band, counted before any is made.
    const double vBase = Dot(base_, across_);
    const double first = std::ceil((vMin - vBase) / spacing);
    const double count = std::floor((vMax - vBase) / spacing) - first + 1;
    Spend(double(edges.size()) + (count > 0 ? count : 0));
    if (!(count <= double(maxPieces_)))
      throw PatternTooLarge();
    if (count < 1)
      return;
    // Lines are numbered from the first in the band, whose base point is
    // found once: a base far off the boundary (k in the billions) costs
    // nothing and leaves the numbers small.
    lines_ = int64_t(count);
    v0_ = vBase + first * spacing;
    spacing_ = spacing;
    shift_ = Dot(offset_, dir_);
    u0_ = Dot(base_, dir_) + first * shift_;

    // Crossings, each line's gathered and sorted along it.
    double crossings = 0;
    for (const Edge &edge : edges)
    {
      int64_t lo, hi;
      if (Run(edge, &lo, &hi))
        crossings += double(hi - lo + 1);
    }
    Spend(crossings);
    if (crossings > 2 * double(maxPieces_))
      throw PatternTooLarge();
    std::vector<std::pair<int64_t, double>> hits;
    hits.reserve(size_t(crossings));
    for (const Edge &edge : edges)
    {
      int64_t lo, hi;
      if (!Run(edge, &lo, &hi))
        continue;
      const double vp = Dot(edge.p, across_), vq = Dot(edge.q, across_);
      const double up = Dot(edge.p, dir_), uq = Dot(edge.q, dir_);
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
        ++i; // an odd crossing left by rounding: no inside to pair it with
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
    *work_ -= steps;
    if (!(*work_ >= 0))
      throw PatternTooLarge();
  }

  double LineV(int64_t j) const { return v0_ + double(j) * spacing_; }

  // The lines an edge may cross, one wider each side than division says so
  // that rounding cannot lose one; false when none.
  bool Run(const Edge &edge, int64_t *lo, int64_t *hi) const
  {
    const double vp = Dot(edge.p, across_), vq = Dot(edge.q, across_);
    if (!(vp != vq))
      return false;
    const double a = std::floor((std::min(vp, vq) - v0_) / spacing_) - 1;
    const double b = std::ceil((std::max(vp, vq) - v0_) / spacing_) + 1;
    const double last = double(lines_ - 1);
    if (!(b >= 0) || !(a <= last))
      return false;
    *lo = a > 0 ? int64_t(a) : 0;
    *hi = b < last ? int64_t(b) : lines_ - 1;
    return true;
  }

  void Add(int64_t line, double ua, double ub)
  {
    if (out_->size() >= maxPieces_)
      throw PatternTooLarge();
    const double v = LineV(line);
    out_->push_back({{dir_.x * ua + across_.x * v, dir_.y * ua + across_.y * v},
                     {dir_.x * ub + across_.x * v, dir_.y * ub + across_.y * v}});
  }

  // The inside stretch [ua, ub] of a line, dashed. The pattern's phase runs
  // from the line's own base point, so the pieces of one line on either side
  // of a hole stay in step.
  void Dash(int64_t line, double ua, double ub)
  {
    if (dashes_.empty())
    {
      Add(line, ua, ub);
      return;
    }
    const double anchor = u0_ + double(line) * shift_;
    double phase = std::fmod(ua - anchor, period_);
    if (phase < 0)
      phase += period_;
    if (!(phase < period_))
      phase = 0;
    // Measured from ua, so far-off coordinates leave the steps exact.
    const double end = phase + (ub - ua);
    const double periods = std::floor(end / period_) + 1;
    Spend(periods * double(dashes_.size()));
    for (int64_t n = 0; double(n) < periods; ++n)
    {
      for (size_t i = 0; i < dashes_.size(); ++i)
      {
        const double dash = dashes_[i];
        const double from = double(n) * period_ + starts_[i];
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

  std::vector<double> dashes_;
  std::vector<double> starts_; // where each dash starts in the period
  double period_ = 0;
  size_t maxPieces_;
  double *work_;
  std::vector<PatternPiece> *out_;
  Point dir_{1, 0}, across_{0, 1}, offset_{0, 0}, base_{0, 0};
  int64_t lines_ = 0;
  double v0_ = 0, spacing_ = 1, shift_ = 0, u0_ = 0;
};

} // namespace

std::vector<PatternPiece> PatternPieces(const std::vector<Point> &rings,
                                        const std::vector<PatternLine> &lines, size_t maxPieces,
                                        double *work)
{
  std::vector<PatternPiece> pieces;
  if (lines.empty())
    return pieces;
  const std::vector<Edge> edges = RingEdges(rings);
  for (const PatternLine &line : lines)
    Family(line, maxPieces, work, &pieces).Draw(edges);
  return pieces;
}

} // namespace zulan
