// The system's text for a Windows error code, without its line end: the
// reason every Windows failure of ours gives, as strerror does on Linux.
#ifndef RASTELLO_UTIL_SYSTEMREASON_H
#define RASTELLO_UTIL_SYSTEMREASON_H

#ifdef _WIN32
#include <string>

std::string SystemReason(unsigned long error);
#endif

#endif
