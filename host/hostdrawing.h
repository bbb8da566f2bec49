// The host's drawing state as the module reaches it: palette, drawing
// header and the drawing device, over the drawing read from a DXF file
// (empty when none was named).
#ifndef ZULAN_HOSTDRAWING_H
#define ZULAN_HOSTDRAWING_H

#include <cstdint>
#include <string>

namespace zulan
{

const int PaletteEntries = 256;
const int HeaderBytes = 512;

// 256 entries 0x00BBGGRR, writable by the module ("_GetPalAdr@0").
uint32_t *HostPalette();
uint8_t *HostHeader();
typedef uint32_t *(*PaletteEntry)();
PaletteEntry HostPaletteEntry();

// Reads the drawing; returns the error text naming the file, or "" when the
// drawing is now the host's.
std::string OpenHostDrawing(const std::string &path);

// Draws every line one pixel wide, whatever its weight (--hairlines).
void SetHostHairlines(bool on);
// Smooths lines, fills and text (--antialias, or the registry value
// HKEY_CURRENT_USER\Software\Zulan\Drawing "Antialias", a DWORD, not 0: hex(4):01,00,00,00).
void SetHostAntialias(bool on);

} // namespace zulan

#endif
