// SPLINE entities as points: B-splines (rational too) by de Boor's
// algorithm, evenly in each knot span, and fit-point splines as
// Catmull-Rom curves through their points.
#include "drawinginternal.h"

#include <cmath>

namespace zulan
{

namespace
{

// Points per knot span of a curved spline: at 4000 pixels across, a span
// rarely covers more than a few hundred, so chords stay within a pixel of
// the curve for all but very long, tightly bent spans.
constexpr int StepsPerSpan = 24;

bool Finite(double value)
{
  return std::isfinite(value);
}

}  // namespace

std::vector<Point> SplinePoints(const SplineData &spline, size_t limit)
{
  std::vector<Point> points;
  auto add = [&](Point p) {
    if (points.size() >= limit)
      throw SplineTooLong();
    points.push_back(p);
  };
  const size_t n = spline.control.size();
  const int p = spline.degree;
  if (n >= 2)
  {
    const bool rational = spline.weights.size() == n;
    if (p < 1 || p > MaxSplineDegree || n < size_t(p) + 1 || spline.knots.size() != n + size_t(p) + 1)
      return {};
    for (size_t i = 0; i < spline.knots.size(); ++i)
      if (!Finite(spline.knots[i]) || (i > 0 && spline.knots[i] < spline.knots[i - 1]))
        return {};
    for (size_t i = 0; i < n; ++i)
      if (!Finite(spline.control[i].x) || !Finite(spline.control[i].y)
          || (rational && !(spline.weights[i] > 0 && Finite(spline.weights[i]))))
        return {};
    const std::vector<double> &u = spline.knots;
    // de Boor in homogeneous coordinates, on the span k holding t.
    auto evaluate = [&](size_t k, double t) {
      double x[MaxSplineDegree + 1], y[MaxSplineDegree + 1], w[MaxSplineDegree + 1];
      for (int j = 0; j <= p; ++j)
      {
        const size_t index = j + k - size_t(p);
        const double weight = rational ? spline.weights[index] : 1;
        x[j] = spline.control[index].x * weight;
        y[j] = spline.control[index].y * weight;
        w[j] = weight;
      }
      for (int r = 1; r <= p; ++r)
        for (int j = p; j >= r; --j)
        {
          const double low = u[j + k - size_t(p)], high = u[j + 1 + k - size_t(r)];
          const double alpha = high > low ? (t - low) / (high - low) : 0;
          x[j] = (1 - alpha) * x[j - 1] + alpha * x[j];
          y[j] = (1 - alpha) * y[j - 1] + alpha * y[j];
          w[j] = (1 - alpha) * w[j - 1] + alpha * w[j];
        }
      return Point{x[p] / w[p], y[p] / w[p]};
    };
    const int steps = p == 1 ? 1 : StepsPerSpan;
    size_t last = 0;
    for (size_t k = size_t(p); k < n; ++k)
    {
      if (!(u[k + 1] > u[k]))
        continue;
      for (int s = 0; s < steps; ++s)
        add(evaluate(k, u[k] + (u[k + 1] - u[k]) * s / steps));
      last = k;
    }
    if (points.empty())
      return {};
    add(evaluate(last, u[last + 1]));
    return points;
  }

  // Fit points only: a Catmull-Rom curve through them, the ends doubled.
  const std::vector<Point> &f = spline.fit;
  for (const Point &q : f)
    if (!Finite(q.x) || !Finite(q.y))
      return {};
  if (f.size() < 2)
    return {};
  for (size_t i = 0; i + 1 < f.size(); ++i)
  {
    const Point p0 = f[i > 0 ? i - 1 : 0], p1 = f[i], p2 = f[i + 1], p3 = f[i + 2 < f.size() ? i + 2 : i + 1];
    for (int s = 0; s < StepsPerSpan; ++s)
    {
      const double t = double(s) / StepsPerSpan, t2 = t * t, t3 = t2 * t;
      auto blend = [&](double a, double b, double c, double d) {
        return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (3 * b - a - 3 * c + d) * t3);
      };
      add({blend(p0.x, p1.x, p2.x, p3.x), blend(p0.y, p1.y, p2.y, p3.y)});
    }
  }
  add(f.back());
  return points;
}

}  // namespace zulan
