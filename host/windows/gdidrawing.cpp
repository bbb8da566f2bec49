#include "gdidrawing.h"
#include "drawinginternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace zulan
{

namespace
{

// What the Linux host has without a drawing: its default palette and a
// white background, and an A4 sheet in millimetres as the extents.
const int16_t WhiteBackground = WhiteIndex;
const float EmptyExtents[6] = {0.0f, 0.0f, 0.0f, 297.0f, 210.0f, 0.0f};
// GDI takes 32-bit coordinates: what lies far outside the bitmap is cut
// to a square well inside that range.
const double FarthestPixel = 1 << 26;
const Rect GdiRange = {-FarthestPixel, -FarthestPixel, FarthestPixel, FarthestPixel};

LONG Rounded(double value)
{
  return static_cast<LONG>(std::floor(value + 0.5));
}

}  // namespace

GdiDrawing &CurrentDrawing()
{
  static GdiDrawing drawing;
  return drawing;
}

DrawingDevice &CurrentDevice()
{
  return CurrentDrawing();
}

GdiDrawing::GdiDrawing()
{
  SetDefaultPalette(palette);
  std::memcpy(header + HeaderBackgroundOffset, &WhiteBackground, sizeof WhiteBackground);
}

std::string GdiDrawing::Open(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return path + ": cannot open the entity file";
  in.imbue(std::locale::classic());
  try
  {
    drawing = ReadEntityFile(in);
  }
  catch (const EntityFileError &error)
  {
    return path + ": " + error.what();
  }
  std::memcpy(palette, drawing.palette, sizeof palette);
  std::memset(header, 0, sizeof header);
  std::memcpy(header, drawing.header.data(), std::min(drawing.header.size(), sizeof header));
  records.assign(drawing.entities.size(), Record{});
  for (size_t index = 0; index < records.size(); ++index)
  {
    records[index].serial = static_cast<uint32_t>(index);
    records[index].type = drawing.entities[index].type;
    records[index].layer = drawing.entities[index].layer;
  }
  return "";
}

const FlatEntity *GdiDrawing::OwnEntity(const void *address) const
{
  if (records.empty())
    return nullptr;
  const auto *first = reinterpret_cast<const uint8_t *>(records.data());
  const auto *at = static_cast<const uint8_t *>(address);
  if (at < first || at >= first + records.size() * sizeof(Record) || (at - first) % sizeof(Record) != 0)
    return nullptr;
  return &drawing.entities[static_cast<size_t>(at - first) / sizeof(Record)];
}

bool GdiDrawing::IsLayerHidden(int32_t layer) const
{
  return layer >= 0 && static_cast<size_t>(layer) < drawing.hiddenLayers.size() && drawing.hiddenLayers[layer];
}

void GdiDrawing::UseBitmap(HDC memoryContext)
{
  priorContext = context;
  context = memoryContext;
}

void GdiDrawing::UsePrior()
{
  context = priorContext;
  priorContext = nullptr;
}

void GdiDrawing::FillRect(const PixelRect *rectangle)
{
  if (context == nullptr || rectangle == nullptr || colourIndex < 0 || colourIndex > 255)
    return;
  HBRUSH brush = CreateSolidBrush(palette[colourIndex]);
  const RECT area = {rectangle->xa, rectangle->ya, rectangle->xb, rectangle->yb};
  ::FillRect(context, &area, brush);
  DeleteObject(brush);
}

void GdiDrawing::SetView(const WorldRect *window, const PixelRect *pixels)
{
  if (window == nullptr || pixels == nullptr)
    return;
  x1 = window->x1;
  y2 = window->y2;
  xa = pixels->xa;
  ya = pixels->ya;
  const double wx = double(window->x2) - window->x1, wy = double(window->y2) - window->y1;
  sx = wx != 0 && std::isfinite(wx) ? (pixels->xb - 1.0 - pixels->xa) / wx : 1;
  sy = wy != 0 && std::isfinite(wy) ? (pixels->yb - 1.0 - pixels->ya) / wy : 1;
}

Point GdiDrawing::ToPixel(double x, double y) const
{
  return {xa + (x - x1) * sx, ya + (y2 - y) * sy};
}

void GdiDrawing::DrawLines(const std::vector<double> &points, bool closed, COLORREF colour) const
{
  const size_t count = points.size() / 2;
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ oldPen = SelectObject(context, pen);
  for (size_t i = 0; i < (count == 1 ? 1 : count - 1 + (closed ? 1 : 0)); ++i)
  {
    Point a = ToPixel(points[2 * i], points[2 * i + 1]);
    const size_t j = (i + 1) % count;
    Point b = ToPixel(points[2 * j], points[2 * j + 1]);
    if (!ClipSegment(GdiRange, &a, &b))
      continue;
    MoveToEx(context, Rounded(a.x), Rounded(a.y), nullptr);
    LineTo(context, Rounded(b.x), Rounded(b.y));
    // LineTo leaves the last pixel out; a CAD drawing's line ends on it.
    SetPixel(context, Rounded(b.x), Rounded(b.y), colour);
  }
  SelectObject(context, oldPen);
  DeleteObject(pen);
}

void GdiDrawing::FillRings(const std::vector<double> &points, bool nonzero, COLORREF colour) const
{
  // Rings are separated by NaN points; each is cut to the range on its own,
  // which keeps the fill inside the range as it was.
  std::vector<POINT> pixels;
  std::vector<INT> ringSizes;
  std::vector<Point> ring;
  const auto closeRing = [&] {
    ring = ClipPolygon(GdiRange, std::move(ring));
    if (ring.size() >= 3)
    {
      for (const Point &p : ring)
        pixels.push_back({Rounded(p.x), Rounded(p.y)});
      ringSizes.push_back(static_cast<INT>(ring.size()));
    }
    ring.clear();
  };
  for (size_t i = 0; i + 1 < points.size(); i += 2)
  {
    if (std::isnan(points[i]) || std::isnan(points[i + 1]))
      closeRing();
    else
      ring.push_back(ToPixel(points[i], points[i + 1]));
  }
  closeRing();
  if (ringSizes.empty())
    return;
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ oldPen = SelectObject(context, pen);
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ oldBrush = SelectObject(context, brush);
  SetPolyFillMode(context, nonzero ? WINDING : ALTERNATE);
  PolyPolygon(context, pixels.data(), ringSizes.data(), static_cast<int>(ringSizes.size()));
  SelectObject(context, oldBrush);
  DeleteObject(brush);
  SelectObject(context, oldPen);
  DeleteObject(pen);
}

void GdiDrawing::Scan(XPEntityCallback callback) const
{
  if (callback == nullptr)
    return;
  for (const Record &record : records)
    if (callback(0, &record, 0, 0) != 0)
      break;
}

void GdiDrawing::Draw(const void *address)
{
  const FlatEntity *entity = OwnEntity(address);
  if (entity == nullptr || context == nullptr || entity->points.size() < 2)
    return;
  const COLORREF colour = palette[entity->colour];
  const std::vector<double> &points = entity->points;
  switch (entity->kind)
  {
  case FlatEntity::Kind::Segment:
  case FlatEntity::Kind::Path:
  case FlatEntity::Kind::Closed:
    DrawLines(points, entity->kind == FlatEntity::Kind::Closed, colour);
    break;
  case FlatEntity::Kind::Polygon:
  case FlatEntity::Kind::Nonzero:
    FillRings(points, entity->kind == FlatEntity::Kind::Nonzero, colour);
    break;
  case FlatEntity::Kind::Dot:
  {
    const Point dot = ToPixel(points[0], points[1]);
    if (std::fabs(dot.x) < FarthestPixel && std::fabs(dot.y) < FarthestPixel)
      SetPixel(context, Rounded(dot.x), Rounded(dot.y), colour);
    break;
  }
  case FlatEntity::Kind::None:
    break;
  }
}

void GdiDrawing::BeginExtents()
{
  collecting = true;
  extents[0] = extents[1] = 1e300;
  extents[2] = extents[3] = -1e300;
}

void GdiDrawing::CheckExtents(const void *address)
{
  const FlatEntity *entity = OwnEntity(address);
  if (entity == nullptr || !collecting || entity->box[0] > entity->box[2] || entity->box[1] > entity->box[3])
    return;
  extents[0] = std::min(extents[0], entity->box[0]);
  extents[1] = std::min(extents[1], entity->box[1]);
  extents[2] = std::max(extents[2], entity->box[2]);
  extents[3] = std::max(extents[3], entity->box[3]);
}

void GdiDrawing::EndExtents(float *found)
{
  collecting = false;
  if (found == nullptr)
    return;
  if (extents[0] > extents[2] || extents[1] > extents[3])
  {
    std::memcpy(found, EmptyExtents, sizeof EmptyExtents);
    return;
  }
  const float box[6] = {float(extents[0]), float(extents[1]), 0.0f, float(extents[2]), float(extents[3]), 0.0f};
  std::memcpy(found, box, sizeof box);
}

}  // namespace zulan

// The palette entry by its stdcall name; the other drawing operations are
// exported from drawingexports.cpp.
extern "C" uint32_t *WINAPI GetPalAdr()
{
  return zulan::CurrentDevice().GetPalette();
}
