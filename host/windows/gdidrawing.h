// The Windows test host's drawing: plain geometry that zulan wrote from a
// DXF file (entityfile.h), drawn with GDI into the memory device context the
// module hands over, one pixel wide, as a CAD host's screen driver would.
#ifndef ZULAN_WINDOWS_GDIDRAWING_H
#define ZULAN_WINDOWS_GDIDRAWING_H

#include "drawing.h"
#include "drawingdevice.h"
#include "entityfile.h"
#include "hostapi.h"

#include <string>
#include <vector>

namespace zulan
{

class GdiDrawing : public DrawingDevice
{
public:
  GdiDrawing();

  // Reads an entity file; returns the error text naming it, or "".
  std::string Open(const std::string &path) override;

  uint32_t *GetPalette() override { return palette; }
  uint8_t *GetHeader() override { return header; }
  // GDI's pens draw aliased hairlines, as the CAD host's do.
  void SetAntialias(bool) override {}

  void UseBitmap(HDC memoryContext) override;
  void UsePrior() override;
  void UseColour(int32_t index) override { colourIndex = index; }
  void FillRect(const PixelRect *rectangle) override;
  void SetView(const WorldRect *window, const PixelRect *pixels) override;
  void Scan(XPEntityCallback callback) const override;
  bool IsLayerHidden(int32_t layer) const override;
  void Draw(const void *entity) override;
  void BeginExtents() override;
  void CheckExtents(const void *entity) override;
  void EndExtents(float *found) override;
  // The host has no cursor to move.
  void SetCursorOrigin(float, float) override {}

private:
  // What DLScan hands the module: the type at byte 4, the layer at 12.
  struct Record
  {
    uint32_t serial;
    uint8_t type;
    uint8_t unused[7];
    int16_t layer;
    uint16_t unused2;
  };
  const FlatEntity *OwnEntity(const void *address) const;
  // Bitmap pixels (not rounded) of a world point, as SetBMView maps it.
  Point ToPixel(double x, double y) const;
  void DrawLines(const std::vector<double> &points, bool closed, COLORREF colour) const;
  void FillRings(const std::vector<double> &points, bool nonzero, COLORREF colour) const;

  FlatDrawing drawing;
  std::vector<Record> records;
  uint32_t palette[256];
  uint8_t header[512] = {};
  HDC context = nullptr;
  HDC priorContext = nullptr;
  int32_t colourIndex = 0;
  // The view: x1 on column xa, x2 on column xb - 1, y2 on row ya.
  double x1 = 0, y2 = 0, xa = 0, ya = 0, sx = 1, sy = 1;
  double extents[4];
  bool collecting = false;
};

// The drawing the exported operations talk to.
GdiDrawing &CurrentDrawing();

}  // namespace zulan

#endif
