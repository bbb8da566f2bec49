// The library entry: registers the command table and the two export filters
// on attach, unregisters the table on detach.
#include "commandtable.h"
#include "exportcommands.h"
#include "moduleexport.h"

extern "C" RASTELLO_MODULE_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
  if (reason == DLL_PROCESS_ATTACH)
  {
    commandTable.moduleInstance = instance;
    XPRegCmd(&commandTable);
    XPRegExport(JpegExport, "JPEG File", "JPG");
    XPRegExport(PngExport, "PNG File", "PNG");
  }
  else if (reason == DLL_PROCESS_DETACH)
  {
    XPUnregCmd(&commandTable);
  }
  return TRUE;
}
