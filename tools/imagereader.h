// Reads the tool's input images into a BitmapImage: PNG through libpng
// (any bit depth and colour type, expanded to 8-bit) and binary PGM/PPM
// (P5/P6, maxval 255). The format is taken from the file's first bytes, not
// its name. Alpha comes from the file when it has any (an alpha channel or a
// tRNS chunk), else every alpha byte is 0.
#ifndef RASTELLO_TOOLS_IMAGEREADER_H
#define RASTELLO_TOOLS_IMAGEREADER_H

#include <cstdint>
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

// What the image is for can hold; a header claiming more is refused before
// any pixel is read.
struct ImageLimits
{
  uint32_t maxSide = UINT32_MAX;  // width and height
  std::string format;             // named in the refusal
};

// The whole image is allocated only once its pixels have been read, so a
// header that claims more than the file holds costs no memory.
Vantorum::BitmapImage ReadImage(const std::string &path, const ImageLimits &limits = {});

// Exposed for tests and for callers that already hold the bytes.
Vantorum::BitmapImage ReadNetpbm(const std::string &name, const std::string &bytes, const ImageLimits &limits = {});

}  // namespace Rastello

#endif
