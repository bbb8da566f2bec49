// Rasterising entity records onto a caller-owned 32-bit buffer. Fills and
// text go through cairo: CAIRO_FORMAT_RGB24 has the byte order of a top-down
// 32-bit DIB (B, G, R, x) but writes 0xFF into x where GDI writes 0, so the
// rows cairo touched are tracked and x is cleared in Flush. Lines and curves
// are one-pixel Bresenham walks written directly: cairo's aliased stroke
// costs about 25 us for a 1700-pixel line (2.7 s for 100,000), the walk is
// many times faster and, like GDI's LineTo, leaves out the end pixel. Only
// lines whose weight comes to more than a pixel and a half are stroked by
// cairo.
// Geometry is clipped near the buffer first: cairo holds coordinates in 24.8
// fixed point and wraps beyond about eight million.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "conic.h"
#include "drawing.h"
#include "drawinginternal.h"
#include "textmetrics.h"

namespace zulan
{

namespace
{

constexpr double Guard = 16;       // pixels kept beyond each edge
constexpr double Flatness = 0.25;  // largest chord error of a conic, pixels
constexpr int MaxConicSteps = 1 << 16;
constexpr double MinTextEmPixels = 1;
constexpr double MaxTextEmPixels = 20000;
// Line weights up to this many pixels are drawn one pixel wide, as lines
// without a weight are; wider ones are stroked by cairo, up to the largest.
constexpr double HairlineWidth = 1.5;
constexpr double MaxLineWidth = 1 << 16;
// Wide lines with their ends this close to the origin, in pixels, are
// stroked whole: cutting them would move their edges by rounding, and
// strips of one picture must get the same pixels.
constexpr double WideLineReach = 1 << 21;
// Line types whose pattern comes to less than this many pixels are drawn
// continuous, as their dashes would run together.
constexpr double ShortestDashPeriod = 2;

// Lines whose ends lie closer than this to the origin, in pixels, are drawn
// from their exact ends; the products of the walk stay far inside 64 bits.
constexpr double ExactLineReach = 1u << 30;

// Integer coordinates are pixel centres, as in GDI.
int PixelIndex(double coordinate)
{
  return int(std::floor(coordinate + 0.5));
}

bool Finite(Point p)
{
  return std::isfinite(p.x) && std::isfinite(p.y);
}

}  // namespace

Canvas::Canvas(uint8_t *buffer, int bufferWidth, int bufferHeight)
  : pixels(buffer), width(bufferWidth), height(bufferHeight), dirtyTop(bufferHeight), dirtyBottom(0),
    dirtyLeft(bufferWidth), dirtyRight(0)
{
  // Pixels are written as 32-bit words, so a misaligned buffer is refused.
  if (reinterpret_cast<uintptr_t>(buffer) % 4 != 0)
  {
    pixels = nullptr;
    width = height = 0;
    return;
  }
  // cairo's image surfaces stop at 32767 pixels a side; FillRect still works.
  if (!buffer || bufferWidth <= 0 || bufferHeight <= 0 || bufferWidth > 32767 || bufferHeight > 32767)
  {
    width = buffer ? std::max(bufferWidth, 0) : 0;
    height = buffer ? std::max(bufferHeight, 0) : 0;
    return;
  }
  surface = cairo_image_surface_create_for_data(buffer, CAIRO_FORMAT_RGB24, bufferWidth, bufferHeight, bufferWidth * 4);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
  {
    cairo_surface_destroy(surface);
    surface = nullptr;
    return;
  }
  ResetContext();
}

Canvas::~Canvas()
{
  Flush();
  if (cairo)
    cairo_destroy(cairo);
  if (surface)
    cairo_surface_destroy(surface);
}

void Canvas::ResetContext()
{
  if (cairo)
    cairo_destroy(cairo);
  cairo = cairo_create(surface);
  cairo_set_antialias(cairo, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  // cairo puts pixel centres at half units; ours are at whole ones.
  cairo_translate(cairo, 0.5, 0.5);
  cairo_select_font_face(cairo, FontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_font_options_t *options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_set_font_options(cairo, options);
  cairo_font_options_destroy(options);
}

void Canvas::SetAntialias(bool on)
{
  antialias = on;
  if (cairo)
    ResetContext();
}

// Only the area an entity covers is cleared: the host flushes after every
// entity, and whole rows cost a 100,000-entity drawing more than drawing it.
void Canvas::MarkArea(double left, double top, double right, double bottom)
{
  dirtyTop = std::min(dirtyTop, int(std::max(0.0, std::floor(top) - 1)));
  dirtyBottom = std::max(dirtyBottom, int(std::min(double(height), std::ceil(bottom) + 2)));
  dirtyLeft = std::min(dirtyLeft, int(std::max(0.0, std::floor(left) - 1)));
  dirtyRight = std::max(dirtyRight, int(std::min(double(width), std::ceil(right) + 2)));
}

void Canvas::Flush()
{
  if (!surface || dirtyTop >= dirtyBottom || dirtyLeft >= dirtyRight)
    return;
  cairo_surface_flush(surface);
  for (int row = dirtyTop; row < dirtyBottom; ++row)
  {
    uint8_t *p = pixels + (size_t(row) * size_t(width) + size_t(dirtyLeft)) * 4 + 3;
    for (int x = dirtyLeft; x < dirtyRight; ++x, p += 4)
      *p = 0;
  }
  cairo_surface_mark_dirty_rectangle(surface, dirtyLeft, dirtyTop, dirtyRight - dirtyLeft, dirtyBottom - dirtyTop);
  dirtyTop = height;
  dirtyBottom = 0;
  dirtyLeft = width;
  dirtyRight = 0;
}

void Canvas::FillRect(int xa, int ya, int xb, int yb, uint32_t color)
{
  const int x0 = std::max(0, std::min(xa, xb)), x1 = std::min(width, std::max(xa, xb));
  const int y0 = std::max(0, std::min(ya, yb)), y1 = std::min(height, std::max(ya, yb));
  if (!pixels || x0 >= x1 || y0 >= y1)
    return;
  BeginDirectWrites();
  const uint8_t bgrx[4] = {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color), 0};
  for (int row = y0; row < y1; ++row)
  {
    uint8_t *p = pixels + (size_t(row) * size_t(width) + size_t(x0)) * 4;
    for (int x = x0; x < x1; ++x, p += 4)
      std::memcpy(p, bgrx, 4);
  }
  if (surface)
    cairo_surface_mark_dirty_rectangle(surface, x0, y0, x1 - x0, y1 - y0);
}

// The pixels PutLine would set from (x0, y0) towards (x1, y1), end left
// out, that fall inside the buffer. Only the steps whose major coordinate is
// inside are walked; the walk starts with the error term PutLine would have
// there.
void Canvas::PutClippedLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t color)
{
  const int64_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const bool xMajor = dx >= dy;
  const int64_t length = std::max(dx, dy), rise = std::min(dx, dy);
  if (length == 0)
    return;
  const int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const int64_t majorStep = (xMajor ? x1 > x0 : y1 > y0) ? 1 : -1;
  const int64_t minorStep = (xMajor ? y1 > y0 : x1 > x0) ? 1 : -1;
  const int64_t majorSize = xMajor ? width : height, minorSize = xMajor ? height : width;
  // Steps i in [first, last] have their major coordinate inside.
  int64_t first = majorStep > 0 ? -major0 : major0 - (majorSize - 1);
  int64_t last = majorStep > 0 ? majorSize - 1 - major0 : major0;
  first = std::max<int64_t>(first, 0);
  last = std::min(last, length - 1);
  if (first > last)
    return;
  const int64_t half = length / 2;
  const int64_t behind = first * rise - half;
  int64_t minorSteps = behind <= 0 ? 0 : (behind + length - 1) / length;
  int64_t error = half - first * rise + minorSteps * length;
  int64_t minor = minor0 + minorSteps * minorStep;
  const uint8_t bgrx[4] = {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color), 0};
  uint32_t value;
  std::memcpy(&value, bgrx, 4);
  uint32_t *row = reinterpret_cast<uint32_t *>(pixels);
  for (int64_t i = first, major = major0 + first * majorStep; i <= last; ++i, major += majorStep)
  {
    if (minor >= 0 && minor < minorSize)
    {
      const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
      row[size_t(y) * size_t(width) + size_t(x)] = value;
    }
    error -= rise;
    if (error < 0)
    {
      error += length;
      minor += minorStep;
    }
  }
}

