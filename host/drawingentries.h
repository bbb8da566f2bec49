// What the host's parts need of the drawing this build of the host has: the
// DXF drawing of zulan (hostdrawing.h) or the plain geometry of the Windows
// test host (windows/gdidrawing.h).
#ifndef ZULAN_DRAWINGENTRIES_H
#define ZULAN_DRAWINGENTRIES_H

#include <cstdint>

namespace zulan
{

// "_GetPalAdr@0": the current drawing's palette.
typedef uint32_t *(*PaletteEntry)();
PaletteEntry HostPaletteEntry();

// Smooth lines, fills and text from now on, where the drawing can.
void SetHostAntialias(bool on);

} // namespace zulan

#endif
