#include "gdidrawing.h"
#include "drawing.h"

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
// GDI takes 32-bit coordinates; a point far outside the bitmap is held
// well inside that range.
const double FarthestPixel = 1 << 26;

// Cuts the segment a-b to the square of half side FarthestPixel (Liang and
// Barsky): a point held inside the range on its own would turn the line.
bool ClipToRange(double &ax, double &ay, double &bx, double &by)
{
  double t0 = 0, t1 = 1;
  const double dx = bx - ax, dy = by - ay;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax + FarthestPixel, FarthestPixel - ax, ay + FarthestPixel, FarthestPixel - ay};
  for (int side = 0; side < 4; ++side)
  {
    if (p[side] == 0)
    {
      if (q[side] < 0)
        return false;
      continue;
    }
    const double t = q[side] / p[side];
    if (p[side] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
  }
  if (t0 > t1)
    return false;
  bx = ax + t1 * dx;
  by = ay + t1 * dy;
  ax += t0 * dx;
  ay += t0 * dy;
  return true;
}

LONG Rounded(double value)
{
  return static_cast<LONG>(std::floor(value + 0.5));
}

uint32_t *PaletteAddress()
{
  return CurrentDrawing().GetPalette();
}

} // namespace

GdiDrawing &CurrentDrawing()
{
  static GdiDrawing drawing;
  return drawing;
}

PaletteEntry HostPaletteEntry()
{
  return PaletteAddress;
}

void SetHostAntialias(bool)
{
  // GDI's pens draw aliased hairlines, as the CAD host's do.
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

// Fills take their points held in range: only a part far outside the bitmap
// changes. Lines are cut to the range instead (DrawLines).
POINT GdiDrawing::ToPixel(double x, double y) const
{
  const double px = std::clamp(xa + (x - x1) * sx, -FarthestPixel, FarthestPixel);
  const double py = std::clamp(ya + (y2 - y) * sy, -FarthestPixel, FarthestPixel);
  return {Rounded(px), Rounded(py)};
}

void GdiDrawing::DrawLines(const std::vector<double> &points, bool closed, COLORREF colour) const
{
  const size_t count = points.size() / 2;
  if (count == 1)
  {
    const POINT only = ToPixel(points[0], points[1]);
    SetPixel(context, only.x, only.y, colour);
    return;
  }
  for (size_t i = 0; i + 1 < count + (closed ? 1 : 0); ++i)
  {
    const size_t j = (i + 1) % count;
    double ax = xa + (points[2 * i] - x1) * sx, ay = ya + (y2 - points[2 * i + 1]) * sy;
    double bx = xa + (points[2 * j] - x1) * sx, by = ya + (y2 - points[2 * j + 1]) * sy;
    if (!ClipToRange(ax, ay, bx, by))
      continue;
    MoveToEx(context, Rounded(ax), Rounded(ay), nullptr);
    LineTo(context, Rounded(bx), Rounded(by));
    // LineTo leaves the last pixel out; a CAD drawing's line ends on it.
    SetPixel(context, Rounded(bx), Rounded(by), colour);
  }
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
  if (entity == nullptr || context == nullptr)
    return;
  const COLORREF colour = palette[entity->colour];
  const std::vector<double> &p = entity->points;
  std::vector<POINT> pixels;
  std::vector<INT> ringSizes;
  for (size_t i = 0; i + 1 < p.size(); i += 2)
  {
    if (std::isnan(p[i]) || std::isnan(p[i + 1]))
    {
      if (!ringSizes.empty() && ringSizes.back() == 0)
        continue;
      ringSizes.push_back(0);
      continue;
    }
    if (ringSizes.empty())
      ringSizes.push_back(0);
    ++ringSizes.back();
    pixels.push_back(ToPixel(p[i], p[i + 1]));
  }
  if (!ringSizes.empty() && ringSizes.back() == 0)
    ringSizes.pop_back();
  if (pixels.empty())
    return;
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ oldPen = SelectObject(context, pen);
  switch (entity->kind)
  {
  case FlatEntity::Kind::Segment:
  case FlatEntity::Kind::Path:
  case FlatEntity::Kind::Closed:
    DrawLines(p, entity->kind == FlatEntity::Kind::Closed, colour);
    break;
  case FlatEntity::Kind::Polygon:
  case FlatEntity::Kind::Nonzero:
  {
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldBrush = SelectObject(context, brush);
    SetPolyFillMode(context, entity->kind == FlatEntity::Kind::Nonzero ? WINDING : ALTERNATE);
    PolyPolygon(context, pixels.data(), ringSizes.data(), static_cast<int>(ringSizes.size()));
    SelectObject(context, oldBrush);
    DeleteObject(brush);
    break;
  }
  case FlatEntity::Kind::Dot:
    SetPixel(context, pixels.front().x, pixels.front().y, colour);
    break;
  case FlatEntity::Kind::None:
    break;
  }
  SelectObject(context, oldPen);
  DeleteObject(pen);
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

} // namespace zulan

// The palette entry by its stdcall name; the other drawing operations are
// exported from drawingexports.cpp.
extern "C" uint32_t *WINAPI GetPalAdr()
{
  return zulan::CurrentDrawing().GetPalette();
}