// Bresenham between pixels inside the buffer, stepping a pointer along the
// major axis; the caller has clipped, so no pixel needs a bounds check.
void Canvas::PutLine(int x0, int y0, int x1, int y1, bool withEnd, uint32_t color)
{
  const uint8_t bgrx[4] = {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color), 0};
  uint32_t value;
  std::memcpy(&value, bgrx, 4);
  uint32_t *p = reinterpret_cast<uint32_t *>(pixels) + size_t(y0) * size_t(width) + x0;
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const ptrdiff_t stepX = x0 < x1 ? 1 : -1;
  const ptrdiff_t stepY = y0 < y1 ? ptrdiff_t(width) : -ptrdiff_t(width);
  const ptrdiff_t major = dx >= dy ? stepX : stepY, minor = dx >= dy ? stepY : stepX;
  const int length = std::max(dx, dy), rise = std::min(dx, dy);
  int error = length / 2;
  const int count = withEnd ? length + 1 : length;
  for (int i = 0; i < count; ++i)
  {
    *p = value;
    p += major;
    error -= rise;
    if (error < 0)
    {
      error += length;
      p += minor;
    }
  }
}

void Canvas::StrokePoints(const std::vector<Point> &device, bool closed, uint32_t color)
{
  // Clipped to the buffer, so that the walk stays inside it and short.
  const Rect clip{-0.5, -0.5, width - 0.5 - 1e-6, height - 0.5 - 1e-6};
  const size_t n = device.size();
  if (n < 2 || !pixels)
    return;
  BeginDirectWrites();
  const size_t segments = closed && n > 2 ? n : n - 1;
  for (size_t i = 0; i < segments; ++i)
  {
    Point a = device[i], b = device[(i + 1) % n];
    const Point end = b;
    if (!Finite(a) || !Finite(b))
      continue;
    // A line with its ends in reach is walked from its own rounded ends, so
    // a bitmap that shows part of it (a strip of a larger picture) gets the
    // very pixels the whole line has there.
    if (std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)}) < ExactLineReach)
    {
      PutClippedLine(PixelIndex(a.x), PixelIndex(a.y), PixelIndex(b.x), PixelIndex(b.y), color);
      continue;
    }
    if (!ClipSegment(clip, &a, &b))
      continue;
    const bool endClipped = b.x != end.x || b.y != end.y;
    // Far-away end points leave rounding error in the clipped ones: clamp.
    auto column = [&](double x) { return std::clamp(PixelIndex(x), 0, width - 1); };
    auto row = [&](double y) { return std::clamp(PixelIndex(y), 0, height - 1); };
    PutLine(column(a.x), row(a.y), column(b.x), row(b.y), endClipped, color);
  }
}

