#ifndef ZULAN_PLATFORM_WINUSER_H
#define ZULAN_PLATFORM_WINUSER_H

#include "wintypes.h"

#endif
