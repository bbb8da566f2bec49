// The module's command table and the handlers it names.
#ifndef RASTELLO_SHELL_COMMANDTABLE_H
#define RASTELLO_SHELL_COMMANDTABLE_H

#include "hostapi.h"

extern CommandTable commandTable;
// Whether event 14 adds the menu; read from the registry value "AddMenu".
extern int32_t addMenuSwitch;
extern const char menuText[];

void OnHostEvent(int32_t eventCode);

// Command handlers, in the order of the command name list.
void JPEGOPT();
void WBS();
void WBSM();
void JPEGMENUON();
void JPEGMENUOFF();
void SAVEBMP();
// Export filter handlers.
void JpegExport();
void PngExport();

#endif
