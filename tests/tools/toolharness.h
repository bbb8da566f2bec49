// Runs rastello-encode as a user would and takes its output files apart.
#ifndef RASTELLO_TESTS_TOOLHARNESS_H
#define RASTELLO_TESTS_TOOLHARNESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "bitmapimage.h"
#include "decoders.h"
#include "jpegsegments.h"
#include "testimages.h"

namespace tool_testing
{

// Arguments are shell-quoted one by one; stdout and stderr come back together.
// shellPrefix runs first in the same shell; launcher (a command such as
// setpriv with its options) runs the encoder.
testing_support::CommandResult RunEncoder(const std::vector<std::string> &arguments,
                                          const std::string &shellPrefix = "", const std::string &launcher = "");

using testing_support::WriteNetpbm;

// Runs a Python snippet with Pillow available; the snippet sees the list argv.
void RunPython(const std::string &code, const std::vector<std::string> &arguments);

// One JPEG segment parser for the library's tests and the tool's.
using testing_support::CountMarkers;
using testing_support::FindMarker;
using testing_support::ParseJpeg;
using testing_support::Segment;

// Names in a folder, for checking that no temporary file was left behind.
using testing_support::FolderEntries;
std::string FolderOf(const std::string &path);

}  // namespace tool_testing

#endif
