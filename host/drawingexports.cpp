// The exported drawing operations, the same for both builds of the host:
// each hands the call to the current drawing, the DXF drawing of zulan or
// the GDI drawing of zulan32.
#ifdef _WIN32
#include "gdidrawing.h"
#else
#include "hostdrawing.h"
#endif

using zulan::CurrentDrawing;

extern "C" {

void *GetHeaderAdr()
{
  return CurrentDrawing().GetHeader();
}

void DevUseBitmap(HDC memoryContext)
{
  CurrentDrawing().UseBitmap(memoryContext);
}

void DevUsePrior()
{
  CurrentDrawing().UsePrior();
}

void DevUseColor(int32_t colourIndex)
{
  CurrentDrawing().UseColour(colourIndex);
}

void DevSRect(const PixelRect *rectangle)
{
  CurrentDrawing().FillRect(rectangle);
}

void SetBMView(const WorldRect *window, const PixelRect *pixels)
{
  CurrentDrawing().SetView(window, pixels);
}

int32_t DLScan(int32_t, XPEntityCallback callback, int32_t, int32_t, int32_t)
{
  CurrentDrawing().Scan(callback);
  return 0;
}

int32_t AskLayerHidden(int32_t layer)
{
  return CurrentDrawing().IsLayerHidden(layer) ? 1 : 0;
}

void EDraw1(const void *entity)
{
  CurrentDrawing().Draw(entity);
}

void BgnPExtents()
{
  CurrentDrawing().BeginExtents();
}

void EXCheck(const void *entity)
{
  CurrentDrawing().CheckExtents(entity);
}

void EndPExtents(float *extents)
{
  CurrentDrawing().EndExtents(extents);
}

void NewCsrOrg(float x, float y)
{
  CurrentDrawing().SetCursorOrigin(x, y);
}

void Redraw()
{
  // No screen to repaint: bitmaps are drawn on demand with the palette and
  // header as they stand.
}

} // extern "C"
