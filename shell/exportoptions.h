// The module-wide export settings and their storage in the host's registry
// area. Every export reloads them; only the options dialog writes them.
#ifndef RASTELLO_SHELL_EXPORTOPTIONS_H
#define RASTELLO_SHELL_EXPORTOPTIONS_H

#include "hostapi.h"

extern ExportOptions exportOptions;
// "%s\XP\Larnby\%s\" with the host's string 3053 and the module name.
extern char registryKeyPath[256];

// What an export can make of the settings. A side is at most what JPEG
// can state, and the pixel count what the capture's strip arithmetic (32-bit
// signed) holds. A JPEG beyond MaxDecodedJpegSide is valid, but libjpeg and
// Pillow refuse to open it.
const int32_t MaxBitmapSide = 65535;
const int64_t MaxBitmapPixels = 2147483647;
const int32_t MaxDecodedJpegSide = 65500;
const int32_t MinQuality = 1;
const int32_t MaxQuality = 100;

void FormatKeyPath();
// A record for one value under registryKeyPath.
RegValueRecord MakeValueRecord(const char *valueName, void *data, int32_t dataSize);
// Reloads the record; with withClipboardSize nonzero and FlagClipboardSize
// set, the size comes from the host's clipboard resolution (in memory only).
// True when it did.
bool LoadOptions(int withClipboardSize);
void SaveOptions();

#endif
