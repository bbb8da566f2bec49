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

#include "drawing.h"
#include "hostapi.h"
#include "wingdi.h"

#include <cstring>
#include <memory>

namespace zulan
{

namespace
{

const int16_t DefaultBackground = kWhiteIndex;
// Extents of an empty drawing: an A4 sheet in millimetres, so that a
// whole-drawing export still has a section of some size.
const float EmptyExtents[6] = {0.0f, 0.0f, 0.0f, 297.0f, 210.0f, 0.0f};

struct DrawingDevice
{
  HDC context = nullptr; // memory context from DevUseBitmap, or none
  HDC priorContext = nullptr;
  int32_t colourIndex = 0;
  ViewMapping view;
  std::unique_ptr<Canvas> canvas; // on the context's bitmap while in use
  BitmapPixels canvasPixels = {};
  Box extents;
  float cursorOrigin[2] = {};
  bool collectingExtents = false;
};

Palette palette;
bool hairlines = false;
bool antialias = false;
uint8_t header[HeaderBytes];
DrawingDevice device;
std::unique_ptr<Document> document;

bool InitialiseDrawing()
{
  SetDefaultPalette(palette);
  std::memcpy(header + HeaderBackgroundOffset, &DefaultBackground, sizeof DefaultBackground);
  return true;
}

const bool drawingInitialised = InitialiseDrawing();

uint32_t *GetPaletteAddress()
{
  return palette;
}

// The canvas on the current context's bitmap, made anew when the module
// selected another bitmap meanwhile; null when there is nothing to draw on.
// Every use ends with a flush, so an abandoned canvas owes its old bitmap
// nothing and can be dropped even after that bitmap is gone.
Canvas *CurrentCanvas()
{
  BitmapPixels pixels;
  if (!device.context || !GetSelectedBitmap(device.context, &pixels))
  {
    device.canvas.reset();
    return nullptr;
  }
  if (!device.canvas || pixels.pixels != device.canvasPixels.pixels
      || pixels.width != device.canvasPixels.width || pixels.height != device.canvasPixels.height)
  {
    device.canvas.reset(new Canvas(pixels.pixels, pixels.width, pixels.height));
    device.canvas->SetHairlines(hairlines);
    device.canvas->SetAntialias(antialias);
    device.canvasPixels = pixels;
  }
  return device.canvas.get();
}

// The module hands back entity addresses DLScan gave it; anything else is
// ignored rather than read.
const Entity *OwnEntity(const void *address)
{
  if (!document || document->Entities().empty())
    return nullptr;
  const std::vector<Entity> &entities = document->Entities();
  const auto *first = reinterpret_cast<const uint8_t *>(entities.data());
  const auto *at = static_cast<const uint8_t *>(address);
  if (at < first || at >= first + entities.size() * sizeof(Entity)
      || (at - first) % sizeof(Entity) != 0)
    return nullptr;
  return reinterpret_cast<const Entity *>(at);
}

} // namespace

uint32_t *HostPalette()
{
  return palette;
}

uint8_t *HostHeader()
{
  return header;
}

PaletteEntry HostPaletteEntry()
{
  return GetPaletteAddress;
}

void SetHostHairlines(bool on)
{
  hairlines = on;
  device.canvas.reset();
}

void SetHostAntialias(bool on)
{
  antialias = on;
  device.canvas.reset();
}

std::string OpenHostDrawing(const std::string &path)
{
  try
  {
    document = Document::Load(path);
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

} // namespace zulan

using zulan::device;
using zulan::document;

extern "C" {

void *GetHeaderAdr()
{
  return zulan::header;
}

void DevUseBitmap(HDC memoryContext)
{
  device.canvas.reset();
  device.priorContext = device.context;
  device.context = memoryContext;
}

void DevUsePrior()
{
  device.canvas.reset();
  device.context = device.priorContext;
  device.priorContext = nullptr;
}

void DevUseColor(int32_t colourIndex)
{
  device.colourIndex = colourIndex;
}

void DevSRect(const PixelRect *rectangle)
{
  zulan::Canvas *canvas = zulan::CurrentCanvas();
  if (!canvas || !rectangle || device.colourIndex < 0 || device.colourIndex >= zulan::PaletteEntries)
    return;
  canvas->FillRect(rectangle->xa, rectangle->ya, rectangle->xb, rectangle->yb,
                   zulan::palette[device.colourIndex]);
}

void SetBMView(const WorldRect *window, const PixelRect *pixels)
{
  if (window == nullptr || pixels == nullptr)
    return;
  device.view = zulan::ViewMapping(window->x1, window->y1, window->x2, window->y2, pixels->xa,
                                   pixels->ya, pixels->xb - 1.0, pixels->yb - 1.0);
}

int32_t DLScan(int32_t, XPEntityCallback callback, int32_t, int32_t, int32_t)
{
  if (!document || callback == nullptr)
    return 0;
  for (const zulan::Entity &entity : document->Entities())
  {
    if (callback(0, &entity, 0, 0) != 0)
      break;
  }
  return 0;
}

int32_t AskLayerHidden(int32_t layer)
{
  return document && document->IsLayerHidden(layer) ? 1 : 0;
}

void EDraw1(const void *entity)
{
  const zulan::Entity *own = zulan::OwnEntity(entity);
  zulan::Canvas *canvas = own ? zulan::CurrentCanvas() : nullptr;
  if (!canvas)
    return;
  canvas->Draw(*document, *own, device.view, zulan::palette);
  canvas->Flush();
}

void BgnPExtents()
{
  device.collectingExtents = true;
  device.extents = zulan::Box();
}

void EXCheck(const void *entity)
{
  const zulan::Entity *own = zulan::OwnEntity(entity);
  if (own && device.collectingExtents)
    device.extents.Add(zulan::EntityExtents(*document, *own));
}

void EndPExtents(float *extents)
{
  device.collectingExtents = false;
  if (extents == nullptr)
    return;
  if (device.extents.IsEmpty())
  {
    std::memcpy(extents, zulan::EmptyExtents, sizeof zulan::EmptyExtents);
    return;
  }
  const zulan::Box &box = device.extents;
  const float found[6] = {float(box.minX), float(box.minY), 0.0f,
                          float(box.maxX), float(box.maxY), 0.0f};
  std::memcpy(extents, found, sizeof found);
}

void NewCsrOrg(float x, float y)
{
  device.cursorOrigin[0] = x;
  device.cursorOrigin[1] = y;
}

void Redraw()
{
  // No screen to repaint: bitmaps are drawn on demand with the palette and
  // header as they stand.
}

} // extern "C"
