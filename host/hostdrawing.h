// The host's drawing state as the module reaches it: palette, drawing
// header and the drawing device. For now the drawing is always empty.
#ifndef ZULAN_HOSTDRAWING_H
#define ZULAN_HOSTDRAWING_H

#include <cstdint>

namespace zulan
{

const int PaletteEntries = 256;
const int HeaderBytes = 512;
const int HeaderBackgroundOffset = 28;   // signed 16-bit colour index

// 256 entries 0x00BBGGRR, writable by the module ("_GetPalAdr@0").
uint32_t *HostPalette();
uint8_t *HostHeader();
typedef uint32_t *(*PaletteEntry)();
PaletteEntry HostPaletteEntry();

} // namespace zulan

#endif
