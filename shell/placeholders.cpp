// Stand-ins for the section and export commands until the capture arrives:
// each says so through the host instead of doing nothing.
#include "commandtable.h"

namespace
{

void NotAvailable(const char *what)
{
  char message[128];
  wsprintfA(message, "%s is not available yet in this version of Rastello.", what);
  ErrorBox(message);
}

} // namespace

void WBS()
{
  NotAvailable("WBS");
  CmdEnd();
}

void WBSM()
{
  NotAvailable("WBSM");
  CmdEnd();
}

void SAVEBMP()
{
  NotAvailable("SAVEBMP");
  CmdEnd();
}

void JpegExport()
{
  NotAvailable("The \"JPEG File\" export");
}

void PngExport()
{
  NotAvailable("The \"PNG File\" export");
}
