// The export commands and filters the module's command table names.
#ifndef RASTELLO_CAPTURE_EXPORTCOMMANDS_H
#define RASTELLO_CAPTURE_EXPORTCOMMANDS_H

// Commands: a picked section (the name asked after the corners, or typed
// first) and the whole drawing as BMP.
void WBS();
void WBSM();
void SAVEBMP();
// Export filters: the whole drawing to the file the host names.
void JpegExport();
void PngExport();

#endif
