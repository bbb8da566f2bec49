#ifndef ZULAN_PLATFORM_WINBASE_H
#define ZULAN_PLATFORM_WINBASE_H

#include "wintypes.h"

#endif
