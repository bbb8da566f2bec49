#ifndef ZULAN_PLATFORM_WINGDI_H
#define ZULAN_PLATFORM_WINGDI_H

#include "wintypes.h"

#endif
