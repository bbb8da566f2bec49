// The module's command table and the handlers it names.
#ifndef RASTELLO_SHELL_COMMANDTABLE_H
#define RASTELLO_SHELL_COMMANDTABLE_H

#include "hostapi.h"

extern CommandTable commandTable;
// Whether event 14 adds the menu; read from the registry value "AddMenu".
extern int32_t addMenuSwitch;
extern const char menuText[];

void OnHostEvent(int32_t eventCode);

// The command handlers of the shell itself; the export commands and
// filters are in exportcommands.h.
void JPEGOPT();
void JPEGMENUON();
void JPEGMENUOFF();

#endif
