// Binary DXF (a sentinel, then group codes and values in bytes) turned into
// the ordinary text form, so that the text's checks and libdime read it as
// any other drawing.
#ifndef ZULAN_DRAWING_DXFBINARY_H
#define ZULAN_DRAWING_DXFBINARY_H

#include <string>

namespace zulan
{

// The 22 bytes a binary DXF file starts with.
extern const char BinaryDxfSentinel[22];

bool IsBinaryDxf(const std::string &bytes);

// The pairs of a binary DXF file as "code\nvalue\n" text, up to and with
// 0/EOF. Throws Document::LoadError naming the byte offset of anything
// truncated or unknown.
std::string BinaryDxfToText(const std::string &path, const std::string &bytes);

}  // namespace zulan

#endif
