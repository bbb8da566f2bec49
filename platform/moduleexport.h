// Marks the names the Linux host looks a module's parts up by (dlsym): the
// module is built with hidden visibility, so only these are seen. A Windows
// DLL exports nothing: the system calls DllMain by the entry point, and the
// dialog templates are compiled resources.
#ifndef RASTELLO_PLATFORM_MODULEEXPORT_H
#define RASTELLO_PLATFORM_MODULEEXPORT_H

#ifdef _WIN32
#define RASTELLO_MODULE_ENTRY
#else
#define RASTELLO_MODULE_ENTRY __attribute__((visibility("default")))
#endif

#endif
