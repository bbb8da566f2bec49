// Runs rastello-encode as a user would and takes its output files apart.
#ifndef RASTELLO_TESTS_TOOLHARNESS_H
#define RASTELLO_TESTS_TOOLHARNESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "bitmapimage.h"
#include "decoders.h"
#include "testimages.h"

namespace tool_testing
{

// Arguments are shell-quoted one by one; stdout and stderr come back together.
// shellPrefix runs first in the same shell; launcher (a command such as
// setpriv with its options) runs the encoder.
testing_support::CommandResult RunEncoder(const std::vector<std::string> &arguments,
                                          const std::string &shellPrefix = "", const std::string &launcher = "");

// Binary PPM (P6) or, with grey set, PGM (P5) of the image's red channel.
void WriteNetpbm(const std::string &path, const Vantorum::BitmapImage &image, bool grey = false);

// Runs a Python snippet with Pillow available; the snippet sees the list argv.
void RunPython(const std::string &code, const std::vector<std::string> &arguments);

struct Segment
{
  uint8_t marker;
  std::vector<uint8_t> payload;  // after the length field; empty for standalone markers
};

// Every marker of a JPEG stream in order, restart markers included; the
// entropy-coded bytes between them are skipped.
std::vector<Segment> JpegSegments(const std::vector<uint8_t> &bytes);
size_t CountMarkers(const std::vector<Segment> &segments, uint8_t marker);
const Segment *FindMarker(const std::vector<Segment> &segments, uint8_t marker);

// Names in a folder, for checking that no temporary file was left behind.
using testing_support::FolderEntries;
std::string FolderOf(const std::string &path);

} // namespace tool_testing

#endif
