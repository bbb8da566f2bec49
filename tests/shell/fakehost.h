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
  std::vector<std::string> calls;                    // "Name(arguments)"
  std::map<std::string, std::vector<uint8_t>> registry;   // "key|name" -> bytes
  int32_t dialogResult = 1;                          // what XPDlog returns
  std::vector<XPDialogCallback> callbacks;           // from DefDlg and CHKCTL
  bool enabled[3000] = {};
};

extern State state;
void Reset();
std::string RegistryKey(const std::string &name);

} // namespace fakehost

#endif
