// A stand-in for the host that records each call the module makes.
#ifndef RASTELLO_TESTS_FAKEHOST_H
#define RASTELLO_TESTS_FAKEHOST_H

#include "hostapi.h"

#include <map>
#include <string>
#include <vector>

namespace fakehost
{

struct State
{
  std::vector<std::string> calls;                        // "Name(arguments)"
  std::map<std::string, std::vector<uint8_t>> registry;  // "key|name" -> bytes
  int32_t dialogResult = 1;                              // what XPDlog returns
  std::vector<XPDialogCallback> callbacks;               // from DefDlg and CHKCTL
  bool enabled[3000] = {};
  // Requests and the save dialog
  DataRequest *request = nullptr;  // the last ReqData
  int32_t saveResult = 1;          // what GetSaveFN returns
  std::string saveName;            // and the name it chooses
  std::string folderAtSave;        // current folder when it was asked
  // Drawing: a header with its background index, and the palette offered
  // through "_GetPalAdr@0" when a test registers PaletteEntry.
  uint8_t header[512] = {};
  uint32_t palette[256] = {};
  float extents[6] = {0, 0, 0, 400, 200, 0};
  std::string exportName = "export.png";  // host string 3307
};

extern State state;
void Reset();
std::string RegistryKey(const std::string &name);
// The entry a test registers as "_GetPalAdr@0".
uint32_t *PaletteEntry();
// Answers the last request: point requests take x, y; name requests text.
void AnswerPoint(float x, float y);
void AnswerName(const std::string &name);
void Cancel();

}  // namespace fakehost

#endif