// Wide lines have round caps and joins, as CAD programs draw them. Segments
// reaching too far for cairo's fixed point are cut where their caps stay out
// of sight.
void Canvas::StrokeWide(const std::vector<Point> &device, bool closed, double lineWidth)
{
  AppendWidePath(device, closed, lineWidth);
  SetWideStroke(lineWidth);
  cairo_stroke(cairo);
}

void Canvas::SetWideStroke(double lineWidth)
{
  cairo_set_line_width(cairo, lineWidth);
  cairo_set_line_cap(cairo, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cairo, CAIRO_LINE_JOIN_ROUND);
}

void Canvas::AppendWidePath(const std::vector<Point> &device, bool closed, double lineWidth)
{
  const size_t n = device.size();
  if (n == 0)
    return;
  const double reach = lineWidth / 2 + Guard;
  const Rect guard{-reach, -reach, width + reach, height + reach};
  const size_t segments = n == 1 ? 1 : closed && n > 2 ? n : n - 1;
  bool joined = false;  // the path ends where the next segment starts
  for (size_t i = 0; i < segments; ++i)
  {
    Point a = device[i], b = device[(i + 1) % n];
    const Point end = b;
    if (!Finite(a) || !Finite(b))
    {
      joined = false;
      continue;
    }
    const bool inReach = std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)}) < WideLineReach;
    if (!inReach && !ClipSegment(guard, &a, &b))
    {
      joined = false;
      continue;
    }
    if (!joined)
      cairo_move_to(cairo, a.x, a.y);
    cairo_line_to(cairo, b.x, b.y);  // a lone point makes a round dot
    joined = b.x == end.x && b.y == end.y;
  }
}

