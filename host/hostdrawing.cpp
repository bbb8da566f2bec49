// The host's drawing operations, backed by the drawing engine (host/drawing):
// the open drawing's entities, the palette, the header with its background
// colour, and a drawing device that draws into the bitmap of a memory
// context. Without a drawing the host has an empty one.
// SetBMView maps the world window onto the rectangle's pixel centres: x1 on
// column xa, x2 on column xb - 1, y2 on row ya and y1 on row yb - 1, so that
// lines on the window's edges (a frame round the extents) stay in the
// bitmap, and a strip of s + 3 rows gets the capture's s + 1 rows per strip
// height.
#include "hostdrawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "conic.h"

namespace zulan
{

namespace
{

const int16_t DefaultBackground = WhiteIndex;
// Extents of an empty drawing: an A4 sheet in millimetres, so that a
// whole-drawing export still has a section of some size.
const float EmptyExtents[6] = {0.0f, 0.0f, 0.0f, 297.0f, 210.0f, 0.0f};

HostDrawing *currentDrawing = nullptr;

}  // namespace

DrawingDevice &CurrentDevice()
{
  return CurrentDrawing();
}

HostDrawing &CurrentDrawing()
{
  if (currentDrawing != nullptr)
    return *currentDrawing;
  static HostDrawing defaultDrawing;
  return defaultDrawing;
}

void SetCurrentDrawing(HostDrawing *drawing)
{
  currentDrawing = drawing;
}

HostDrawing::HostDrawing()
{
  SetDefaultPalette(palette);
  std::memcpy(header + HeaderBackgroundOffset, &DefaultBackground, sizeof DefaultBackground);
}

HostDrawing::~HostDrawing()
{
  if (currentDrawing == this)
    SetCurrentDrawing(nullptr);
}

std::string HostDrawing::Open(const std::string &path)
{
  try
  {
    document = Document::Load(path);
#if defined(__GLIBC__)
    // Loading freed libdime's whole model, scattered over the heap; glibc
    // keeps such memory unless asked, and an export's large buffers are
    // mapped apart and cannot reuse it.
    malloc_trim(0);
#endif
  }
  catch (const Document::LoadError &error)
  {
    return error.what();
  }
  catch (const std::exception &error)
  {
    // Whatever the libraries throw on a file they cannot read: still one line.
    return path + ": cannot read the drawing (" + error.what() + ")";
  }
  DrawingHeader &loaded = document->Header();
  static_assert(sizeof(DrawingHeader) <= HeaderBytes, "drawing header fits the host's");
  std::memcpy(header, &loaded, sizeof loaded);
  return std::string();
}

FlatDrawing HostDrawing::Flatten() const
{
  FlatDrawing flat;
  flat.header.assign(header, header + sizeof(DrawingHeader));
  std::memcpy(flat.palette, palette, sizeof palette);
  if (!document)
    return flat;
  for (size_t layer = 0; layer < document->Layers().size(); ++layer)
    flat.hiddenLayers.push_back(IsLayerHidden(static_cast<int>(layer)));
  for (const Entity &entity : document->Entities())
  {
    FlatEntity out;
    out.type = entity.type;
    out.layer = entity.layer;
    out.colour = entity.colorIndex;
    out.flags = entity.flags;
    const Box box = EntityExtents(*document, entity);
    if (!box.IsEmpty())
    {
      const double edges[4] = {box.minX, box.minY, box.maxX, box.maxY};
      std::memcpy(out.box, edges, sizeof edges);
    }
    const double *g = entity.geometry;
    uint32_t count = 0;
    const Point *points = document->Points(entity, &count);
    switch (entity.shape)
    {
    case Shape::Segment:
      out.kind = FlatEntity::Kind::Segment;
      out.points.assign(g, g + 4);
      break;
    case Shape::Conic:
    {
      // Half a degree a step: finer than a pixel at the sizes tested.
      const int steps = ConicSteps(g[7] - g[6], Pi / 360, 2, 720 * 8);
      out.kind = FlatEntity::Kind::Path;
      ConicPoints({g[0], g[1]}, {g[2], g[3]}, {g[4], g[5]}, g[6], g[7], steps, [&](Point p) {
        out.points.insert(out.points.end(), {p.x, p.y});
      });
      break;
    }
    case Shape::Path:
    case Shape::Polygon:
      if (entity.shape == Shape::Path)
        out.kind = entity.flags & Closed ? FlatEntity::Kind::Closed : FlatEntity::Kind::Path;
      else
        out.kind = entity.flags & Nonzero ? FlatEntity::Kind::Nonzero : FlatEntity::Kind::Polygon;
      for (uint32_t i = 0; i < count; ++i)
        out.points.insert(out.points.end(), {points[i].x, points[i].y});
      break;
    case Shape::Dot:
      out.kind = FlatEntity::Kind::Dot;
      out.points.assign(g, g + 2);
      break;
    default:
      break;  // labels: text is not carried over
    }
    flat.entities.push_back(std::move(out));
  }
  return flat;
}

void HostDrawing::SetHairlines(bool on)
{
  hairlines = on;
  canvas.reset();
}

void HostDrawing::SetAntialias(bool on)
{
  antialias = on;
  canvas.reset();
}

bool HostDrawing::IsLayerHidden(int32_t layer) const
{
  if (!document)
    return false;
  if (runHidden.empty())
    return document->IsLayerHidden(layer);
  return layer < 0 || size_t(layer) >= runHidden.size() || runHidden[layer];
}

void HostDrawing::SetBackground(uint32_t colorref)
{
  palette[WhiteIndex] = colorref;
  const int16_t background = WhiteIndex;
  std::memcpy(header + HeaderBackgroundOffset, &background, sizeof background);
  // Rec. 601 luma below half: light lines show better there.
  const uint32_t red = colorref & 0xFF, green = (colorref >> 8) & 0xFF, blue = (colorref >> 16) & 0xFF;
  palette[BlackIndex] = 299 * red + 587 * green + 114 * blue < 500 * 255 ? 0x00FFFFFFu : 0u;
}

Box HostDrawing::VisibleExtents() const
{
  Box box;
  if (!document)
    return box;
  for (const Entity &entity : document->Entities())
    if (!IsLayerHidden(entity.layer) || entity.type == TypeFrame || entity.type == TypeLimits)
      box.Add(EntityExtents(*document, entity));
  return box;
}

// The canvas on the current context's bitmap, made anew when the module
// selected another bitmap meanwhile; null when there is nothing to draw on.
// Every use ends with a flush, so an abandoned canvas owes its old bitmap
// nothing and can be dropped even after that bitmap is gone.
Canvas *HostDrawing::CurrentCanvas()
{
  BitmapPixels pixels;
  if (!context || !GetSelectedBitmap(context, &pixels))
  {
    canvas.reset();
    return nullptr;
  }
  if (!canvas || pixels.pixels != canvasPixels.pixels || pixels.width != canvasPixels.width
      || pixels.height != canvasPixels.height)
  {
    canvas.reset(new Canvas(pixels.pixels, pixels.width, pixels.height));
    canvas->SetHairlines(hairlines);
    canvas->SetAntialias(antialias);
    canvasPixels = pixels;
  }
  return canvas.get();
}

// The module hands back entity addresses DLScan gave it; anything else is
// ignored rather than read.
const Entity *HostDrawing::OwnEntity(const void *address) const
{
  if (!document || document->Entities().empty())
    return nullptr;
  const std::vector<Entity> &entities = document->Entities();
  const auto *first = reinterpret_cast<const uint8_t *>(entities.data());
  const auto *at = static_cast<const uint8_t *>(address);
  if (at < first || at >= first + entities.size() * sizeof(Entity) || (at - first) % sizeof(Entity) != 0)
    return nullptr;
  return reinterpret_cast<const Entity *>(at);
}

void HostDrawing::UseBitmap(HDC memoryContext)
{
  canvas.reset();
  priorContext = context;
  context = memoryContext;
}

void HostDrawing::UsePrior()
{
  canvas.reset();
  context = priorContext;
  priorContext = nullptr;
}

void HostDrawing::FillRect(const PixelRect *rectangle)
{
  Canvas *target = CurrentCanvas();
  if (!target || !rectangle || colourIndex < 0 || colourIndex >= PaletteEntries)
    return;
  target->FillRect(rectangle->xa, rectangle->ya, rectangle->xb, rectangle->yb, palette[colourIndex]);
}

void HostDrawing::SetView(const WorldRect *window, const PixelRect *pixels)
{
  if (window == nullptr || pixels == nullptr)
    return;
  view = ViewMapping(window->x1, window->y1, window->x2, window->y2, pixels->xa, pixels->ya, pixels->xb - 1.0,
                     pixels->yb - 1.0);
}

void HostDrawing::Scan(XPEntityCallback callback) const
{
  if (!document || callback == nullptr)
    return;
  for (const Entity &entity : document->Entities())
  {
    if (callback(0, &entity, 0, 0) != 0)
      break;
  }
}

void HostDrawing::Draw(const void *entity)
{
  const Entity *own = OwnEntity(entity);
  Canvas *target = own ? CurrentCanvas() : nullptr;
  if (!target)
    return;
  target->Draw(*document, *own, view, palette);
  target->Flush();
}

void HostDrawing::BeginExtents()
{
  collectingExtents = true;
  extents = Box();
}

void HostDrawing::CheckExtents(const void *entity)
{
  const Entity *own = OwnEntity(entity);
  if (own && collectingExtents)
    extents.Add(EntityExtents(*document, *own));
}

void HostDrawing::EndExtents(float *found)
{
  collectingExtents = false;
  if (found == nullptr)
    return;
  if (extents.IsEmpty())
  {
    std::memcpy(found, EmptyExtents, sizeof EmptyExtents);
    return;
  }
  const float box[6] = {float(extents.minX), float(extents.minY), 0.0f, float(extents.maxX), float(extents.maxY), 0.0f};
  std::memcpy(found, box, sizeof box);
}

void HostDrawing::SetCursorOrigin(float x, float y)
{
  cursorOrigin[0] = x;
  cursorOrigin[1] = y;
}

std::string OpenHostDrawing(const std::string &path)
{
  return CurrentDrawing().Open(path);
}

void SetHostHairlines(bool on)
{
  CurrentDrawing().SetHairlines(on);
}

}  // namespace zulan
