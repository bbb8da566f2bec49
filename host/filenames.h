// File names the module asks the host for: the save dialog (GetSaveFN), full
// names (FullFileName), and names copied into the module's buffers.
#ifndef ZULAN_FILENAMES_H
#define ZULAN_FILENAMES_H

#include "console.h"
#include "hostapi.h"
#include "inputwords.h"

#include <string>

namespace zulan
{

// Takes the next input word as the name chosen; 1 when one was, else 0.
int32_t AskSaveFileName(InputWords &inputs, Console &console, const char *title, SaveFileRecord *record);
void MakeFullFileName(Console &console, const char *name, char *output);

// Copies the name into a module buffer of XP_NAME_BYTES (the module passes
// no size; both sides hold to that one). When it does not fit, nothing is
// written and the input is refused with the warning followed by tail.
bool CopyFileName(Console &console, const std::string &name, char *target, const std::string &tail);

}  // namespace zulan

#endif