// Dashes go to the one-pixel walk or, wide, into one cairo path.
class Canvas::DashPieces : public DashWalker::Sink
{
public:
  DashPieces(Canvas &target, double lineWidth, uint32_t lineColor) : canvas(target), width(lineWidth), color(lineColor)
  {
  }
  ~DashPieces() override { Gap(); }
  void Dash(Point from, Point to) override
  {
    if (piece.empty())
      piece.push_back(from);
    if (to.x != piece.back().x || to.y != piece.back().y)
      piece.push_back(to);
  }
  void Gap() override
  {
    if (piece.size() > 1)
    {
      if (width > 0)
        canvas.AppendWidePath(piece, false, width);
      else
        canvas.StrokePoints(piece, false, color);
    }
    piece.clear();
  }
  void Dot(Point at) override
  {
    if (width > 0)
      canvas.AppendWidePath({at}, false, width);
    else
      canvas.FillRect(PixelIndex(at.x), PixelIndex(at.y), PixelIndex(at.x) + 1, PixelIndex(at.y) + 1, color);
  }

private:
  Canvas &canvas;
  double width;
  uint32_t color;
  std::vector<Point> piece;
};

// A line type's dashes along the path. Only the parts near the bitmap are
// walked; the pattern is carried past the rest by its length.
void Canvas::StrokeDashed(const std::vector<Point> &device, bool closed, double lineWidth, uint32_t color,
                          const std::vector<double> &pattern)
{
  const double reach = lineWidth / 2 + Guard;
  const Rect guard{-reach, -reach, width + reach, height + reach};
  const size_t n = device.size();
  if (n < 2)
    return;
  DashWalker walker(pattern);
  {
    DashPieces pieces(*this, lineWidth, color);
    const size_t segments = closed && n > 2 ? n : n - 1;
    for (size_t i = 0; i < segments; ++i)
    {
      const Point a = device[i], b = device[(i + 1) % n];
      const double length = std::hypot(b.x - a.x, b.y - a.y);
      if (!Finite(a) || !Finite(b) || !std::isfinite(length))
      {
        pieces.Gap();
        continue;
      }
      Point from = a, to = b;
      if (!ClipSegment(guard, &from, &to))
      {
        pieces.Gap();
        walker.Skip(length);
        continue;
      }
      const double start = std::hypot(from.x - a.x, from.y - a.y);
      const double end = std::hypot(to.x - a.x, to.y - a.y);
      if (start > 0)
      {
        pieces.Gap();
        walker.Skip(start);
      }
      walker.Walk(a, b, start, end, pieces);
      if (end < length)
      {
        pieces.Gap();
        walker.Skip(length - end);
      }
    }
  }
  if (lineWidth > 0)
  {
    SetWideStroke(lineWidth);
    cairo_stroke(cairo);
  }
}

void Canvas::Stroke(const std::vector<Point> &device, bool closed, double lineWidth, uint32_t color,
                    const std::vector<double> &dashes, double scale)
{
  double period = 0;
  for (double length : dashes)
    period += std::fabs(length) * scale;
  if (period >= ShortestDashPeriod && std::isfinite(period))
  {
    std::vector<double> pattern(dashes);
    for (double &length : pattern)
      length *= scale;
    StrokeDashed(device, closed, lineWidth, color, pattern);
  }
  else if (lineWidth > 0)
  {
    StrokeWide(device, closed, lineWidth);
  }
  else
  {
    StrokePoints(device, closed, color);
  }
}

// The pixel width of an entity's line weight at this view; 0 for lines
// drawn one pixel wide.
double Canvas::LineWidth(const Document &document, const Entity &entity, const ViewMapping &view) const
{
  if (hairlines || !cairo)
    return 0;
  const double lineWidth = entity.lineWeight / 100.0 * document.UnitsPerMillimetre() * view.Scale();
  return lineWidth > HairlineWidth ? std::min(lineWidth, MaxLineWidth) : 0;  // false for NaN
}

void Canvas::BeginDirectWrites()
{
  if (cairoPending)
    cairo_surface_flush(surface);
  cairoPending = false;
}

