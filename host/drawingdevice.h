// What the host's parts and the exported drawing operations (DevUseBitmap,
// DLScan, EDraw1...) need of a drawing. Each build of the host has its own:
// the DXF drawing of zulan (hostdrawing.h) or the plain geometry of the
// Windows test host (windows/gdidrawing.h).
#ifndef ZULAN_DRAWINGDEVICE_H
#define ZULAN_DRAWINGDEVICE_H

#include "hostapi.h"

#include <cstdint>
#include <string>

namespace zulan
{

class DrawingDevice
{
public:
  virtual ~DrawingDevice() = default;

  // 256 entries 0x00BBGGRR, writable by the module ("_GetPalAdr@0").
  virtual uint32_t *GetPalette() = 0;
  // What GetHeaderAdr hands the module; the background colour at offset 28.
  virtual uint8_t *GetHeader() = 0;
  // Reads the drawing; returns the error text naming the file, or "" when
  // the drawing is now this one's. A failed read keeps the old drawing.
  virtual std::string Open(const std::string &path) = 0;
  // Smooth lines, fills and text from now on, where the drawing can.
  virtual void SetAntialias(bool on) = 0;

  // The drawing device, as the exported operations of the same names use it.
  virtual void UseBitmap(HDC memoryContext) = 0;
  virtual void UsePrior() = 0;
  virtual void UseColour(int32_t index) = 0;
  virtual void FillRect(const PixelRect *rectangle) = 0;
  virtual void SetView(const WorldRect *window, const PixelRect *pixels) = 0;
  virtual void Scan(XPEntityCallback callback) const = 0;
  virtual bool IsLayerHidden(int32_t layer) const = 0;
  virtual void Draw(const void *entity) = 0;
  virtual void BeginExtents() = 0;
  virtual void CheckExtents(const void *entity) = 0;
  virtual void EndExtents(float *found) = 0;
  virtual void SetCursorOrigin(float x, float y) = 0;
};

// The drawing the exported operations talk to.
DrawingDevice &CurrentDevice();

// "_GetPalAdr@0": the current drawing's palette.
typedef uint32_t *(*PaletteEntry)();
PaletteEntry HostPaletteEntry();

}  // namespace zulan

#endif
