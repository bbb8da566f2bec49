// The GDI subset modules call to draw off screen: an information context
// for the display, memory device contexts, 32-bit compatible bitmaps and
// GetDIBits. Bitmaps are kept as top-down B, G, R, 0 pixels, the layout of
// a top-down 32-bit DIB, whatever the display is.
#ifndef ZULAN_PLATFORM_WINGDI_H
#define ZULAN_PLATFORM_WINGDI_H

#include "wintypes.h"

extern "C"
{

  typedef struct tagBITMAPINFOHEADER
  {
    DWORD biSize;         // 40
    LONG biWidth;         // pixels
    LONG biHeight;        // rows; negative for top-down
    WORD biPlanes;        // 1
    WORD biBitCount;      // bits per pixel
    DWORD biCompression;  // BI_RGB
    DWORD biSizeImage;    // bytes, may be 0 for BI_RGB
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
  } BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

  typedef struct tagRGBQUAD
  {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
  } RGBQUAD;

  typedef struct tagBITMAPINFO
  {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
  } BITMAPINFO, *LPBITMAPINFO;

  typedef struct _devicemodeA DEVMODEA;  // never looked at: pass NULL

#define BI_RGB 0L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

  // Only the driver "DISPLAY" is known.
  HDC WINAPI CreateICA(LPCSTR driver, LPCSTR device, LPCSTR port, const DEVMODEA *mode);
  // A memory context holding a 1 x 1 bitmap until another is selected.
  HDC WINAPI CreateCompatibleDC(HDC hdc);
  // 32 bits per pixel, all black; NULL when a side is not positive or the
  // pixels would take more than 1 GiB.
  HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height);
  // Bitmaps into memory contexts only; returns the bitmap it replaces, NULL
  // on failure (also for a bitmap already selected into another context).
  HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object);
  // 32-bit BI_RGB, DIB_RGB_COLORS. A DIB of another height than the bitmap
  // is aligned to its top row, so a top-down header one row shorter gets the
  // top rows. Returns the number of rows copied, 0 on failure.
  int WINAPI GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage);
  // Fails for a bitmap still selected into a context.
  BOOL WINAPI DeleteObject(HGDIOBJ object);
  BOOL WINAPI DeleteDC(HDC hdc);

}  // extern "C"

namespace zulan
{

// The pixels of the bitmap selected into a memory context: width x height
// pixels, B, G, R, 0, rows top-down without padding, 4-byte aligned. Valid
// until that bitmap is deleted.
struct BitmapPixels
{
  int width;
  int height;
  uint8_t *pixels;
};

// False for anything but a memory context with a bitmap of its caller's
// selected (its initial 1 x 1 bitmap does not count).
bool GetSelectedBitmap(HDC hdc, BitmapPixels *out);

}  // namespace zulan

#endif