void Canvas::FillRings(const std::vector<Point> &device, bool nonzero)
{
  const Rect guard{-Guard, -Guard, width + Guard, height + Guard};
  std::vector<Point> ring;
  auto flushRing = [&]() {
    const std::vector<Point> clipped = ClipPolygon(guard, ring);
    for (size_t i = 0; i < clipped.size(); ++i)
    {
      if (i == 0)
        cairo_move_to(cairo, clipped[i].x, clipped[i].y);
      else
        cairo_line_to(cairo, clipped[i].x, clipped[i].y);
    }
    if (!clipped.empty())
      cairo_close_path(cairo);
    ring.clear();
  };
  for (const Point &p : device)
  {
    if (std::isnan(p.x))
      flushRing();
    else if (Finite(p))
      ring.push_back(p);
  }
  flushRing();
  cairo_set_fill_rule(cairo, nonzero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_fill(cairo);
}

void Canvas::DrawConic(const double *g, const ViewMapping &view, double lineWidth, uint32_t color,
                       const std::vector<double> &dashes)
{
  const Point c = view.ToPixel(g[0], g[1]);
  const Point u = view.ToPixelVector(g[2], g[3]), v = view.ToPixelVector(g[4], g[5]);
  const double radius = std::max(std::hypot(u.x, u.y), std::hypot(v.x, v.y));
  if (!(radius >= 0.5))
  {  // smaller than a pixel (or not finite)
    if (Finite(c) && lineWidth > 0)
      StrokeWide({c}, false, lineWidth);
    else if (Finite(c))
      FillRect(PixelIndex(c.x), PixelIndex(c.y), PixelIndex(c.x) + 1, PixelIndex(c.y) + 1, color);
    return;
  }
  const int steps = ConicSteps(g[7] - g[6], ChordStep(radius, Flatness), 4, MaxConicSteps);
  std::vector<Point> points;
  points.reserve(size_t(steps) + 1);
  ConicPoints(c, u, v, g[6], g[7], steps, [&](Point p) { points.push_back(p); });
  Stroke(points, false, lineWidth, color, dashes, view.Scale());
}

// The symbol is laid out in world units and mapped like any geometry, so
// strips of one picture draw the same pixels of it.
void Canvas::DrawPointSymbol(const Document &document, const double *g, const ViewMapping &view, uint32_t color)
{
  const int mode = document.PointMode();
  const int figure = PointFigure(mode);
  const bool circle = mode >= 0 && (mode & 32), square = mode >= 0 && (mode & 64);
  const Point p = view.ToPixel(g[0], g[1]);
  if (!Finite(p) || !(std::fabs(p.x) < 1e9 && std::fabs(p.y) < 1e9))
    return;
  if (figure == 1 && !circle && !square)
    return;
  const double h = document.PointSize() / 2;
  const double reach = h * view.Scale();
  if (figure == 0 || !(reach >= 1))  // a symbol within a pixel is a dot
  {
    const int x = PixelIndex(p.x), y = PixelIndex(p.y);
    FillRect(x, y, x + 1, y + 1, color);
  }
  if (!(reach >= 1) || p.x + reach < -1 || p.x - reach > width + 1 || p.y + reach < -1 || p.y - reach > height + 1)
    return;
  auto at = [&](double dx, double dy) { return view.ToPixel(g[0] + dx, g[1] + dy); };
  if (figure == 2)
  {
    StrokePoints({at(-h, 0), at(h, 0)}, false, color);
    StrokePoints({at(0, -h), at(0, h)}, false, color);
  }
  else if (figure == 3)
  {
    StrokePoints({at(-h, -h), at(h, h)}, false, color);
    StrokePoints({at(-h, h), at(h, -h)}, false, color);
  }
  else if (figure == 4)
  {
    StrokePoints({at(0, 0), at(0, h)}, false, color);
  }
  if (circle)
  {
    const double conic[8] = {g[0], g[1], h, 0, 0, h, 0, 2 * Pi};
    DrawConic(conic, view, 0, color, {});
  }
  if (square)
    StrokePoints({at(-h, -h), at(h, -h), at(h, h), at(-h, h)}, true, color);
}

void Canvas::DrawLabel(const double *g, const std::string &text, const ViewMapping &view)
{
  const Point origin = view.ToPixel(g[0], g[1]);
  const Point u = view.ToPixelVector(g[2], g[3]), v = view.ToPixelVector(g[4], g[5]);
  const double em = std::hypot(v.x, v.y);
  const double det = u.x * -v.y - u.y * -v.x;
  if (!Finite(origin) || !(em >= MinTextEmPixels && em <= MaxTextEmPixels) || !(std::fabs(det) > 1e-6))
  {
    return;
  }
  cairo_matrix_t matrix;  // font space has y pointing down, like pixels
  cairo_matrix_init(&matrix, u.x, u.y, -v.x, -v.y, 0, 0);
  cairo_set_font_matrix(cairo, &matrix);
  cairo_move_to(cairo, origin.x, origin.y);
  cairo_show_text(cairo, text.c_str());
  cairo_new_path(cairo);
}

void Canvas::Draw(const Document &document, const Entity &entity, const ViewMapping &view, const Palette &palette)
{
  const uint32_t color = palette[entity.colorIndex] & 0xFFFFFF;
  const double *g = entity.geometry;
  if (entity.shape == Shape::None)
    return;
  if (entity.shape == Shape::Dot)
  {
    DrawPointSymbol(document, g, view, color);
    return;
  }
  const Box world = EntityExtents(document, entity);
  if (world.IsEmpty())
    return;
  const bool stroked = entity.shape == Shape::Segment || entity.shape == Shape::Conic || entity.shape == Shape::Path;
  double lineWidth = stroked ? LineWidth(document, entity, view) : 0;
  if (stroked && antialias && cairo)
    lineWidth = std::max(lineWidth, 1.0);  // smooth lines are cairo's
  const Point a = view.ToPixel(world.minX, world.maxY), b = view.ToPixel(world.maxX, world.minY);
  const double pad = lineWidth / 2;
  const Rect box{std::min(a.x, b.x) - pad, std::min(a.y, b.y) - pad, std::max(a.x, b.x) + pad,
                 std::max(a.y, b.y) + pad};
  if (!(box.x1 >= -1 && box.x0 <= width + 1 && box.y1 >= -1 && box.y0 <= height + 1))
    return;

  const bool usesCairo = entity.shape == Shape::Polygon || entity.shape == Shape::Label || lineWidth > 0;
  if (usesCairo && !cairo)
    return;
  if (usesCairo)
    cairo_set_source_rgb(cairo, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
  switch (entity.shape)
  {
  case Shape::Segment:
    if (g[0] == g[2] && g[1] == g[3])  // a dot, as hatch patterns have
    {
      const Point p = view.ToPixel(g[0], g[1]);
      if (lineWidth > 0)
        StrokeWide({p}, false, lineWidth);
      else if (Finite(p))
        FillRect(PixelIndex(p.x), PixelIndex(p.y), PixelIndex(p.x) + 1, PixelIndex(p.y) + 1, color);
      break;
    }
    Stroke({view.ToPixel(g[0], g[1]), view.ToPixel(g[2], g[3])}, false, lineWidth, color, document.Dashes(entity),
           view.Scale());
    break;
  case Shape::Conic:
    DrawConic(g, view, lineWidth, color, document.Dashes(entity));
    break;
  case Shape::Path:
  case Shape::Polygon:
  {
    uint32_t count;
    const Point *points = document.Points(entity, &count);
    std::vector<Point> device(count);
    for (uint32_t i = 0; i < count; ++i)
    {
      device[i] = std::isnan(points[i].x) ? points[i] : view.ToPixel(points[i].x, points[i].y);
    }
    if (entity.shape == Shape::Path)
      Stroke(device, entity.flags & Closed, lineWidth, color, document.Dashes(entity), view.Scale());
    else
      FillRings(device, entity.flags & Nonzero);
    break;
  }
  case Shape::Label:
    DrawLabel(g, document.Text(entity), view);
    break;
  default:
    break;
  }
  if (!usesCairo)
    return;
  cairoPending = true;
  // Glyphs may reach past the nominal text box.
  const double slack = entity.shape == Shape::Label ? box.y1 - box.y0 : 0;
  MarkArea(box.x0 - slack, box.y0 - slack, box.x1 + slack, box.y1 + slack);
  // A failed cairo call leaves the context unusable; start a fresh one.
  if (cairo_status(cairo) != CAIRO_STATUS_SUCCESS)
    ResetContext();
}

}  // namespace zulan
