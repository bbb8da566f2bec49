// Drawing operations for an empty drawing: the palette, the header with its
// background colour, and a drawing device that records where it points.
// The drawing engine takes these over when drawings are loaded.
#include "hostdrawing.h"

#include "hostapi.h"

#include <cstring>

namespace zulan
{

namespace
{

// The 16 classic colours, 0 black and 15 white; the rest a grey ramp.
const uint32_t BaseColours[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
const int16_t DefaultBackground = 15;
// Extents of an empty drawing: an A4 sheet in millimetres, so that a
// whole-drawing export still has a section of some size.
const float EmptyExtents[6] = {0.0f, 0.0f, 0.0f, 297.0f, 210.0f, 0.0f};

struct DrawingDevice
{
  HDC context = nullptr;           // memory context from DevUseBitmap, or none
  HDC priorContext = nullptr;
  int32_t colourIndex = 0;
  WorldRect window = {};
  PixelRect pixels = {};
  float cursorOrigin[2] = {};
  bool collectingExtents = false;
};

uint32_t palette[PaletteEntries];
uint8_t header[HeaderBytes];
DrawingDevice device;

bool InitialiseDrawing()
{
  for (int i = 0; i < PaletteEntries; ++i)
  {
    const uint32_t grey = static_cast<uint32_t>(i);
    palette[i] = i < 16 ? BaseColours[i] : grey | grey << 8 | grey << 16;
  }
  std::memcpy(header + HeaderBackgroundOffset, &DefaultBackground, sizeof DefaultBackground);
  return true;
}

const bool drawingInitialised = InitialiseDrawing();

uint32_t *GetPaletteAddress()
{
  return palette;
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

} // namespace zulan

using zulan::device;

extern "C" {

void *GetHeaderAdr()
{
  return zulan::header;
}

void DevUseBitmap(HDC memoryContext)
{
  device.priorContext = device.context;
  device.context = memoryContext;
}

void DevUsePrior()
{
  device.context = device.priorContext;
  device.priorContext = nullptr;
}

void DevUseColor(int32_t colourIndex)
{
  device.colourIndex = colourIndex;
}

void DevSRect(const PixelRect *rectangle)
{
  // Filling needs the GDI layer; an empty drawing's bitmap already holds
  // nothing but what the capture put there.
  (void)rectangle;
}

void SetBMView(const WorldRect *window, const PixelRect *pixels)
{
  if (window != nullptr)
    device.window = *window;
  if (pixels != nullptr)
    device.pixels = *pixels;
}

int32_t DLScan(int32_t, XPEntityCallback, int32_t, int32_t, int32_t)
{
  return 0;   // no entities
}

int32_t AskLayerHidden(int32_t)
{
  return 0;
}

void EDraw1(const void *)
{
}

void BgnPExtents()
{
  device.collectingExtents = true;
}

void EXCheck(const void *)
{
}

void EndPExtents(float *extents)
{
  device.collectingExtents = false;
  if (extents != nullptr)
    std::memcpy(extents, zulan::EmptyExtents, sizeof zulan::EmptyExtents);
}

void NewCsrOrg(float x, float y)
{
  device.cursorOrigin[0] = x;
  device.cursorOrigin[1] = y;
}

void Redraw()
{
}

} // extern "C"
