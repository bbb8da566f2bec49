// The command table: command names, handlers, event callback, menu and
// information texts, plus the two commands that switch the menu for later
// runs of the host.
#include "commandtable.h"
#include "exportcommands.h"
#include "exportoptions.h"

namespace
{

const char commandNames[] = "JPEGOPT\0WBS\0WBSM\0JPEGMENUON\0JPEGMENUOFF\0SAVEBMP\0";

const char informationText[] = "Quorvel/Tamblin XP\0"
                               "Rastello: drawing sections as JPEG, BMP and PNG files\0"
                               " \0"
                               "JPEG commands version 1.02:\0"
                               " \0"
                               "JPEGOPT - Export filter options\0"
                               "WBS - Write bitmap section\0"
                               "JPEGMENUON - Turn on the default menu\0"
                               "JPEGMENUOFF - Turn off the default menu\0"
                               " \0"
                               "JPEG files are written by the Vantorum library, an implementation of\0"
                               "ITU-T T.81 baseline and progressive coding with optimised Huffman tables.\0"
                               " \0"
                               "PNG files are written with libpng and zlib.\0"
                               "\0";

// The module has no work for the host's initialisation call.
void InitXP() {}

const XPHandler handlers[7] = {InitXP, JPEGOPT, WBS, WBSM, JPEGMENUON, JPEGMENUOFF, SAVEBMP};

void SetMenuSwitch(int32_t value, const char *message)
{
  FormatKeyPath();
  int32_t stored = value;
  RegValueRecord record = MakeValueRecord("AddMenu", &stored, sizeof stored);
  RMSetValue(&record);
  InfoBox(message);
  CmdEnd();
}

}  // namespace

const char menuText[] = "JPEG:\r\nWrite bitmap section:|WBS;\r\n------:\r\nSettings:|JPEGOPT;\r\n------:\r\n"
                        "Help:|OPENDOC Rastello.HTML;\r\n";

int32_t addMenuSwitch = 1;

CommandTable commandTable = {
  0, commandNames, handlers,           0,        OnHostEvent,     0, 0xF000, nullptr, 603, 0, 0, 603, 0,
  0, nullptr,      {0, 0, 0, 0, 0, 0}, menuText, informationText, 0};

void OnHostEvent(int32_t eventCode)
{
  if (eventCode != EventStartUp)
    return;
  FormatKeyPath();
  RegValueRecord record = MakeValueRecord("AddMenu", &addMenuSwitch, sizeof addMenuSwitch);
  RMGetValue(&record);
  if (addMenuSwitch != 0)
    AddMenu(menuText);
}

void JPEGMENUON()
{
  SetMenuSwitch(1, "Rastello menu turned on\nThe changes will take effect in your next session.\n\n"
                   "Use JPEGMENUOFF to turn it off again.");
}

void JPEGMENUOFF()
{
  SetMenuSwitch(0, "Rastello menu turned off\nThe changes will take effect in your next session.\n\n"
                   "Use JPEGMENUON to turn it back on.");
}
