// The host's drawing state as the module reaches it: palette, drawing
// header and the drawing device, over the drawing read from a DXF file
// (empty when none was named).
#ifndef ZULAN_HOSTDRAWING_H
#define ZULAN_HOSTDRAWING_H

#include "drawing.h"
#include "drawingentries.h"
#include "entityfile.h"
#include "hostapi.h"
#include "wingdi.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zulan
{

const int PaletteEntries = 256;
const int HeaderBytes = 512;

// One drawing with what the module sees of it. The exported drawing
// operations (DevUseBitmap, DLScan, EDraw1...) act on the current one.
class HostDrawing
{
public:
  // An empty drawing: the default palette, a white background.
  HostDrawing();
  ~HostDrawing();
  HostDrawing(const HostDrawing &) = delete;
  HostDrawing &operator=(const HostDrawing &) = delete;

  // 256 entries 0x00BBGGRR, writable by the module ("_GetPalAdr@0").
  uint32_t *GetPalette() { return palette; }
  // What GetHeaderAdr hands the module; the background colour at offset 28.
  uint8_t *GetHeader() { return header; }

  // Reads the drawing; returns the error text naming the file, or "" when
  // the drawing is now this one's. A failed read keeps the old drawing.
  std::string Open(const std::string &path);
  // Draws every line one pixel wide, whatever its weight (--hairlines).
  void SetHairlines(bool on);
  // Smooths lines, fills and text (--antialias, or the registry value
  // HKEY_CURRENT_USER\Software\Zulan\Drawing "Antialias", a DWORD, not 0: hex(4):01,00,00,00).
  void SetAntialias(bool on);

  // The drawing as plain geometry, for the Windows test host.
  FlatDrawing Flatten() const;

  // The drawing device, as the exported operations of the same names use it.
  void UseBitmap(HDC memoryContext);
  void UsePrior();
  void UseColour(int32_t index) { colourIndex = index; }
  void FillRect(const PixelRect *rectangle);
  void SetView(const WorldRect *window, const PixelRect *pixels);
  void Scan(XPEntityCallback callback) const;
  bool IsLayerHidden(int32_t layer) const { return document && document->IsLayerHidden(layer); }
  void Draw(const void *entity);
  void BeginExtents();
  void CheckExtents(const void *entity);
  void EndExtents(float *found);
  void SetCursorOrigin(float x, float y);

private:
  Canvas *CurrentCanvas();
  const Entity *OwnEntity(const void *address) const;

  Palette palette;
  uint8_t header[HeaderBytes] = {};
  bool hairlines = false;
  bool antialias = false;
  std::unique_ptr<Document> document; // null until a drawing is read

  // The drawing device.
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

// The drawing the exported operations talk to: the one made current, else a
// default one made on first use, so that they also work without a run.
HostDrawing &CurrentDrawing();
// Null returns them to the default drawing; a current drawing that goes
// away does so by itself.
void SetCurrentDrawing(HostDrawing *drawing);

// The current drawing's Open and SetHairlines (SetHostAntialias: drawingentries.h).
std::string OpenHostDrawing(const std::string &path);
void SetHostHairlines(bool on);

} // namespace zulan

#endif
