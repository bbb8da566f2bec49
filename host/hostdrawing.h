// The host's drawing state as the module reaches it: palette, drawing
// header and the drawing device, over the drawing read from a DXF file
// (empty when none was named).
#ifndef ZULAN_HOSTDRAWING_H
#define ZULAN_HOSTDRAWING_H

#include "drawing.h"
#include "drawingdevice.h"
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
class HostDrawing : public DrawingDevice
{
public:
  // An empty drawing: the default palette, a white background.
  HostDrawing();
  ~HostDrawing();
  HostDrawing(const HostDrawing &) = delete;
  HostDrawing &operator=(const HostDrawing &) = delete;

  uint32_t *GetPalette() override { return palette; }
  uint8_t *GetHeader() override { return header; }
  std::string Open(const std::string &path) override;
  // What the open drawing's loader left out, one line each (none when
  // everything was read).
  std::vector<std::string> Warnings() const { return document ? document->Warnings() : std::vector<std::string>(); }
  // Draws every line one pixel wide, whatever its weight (--hairlines).
  void SetHairlines(bool on);
  // Smooths lines, fills and text (--antialias, or the registry value
  // HKEY_CURRENT_USER\Software\Zulan\Drawing "Antialias", a DWORD, not 0: hex(4):01,00,00,00).
  void SetAntialias(bool on) override;

  // What this run shows on top of the drawing's own layer settings
  // (--layers, --hide-layers): one flag per layer of the drawing, true for
  // hidden. Empty keeps the drawing's own.
  void SetRunHiddenLayers(std::vector<bool> hidden) { runHidden = std::move(hidden); }
  // The background for this run: palette entry 15, which no DXF colour
  // uses. On a dark one, colour 7 is drawn white, as CAD programs draw it.
  void SetBackground(uint32_t colorref);
  // Null while the drawing is empty.
  const Document *GetDocument() const { return document.get(); }
  // The extents the module gathers: shown layers, frames and limits.
  Box VisibleExtents() const;

  // The drawing as plain geometry, for the Windows test host.
  FlatDrawing Flatten() const;

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
  void SetCursorOrigin(float x, float y) override;

private:
  Canvas *CurrentCanvas();
  const Entity *OwnEntity(const void *address) const;

  Palette palette;
  uint8_t header[HeaderBytes] = {};
  bool hairlines = false;
  bool antialias = false;
  std::unique_ptr<Document> document;  // null until a drawing is read
  std::vector<bool> runHidden;         // by layer; empty: the drawing's own

  // The drawing device.
  HDC context = nullptr;  // memory context from DevUseBitmap, or none
  HDC priorContext = nullptr;
  int32_t colourIndex = 0;
  ViewMapping view;
  std::unique_ptr<Canvas> canvas;  // on the context's bitmap while in use
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

// The current drawing's Open and SetHairlines.
std::string OpenHostDrawing(const std::string &path);
void SetHostHairlines(bool on);

}  // namespace zulan

#endif
