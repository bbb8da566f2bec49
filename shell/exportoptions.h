// The module-wide export settings and their storage in the host's registry
// area. Every export reloads them; only the options dialog writes them.
#ifndef RASTELLO_SHELL_EXPORTOPTIONS_H
#define RASTELLO_SHELL_EXPORTOPTIONS_H

#include "hostapi.h"

extern ExportOptions exportOptions;
// "%s\XP\Larnby\%s\" with the host's string 3053 and the module name.
extern char registryKeyPath[256];

void FormatKeyPath();
// A record for one value under registryKeyPath.
RegValueRecord MakeValueRecord(const char *valueName, void *data, int32_t dataSize);
// Reloads the record; with withClipboardSize nonzero and FlagClipboardSize
// set, the size comes from the host's clipboard resolution (in memory only).
void LoadOptions(int withClipboardSize);
void SaveOptions();

#endif
