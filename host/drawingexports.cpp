// The exported drawing operations, the same for both builds of the host:
// each hands the call to the current drawing, the DXF drawing of zulan or
// the GDI drawing of zulan32.
#include "drawingdevice.h"

namespace zulan
{

namespace
{

uint32_t *CurrentPalette()
{
  return CurrentDevice().GetPalette();
}

}  // namespace

PaletteEntry HostPaletteEntry()
{
  return CurrentPalette;
}

}  // namespace zulan

using zulan::CurrentDevice;

extern "C"
{

  void *GetHeaderAdr()
  {
    return CurrentDevice().GetHeader();
  }

  void DevUseBitmap(HDC memoryContext)
  {
    CurrentDevice().UseBitmap(memoryContext);
  }

  void DevUsePrior()
  {
    CurrentDevice().UsePrior();
  }

  void DevUseColor(int32_t colourIndex)
  {
    CurrentDevice().UseColour(colourIndex);
  }

  void DevSRect(const PixelRect *rectangle)
  {
    CurrentDevice().FillRect(rectangle);
  }

  void SetBMView(const WorldRect *window, const PixelRect *pixels)
  {
    CurrentDevice().SetView(window, pixels);
  }

  int32_t DLScan(int32_t, XPEntityCallback callback, int32_t, int32_t, int32_t)
  {
    CurrentDevice().Scan(callback);
    return 0;
  }

  int32_t AskLayerHidden(int32_t layer)
  {
    return CurrentDevice().IsLayerHidden(layer) ? 1 : 0;
  }

  void EDraw1(const void *entity)
  {
    CurrentDevice().Draw(entity);
  }

  void BgnPExtents()
  {
    CurrentDevice().BeginExtents();
  }

  void EXCheck(const void *entity)
  {
    CurrentDevice().CheckExtents(entity);
  }

  void EndPExtents(float *extents)
  {
    CurrentDevice().EndExtents(extents);
  }

  void NewCsrOrg(float x, float y)
  {
    CurrentDevice().SetCursorOrigin(x, y);
  }

  void Redraw()
  {
    // No screen to repaint: bitmaps are drawn on demand with the palette and
    // header as they stand.
  }

}  // extern "C"
