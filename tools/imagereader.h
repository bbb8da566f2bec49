// Reads the tool's input images into a BitmapImage: PNG through libpng
// (any bit depth and colour type, expanded to 8-bit) and binary PGM/PPM
// (P5/P6, maxval 255). The format is taken from the file's first bytes, not
// its name. Alpha comes from the file when it has any (an alpha channel or a
// tRNS chunk), else every alpha byte is 0.
#ifndef RASTELLO_TOOLS_IMAGEREADER_H
#define RASTELLO_TOOLS_IMAGEREADER_H

#include <stdexcept>
#include <string>

#include "bitmapimage.h"

namespace Rastello
{

// Carries one line naming the file and the cause.
class ImageReadError : public std::runtime_error
{
public:
  explicit ImageReadError(const std::string &message) : std::runtime_error(message) {}
};

Vantorum::BitmapImage ReadImage(const std::string &path);

// Exposed for tests and for callers that already hold the bytes.
Vantorum::BitmapImage ReadNetpbm(const std::string &name, const std::string &bytes);

} // namespace Rastello

#endif
