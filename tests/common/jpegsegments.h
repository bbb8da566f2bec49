// Splits a JPEG stream into its marker segments for byte-level checks.
#ifndef RASTELLO_TESTS_JPEGSEGMENTS_H
#define RASTELLO_TESTS_JPEGSEGMENTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "bitmapimage.h"
#include "jpegencoder.h"

namespace testing_support
{

struct Segment
{
  uint8_t marker;                // the byte after 0xFF
  size_t offset;                 // of the 0xFF
  std::vector<uint8_t> payload;  // after the length field; empty for SOI, EOI, RSTn
  std::vector<uint8_t> entropy;  // entropy-coded bytes after an SOS (up to the next marker)
};

// Markers inside entropy-coded data (RSTn) come out as their own segments.
std::vector<Segment> ParseJpeg(const std::vector<uint8_t> &bytes);
std::vector<uint8_t> Markers(const std::vector<Segment> &segments);
size_t CountMarkers(const std::vector<Segment> &segments, uint8_t marker);
// The first segment with the marker, or null.
const Segment *FindMarker(const std::vector<Segment> &segments, uint8_t marker);
// Encodes to a memory-backed file and returns the bytes.
std::vector<uint8_t> EncodeJpeg(Vantorum::JpegEncoder &encoder, const Vantorum::BitmapImage &image);

}  // namespace testing_support

#endif
